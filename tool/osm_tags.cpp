#include "tool/osm_tags.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <numbers>

#include "geo/distance.h"

namespace edog_tool::osm {

namespace {

constexpr double kFullCircle = 360.0;
constexpr int kMaxKmh = 500;
constexpr double kKmhPerMph = 1.609344;
constexpr double kKmhPerKnot = 1.852;

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) {
        s.remove_suffix(1);
    }
    return s;
}

bool same_letters(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto lower = [](char c) {
                   return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
               };
               return lower(x) == lower(y);
           });
}

// A number at the start of `s` (no sign but an optional minus where
// `negative_ok`), and what follows it.
std::optional<double> leading_number(std::string_view& s, bool negative_ok) {
    if (s.empty() || (!negative_ok && s.front() == '-')) {
        return std::nullopt;
    }
    double v = 0.0;
    const auto [end, ec] =
        std::from_chars(s.data(), s.data() + s.size(), v, std::chars_format::fixed);
    if (ec != std::errc{} || !std::isfinite(v)) {
        return std::nullopt;
    }
    s.remove_prefix(static_cast<std::size_t>(end - s.data()));
    return v;
}

}  // namespace

int whole_degrees(double d) {
    const long r = std::lround(d);
    return static_cast<int>(((r % 360) + 360) % 360);
}

int limit_kmh(std::string_view maxspeed) {
    std::string_view s = trimmed(maxspeed);
    const std::optional<double> n = leading_number(s, false);
    if (!n) {
        return 0;
    }
    s = trimmed(s);
    double factor = 0.0;
    if (s.empty() || same_letters(s, "km/h") || same_letters(s, "kmh") || same_letters(s, "kph")) {
        factor = 1.0;
    } else if (same_letters(s, "mph")) {
        factor = kKmhPerMph;
    } else if (same_letters(s, "knots")) {
        factor = kKmhPerKnot;
    }
    const double kmh = std::round(*n * factor);
    return kmh >= 1.0 && kmh <= kMaxKmh ? static_cast<int>(kmh) : 0;
}

DirectionTag direction_tag(std::string_view value) {
    using Kind = DirectionTag::Kind;
    std::string_view s = trimmed(value);
    if (same_letters(s, "forward")) {
        return {Kind::kForward, 0};
    }
    if (same_letters(s, "backward")) {
        return {Kind::kBackward, 0};
    }
    if (same_letters(s, "both")) {
        return {Kind::kBoth, 0};
    }
    static constexpr std::array<std::string_view, 16> kPoints = {
        "N", "NNE", "NE", "ENE", "E", "ESE", "SE", "SSE",
        "S", "SSW", "SW", "WSW", "W", "WNW", "NW", "NNW"};
    for (std::size_t i = 0; i < kPoints.size(); ++i) {
        if (same_letters(s, kPoints[i])) {
            return {Kind::kDegrees, whole_degrees(static_cast<double>(i) * kFullCircle / 16.0)};
        }
    }
    const std::optional<double> d = leading_number(s, true);
    constexpr double kLargest = 1e6;  // beyond this a "direction" is no direction
    if (!d || !s.empty() || std::fabs(*d) > kLargest) {
        return {Kind::kUnreadable, 0};
    }
    return {Kind::kDegrees, whole_degrees(*d)};
}

std::optional<double> bearing_at(const Fixed& at, const std::optional<Fixed>& before,
                                 const std::optional<Fixed>& after) {
    const auto segment = [](const Fixed& a, const Fixed& b) -> std::optional<double> {
        if (a.x == b.x && a.y == b.y) {
            return std::nullopt;
        }
        return e_dog::bearing_deg(a.lat(), a.lng(), b.lat(), b.lng());
    };
    const std::optional<double> in = before ? segment(*before, at) : std::nullopt;
    const std::optional<double> out = after ? segment(at, *after) : std::nullopt;
    std::optional<double> b = in ? in : out;
    if (in && out) {
        // The direction halfway between the two, on the side of the turn
        // (with the true pi: the angles wrap at 360 degrees).
        constexpr double kRad = std::numbers::pi / 180.0;
        const double x = std::cos(*in * kRad) + std::cos(*out * kRad);
        const double y = std::sin(*in * kRad) + std::sin(*out * kRad);
        constexpr double kOpposite = 1e-9;  // a U-turn: the way in is taken
        if (std::hypot(x, y) > kOpposite) {
            b = std::atan2(y, x) / kRad;
        }
    }
    if (b) {
        b = std::fmod(*b + kFullCircle, kFullCircle);
    }
    return b;
}

int oneway_sense(const WayAt& way) {
    const std::string_view v = trimmed(way.oneway);
    if (same_letters(v, "yes") || v == "1" || same_letters(v, "true")) {
        return 1;
    }
    if (v == "-1" || same_letters(v, "reverse")) {
        return -1;
    }
    return v.empty() && way.implied_oneway ? 1 : 0;
}

}  // namespace edog_tool::osm
