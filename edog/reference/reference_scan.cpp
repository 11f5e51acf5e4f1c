#include "edog/reference/reference_scan.h"

#include <algorithm>
#include <cmath>

#include "edog/datafile/data_file_layout.h"
#include "edog/datafile/e_dog_record.h"
#include "edog/search/e_dog_answer.h"
#include "geo/distance.h"

namespace e_dog::reference {

Answer nearest(const std::vector<E_DOG_DATA>& records, double lat, double lng, double radius_m,
               bool skip_far_latitudes) {
    Answer best{-1, radius_m};
    if (!searchable(lat, lng, radius_m)) {
        return best;
    }
    // The haversine distance is at least R times the latitude difference in
    // the formula's radians; the metre covers its rounding.
    const double lat_reach = radius_m + 1.0;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const E_DOG_DATA& r = records[i];
        if (!qualifies(r.DirType) ||
            (skip_far_latitudes &&
             std::fabs(to_radians(lat) - to_radians(r.Gps_lat)) * kEarthRadiusM > lat_reach)) {
            continue;
        }
        const double d = distance_m(lat, lng, r.Gps_lat, r.Gps_lng);
        if (d < best.distance_m) {
            best = {static_cast<long>(i), d};
        }
    }
    return best;
}

std::vector<Answer> within(const std::vector<E_DOG_DATA>& records, double lat, double lng,
                           double radius_m) {
    std::vector<Answer> out;
    if (!searchable(lat, lng, radius_m)) {
        return out;
    }
    for (std::size_t i = 0; i < records.size(); ++i) {
        const double d = distance_m(lat, lng, records[i].Gps_lat, records[i].Gps_lng);
        if (d < radius_m) {
            out.push_back({static_cast<long>(i), d});
        }
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const Answer& a, const Answer& b) { return a.distance_m < b.distance_m; });
    return out;
}

std::vector<E_DOG_DATA> decode_file(const unsigned char* bytes, std::size_t size) {
    std::vector<E_DOG_DATA> out;
    const std::size_t records = DataFileLayout::records(size);
    for (std::size_t i = 0; i < records; ++i) {
        out.push_back(decode_record(bytes + DataFileLayout::offset_in_memory(i)));
    }
    return out;
}

}  // namespace e_dog::reference
