// The marks of the replay picture (tool/svg.h): event squares, arrowheads,
// cameras with the direction of travel they watch, start and end, and the
// legend that shows a sample of each. Shared by the picture's parts only.
#ifndef TOOL_SVG_MARKS_H
#define TOOL_SVG_MARKS_H

#include <sstream>

#include "tool/svg.h"

namespace edog_tool::svg {

inline constexpr double kPi = 3.14159265358979323846;
inline constexpr double kDegToRad = kPi / 180.0;
inline constexpr const char* kTrackColour = "#1f5fbf";
inline constexpr const char* kZoneColour = "#7a3db8";

// A point of the picture, in picture units from its top left corner.
struct Point {
    double x;
    double y;
};

// The colour of an event's mark (EDOG_WARN_WARN, _OVERSPEED, _PASSED).
const char* event_colour(int kind);

// A filled triangle at `tip` pointing along `deg` (0 up, 90 right).
void arrow_head(std::ostringstream& s, Point tip, double deg, double size, const char* colour);

// An average-speed section: a dashed line from its entry to its exit camera.
void draw_zone(std::ostringstream& s, const DrawnZone& z, Point entry, Point exit);

// A camera at `at`: a circle (red when warned), its number, and for DirType
// 1 an arrow towards its Direction, for 2 a line with arrows both ways.
void draw_camera(std::ostringstream& s, const DrawnCamera& c, Point at);

// The start (green circle) and end (black square) of the track, labelled.
void draw_ends(std::ostringstream& s, Point start, Point end);

// The legend below the drawing, from `top`: a sample of every mark.
void draw_legend(std::ostringstream& s, double top);

}  // namespace edog_tool::svg

#endif  // TOOL_SVG_MARKS_H
