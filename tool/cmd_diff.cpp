// edog-tool diff: the cameras added, removed and changed between two data
// files, matched by camera number; the k-th record of a number in one file
// pairs with the k-th of the same number in the other. The files are read
// in passes; what is held is an index of camera numbers (see kMaxRecords).
#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "edog/datafile/e_dog_record.h"
#include "tool/commands.h"
#include "tool/file_kind.h"
#include "tool/record_reader.h"
#include "tool/tool.h"

namespace edog_tool {

namespace {

// diff holds an index of both files: 8 bytes a record of each, and 4 more a
// record of the new file (about 20 bytes a record at most). Larger files are
// refused rather than read into a memory they may not fit.
constexpr std::uint64_t kMaxRecords = std::uint64_t{1} << 24;
constexpr std::uint32_t kUnmatched = UINT32_MAX;

// A record's camera number and record number; sorted, the records of each
// camera number in file order.
struct Key {
    std::uint32_t idex;
    std::uint32_t record;
    auto operator<=>(const Key&) const = default;
};

std::vector<Key> sorted_keys(RecordReader& f) {
    if (f.records() > kMaxRecords) {
        throw Failure(f.path(), std::to_string(f.records()) +
                                    " records; diff compares files of up to " +
                                    std::to_string(kMaxRecords) +
                                    " records (it keeps 20 bytes a record in memory)");
    }
    std::vector<Key> keys;
    keys.reserve(in_memory(f.records()));
    f.rewind();
    for (const unsigned char* bytes = f.next(); bytes != nullptr; bytes = f.next()) {
        keys.push_back({camera_number(e_dog::decode_record(bytes).Idex),
                        static_cast<std::uint32_t>(f.index())});
    }
    std::sort(keys.begin(), keys.end());
    return keys;
}

// For each record of the new file the old record it pairs with (the k-th
// of a camera number with the k-th), or kUnmatched.
std::vector<std::uint32_t> pair_records(RecordReader& before, RecordReader& after) {
    const std::vector<Key> old_keys = sorted_keys(before);
    std::vector<Key> new_keys = sorted_keys(after);
    std::vector<std::uint32_t> match(new_keys.size(), kUnmatched);
    std::size_t i = 0;
    for (const Key& k : new_keys) {
        while (i < old_keys.size() && old_keys[i].idex < k.idex) {
            ++i;
        }
        if (i < old_keys.size() && old_keys[i].idex == k.idex) {
            match[k.record] = old_keys[i++].record;
        }
    }
    return match;
}

std::string describe(const E_DOG_DATA& r) {
    return "at lat " + shortest(r.Gps_lat) + " lng " + shortest(r.Gps_lng) + " type " +
           std::to_string(r.Type) + " speed " + std::to_string(r.Speed) + " dirtype " +
           std::to_string(r.DirType) + " direction " + std::to_string(r.Direction);
}

bool same_bits(double a, double b) {
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

// "field old -> new" for every field that differs; empty when none does.
std::string changes(const E_DOG_DATA& a, const E_DOG_DATA& b) {
    std::string out;
    const auto add = [&out](const char* name, const std::string& from, const std::string& to) {
        out.append(out.empty() ? "" : ", ")
            .append(name)
            .append(" ")
            .append(from)
            .append(" -> ")
            .append(to);
    };
    if (!same_bits(a.Gps_lat, b.Gps_lat)) {
        add("lat", shortest(a.Gps_lat), shortest(b.Gps_lat));
    }
    if (!same_bits(a.Gps_lng, b.Gps_lng)) {
        add("lng", shortest(a.Gps_lng), shortest(b.Gps_lng));
    }
    const std::pair<const char*, std::pair<int, int>> ints[] = {
        {"type", {a.Type, b.Type}},
        {"speed", {a.Speed, b.Speed}},
        {"dirtype", {a.DirType, b.DirType}},
        {"direction", {a.Direction, b.Direction}}};
    for (const auto& [name, v] : ints) {
        if (v.first != v.second) {
            add(name, std::to_string(v.first), std::to_string(v.second));
        }
    }
    if (std::memcmp(a.encode_str, b.encode_str, sizeof a.encode_str) != 0) {
        add("code", printable_code(a), printable_code(b));
    }
    return out;
}

}  // namespace

int run_diff(const std::string& old_file, const std::string& new_file) {
    RecordReader before(old_file);
    expect_data_file(before, DataCheck::kSound);
    RecordReader after(new_file);
    expect_data_file(after, DataCheck::kSound);
    const std::vector<std::uint32_t> match = pair_records(before, after);
    std::vector<bool> matched(in_memory(before.records()), false);
    std::uint64_t added = 0;
    std::uint64_t changed = 0;
    after.rewind();
    for (const unsigned char* bytes = after.next(); bytes != nullptr; bytes = after.next()) {
        const E_DOG_DATA r = e_dog::decode_record(bytes);
        const std::uint64_t i = after.index();
        const std::uint32_t j = match[in_memory(i)];
        if (j == kUnmatched) {
            ++added;
            std::printf("added   idex %u (record %llu) %s\n", camera_number(r.Idex),
                        static_cast<unsigned long long>(i), describe(r).c_str());
            continue;
        }
        matched[j] = true;
        const std::string what = changes(before.at(j), r);
        if (!what.empty()) {
            ++changed;
            std::printf("changed idex %u (record %u -> %llu): %s\n", camera_number(r.Idex), j,
                        static_cast<unsigned long long>(i), what.c_str());
        }
    }
    std::uint64_t removed = 0;
    before.rewind();
    for (const unsigned char* bytes = before.next(); bytes != nullptr; bytes = before.next()) {
        if (!matched[in_memory(before.index())]) {
            ++removed;
            const E_DOG_DATA r = e_dog::decode_record(bytes);
            std::printf("removed idex %u (record %llu) %s\n", camera_number(r.Idex),
                        static_cast<unsigned long long>(before.index()), describe(r).c_str());
        }
    }
    std::printf("%llu added, %llu removed, %llu changed\n", static_cast<unsigned long long>(added),
                static_cast<unsigned long long>(removed), static_cast<unsigned long long>(changed));
    const std::uint64_t zones = print_zone_changes(before, after);
    finish_output();
    return added + removed + changed + zones == 0 ? 0 : 1;
}

}  // namespace edog_tool
