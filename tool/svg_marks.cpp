// The marks of the replay picture. See tool/svg_marks.h.
#include "tool/svg_marks.h"

#include <cmath>
#include <utility>

#include "warner/e_dog_warn.h"

namespace edog_tool::svg {

namespace {

constexpr double kFacing = 18.0;  // length of a camera's direction line

}  // namespace

const char* event_colour(int kind) {
    if (kind > kZoneEvent) {
        return kZoneColour;
    }
    switch (kind) {
    case EDOG_WARN_WARN:
        return "#e67e00";
    case EDOG_WARN_OVERSPEED:
        return "#c00000";
    default:
        return "#2a8a2a";
    }
}

void arrow_head(std::ostringstream& s, Point tip, double deg, double size, const char* colour) {
    const double a = deg * kDegToRad;
    const double dx = std::sin(a);
    const double dy = -std::cos(a);
    const Point back{tip.x - dx * size, tip.y - dy * size};
    s << "<polygon fill=\"" << colour << "\" points=\"" << tip.x << ',' << tip.y << ' '
      << back.x - dy * size / 2 << ',' << back.y + dx * size / 2 << ' ' << back.x + dy * size / 2
      << ',' << back.y - dx * size / 2 << "\"/>\n";
}

void draw_zone(std::ostringstream& s, const DrawnZone& z, Point entry, Point exit) {
    s << "<line x1=\"" << entry.x << "\" y1=\"" << entry.y << "\" x2=\"" << exit.x << "\" y2=\""
      << exit.y << "\" stroke=\"" << kZoneColour
      << "\" stroke-width=\"3\" stroke-dasharray=\"8,5\" opacity=\"0.7\"/>\n";
    s << "<text x=\"" << (entry.x + exit.x) / 2 << "\" y=\"" << (entry.y + exit.y) / 2 - 10
      << "\" fill=\"" << kZoneColour << "\">section " << z.zone_id << "</text>\n";
}

void draw_camera(std::ostringstream& s, const DrawnCamera& c, Point at) {
    if (c.dirtype == 1 || c.dirtype == 2) {
        const double a = c.direction * kDegToRad;
        const Point tip{at.x + std::sin(a) * kFacing, at.y - std::cos(a) * kFacing};
        const Point tail =
            c.dirtype == 2 ? Point{at.x - std::sin(a) * kFacing, at.y + std::cos(a) * kFacing} : at;
        s << "<line x1=\"" << tail.x << "\" y1=\"" << tail.y << "\" x2=\"" << tip.x << "\" y2=\""
          << tip.y << "\" stroke=\"black\" stroke-width=\"1.5\"/>\n";
        arrow_head(s, tip, c.direction, 7.0, "black");
        if (c.dirtype == 2) {
            arrow_head(s, tail, c.direction + 180.0, 7.0, "black");
        }
    }
    s << "<circle cx=\"" << at.x << "\" cy=\"" << at.y << "\" r=\"" << (c.warned ? 6 : 4)
      << "\" fill=\"" << (c.warned ? "#c00000" : "#999999") << "\" stroke=\"black\"/>\n";
    s << "<text x=\"" << at.x + 8 << "\" y=\"" << at.y - 8 << "\">" << c.idex << "</text>\n";
}

void draw_ends(std::ostringstream& s, Point start, Point end) {
    s << "<circle cx=\"" << start.x << "\" cy=\"" << start.y
      << "\" r=\"7\" fill=\"#2a8a2a\" stroke=\"black\"/>\n";
    s << "<text x=\"" << start.x + 9 << "\" y=\"" << start.y + 14 << "\">start</text>\n";
    s << "<rect x=\"" << end.x - 6 << "\" y=\"" << end.y - 6
      << "\" width=\"12\" height=\"12\" fill=\"black\"/>\n";
    s << "<text x=\"" << end.x + 9 << "\" y=\"" << end.y + 14 << "\">end</text>\n";
}

void draw_legend(std::ostringstream& s, double top) {
    const double row1 = top + 20.0;
    const double row2 = top + 44.0;
    s << "<line x1=\"20\" y1=\"" << row1 << "\" x2=\"44\" y2=\"" << row1 << "\" stroke=\""
      << kTrackColour << "\" stroke-width=\"2\"/>\n";
    arrow_head(s, {44, row1}, 90.0, 9.0, kTrackColour);
    s << "<text x=\"50\" y=\"" << row1 + 4 << "\">track, direction of travel</text>\n";
    s << "<circle cx=\"210\" cy=\"" << row1 << "\" r=\"7\" fill=\"#2a8a2a\" stroke=\"black\"/>\n";
    s << "<text x=\"222\" y=\"" << row1 + 4 << "\">start</text>\n";
    s << "<rect x=\"264\" y=\"" << row1 - 6 << "\" width=\"12\" height=\"12\" fill=\"black\"/>\n";
    s << "<text x=\"282\" y=\"" << row1 + 4 << "\">end</text>\n";
    s << "<circle cx=\"330\" cy=\"" << row1 << "\" r=\"4\" fill=\"#999999\" stroke=\"black\"/>\n";
    s << "<text x=\"340\" y=\"" << row1 + 4 << "\">camera</text>\n";
    s << "<circle cx=\"400\" cy=\"" << row1 << "\" r=\"6\" fill=\"#c00000\" stroke=\"black\"/>\n";
    s << "<text x=\"410\" y=\"" << row1 + 4 << "\">warned camera</text>\n";
    s << "<line x1=\"510\" y1=\"" << row1 << "\" x2=\"528\" y2=\"" << row1
      << "\" stroke=\"black\" stroke-width=\"1.5\"/>\n";
    arrow_head(s, {528, row1}, 90.0, 7.0, "black");
    s << "<text x=\"534\" y=\"" << row1 + 4 << "\">travel it watches</text>\n";
    const std::pair<int, const char*> events[] = {{EDOG_WARN_WARN, "warning"},
                                                  {EDOG_WARN_OVERSPEED, "over-speed"},
                                                  {EDOG_WARN_PASSED, "passed"}};
    double x = 20.0;
    for (const auto& [kind, name] : events) {
        s << "<rect x=\"" << x << "\" y=\"" << row2 - 3.5 << "\" width=\"7\" height=\"7\" fill=\""
          << event_colour(kind) << "\" stroke=\"black\" stroke-width=\"0.5\"/>\n";
        s << "<text x=\"" << x + 12 << "\" y=\"" << row2 + 4 << "\">" << name << "</text>\n";
        x += 100.0;
    }
    s << "<rect x=\"" << x << "\" y=\"" << row2 - 3.5 << "\" width=\"7\" height=\"7\" fill=\""
      << kZoneColour << "\" stroke=\"black\" stroke-width=\"0.5\"/>\n";
    s << "<text x=\"" << x + 12 << "\" y=\"" << row2 + 4
      << "\">section event (enter, over-speed, exit, left)</text>\n";
    x += 290.0;
    s << "<line x1=\"" << x << "\" y1=\"" << row2 << "\" x2=\"" << x + 30 << "\" y2=\"" << row2
      << "\" stroke=\"" << kZoneColour << "\" stroke-width=\"3\" stroke-dasharray=\"8,5\"/>\n";
    s << "<text x=\"" << x + 36 << "\" y=\"" << row2 + 4 << "\">section, entry to exit</text>\n";
}

}  // namespace edog_tool::svg
