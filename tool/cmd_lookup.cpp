// edog-tool lookup and dump: one position answered by the module's own
// searches, and a data file written out as a list, CSV or GeoJSON.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "edog/datafile/camera_kind.h"
#include "edog/datafile/e_dog_record.h"
#include "edog/e_dog_db.h"
#include "edog/e_dog_source_date.h"
#include "geo/distance.h"
#include "tool/commands.h"
#include "tool/file_kind.h"
#include "tool/record_reader.h"
#include "tool/tool.h"

namespace edog_tool {

namespace {

using Json = nlohmann::ordered_json;

Json camera_json(const E_DOG_DATA& r, std::int64_t record, double distance_m) {
    Json j;
    j["record"] = record;
    j["idex"] = camera_number(r.Idex);
    j["lat"] = number(r.Gps_lat);
    j["lng"] = number(r.Gps_lng);
    j["type"] = r.Type;
    j["speed"] = r.Speed;
    j["dirtype"] = r.DirType;
    j["direction"] = r.Direction;
    j["code"] = printable_code(r);
    j["distance_m"] = number(distance_m);
    return j;
}

void print_camera(const E_DOG_DATA& r, std::int64_t record, double distance_m, bool json) {
    if (json) {
        print_json(camera_json(r, record, distance_m));
        return;
    }
    std::printf(
        "%.1f m  record %lld  idex %u  lat %s  lng %s  type %d  speed %d  dirtype %d  "
        "direction %d  code %s\n",
        distance_m, static_cast<long long>(record), camera_number(r.Idex),
        shortest(r.Gps_lat).c_str(), shortest(r.Gps_lng).c_str(), r.Type, r.Speed, r.DirType,
        r.Direction, printable_code(r).c_str());
}

// A CSV field: quoted when it holds a comma, a quote or a line end.
std::string csv_field(const std::string& s) {
    if (s.find_first_of(",\"\r\n") == std::string::npos) {
        return s;
    }
    std::string q = "\"";
    for (const char c : s) {
        q += c;
        if (c == '"') {
            q += '"';
        }
    }
    return q + "\"";
}

// RFC 7946: a Point at [longitude, latitude], or no geometry for a position
// that is not one.
Json feature(const E_DOG_DATA& r, std::uint64_t record) {
    Json f;
    f["type"] = "Feature";
    if (placed(r)) {
        f["geometry"] = {{"type", "Point"}, {"coordinates", {r.Gps_lng, r.Gps_lat}}};
    } else {
        f["geometry"] = nullptr;
    }
    f["properties"] = {{"idex", camera_number(r.Idex)},
                       {"type", r.Type},
                       {"speed", r.Speed},
                       {"dirtype", r.DirType},
                       {"direction", r.Direction},
                       {"code", printable_code(r)},
                       {"record", record}};
    return f;
}

}  // namespace

int run_lookup(const LookupOptions& o) {
    expect_data_file(RecordReader(o.file), DataCheck::kSound);
    const Database db(o.file);
    if (!o.all) {
        E_DOG_HIT hit{};
        if (e_dog_db_nearest(db.get(), o.lat, o.lng, o.radius_m, &hit) == 1) {
            print_camera(hit.data, hit.record, hit.distance_m, o.json);
        } else if (!o.json) {
            std::printf("no camera with DirType %d to %d within %s m\n",
                        e_dog::value(e_dog::DirType::kOneWay),
                        e_dog::value(e_dog::DirType::kLastTaken), shortest(o.radius_m).c_str());
        }
        finish_output();
        return 0;
    }
    const int count = e_dog_db_within(db.get(), o.lat, o.lng, o.radius_m, nullptr, 0);
    std::vector<E_DOG_HIT> hits(static_cast<std::size_t>(count > 0 ? count : 0));
    if (count > 0) {
        (void)e_dog_db_within(db.get(), o.lat, o.lng, o.radius_m, hits.data(), count);
    }
    for (const E_DOG_HIT& h : hits) {
        print_camera(h.data, h.record, h.distance_m, o.json);
    }
    if (hits.empty() && !o.json) {
        std::printf("no camera within %s m\n", shortest(o.radius_m).c_str());
    }
    finish_output();
    return 0;
}

int run_dump(const std::string& file, DumpFormat format) {
    RecordReader f(file);
    expect_data_file(f, DataCheck::kSound);
    if (format == DumpFormat::kGeoJson) {
        (void)std::fputs("{\"type\":\"FeatureCollection\",\"features\":[", stdout);
    } else if (format == DumpFormat::kCsv) {
        std::puts("record,idex,longitude,latitude,type,speed,dirtype,direction,code");
    }
    for (const unsigned char* bytes = f.next(); bytes != nullptr; bytes = f.next()) {
        const E_DOG_DATA r = e_dog::decode_record(bytes);
        const std::uint64_t i = f.index();
        if (format == DumpFormat::kGeoJson) {
            if (i != 0) {
                (void)std::fputc(',', stdout);
            }
            (void)std::fputs("\n", stdout);
            const std::string text =
                feature(r, i).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
            (void)std::fwrite(text.data(), 1, text.size(), stdout);
            continue;
        }
        if (format == DumpFormat::kCsv) {
            std::printf("%llu,", static_cast<unsigned long long>(i));
        }
        std::printf("%u,%s,%s,%d,%d,%d,%d", camera_number(r.Idex), shortest(r.Gps_lng).c_str(),
                    shortest(r.Gps_lat).c_str(), r.Type, r.Speed, r.DirType, r.Direction);
        if (format == DumpFormat::kCsv) {
            std::printf(",%s", csv_field(printable_code(r)).c_str());
        }
        std::putchar('\n');
    }
    if (format == DumpFormat::kGeoJson) {
        (void)std::fputs("\n]}\n", stdout);
    }
    finish_output();
    return 0;
}

}  // namespace edog_tool
