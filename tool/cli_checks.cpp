#include "tool/cli_checks.h"

#include <cmath>
#include <cstdio>
#include <string>

namespace edog_tool {

namespace {

std::string text_of(double v) {
    char s[32];
    (void)std::snprintf(s, sizeof s, "%.10g", v);
    return s;
}

// The whole of `text` as a finite number.
bool finite_number(const std::string& text, double& v) {
    return CLI::detail::lexical_cast(text, v) && std::isfinite(v);
}

double coordinate(const std::string& text, double limit, const char* name) {
    double v = 0.0;
    if (!finite_number(text, v) || std::fabs(v) > limit) {
        throw UsageError(std::string(name) + " must be a number from -" + text_of(limit) + " to " +
                         text_of(limit) + ", not \"" + text + "\"");
    }
    return v;
}

}  // namespace

CLI::Validator finite_in(double lo, double hi) {
    const std::string range = "[" + text_of(lo) + " to " + text_of(hi) + "]";
    return {[lo, hi, range](const std::string& text) -> std::string {
                double v = 0.0;
                if (!finite_number(text, v) || v < lo || v > hi) {
                    return "must be a number in " + range + ", not \"" + text + "\"";
                }
                return {};
            },
            range};
}

CLI::Validator positive_up_to(double hi) {
    const std::string range = "(0 to " + text_of(hi) + "]";
    return {[hi, range](const std::string& text) -> std::string {
                double v = 0.0;
                if (!finite_number(text, v) || v <= 0.0 || v > hi) {
                    return "must be a number in " + range + ", not \"" + text + "\"";
                }
                return {};
            },
            range};
}

void parse_position(const std::vector<std::string>& args, double& lat, double& lng) {
    std::string la;
    std::string lo;
    if (args.size() == 2) {
        la = args[0];
        lo = args[1];
    } else if (args.size() == 1 && args[0].find(',') != std::string::npos) {
        const std::size_t comma = args[0].find(',');
        la = CLI::detail::trim_copy(args[0].substr(0, comma));
        lo = CLI::detail::trim_copy(args[0].substr(comma + 1));
    } else {
        throw UsageError("a position is LAT LNG, or LAT,LNG as one argument");
    }
    lat = coordinate(la, 90.0, "LAT");
    lng = coordinate(lo, 180.0, "LNG");
}

osm::Box parse_box(const std::string& text) {
    std::vector<std::string> parts;
    std::size_t from = 0;
    for (std::size_t comma = text.find(',');; comma = text.find(',', from)) {
        parts.push_back(text.substr(from, comma == std::string::npos ? comma : comma - from));
        if (comma == std::string::npos) {
            break;
        }
        from = comma + 1;
    }
    if (parts.size() != 4) {
        throw UsageError("--bbox takes WEST,SOUTH,EAST,NORTH (four numbers), not \"" + text + "\"");
    }
    const osm::Box box{
        coordinate(parts[0], 180.0, "--bbox WEST"), coordinate(parts[1], 90.0, "--bbox SOUTH"),
        coordinate(parts[2], 180.0, "--bbox EAST"), coordinate(parts[3], 90.0, "--bbox NORTH")};
    if (box.south > box.north) {
        throw UsageError("--bbox SOUTH " + text_of(box.south) + " is above NORTH " +
                         text_of(box.north));
    }
    return box;
}

}  // namespace edog_tool
