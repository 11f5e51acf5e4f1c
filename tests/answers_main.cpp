// Prints the answers of a few thousand searches of DATA_T.BIN in the working
// folder, one line each, so that builds for different targets can be
// compared line by line: the nearest camera's record and distance and the
// cameras within the radius with their distances (all 17 digits). No
// GoogleTest, so that any target that runs the library runs it.
#include <cstdint>
#include <cstdio>
#include <vector>

#include "edog/datafile/e_dog_record.h"
#include "edog/datafile/open_file.h"
#include "edog/e_dog_internal.h"
#include "edog/e_dog_source_date.h"
#include "edog/search/search_trace.h"

int main() {
    std::vector<E_DOG_DATA> cameras;
    {
        const e_dog::UniqueFile f = e_dog::open_regular_file("DATA_T.BIN");
        E_DOG_DATA rec{};
        while (f && e_dog::read_record(f.get(), rec)) {
            cameras.push_back(rec);
        }
    }
    if (cameras.empty() || e_dog_init() != 0) {
        return 1;
    }
    // Positions up to about 2 km from cameras: a fixed sequence, the same on
    // every target.
    std::uint64_t state = 2024;
    const auto next = [&state] {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<double>(state >> 11U) / 9007199254740992.0;  // [0, 1)
    };
    constexpr int kShown = 8;
    E_DOG_HIT hits[kShown];
    // Then drives: 20 of 100 fixes each, 10 to 30 m apart, in straight lines
    // from cameras, for the searches that follow on from the one before.
    double lat = 0.0;
    double lng = 0.0;
    double step_lat = 0.0;
    double step_lng = 0.0;
    for (int i = 0; i < 5000; ++i) {
        if (i < 3000 || i % 100 == 0) {
            const E_DOG_DATA& c =
                cameras[static_cast<std::size_t>(next() * static_cast<double>(cameras.size()))];
            lat = c.Gps_lat + (next() - 0.5) * 0.04;
            lng = c.Gps_lng + (next() - 0.5) * 0.04;
            step_lat = (next() - 0.5) * 0.0004;
            step_lng = (next() - 0.5) * 0.0004;
        } else {
            lat += step_lat;
            lng += step_lng;
        }
        const double radius = i % 2 == 0 || i >= 3000 ? 800.0 : 3000.0;
        E_DOG_LCD lcd{};
        const E_DOG_DATA cam = e_dog_search_nearest(lat, lng, radius, &lcd);
        const int within = e_dog_search_within(lat, lng, radius, hits, kShown);
        std::printf("%d %lld %d %d %d", i,
                    static_cast<long long>(e_dog::last_nearest_trace().record),
                    static_cast<int>(cam.Idex), lcd.distance_val, within);
        for (int k = 0; k < within && k < kShown; ++k) {
            std::printf(" %d:%.17g", hits[k].record, hits[k].distance_m);
        }
        std::printf("\n");
    }
    e_dog_exit();
    return 0;
}
