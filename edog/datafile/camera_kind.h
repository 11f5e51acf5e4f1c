// What a record's Type and DirType mean, by the convention camera lists
// follow (doc/warner.md), and which cameras a search takes.
#ifndef EDOG_DATAFILE_CAMERA_KIND_H
#define EDOG_DATAFILE_CAMERA_KIND_H

#include <cstdint>

namespace e_dog {

// What the camera is (the record's Type).
enum class CameraType : std::int32_t {
    kSpeed = 1,
    kSpeedAndRedLight = 2,
    kRedLight = 3,
    kSectionControl = 4,
    kMobile = 5,
    kRailwayCrossing = 6,
};

// Which traffic the camera watches (the record's DirType). 3 to 5 carry no
// direction but are taken like 1 and 2.
enum class DirType : std::int32_t {
    kAllDirections = 0,  // warned only where the warner is told to
    kOneWay = 1,         // vehicles driving towards Direction
    kBothWays = 2,       // Direction and its opposite
    kLastTaken = 5,      // the highest DirType a search takes
};

constexpr std::int32_t value(DirType d) {
    return static_cast<std::int32_t>(d);
}
constexpr std::int32_t value(CameraType t) {
    return static_cast<std::int32_t>(t);
}

// A camera the driver is warned of and the searches take: DirType 1 to 5.
constexpr bool qualifies(std::int32_t dirtype) {
    return dirtype >= value(DirType::kOneWay) && dirtype <= value(DirType::kLastTaken);
}

// A camera that watches one direction or two (DirType 1 or 2 with a
// Direction of 0 to 359 degrees); any other watches every course.
constexpr bool directed(std::int32_t dirtype, std::int32_t direction) {
    return (dirtype == value(DirType::kOneWay) || dirtype == value(DirType::kBothWays)) &&
           direction >= 0 && direction <= 359;
}

// The name of a Type, "camera" for a value without one.
constexpr const char* type_text(std::int32_t type) {
    switch (static_cast<CameraType>(type)) {
    case CameraType::kSpeed:
        return "speed camera";
    case CameraType::kSpeedAndRedLight:
        return "speed and red light camera";
    case CameraType::kRedLight:
        return "red light camera";
    case CameraType::kSectionControl:
        return "section control";
    case CameraType::kMobile:
        return "mobile camera";
    case CameraType::kRailwayCrossing:
        return "railway crossing";
    }
    return "camera";
}

}  // namespace e_dog

#endif  // EDOG_DATAFILE_CAMERA_KIND_H
