// edog-tool verify and info: what a data file holds and whether a device can
// trust it. Records are read with the module's record codec; codes are
// checked against the module's encoder and its order against the build's.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <map>
#include <string>

#include "edog/builder/list_build.h"
#include "edog/datafile/e_dog_record.h"
#include "geo/geohash_int.h"
#include "tool/commands.h"
#include "tool/tool.h"

namespace edog_tool {

namespace {

constexpr std::size_t kCodeChars = 10;

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

bool code_well_formed(const E_DOG_DATA& r) {
    for (std::size_t i = 0; i < kCodeChars; ++i) {
        if (geo::kCharValue[static_cast<unsigned char>(r.encode_str[i])] == geo::kNotInAlphabet) {
            return false;
        }
    }
    for (std::size_t i = kCodeChars; i < e_dog::kCodeBytes; ++i) {
        if (r.encode_str[i] != '\0') {
            return false;
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

class Report {
public:
    explicit Report(const std::string& file) : file_(file) {}
    void problem(std::size_t record, const std::string& what) {
        ++problems_;
        std::printf("%s: record %zu: %s\n", file_.c_str(), record, what.c_str());
    }
    void warning(std::size_t record, const std::string& what) {
        ++warnings_;
        std::printf("%s: record %zu: warning: %s\n", file_.c_str(), record, what.c_str());
    }
    [[nodiscard]] std::uint64_t problems() const { return problems_; }
    [[nodiscard]] std::uint64_t warnings() const { return warnings_; }
    void count_problem() { ++problems_; }

private:
    const std::string& file_;
    std::uint64_t problems_ = 0;
    std::uint64_t warnings_ = 0;
};

void check_record(const DataFile& f, std::size_t i, Report& report) {
    const E_DOG_DATA r = f.record(i);
    const bool well_formed = code_well_formed(r);
    if (!well_formed) {
        report.problem(i, "code \"" + printable_code(r) +
                              "\" is not 10 characters of the Geohash alphabet followed by zeros");
    }
    if (!position_finite(r)) {
        report.problem(
            i, "position " + shortest(r.Gps_lat) + "," + shortest(r.Gps_lng) + " is not finite");
    } else if (!position_in_range(r)) {
        report.problem(
            i, "position " + shortest(r.Gps_lat) + "," + shortest(r.Gps_lng) + " is out of range");
    } else if (well_formed) {
        E_DOG_DATA coded = r;
        if (e_dog::set_code(coded) &&
            std::memcmp(coded.encode_str, r.encode_str, e_dog::kCodeBytes) != 0) {
            report.problem(i, "code " + printable_code(r) + " does not encode the position " +
                                  shortest(r.Gps_lat) + "," + shortest(r.Gps_lng) + " (" +
                                  printable_code(coded) + ")");
        }
    }
    if (i > 0) {
        const E_DOG_DATA prev = f.record(i - 1);
        if (e_dog::compare_codes(prev.encode_str, r.encode_str) > 0) {
            report.problem(i, "out of order: code " + printable_code(r) +
                                  " sorts before the previous record's " + printable_code(prev));
        }
    }
    if (!padding_zero(f.at(i))) {
        report.warning(i, "padding bytes not zero");
    }
}

template <typename Map>
void print_counts(const char* label, const Map& counts) {
    std::printf("%-10s", label);
    for (const auto& [value, count] : counts) {
        std::printf(" %d:%llu", value, static_cast<unsigned long long>(count));
    }
    std::putchar('\n');
}

}  // namespace

int run_verify(const std::string& file) {
    const DataFile f = read_data_file(file);
    Report report(file);
    if (f.trailing() != 0) {
        report.count_problem();
        std::printf(
            "%s: size %zu bytes is not a whole number of %zu-byte records (%zu bytes after "
            "record %zu)\n",
            file.c_str(), f.bytes.size(), e_dog::kRecordSize, f.trailing(), f.records());
    }
    if (f.records() == 0) {
        report.count_problem();
        std::printf("%s: holds no record\n", file.c_str());
    }
    for (std::size_t i = 0; i < f.records(); ++i) {
        check_record(f, i, report);
    }
    std::printf("%s: %zu records, %llu problems, %llu warnings: %s\n", file.c_str(), f.records(),
                static_cast<unsigned long long>(report.problems()),
                static_cast<unsigned long long>(report.warnings()),
                report.problems() == 0 ? "sound" : "NOT SOUND");
    finish_output();
    return report.problems() == 0 ? 0 : 1;
}

int run_info(const std::string& file) {
    const DataFile f = read_data_file(file);
    std::map<int, std::uint64_t> types;
    std::map<int, std::uint64_t> dirtypes;
    std::map<int, std::uint64_t> speeds;
    constexpr double kInf = std::numeric_limits<double>::infinity();
    double south = kInf;
    double north = -kInf;
    double west = kInf;
    double east = -kInf;
    std::uint64_t with_position = 0;
    for (std::size_t i = 0; i < f.records(); ++i) {
        const E_DOG_DATA r = f.record(i);
        ++types[r.Type];
        ++dirtypes[r.DirType];
        ++speeds[r.Speed];
        if (placed(r)) {
            ++with_position;
            south = std::fmin(south, r.Gps_lat);
            north = std::fmax(north, r.Gps_lat);
            west = std::fmin(west, r.Gps_lng);
            east = std::fmax(east, r.Gps_lng);
        }
    }
    std::printf("file      %s\n", file.c_str());
    std::printf("records   %zu", f.records());
    if (f.trailing() != 0) {
        std::printf(" (and %zu bytes of a cut record)", f.trailing());
    }
    std::putchar('\n');
    if (with_position != 0) {
        std::printf("latitude  %s to %s\n", shortest(south).c_str(), shortest(north).c_str());
        std::printf("longitude %s to %s\n", shortest(west).c_str(), shortest(east).c_str());
    }
    if (with_position != f.records()) {
        std::printf("unplaced  %llu (position not finite or out of range)\n",
                    static_cast<unsigned long long>(f.records() - with_position));
    }
    print_counts("Type", types);
    print_counts("DirType", dirtypes);
    print_counts("Speed", speeds);
    finish_output();
    return 0;
}

}  // namespace edog_tool
