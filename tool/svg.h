// A drive drawn for a person to look at: the track with its start, end and
// direction of travel, the cameras near it (the warned ones marked, the
// direction of travel each one watches drawn for DirType 1 and 2) and where
// each event was given, no event's mark under another's; on a plain
// equirectangular projection whose canvas takes the drive's shape, with a
// scale bar and a legend of samples. See doc/edog-tool.md.
#ifndef TOOL_SVG_H
#define TOOL_SVG_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace edog_tool {

struct Place {
    double lat;
    double lng;
};

struct DrawnCamera {
    Place at;
    std::uint32_t idex;
    bool warned;
    int dirtype;    // 1: the vehicles travelling towards `direction`, 2: both ways
    int direction;  // degrees, 0 north, 90 east
};

struct DrawnEvent {
    Place at;
    int kind;  // EDOG_WARN_WARN, _OVERSPEED or _PASSED; kZoneEvent + EDOG_ZONE_ENTER, ...
};
inline constexpr int kZoneEvent = 10;

// An average-speed section, drawn as a line from its entry camera to its
// exit camera.
struct DrawnZone {
    Place entry;
    Place exit;
    int zone_id;
};

// What is drawn of a drive, in bounded memory: at most kMaxTrackPoints
// points of the track (every k-th fix, k doubling as the drive grows) and
// kMaxEvents events (the first ones; the rest counted).
struct Drive {
    static constexpr std::size_t kMaxTrackPoints = 50'000;
    static constexpr std::size_t kMaxEvents = 20'000;

    std::vector<Place> track;
    std::vector<DrawnCamera> cameras;
    std::vector<DrawnEvent> events;
    std::vector<DrawnZone> zones;
    std::uint64_t events_left_out = 0;

    void add_track_point(const Place& p);
    void add_event(const DrawnEvent& e);
    // The last point added, kept also when thinning drops it.
    [[nodiscard]] const Place& end() const { return end_; }

private:
    Place end_{};
    std::uint64_t fixes_ = 0;
    std::uint64_t every_ = 1;  // one point kept of this many fixes
};

// The SVG text of `drive`.
std::string drive_svg(const Drive& drive);

// Writes it to `target` (checked_output's answer for the output `named`),
// whole or not at all; fails naming `named`.
void write_drive_svg(const std::string& target, const Drive& drive, const std::string& named);

}  // namespace edog_tool

#endif  // TOOL_SVG_H
