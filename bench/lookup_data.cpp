#include "bench/lookup_data.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "bench/list_gen.h"
#include "edog/datafile/e_dog_record.h"
#include "edog/e_dog_internal.h"
#include "edog/lookup/lookup.h"
#include "geo/geohash.h"

namespace bench {

namespace {
constexpr double kMetresPerDegree = 111319.5;
}  // namespace

bool prepare(int argc, char* argv[], const char* default_dir, Args& args) {
    args.count = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : args.count;
    args.queries = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : args.queries;
    args.runs = argc > 3 ? std::atoi(argv[3]) : args.runs;
    args.dir = argc > 4 ? argv[4] : work_dir(argv[0], default_dir);
    ::mkdir(args.dir.c_str(), 0755);
    if (args.count == 0 || args.queries == 0 || args.runs < 1 || ::chdir(args.dir.c_str()) != 0 ||
        std::freopen("/dev/null", "w", stdout) == nullptr) {
        std::fprintf(stderr, "cannot prepare %s (COUNT, QUERIES and RUNS must be positive)\n",
                     args.dir.c_str());
        return false;
    }
    return true;
}

bool open_lookup_file(const Args& args, bool clustered, LookupFile& file) {
    std::mt19937_64 rng(clustered ? 2 : 1);
    file.cams = make_cameras(args.count, clustered, rng);
    if (!write_data_file(e_dog_datafile, file.cams)) {
        std::fprintf(stderr, "cannot write the data file\n");
        return false;
    }
    file.queries = make_queries(file.cams, args.queries, rng);
    e_dog_exit();
    (void)e_dog_init();
    e_dog::free_queue(q_header);
    e_dog_build_file_index();
    return true;
}

std::vector<E_DOG_DATA> make_cameras(std::size_t count, bool clustered, std::mt19937_64& rng) {
    std::uniform_real_distribution<double> lat(-55.0, 70.0);
    std::uniform_real_distribution<double> lng(-180.0, 180.0);
    std::vector<Position> cities(300);
    for (Position& c : cities) {
        c = {lat(rng), lng(rng)};
    }
    std::uniform_int_distribution<std::size_t> city(0, cities.size() - 1);
    std::normal_distribution<double> spread(0.0, 0.1);
    std::uniform_int_distribution<int> dirtype(0, 5);

    std::vector<E_DOG_DATA> cams(count);
    for (std::size_t i = 0; i < count; ++i) {
        E_DOG_DATA& c = cams[i];
        c = E_DOG_DATA{};
        if (clustered) {
            const Position& centre = cities[city(rng)];
            c.Gps_lat = std::clamp(centre.lat + spread(rng), -89.0, 89.0);
            c.Gps_lng = std::clamp(centre.lng + spread(rng), -180.0, 180.0);
        } else {
            c.Gps_lat = lat(rng);
            c.Gps_lng = lng(rng);
        }
        c.Idex = static_cast<INT32>(i);
        c.DirType = dirtype(rng);
        c.Speed = 60;
        std::snprintf(c.encode_str, sizeof c.encode_str, "%s",
                      geohash_encode(c.Gps_lat, c.Gps_lng, e_dog::kCodePrecision));
    }
    std::stable_sort(cams.begin(), cams.end(), [](const E_DOG_DATA& a, const E_DOG_DATA& b) {
        return e_dog::compare_codes(a.encode_str, b.encode_str) < 0;
    });
    return cams;
}

bool write_data_file(const std::string& path, const std::vector<E_DOG_DATA>& cams) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        return false;
    }
    bool ok = true;
    for (const E_DOG_DATA& c : cams) {
        const e_dog::RecordBytes b = e_dog::encode_record(c);
        ok = ok && std::fwrite(b.data(), 1, b.size(), f) == b.size();
    }
    return std::fclose(f) == 0 && ok;
}

std::vector<Position> make_globe_positions(std::size_t n, std::mt19937_64& rng) {
    std::uniform_real_distribution<double> z(-1.0, 1.0);
    std::uniform_real_distribution<double> lng(-180.0, 180.0);
    std::vector<Position> out(n);
    for (Position& p : out) {
        p = {std::asin(z(rng)) * 180.0 / M_PI, lng(rng)};
    }
    return out;
}

std::vector<Position> make_queries(const std::vector<E_DOG_DATA>& cams, std::size_t n,
                                   std::mt19937_64& rng) {
    std::uniform_int_distribution<std::size_t> pick(0, cams.size() - 1);
    std::uniform_real_distribution<double> off(-600.0 / kMetresPerDegree, 600.0 / kMetresPerDegree);
    std::vector<Position> out(n);
    for (Position& p : out) {
        const E_DOG_DATA& c = cams[pick(rng)];
        p = {std::clamp(c.Gps_lat + off(rng), -90.0, 90.0),
             std::clamp(c.Gps_lng + off(rng), -180.0, 180.0)};
    }
    return out;
}

std::vector<Position> make_drives(const std::vector<E_DOG_DATA>& cams, std::size_t n,
                                  std::size_t fixes_per_drive, std::mt19937_64& rng) {
    constexpr double kRadPerDeg = 3.14159265358979 / 180.0;
    std::uniform_int_distribution<std::size_t> pick(0, cams.size() - 1);
    std::uniform_real_distribution<double> heading(0.0, 360.0);
    std::uniform_real_distribution<double> speed(14.0, 36.0);
    std::normal_distribution<double> turn(0.0, 2.0);  // degrees a second
    std::vector<Position> out;
    out.reserve(n);
    while (out.size() < n) {
        const E_DOG_DATA& start = cams[pick(rng)];
        double lat = start.Gps_lat;
        double lng = start.Gps_lng;
        double h = heading(rng);
        const double v = speed(rng);
        for (std::size_t t = 0; t < fixes_per_drive && out.size() < n; ++t) {
            out.push_back({lat, lng});
            lat = std::clamp(lat + v * std::cos(h * kRadPerDeg) / kMetresPerDegree, -89.0, 89.0);
            lng += v * std::sin(h * kRadPerDeg) / (kMetresPerDegree * std::cos(lat * kRadPerDeg));
            lng = lng > 180.0 ? lng - 360.0 : (lng < -180.0 ? lng + 360.0 : lng);
            h += turn(rng);
        }
    }
    return out;
}

}  // namespace bench
