// edog-tool build: a camera list to a data file, through the module's own
// line scanner, encoder, sort and writer. Lines the device's build would turn
// into invented cameras are refused and reported instead (unless --compat).
// What it holds: the cameras' nodes and their line numbers (see
// tool/camera_list.h), the first few findings of each reason, nothing else
// that grows with the list.
#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "edog/builder/list_build.h"
#include "edog/datafile/open_file.h"
#include "edog/datafile/zone_file.h"
#include "tool/camera_list.h"
#include "tool/commands.h"
#include "tool/file_kind.h"
#include "tool/findings.h"
#include "tool/output.h"
#include "tool/progress.h"
#include "tool/tool.h"
#include "tool/zone_list.h"

namespace edog_tool {

namespace {

constexpr std::uint64_t kMaxCameras = std::numeric_limits<INT32>::max();
// Lines of one shared position printed, unless --verbose.
constexpr std::size_t kLinesShown = 16;
constexpr const char* kSameData = "same position and data (duplicates)";
constexpr const char* kOtherData = "same position, different data";

// The device's own reading: 511-byte pieces, fields carried over, every
// piece a camera unless its position is refused.
class CompatSink {
public:
    CompatSink(ListPart& part, Progress& progress) : part_(part), progress_(progress) {}

    void comma_piece(const char* /*piece*/, unsigned long /*piece_no*/) {}
    void bad_position(unsigned long piece_no) { part_.refuse(piece_no, "position out of range"); }
    bool camera(const E_DOG_DATA& data, unsigned long piece_no) {
        part_.add(data, piece_no);
        return true;
    }
    void progress(std::uint64_t bytes) { progress_.update(bytes); }

private:
    ListPart& part_;
    Progress& progress_;
};

CameraList read_compat(const std::string& list, bool verbose, Progress& progress) {
    const e_dog::UniqueFile f = e_dog::open_regular_file(list.c_str());
    if (!f) {
        (void)open_input(list);  // fails with the reason
    }
    CameraList cameras;
    cameras.parts.resize(1);
    cameras.parts[0].all_refusals = verbose;
    CompatSink sink(cameras.parts[0], progress);
    if (e_dog::read_camera_list(f.get(), sink) == e_dog::ReadResult::kReadError) {
        throw Failure(list, "read error");
    }
    return cameras;
}

// The position's bits: equal for the very same doubles, -0.0 apart from 0.0.
struct PositionBits {
    std::uint64_t lat;
    std::uint64_t lng;
    auto operator<=>(const PositionBits&) const = default;
};

PositionBits bits_of(const E_DOG_DATA& d) {
    return {std::bit_cast<std::uint64_t>(d.Gps_lat), std::bit_cast<std::uint64_t>(d.Gps_lng)};
}

bool same_data(const E_DOG_DATA& a, const E_DOG_DATA& b) {
    return a.Type == b.Type && a.Speed == b.Speed && a.DirType == b.DirType &&
           a.Direction == b.Direction;
}

// Cameras at one position: where, their lines in list order (the first
// kLinesShown unless all are kept) and how many there are.
struct SharedPosition {
    PositionBits at;
    std::vector<std::uint64_t> lines;
    std::uint64_t cameras;
    const char* reason;
};

// The groups of cameras at one position. Two passes over the cameras in
// list order (memory order), reading only their data, so that they can run
// while the module's sort relinks the nodes: the first marks in a bitmap of
// position hashes (2 bytes a camera) the hashes met twice, the second takes
// the cameras of those hashes, a few percent of the list and all the
// shared ones, to be grouped. Kept: the groups of each reason with the
// first lines (the first few, or all with `all`); every group counted.
class SharedPositions {
public:
    explicit SharedPositions(bool all) : findings_(all) {}

    void find(const CameraList& cameras) {
        unsigned bits = 10;
        while ((std::uint64_t{1} << bits) < cameras.count() * 16) {
            ++bits;
        }
        const auto slot = [bits](const E_DOG_DATA& d) {
            const PositionBits p = bits_of(d);
            return ((p.lat * 0x9E3779B97F4A7C15ULL) ^ p.lng) * 0xC2B2AE3D27D4EB4FULL >> (64 - bits);
        };
        std::vector<bool> seen(std::size_t{1} << bits);
        std::vector<bool> twice(std::size_t{1} << bits);
        cameras.each([&](const GPSNode& n, std::uint64_t /*line*/) {
            const auto h = slot(n.data);
            if (seen[h]) {
                twice[h] = true;
            }
            seen[h] = true;
        });
        seen = {};
        std::vector<Entry> candidates;
        cameras.each([&](const GPSNode& n, std::uint64_t line) {
            if (twice[slot(n.data)]) {
                candidates.push_back({bits_of(n.data), line, &n});
            }
        });
        group(candidates);
    }

    // Prints the groups kept in the order of their first lines, then the
    // count of the rest per reason; returns how many cameras share a
    // position with another.
    std::uint64_t print(const std::string& list) {
        std::sort(kept_.begin(), kept_.end(), by_first_line);
        for (const SharedPosition& g : kept_) {
            std::printf("%s: same position %s,%s on lines", list.c_str(),
                        shortest(std::bit_cast<double>(g.at.lng)).c_str(),
                        shortest(std::bit_cast<double>(g.at.lat)).c_str());
            for (const std::uint64_t line : g.lines) {
                std::printf(" %llu", static_cast<unsigned long long>(line));
            }
            if (g.cameras > g.lines.size()) {
                std::printf(" and %llu more",
                            static_cast<unsigned long long>(g.cameras - g.lines.size()));
            }
            (void)std::putchar('\n');
        }
        (void)std::fflush(stdout);
        findings_.print_rest(stdout, list, "groups");
        return cameras_;
    }

private:
    struct Entry {
        PositionBits at;
        std::uint64_t line;
        const GPSNode* node;
        bool operator<(const Entry& o) const { return at != o.at ? at < o.at : line < o.line; }
    };

    static bool by_first_line(const SharedPosition& a, const SharedPosition& b) {
        return a.lines.front() < b.lines.front();
    }

    void group(std::vector<Entry>& run) {
        std::sort(run.begin(), run.end());
        for (std::size_t i = 0; i < run.size();) {
            std::size_t j = i + 1;
            bool alike = true;
            for (; j < run.size() && run[j].at == run[i].at; ++j) {
                alike = alike && same_data(run[j].node->data, run[i].node->data);
            }
            if (j - i > 1) {
                keep(run, i, j, alike ? kSameData : kOtherData);
            }
            i = j;
        }
    }

    void keep(const std::vector<Entry>& run, std::size_t from, std::size_t to, const char* reason) {
        cameras_ += to - from;
        (void)findings_.count(reason);
        const std::size_t shown = findings_.all() ? to - from : std::min(to - from, kLinesShown);
        SharedPosition g{run[from].at, {}, to - from, reason};
        for (std::size_t k = from; k < from + shown; ++k) {
            g.lines.push_back(run[k].line);
        }
        kept_.push_back(std::move(g));
        if (findings_.all()) {
            return;
        }
        // Of this reason only the groups with the first lines stay.
        std::uint64_t of_reason = 0;
        auto latest = kept_.end();
        for (auto it = kept_.begin(); it != kept_.end(); ++it) {
            if (it->reason == reason) {
                ++of_reason;
                if (latest == kept_.end() || by_first_line(*latest, *it)) {
                    latest = it;
                }
            }
        }
        if (of_reason > kShownPerReason) {
            kept_.erase(latest);
        }
    }

    Findings findings_;
    std::vector<SharedPosition> kept_;
    std::uint64_t cameras_ = 0;
};

// Prints the refused lines kept by the parts, the first few of each reason
// over the whole list (all with `verbose`); returns their counts.
Findings report_refusals(std::span<const ListPart> parts, const std::string& list, bool verbose) {
    Findings refusals(verbose);
    for (const ListPart& part : parts) {
        for (const Refusal& r : part.refused) {
            if (refusals.count(r.reason)) {
                std::printf("%s:%llu: %s\n", list.c_str(), static_cast<unsigned long long>(r.line),
                            r.reason.c_str());
            }
        }
    }
    for (const ListPart& part : parts) {
        for (const auto& [reason, n] : part.refused_by_reason) {
            const std::uint64_t kept = verbose ? n : std::min(n, kShownPerReason);
            if (n > kept) {
                (void)refusals.count(reason, n - kept);
            }
        }
    }
    (void)std::fflush(stdout);
    return refusals;
}

// The zones of `o.zones` placed on the sorted cameras; fails, before the
// data file is written, when none can be stored.
std::vector<e_dog::ZoneRecord> zones_for(ZoneList& zones, const BuildOptions& o,
                                         const CameraList& cameras) {
    std::vector<e_dog::ZoneRecord> placed = place_zones(zones, cameras.head.link);
    // Lines refused while placing come after those refused while reading.
    std::sort(zones.refused.refused.begin(), zones.refused.refused.end(),
              [](const Refusal& a, const Refusal& b) { return a.line < b.line; });
    const Findings refused = report_refusals({&zones.refused, 1}, o.zones, o.verbose);
    refused.print_rest(stdout, o.zones, "lines refused");
    if (placed.empty()) {
        refused.print_counts(stdout, o.zones, "lines refused");
        finish_output();
        throw Failure(o.zones, "no zone to store: all " + std::to_string(refused.total()) +
                                   " lines were refused; " + o.output + " was left as it was");
    }
    std::printf("%s: %zu zones, %llu lines refused\n", o.zones.c_str(), placed.size(),
                static_cast<unsigned long long>(refused.total()));
    return placed;
}

void write_zones(const std::vector<e_dog::ZoneRecord>& zones, std::uint64_t records,
                 const std::string& target, const std::string& named) {
    write_whole(target, e_dog::encode_zones(zones, e_dog::DataFileLayout::bytes(records)), named,
                "; the data file was written without its zones");
}

// Sorts the cameras with the module's sort, places the zones, and writes the
// data file with the module's writer, then the zones file; meanwhile a
// second thread finds the shared positions (it reads only the nodes' data,
// the sort writes only their links).
void sort_and_write(CameraList& cameras, const BuildOptions& o, const std::string& target,
                    Progress& progress, SharedPositions& shared, ZoneList* zones) {
    std::uint64_t written = 0;
    e_dog::WriteResult result{};
    int cause = 0;
    std::exception_ptr failed;
    std::vector<e_dog::ZoneRecord> placed;
    {
        const std::jthread finder([&] {
            try {
                shared.find(cameras);
            } catch (...) {
                failed = std::current_exception();
            }
        });
        progress.stage("sorting");
        cameras.link();
        e_dog_quick_sort(&cameras.head, nullptr);
        if (zones != nullptr) {
            progress.done();
            placed = zones_for(*zones, o, cameras);
        }
        progress.stage("writing");
        errno = 0;
        result = e_dog::write_records(cameras.head.link, target.c_str(), written);
        cause = errno;
    }
    progress.done();
    if (result == e_dog::WriteResult::kOpenFailed) {
        throw Failure(o.output, std::string("cannot create a temporary file beside it: ") +
                                    std::strerror(cause));
    }
    if (result != e_dog::WriteResult::kOk) {
        throw Failure(o.output, "write failed; the file was left as it was");
    }
    if (failed) {
        std::rethrow_exception(failed);
    }
    if (zones != nullptr) {
        write_zones(placed, written, e_dog::zones_path(target), e_dog::zones_path(o.output));
    }
}

}  // namespace

int run_build(const BuildOptions& o) {
    const std::vector<std::string> inputs = o.zones.empty()
                                                ? std::vector<std::string>{o.list}
                                                : std::vector<std::string>{o.list, o.zones};
    const std::string target = checked_output(o.output, inputs);
    if (!o.zones.empty()) {
        (void)checked_output(e_dog::zones_path(o.output), inputs);
    }
    const InputFile in = open_input(o.list);
    expect_text(in, TextInput::kCameraList);
    std::optional<ZoneList> zones;
    if (!o.zones.empty()) {
        const InputFile zin = open_input(o.zones);
        expect_text(zin, TextInput::kZonesList);
        zones = read_zone_list(zin, o.verbose);
    }
    Progress progress(o.quiet, in.size);
    CameraList cameras =
        o.compat ? read_compat(o.list, o.verbose, progress)
                 : read_strict(in, o.verbose, [&](std::uint64_t bytes) { progress.update(bytes); });
    progress.done();
    const Findings refusals = report_refusals(cameras.parts, o.list, o.verbose);
    const std::uint64_t taken = cameras.count();
    if (taken == 0) {
        refusals.print_counts(stdout, o.list, "lines refused");
        finish_output();
        throw Failure(o.list, "no camera to write: all " + std::to_string(refusals.total()) +
                                  " lines were refused (the file looks like " + looks_like(in) +
                                  "); " + o.output + " was left as it was");
    }
    refusals.print_rest(stdout, o.list, "lines refused");
    if (taken > kMaxCameras) {
        throw Failure(o.list, "more than 2147483647 cameras; record numbers are 32-bit");
    }
    SharedPositions shared(o.verbose);
    sort_and_write(cameras, o, target, progress, shared, zones ? &*zones : nullptr);
    const std::uint64_t at_shared = shared.print(o.list);
    std::printf("%s: %llu cameras written, %llu lines refused, %llu cameras at a shared position\n",
                o.output.c_str(), static_cast<unsigned long long>(taken),
                static_cast<unsigned long long>(refusals.total()),
                static_cast<unsigned long long>(at_shared));
    finish_output();
    return 0;
}

}  // namespace edog_tool
