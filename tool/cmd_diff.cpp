// edog-tool diff: the cameras added, removed and changed between two data
// files, matched by camera number; the k-th record of a number in one file
// pairs with the k-th of the same number in the other.
#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "edog/datafile/e_dog_record.h"
#include "tool/commands.h"
#include "tool/tool.h"

namespace edog_tool {

namespace {

// Record numbers of each camera number, in file order.
using Occurrences = std::unordered_map<std::uint32_t, std::vector<std::size_t>>;

Occurrences occurrences(const DataFile& f) {
    Occurrences o;
    for (std::size_t i = 0; i < f.records(); ++i) {
        o[camera_number(f.record(i).Idex)].push_back(i);
    }
    return o;
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
    const DataFile before = read_data_file(old_file);
    const DataFile after = read_data_file(new_file);
    const Occurrences old_by_number = occurrences(before);
    std::unordered_map<std::uint32_t, std::size_t> seen;  // occurrences met in the new file
    std::vector<bool> matched(before.records(), false);
    std::uint64_t added = 0;
    std::uint64_t changed = 0;
    for (std::size_t i = 0; i < after.records(); ++i) {
        const E_DOG_DATA r = after.record(i);
        const std::uint32_t idex = camera_number(r.Idex);
        const std::size_t k = seen[idex]++;
        const auto it = old_by_number.find(idex);
        if (it == old_by_number.end() || k >= it->second.size()) {
            ++added;
            std::printf("added   idex %u (record %zu) %s\n", idex, i, describe(r).c_str());
            continue;
        }
        const std::size_t j = it->second[k];
        matched[j] = true;
        const std::string what = changes(before.record(j), r);
        if (!what.empty()) {
            ++changed;
            std::printf("changed idex %u (record %zu -> %zu): %s\n", idex, j, i, what.c_str());
        }
    }
    std::uint64_t removed = 0;
    for (std::size_t j = 0; j < before.records(); ++j) {
        if (!matched[j]) {
            ++removed;
            const E_DOG_DATA r = before.record(j);
            std::printf("removed idex %u (record %zu) %s\n", camera_number(r.Idex), j,
                        describe(r).c_str());
        }
    }
    std::printf("%llu added, %llu removed, %llu changed\n", static_cast<unsigned long long>(added),
                static_cast<unsigned long long>(removed), static_cast<unsigned long long>(changed));
    finish_output();
    return added + removed + changed == 0 ? 0 : 1;
}

}  // namespace edog_tool
