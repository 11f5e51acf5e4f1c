// edog-tool verify and info: what a data file holds and whether a device can
// trust it. Records are read with the module's record codec; codes are
// checked against the module's encoder and its order against the build's.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <map>
#include <set>
#include <string>

#include "edog/builder/list_build.h"
#include "edog/datafile/e_dog_record.h"
#include "edog/datafile/zone_file.h"
#include "tool/commands.h"
#include "tool/file_kind.h"
#include "tool/findings.h"
#include "tool/progress.h"
#include "tool/record_reader.h"
#include "tool/tool.h"

namespace edog_tool {

namespace {

bool padding_zero(const unsigned char* bytes) {
    constexpr std::size_t kPads[][2] = {{e_dog::kOffSpeed + 4, e_dog::kOffLat},
                                        {e_dog::kOffCode + e_dog::kCodeBytes, e_dog::kRecordSize}};
    for (const auto& pad : kPads) {
        for (std::size_t i = pad[0]; i < pad[1]; ++i) {
            if (bytes[i] != 0) {
                return false;
            }
        }
    }
    return true;
}

bool position_finite(const E_DOG_DATA& r) {
    return std::isfinite(r.Gps_lat) && std::isfinite(r.Gps_lng);
}
bool position_in_range(const E_DOG_DATA& r) {
    return std::fabs(r.Gps_lat) <= 90.0 && std::fabs(r.Gps_lng) <= 180.0;
}

// Problems and warnings of the records, counted by kind: the first few of
// each printed (all with --verbose).
class Report {
public:
    Report(const std::string& file, bool verbose) : file_(file), findings_(verbose) {}
    // `what()` tells the problem; called only when it is printed.
    template <typename What>
    void problem(std::uint64_t record, const char* kind, const What& what) {
        ++problems_;
        if (findings_.count(kind)) {
            std::printf("%s: record %llu: %s\n", file_.c_str(),
                        static_cast<unsigned long long>(record), what().c_str());
        }
    }
    // `kind` starts "warning: ".
    void warning(std::uint64_t record, const char* kind) {
        ++warnings_;
        if (findings_.count(kind)) {
            std::printf("%s: record %llu: %s\n", file_.c_str(),
                        static_cast<unsigned long long>(record), kind);
        }
    }
    [[nodiscard]] std::uint64_t problems() const { return problems_; }
    [[nodiscard]] std::uint64_t warnings() const { return warnings_; }
    void count_problem() { ++problems_; }
    void print_rest() const { findings_.print_rest(stdout, file_, "records"); }

private:
    const std::string& file_;
    Findings findings_;
    std::uint64_t problems_ = 0;
    std::uint64_t warnings_ = 0;
};

constexpr const char* kBadCode = "code not 10 Geohash characters followed by zeros";
constexpr const char* kNotFinite = "position not finite";
constexpr const char* kOutOfRange = "position out of range";
constexpr const char* kWrongCode = "code does not encode the position";
constexpr const char* kOutOfOrder = "out of order";

// Checks the record `bytes`, number `i`, read after `prev` (when i > 0);
// answers it decoded.
E_DOG_DATA check_record(const unsigned char* bytes, std::uint64_t i, const E_DOG_DATA& prev,
                        Report& report) {
    const E_DOG_DATA r = e_dog::decode_record(bytes);
    const bool well_formed = code_well_formed(r);
    if (!well_formed) {
        report.problem(i, kBadCode, [&] {
            return "code \"" + printable_code(r) +
                   "\" is not 10 characters of the Geohash alphabet followed by zeros";
        });
    }
    if (!position_finite(r)) {
        report.problem(i, kNotFinite, [&] {
            return "position " + shortest(r.Gps_lat) + "," + shortest(r.Gps_lng) + " is not finite";
        });
    } else if (!position_in_range(r)) {
        report.problem(i, kOutOfRange, [&] {
            return "position " + shortest(r.Gps_lat) + "," + shortest(r.Gps_lng) +
                   " is out of range";
        });
    } else if (well_formed) {
        E_DOG_DATA coded = r;
        if (e_dog::set_code(coded) &&
            std::memcmp(coded.encode_str, r.encode_str, e_dog::kCodeBytes) != 0) {
            report.problem(i, kWrongCode, [&] {
                return "code " + printable_code(r) + " does not encode the position " +
                       shortest(r.Gps_lat) + "," + shortest(r.Gps_lng) + " (" +
                       printable_code(coded) + ")";
            });
        }
    }
    if (i > 0 && e_dog::compare_codes(prev.encode_str, r.encode_str) > 0) {
        report.problem(i, kOutOfOrder, [&] {
            return "out of order: code " + printable_code(r) +
                   " sorts before the previous record's " + printable_code(prev);
        });
    }
    if (!padding_zero(bytes)) {
        report.warning(i, "warning: padding bytes not zero");
    }
    return r;
}

// The zones file beside `f`: one the device can use (every zone's cameras
// the records it names, numbers unique and positive, a limit from 1 to 500
// km/h, two different cameras), or the problem.
void check_zones(const RecordReader& f, Report& report) {
    const e_dog::ZonesLoaded z = zones_of(f);
    const std::string name = e_dog::zones_path(f.path());
    if (z.state == EDOG_ZONES_NONE) {
        return;
    }
    if (z.state != EDOG_ZONES_LOADED) {
        report.count_problem();
        std::printf("%s: %s: %s; a device ignores it\n", name.c_str(),
                    z.state == EDOG_ZONES_STALE ? "stale" : "damaged", z.why.c_str());
        return;
    }
    std::set<INT32> ids;
    std::uint64_t problems = 0;
    for (const EDOG_ZONE& zone : z.zones) {
        std::string what;
        if (zone.zone_id <= 0 || !ids.insert(zone.zone_id).second) {
            what = "zone number not positive or repeated";
        } else if (zone.speed_kmh < 1 || zone.speed_kmh > 500) {
            what = "limit " + std::to_string(zone.speed_kmh) + " km/h is not from 1 to 500";
        } else if (zone.entry_record == zone.exit_record) {
            what = "entry and exit are the same record";
        }
        if (!what.empty()) {
            ++problems;
            report.count_problem();
            std::printf("%s: zone %d: %s\n", name.c_str(), zone.zone_id, what.c_str());
        }
    }
    std::printf("%s: %zu zones, %llu problems\n", name.c_str(), z.zones.size(),
                static_cast<unsigned long long>(problems));
}

// How often each value of a field occurs: the first kMaxValues values met
// counted one by one, the rest together, so that memory stays bounded.
class ValueCounts {
public:
    static constexpr std::size_t kMaxValues = 64;

    void add(int value) {
        const auto it = counts_.find(value);
        if (it != counts_.end()) {
            ++it->second;
        } else if (counts_.size() < kMaxValues) {
            counts_.emplace(value, 1);
        } else {
            ++others_;
        }
    }
    void print(const char* label) const {
        std::printf("%-10s", label);
        for (const auto& [value, count] : counts_) {
            std::printf(" %d:%llu", value, static_cast<unsigned long long>(count));
        }
        if (others_ != 0) {
            std::printf(" other values:%llu", static_cast<unsigned long long>(others_));
        }
        std::putchar('\n');
    }

private:
    std::map<int, std::uint64_t> counts_;
    std::uint64_t others_ = 0;
};

}  // namespace

int run_verify(const VerifyOptions& o) {
    RecordReader f(o.file);
    expect_data_file(f, DataCheck::kRecords);
    const std::string& file = o.file;
    Report report(file, o.verbose);
    if (f.trailing() != 0) {
        report.count_problem();
        std::printf(
            "%s: size %llu bytes is not a whole number of %zu-byte records (%llu bytes after "
            "record %llu)\n",
            file.c_str(), static_cast<unsigned long long>(f.size()), e_dog::kRecordSize,
            static_cast<unsigned long long>(f.trailing()),
            static_cast<unsigned long long>(f.records()));
    }
    if (f.records() == 0) {
        report.count_problem();
        std::printf("%s: holds no record\n", file.c_str());
    }
    if (f.records() > e_dog::DataFileLayout::kMaxRecords) {
        report.count_problem();
        std::printf("%s: holds %llu records; a device takes at most %llu\n", file.c_str(),
                    static_cast<unsigned long long>(f.records()),
                    static_cast<unsigned long long>(e_dog::DataFileLayout::kMaxRecords));
    }
    Progress progress(o.quiet, f.size());
    E_DOG_DATA prev{};
    for (const unsigned char* bytes = f.next(); bytes != nullptr; bytes = f.next()) {
        prev = check_record(bytes, f.index(), prev, report);
        if (f.index() % kBatchRecords == 0) {
            progress.update(e_dog::DataFileLayout::offset(f.index()));
        }
    }
    progress.done();
    report.print_rest();
    check_zones(f, report);
    std::printf("%s: %llu records, %llu problems, %llu warnings: %s\n", file.c_str(),
                static_cast<unsigned long long>(f.records()),
                static_cast<unsigned long long>(report.problems()),
                static_cast<unsigned long long>(report.warnings()),
                report.problems() == 0 ? "sound" : "NOT SOUND");
    finish_output();
    return report.problems() == 0 ? 0 : 1;
}

int run_info(const std::string& file) {
    RecordReader f(file);
    expect_data_file(f, DataCheck::kSound);
    ValueCounts types;
    ValueCounts dirtypes;
    ValueCounts speeds;
    constexpr double kInf = std::numeric_limits<double>::infinity();
    double south = kInf;
    double north = -kInf;
    double west = kInf;
    double east = -kInf;
    std::uint64_t with_position = 0;
    Progress progress(false, f.size());
    for (const unsigned char* bytes = f.next(); bytes != nullptr; bytes = f.next()) {
        if (f.index() % kBatchRecords == 0) {
            progress.update(e_dog::DataFileLayout::offset(f.index()));
        }
        const E_DOG_DATA r = e_dog::decode_record(bytes);
        types.add(r.Type);
        dirtypes.add(r.DirType);
        speeds.add(r.Speed);
        if (placed(r)) {
            ++with_position;
            south = std::fmin(south, r.Gps_lat);
            north = std::fmax(north, r.Gps_lat);
            west = std::fmin(west, r.Gps_lng);
            east = std::fmax(east, r.Gps_lng);
        }
    }
    progress.done();
    std::printf("file      %s\n", file.c_str());
    std::printf("records   %llu", static_cast<unsigned long long>(f.records()));
    std::putchar('\n');
    if (with_position != 0) {
        std::printf("latitude  %s to %s\n", shortest(south).c_str(), shortest(north).c_str());
        std::printf("longitude %s to %s\n", shortest(west).c_str(), shortest(east).c_str());
    }
    if (with_position != f.records()) {
        std::printf("unplaced  %llu (position not finite or out of range)\n",
                    static_cast<unsigned long long>(f.records() - with_position));
    }
    types.print("Type");
    dirtypes.print("DirType");
    speeds.print("Speed");
    const e_dog::ZonesLoaded z = zones_of(f);
    if (z.state == EDOG_ZONES_LOADED) {
        std::printf("zones     %zu (%s)\n", z.zones.size(), e_dog::zones_path(file).c_str());
    } else if (z.state != EDOG_ZONES_NONE) {
        std::printf("zones     none: %s is %s (%s)\n", e_dog::zones_path(file).c_str(),
                    z.state == EDOG_ZONES_STALE ? "stale" : "damaged", z.why.c_str());
    }
    finish_output();
    return 0;
}

}  // namespace edog_tool
