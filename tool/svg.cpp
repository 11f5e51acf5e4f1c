// Drawing of a replayed drive. See tool/svg.h.
#include "tool/svg.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iomanip>
#include <sstream>
#include <string>

#include "edog/datafile/atomic_file.h"
#include "geo/distance.h"
#include "tool/tool.h"
#include "warner/e_dog_warn.h"

namespace edog_tool {

namespace {

constexpr double kWidth = 900.0;
constexpr double kHeight = 700.0;
constexpr double kMargin = 40.0;
constexpr double kDegToRad = 3.14159265358979323846 / 180.0;
constexpr double kMetresPerDegree = e_dog::kEarthRadiusM * kDegToRad;

// Longitude and latitude to picture coordinates: longitude shrunk by the
// cosine of the middle latitude, so that short distances keep their shape.
class Projection {
public:
    explicit Projection(const std::vector<Place>& places) {
        double south = 90.0;
        double north = -90.0;
        double west = 180.0;
        double east = -180.0;
        for (const Place& p : places) {
            south = std::min(south, p.lat);
            north = std::max(north, p.lat);
            west = std::min(west, p.lng);
            east = std::max(east, p.lng);
        }
        if (places.empty()) {
            south = north = west = east = 0.0;
        }
        north_ = north;
        west_ = west;
        shrink_ = std::cos((south + north) / 2.0 * kDegToRad);
        const double w = std::max((east - west) * shrink_, 1e-6);
        const double h = std::max(north - south, 1e-6);
        scale_ = std::min((kWidth - 2 * kMargin) / w, (kHeight - 2 * kMargin) / h);
    }
    [[nodiscard]] double x(const Place& p) const {
        return kMargin + (p.lng - west_) * shrink_ * scale_;
    }
    [[nodiscard]] double y(const Place& p) const { return kMargin + (north_ - p.lat) * scale_; }
    // Picture units per metre on the ground.
    [[nodiscard]] double per_metre() const { return scale_ / kMetresPerDegree; }

private:
    double north_ = 0.0;
    double west_ = 0.0;
    double shrink_ = 1.0;
    double scale_ = 1.0;
};

// A round length (1, 2 or 5 times a power of ten metres) near a fifth of the
// picture's width.
double scale_bar_metres(double per_metre) {
    const double target = kWidth / 5.0 / per_metre;
    const double power = std::pow(10.0, std::floor(std::log10(target)));
    for (const double step : {5.0, 2.0, 1.0}) {
        if (step * power <= target) {
            return step * power;
        }
    }
    return power;
}

const char* event_colour(int kind) {
    switch (kind) {
    case EDOG_WARN_WARN:
        return "#e67e00";
    case EDOG_WARN_OVERSPEED:
        return "#c00000";
    default:
        return "#2a8a2a";
    }
}

}  // namespace

void Drive::add_track_point(const Place& p) {
    if (fixes_++ % every_ != 0) {
        return;
    }
    track.push_back(p);
    if (track.size() == kMaxTrackPoints) {
        // Every second point goes; from now on one of twice as many fixes.
        std::size_t kept = 0;
        for (std::size_t i = 0; i < track.size(); i += 2) {
            track[kept++] = track[i];
        }
        track.resize(kept);
        every_ *= 2;
    }
}

void Drive::add_event(const DrawnEvent& e) {
    if (events.size() < kMaxEvents) {
        events.push_back(e);
    } else {
        ++events_left_out;
    }
}

std::string drive_svg(const Drive& drive) {
    std::vector<Place> all = drive.track;
    for (const DrawnCamera& c : drive.cameras) {
        all.push_back(c.at);
    }
    const Projection proj(all);
    std::ostringstream s;
    s << std::fixed << std::setprecision(1);
    s << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << kWidth << "\" height=\"" << kHeight
      << "\" font-family=\"sans-serif\" font-size=\"11\">\n";
    s << "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
    s << "<polyline fill=\"none\" stroke=\"#1f5fbf\" stroke-width=\"2\" points=\"";
    for (const Place& p : drive.track) {
        s << proj.x(p) << ',' << proj.y(p) << ' ';
    }
    s << "\"/>\n";
    for (const DrawnCamera& c : drive.cameras) {
        s << "<circle cx=\"" << proj.x(c.at) << "\" cy=\"" << proj.y(c.at) << "\" r=\""
          << (c.warned ? 6 : 4) << "\" fill=\"" << (c.warned ? "#c00000" : "#999999")
          << "\" stroke=\"black\"/>\n";
        s << "<text x=\"" << proj.x(c.at) + 7 << "\" y=\"" << proj.y(c.at) - 7 << "\">" << c.idex
          << "</text>\n";
    }
    for (const DrawnEvent& e : drive.events) {
        s << "<rect x=\"" << proj.x(e.at) - 3 << "\" y=\"" << proj.y(e.at) - 3
          << "\" width=\"6\" height=\"6\" fill=\"" << event_colour(e.kind) << "\"/>\n";
    }
    const double metres = scale_bar_metres(proj.per_metre());
    const double bar = metres * proj.per_metre();
    const double y = kHeight - 15.0;
    s << "<line x1=\"20\" y1=\"" << y << "\" x2=\"" << 20.0 + bar << "\" y2=\"" << y
      << "\" stroke=\"black\" stroke-width=\"3\"/>\n";
    s << "<text x=\"20\" y=\"" << y - 6.0 << "\">" << std::setprecision(0) << metres
      << " m</text>\n";
    s << "<text x=\"20\" y=\"15\">track (blue), camera (grey), warned camera (red); "
         "warning (orange), over-speed (dark red), passed (green)</text>\n";
    s << "</svg>\n";
    return s.str();
}

void write_drive_svg(const std::string& target, const Drive& drive, const std::string& named) {
    const std::string text = drive_svg(drive);
    errno = 0;
    e_dog::AtomicFile out(target);
    if (!out.ok() || std::fwrite(text.data(), 1, text.size(), out.stream()) != text.size() ||
        !out.commit()) {
        throw Failure(named, std::string("cannot be written: ") + std::strerror(errno));
    }
}

}  // namespace edog_tool
