#include "bench/list_gen.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "edog/datafile/e_dog_record.h"
#include "edog/e_dog_internal.h"
#include "geo/geohash.h"

namespace bench {

namespace {

struct Camera {
    std::string code;
    double lat;
    double lng;
    int speed;
    int dirtype;
    int direction;
};

}  // namespace

bool parse_order(std::string_view name, Order& order) {
    for (Order o : {Order::kRandom, Order::kSorted, Order::kReverse, Order::kManyEqual}) {
        if (name == order_name(o)) {
            order = o;
            return true;
        }
    }
    return false;
}

const char* order_name(Order order) {
    switch (order) {
    case Order::kRandom:
        return "random";
    case Order::kSorted:
        return "sorted";
    case Order::kReverse:
        return "reverse";
    case Order::kManyEqual:
        return "many-equal";
    }
    return "?";
}

bool write_list(const std::string& path, Order order, std::size_t count, unsigned seed) {
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> lat(-55.0, 70.0);
    std::uniform_real_distribution<double> lng(-180.0, 180.0);
    std::uniform_int_distribution<int> speed(3, 12);
    std::uniform_int_distribution<int> dirtype(0, 5);
    std::uniform_int_distribution<int> direction(0, 359);

    std::vector<std::pair<double, double>> spots;
    if (order == Order::kManyEqual) {
        for (int i = 0; i < 1000; ++i) {
            spots.emplace_back(lat(rng), lng(rng));
        }
    }
    std::uniform_int_distribution<std::size_t> spot(0, spots.empty() ? 0 : spots.size() - 1);

    std::vector<Camera> cams;
    cams.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        Camera c{};
        if (spots.empty()) {
            c.lat = lat(rng);
            c.lng = lng(rng);
        } else {
            std::tie(c.lat, c.lng) = spots[spot(rng)];
        }
        c.speed = 10 * speed(rng);
        c.dirtype = dirtype(rng);
        c.direction = direction(rng);
        if (order == Order::kSorted || order == Order::kReverse) {
            c.code = geohash_encode(c.lat, c.lng, e_dog::kCodePrecision);
        }
        cams.push_back(std::move(c));
    }
    if (order == Order::kSorted) {
        std::stable_sort(cams.begin(), cams.end(),
                         [](const Camera& a, const Camera& b) { return a.code < b.code; });
    } else if (order == Order::kReverse) {
        std::stable_sort(cams.begin(), cams.end(),
                         [](const Camera& a, const Camera& b) { return a.code > b.code; });
    }

    std::FILE* out = std::fopen(path.c_str(), "w");
    if (out == nullptr) {
        return false;
    }
    bool ok = true;
    std::size_t idex = 1;
    for (const Camera& c : cams) {
        ok = ok && std::fprintf(out, "%zu,%.6f,%.6f,1,%d,%d,%d\n", idex++, c.lng, c.lat, c.speed,
                                c.dirtype, c.direction) > 0;
    }
    return (std::fclose(out) == 0) && ok;
}

std::string work_dir(const char* argv0, const char* name) {
    return (std::filesystem::path(argv0).parent_path() / name).string();
}

}  // namespace bench
