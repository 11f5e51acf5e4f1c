// What every camera search answers: which cameras may be taken, the answer
// "no camera", and how a taken camera is shown on the display record.
#ifndef EDOG_SEARCH_E_DOG_ANSWER_H
#define EDOG_SEARCH_E_DOG_ANSWER_H

#include <limits>

#include "edog/datafile/camera_kind.h"
#include "edog/e_dog_source_date.h"

namespace e_dog {

// A question a search takes: a position in range and a radius that is
// positive and finite (NaN fails every compare).
constexpr bool searchable(double lat, double lng, double radius_m) {
    return lat >= -90.0 && lat <= 90.0 && lng >= -180.0 && lng <= 180.0 && radius_m > 0.0 &&
           radius_m < std::numeric_limits<double>::infinity();
}

// The answer when no camera is taken: a record with Speed -1, and result -1
// on the display record where there is one (its other fields untouched).
inline E_DOG_DATA no_camera(E_DOG_LCD* lcd) {
    if (lcd != nullptr) {
        lcd->result = -1;
    }
    E_DOG_DATA rt{};
    rt.Speed = -1;
    return rt;
}

// Shows `rec`, `distance_m` away, on the display record: result 0, its speed
// limit, the distance in whole metres (truncated). cur_speed is untouched.
inline void show_camera(E_DOG_LCD* lcd, const E_DOG_DATA& rec, double distance_m) {
    if (lcd != nullptr) {
        lcd->distance_val = static_cast<s32>(distance_m);
        lcd->limit_speed = rec.Speed;
        lcd->result = 0;
    }
}

}  // namespace e_dog

#endif  // EDOG_SEARCH_E_DOG_ANSWER_H
