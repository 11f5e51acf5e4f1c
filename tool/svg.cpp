// Drawing of a replayed drive. See tool/svg.h.
#include "tool/svg.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iomanip>
#include <set>
#include <sstream>
#include <string>
#include <utility>

#include "geo/distance.h"
#include "tool/output.h"
#include "tool/svg_marks.h"
#include "tool/tool.h"
#include "warner/e_dog_warn.h"

namespace edog_tool {

namespace {

constexpr double kLongSide = 1000.0;  // of the drawing, in picture units
constexpr double kMinWidth = 640.0;   // room for the legend
constexpr double kMinHeight = 240.0;
constexpr double kMargin = 40.0;
constexpr double kLegendBand = 70.0;  // below the drawing
constexpr double kArrowEvery = 90.0;  // picture units of track between arrows
constexpr double kCell = 8.0;         // event marks: one per cell of this size
constexpr double kMetresPerDegree = e_dog::kEarthRadiusM * svg::kDegToRad;

using svg::arrow_head;
using svg::kDegToRad;
using svg::kTrackColour;
using svg::Point;

// Longitude and latitude to picture coordinates: longitude shrunk by the
// cosine of the middle latitude, so that short distances keep their shape;
// the canvas takes the shape of what is drawn, its long side kLongSide.
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
        shrink_ = std::cos((south + north) / 2.0 * kDegToRad);
        const double w = std::max((east - west) * shrink_, 1e-6);
        const double h = std::max(north - south, 1e-6);
        scale_ = (kLongSide - 2 * kMargin) / std::max(w, h);
        width_ = std::max(w * scale_ + 2 * kMargin, kMinWidth);
        drawing_height_ = std::max(h * scale_ + 2 * kMargin, kMinHeight);
        // Centred where the canvas is larger than the drawing.
        left_ = (width_ - w * scale_) / 2.0;
        top_ = (drawing_height_ - h * scale_) / 2.0;
        north_ = north;
        west_ = west;
    }
    [[nodiscard]] Point at(const Place& p) const {
        return {left_ + (p.lng - west_) * shrink_ * scale_, top_ + (north_ - p.lat) * scale_};
    }
    // Picture units per metre on the ground.
    [[nodiscard]] double per_metre() const { return scale_ / kMetresPerDegree; }
    [[nodiscard]] double width() const { return width_; }
    [[nodiscard]] double drawing_height() const { return drawing_height_; }

private:
    double north_ = 0.0;
    double west_ = 0.0;
    double shrink_ = 1.0;
    double scale_ = 1.0;
    double width_ = kMinWidth;
    double drawing_height_ = kMinHeight;
    double left_ = kMargin;
    double top_ = kMargin;
};

// A round length (1, 2 or 5 times a power of ten metres) near a fifth of the
// canvas's width.
double scale_bar_metres(double per_metre, double width) {
    const double target = width / 5.0 / per_metre;
    const double power = std::pow(10.0, std::floor(std::log10(target)));
    for (const double step : {5.0, 2.0, 1.0}) {
        if (step * power <= target) {
            return step * power;
        }
    }
    return power;
}

// The track with arrows along it every kArrowEvery picture units.
void draw_track(std::ostringstream& s, const std::vector<Point>& track) {
    s << "<polyline fill=\"none\" stroke=\"" << kTrackColour << "\" stroke-width=\"2\" points=\"";
    for (const Point& p : track) {
        s << p.x << ',' << p.y << ' ';
    }
    s << "\"/>\n";
    double run = 0.0;
    for (std::size_t i = 1; i < track.size(); ++i) {
        const double dx = track[i].x - track[i - 1].x;
        const double dy = track[i].y - track[i - 1].y;
        run += std::hypot(dx, dy);
        if (run >= kArrowEvery && (dx != 0.0 || dy != 0.0)) {
            run = 0.0;
            arrow_head(s, track[i], std::atan2(dx, -dy) / kDegToRad, 9.0, kTrackColour);
        }
    }
}

// Each event's mark in a cell of its own: at the fix, or the first free
// cell to the right of it, joined to the fix by a thin line.
void draw_events(std::ostringstream& s, const Drive& drive, const Projection& proj) {
    std::set<std::pair<long, long>> taken;
    for (const DrawnEvent& e : drive.events) {
        const Point at = proj.at(e.at);
        const auto row = std::lround(at.y / kCell);
        auto column = std::lround(at.x / kCell);
        while (!taken.emplace(column, row).second) {
            ++column;
        }
        const Point mark{static_cast<double>(column) * kCell, static_cast<double>(row) * kCell};
        if (std::fabs(mark.x - at.x) > kCell) {
            s << "<line x1=\"" << at.x << "\" y1=\"" << at.y << "\" x2=\"" << mark.x << "\" y2=\""
              << mark.y << "\" stroke=\"#555555\" stroke-width=\"0.5\"/>\n";
        }
        s << "<rect class=\"event\" x=\"" << mark.x - 3.5 << "\" y=\"" << mark.y - 3.5
          << "\" width=\"7\" height=\"7\" fill=\"" << svg::event_colour(e.kind)
          << "\" stroke=\"black\" stroke-width=\"0.5\"/>\n";
    }
}

}  // namespace

void Drive::add_track_point(const Place& p) {
    end_ = p;
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
    for (const DrawnZone& z : drive.zones) {
        all.push_back(z.entry);
        all.push_back(z.exit);
    }
    const Projection proj(all);
    const double height = proj.drawing_height() + kLegendBand;
    std::ostringstream s;
    s << std::fixed << std::setprecision(1);
    s << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << proj.width() << "\" height=\""
      << height << "\" font-family=\"sans-serif\" font-size=\"11\">\n";
    s << "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
    std::vector<Point> track;
    track.reserve(drive.track.size());
    for (const Place& p : drive.track) {
        track.push_back(proj.at(p));
    }
    for (const DrawnZone& z : drive.zones) {
        svg::draw_zone(s, z, proj.at(z.entry), proj.at(z.exit));
    }
    draw_track(s, track);
    for (const DrawnCamera& c : drive.cameras) {
        svg::draw_camera(s, c, proj.at(c.at));
    }
    if (!track.empty()) {
        svg::draw_ends(s, track.front(), proj.at(drive.end()));
    }
    draw_events(s, drive, proj);
    const double top = proj.drawing_height();
    s << "<line x1=\"0\" y1=\"" << top << "\" x2=\"" << proj.width() << "\" y2=\"" << top
      << "\" stroke=\"#cccccc\"/>\n";
    svg::draw_legend(s, top);
    const double metres = scale_bar_metres(proj.per_metre(), proj.width());
    const double bar = metres * proj.per_metre();
    const double x = proj.width() - 20.0 - bar;
    const double y = height - 14.0;
    s << "<line x1=\"" << x << "\" y1=\"" << y << "\" x2=\"" << x + bar << "\" y2=\"" << y
      << "\" stroke=\"black\" stroke-width=\"3\"/>\n";
    s << "<text x=\"" << x << "\" y=\"" << y - 6.0 << "\">" << std::setprecision(0) << metres
      << " m</text>\n";
    if (drive.events_left_out != 0) {
        s << "<text x=\"330\" y=\"" << y + 4 << "\">" << drive.events_left_out
          << " more events not drawn</text>\n";
    }
    s << "</svg>\n";
    return s.str();
}

void write_drive_svg(const std::string& target, const Drive& drive, const std::string& named) {
    write_whole(target, drive_svg(drive), named);
}

}  // namespace edog_tool
