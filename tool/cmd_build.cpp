// edog-tool build: a camera list to a data file, through the module's own
// line scanner, encoder, sort and writer. Lines the device's build would turn
// into invented cameras are refused and reported instead (unless --compat).
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "edog/e_dog_internal.h"
#include "edog/list_build.h"
#include "tool/commands.h"
#include "tool/tool.h"

namespace edog_tool {

namespace {

// Lists smaller than this build too fast for a progress bar to help.
constexpr std::uint64_t kProgressFromBytes = std::uint64_t{8} << 20;
constexpr std::uint64_t kMaxCameras = std::numeric_limits<INT32>::max();
constexpr std::uint64_t kMaxCameraNumber = std::numeric_limits<std::uint32_t>::max();
constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";

// A percentage on standard error while the list is read, when it is a
// terminal and the list is large.
class Progress {
public:
    Progress(bool quiet, std::uint64_t total)
        : on_(!quiet && total >= kProgressFromBytes && ::isatty(STDERR_FILENO) == 1),
          total_(total) {}

    void update(std::uint64_t bytes) {
        const auto percent = static_cast<int>(total_ == 0 ? 100 : bytes * 100 / total_);
        if (on_ && percent != shown_) {
            shown_ = percent;
            (void)std::fprintf(stderr, "\rreading %3d %%", percent);
        }
    }
    void stage(const char* what) const {
        if (on_) {
            (void)std::fprintf(stderr, "\r%-16s", what);
        }
    }
    void done() const {
        if (on_) {
            (void)std::fputs("\r                \r", stderr);
        }
    }

private:
    bool on_;
    std::uint64_t total_;
    int shown_ = -1;
};

struct Refusal {
    std::uint64_t line;
    std::string reason;
};

// The cameras taken, as the module's list nodes (nodes[0] is the head), with
// the line each came from.
struct Cameras {
    std::vector<GPSNode> nodes{GPSNode{}};
    std::vector<std::uint64_t> lines{0};
    std::vector<Refusal> refused;

    void add(const E_DOG_DATA& data, std::uint64_t line, const std::string& list) {
        if (nodes.size() > kMaxCameras) {
            throw Failure(list, "more than 2147483647 cameras; record numbers are 32-bit");
        }
        nodes.push_back(GPSNode{data, nullptr});
        lines.push_back(line);
    }
    void link() {
        for (std::size_t i = 0; i + 1 < nodes.size(); ++i) {
            nodes[i].link = &nodes[i + 1];
        }
    }
    [[nodiscard]] std::uint64_t line_of(const GPSNode* n) const {
        return lines[static_cast<std::size_t>(n - nodes.data())];
    }
};

bool blank(const std::string& s) {
    for (const char c : s) {
        if (c != ' ' && c != '\t') {
            return false;
        }
    }
    return true;
}

// Why the device's build would invent a camera from `line` (or take it
// wrongly), or an empty text when it reads one camera from it into `data`.
std::string refusal(std::string line, std::uint64_t line_no, E_DOG_DATA& data) {
    if (line.empty()) {
        return "empty line";
    }
    if (line_no == 1 && line.rfind(kByteOrderMark, 0) == 0) {
        line.erase(0, sizeof kByteOrderMark - 1);
    }
    if (line.find('\0') != std::string::npos) {
        return "holds a NUL byte";
    }
    if (blank(line)) {
        return "blank line";
    }
    const std::size_t first = line.find_first_not_of(" \t");
    if (line[first] == '#') {
        return "comment";
    }
    if (std::isalpha(static_cast<unsigned char>(line[first])) != 0) {
        return "header line";
    }
    if (line[first] == ',') {
        return "missing fields (no camera number)";
    }
    if (std::isdigit(static_cast<unsigned char>(line[0])) == 0) {
        return "does not start with a camera number";
    }
    data = E_DOG_DATA{};
    const e_dog::LineScan scan = e_dog::scan_camera_fields(line.c_str(), line.size(), data);
    if (scan.fields < 7) {
        return "missing fields (" + std::to_string(scan.fields) + " of 7)";
    }
    if (scan.idex < 0 || static_cast<std::uint64_t>(scan.idex) > kMaxCameraNumber) {
        return "camera number out of range (0 to 4294967295)";
    }
    if (!scan.position_numeric) {
        return "position is not a number";
    }
    if (!e_dog::set_code(data)) {
        return "position out of range";
    }
    return {};
}

void read_strict(const std::string& list, Cameras& cameras, Progress& progress) {
    LineReader reader(list);
    std::string line;
    E_DOG_DATA data{};
    while (reader.next(line)) {
        std::string why = refusal(line, reader.line_no(), data);
        if (why.empty()) {
            cameras.add(data, reader.line_no(), list);
        } else {
            cameras.refused.push_back({reader.line_no(), std::move(why)});
        }
        progress.update(reader.bytes_read());
    }
}

// The device's own reading: 511-byte pieces, fields carried over.
class CompatSink {
public:
    CompatSink(Cameras& cameras, Progress& progress, const std::string& list)
        : cameras_(cameras), progress_(progress), list_(list) {}

    void comma_piece(const char* /*piece*/, unsigned long /*piece_no*/) {}
    void bad_position(unsigned long piece_no) {
        cameras_.refused.push_back({piece_no, "position out of range"});
    }
    bool camera(const E_DOG_DATA& data, unsigned long piece_no) {
        cameras_.add(data, piece_no, list_);
        return true;
    }
    void progress(std::uint64_t bytes) { progress_.update(bytes); }

private:
    Cameras& cameras_;
    Progress& progress_;
    const std::string& list_;
};

void read_compat(const std::string& list, Cameras& cameras, Progress& progress) {
    const e_dog::UniqueFile f = e_dog::open_regular_file(list.c_str());
    if (!f) {
        LineReader reader(list);  // fails with the reason
    }
    CompatSink sink(cameras, progress, list);
    if (e_dog::read_camera_list(f.get(), sink) == e_dog::ReadResult::kReadError) {
        throw Failure(list, "read error");
    }
}

// The position's bits: equal for the very same doubles, -0.0 apart from 0.0.
struct PositionBits {
    std::uint64_t lat;
    std::uint64_t lng;
    auto operator<=>(const PositionBits&) const = default;
};
PositionBits bits(const E_DOG_DATA& d) {
    return {std::bit_cast<std::uint64_t>(d.Gps_lat), std::bit_cast<std::uint64_t>(d.Gps_lng)};
}

// Prints every group of cameras at one position, with their lines, in the
// order of their first lines, and returns how many cameras share a position
// with another. Works on the cameras in list order, so that the nodes are
// read in the order they lie in memory.
std::uint64_t report_shared_positions(const Cameras& cameras, const std::string& list) {
    struct Entry {
        PositionBits at;
        std::uint64_t line;
        bool operator<(const Entry& o) const { return at != o.at ? at < o.at : line < o.line; }
    };
    std::vector<Entry> entries;
    entries.reserve(cameras.nodes.size() - 1);
    for (std::size_t i = 1; i < cameras.nodes.size(); ++i) {
        entries.push_back({bits(cameras.nodes[i].data), cameras.lines[i]});
    }
    std::sort(entries.begin(), entries.end());
    std::vector<std::pair<std::size_t, std::size_t>> groups;  // [first, end) in entries
    for (std::size_t i = 0; i < entries.size();) {
        std::size_t j = i + 1;
        while (j < entries.size() && entries[j].at == entries[i].at) {
            ++j;
        }
        if (j - i > 1) {
            groups.emplace_back(i, j);
        }
        i = j;
    }
    std::sort(groups.begin(), groups.end(), [&](const auto& a, const auto& b) {
        return entries[a.first].line < entries[b.first].line;
    });
    std::uint64_t shared = 0;
    for (const auto& [first, end] : groups) {
        shared += end - first;
        const PositionBits& at = entries[first].at;
        std::printf("%s: same position %s,%s on lines", list.c_str(),
                    shortest(std::bit_cast<double>(at.lng)).c_str(),
                    shortest(std::bit_cast<double>(at.lat)).c_str());
        for (std::size_t k = first; k < end; ++k) {
            std::printf(" %llu", static_cast<unsigned long long>(entries[k].line));
        }
        (void)std::putchar('\n');
    }
    return shared;
}

}  // namespace

int run_build(const BuildOptions& o) {
    Cameras cameras;
    {
        std::uint64_t size = 0;
        {
            const LineReader probe(o.list);  // fails with the reason when unreadable
            size = probe.size();
        }
        Progress progress(o.quiet, size);
        // A camera line takes some 30 bytes or more: room for most lists at
        // once (memory is only used as the nodes are filled).
        cameras.nodes.reserve(std::min<std::uint64_t>(size / 24, kMaxCameras) + 1);
        cameras.lines.reserve(cameras.nodes.capacity());
        if (o.compat) {
            read_compat(o.list, cameras, progress);
        } else {
            read_strict(o.list, cameras, progress);
        }
        progress.stage("sorting");
        cameras.link();
        e_dog_quick_sort(cameras.nodes.data(), nullptr);
        progress.stage("writing");
        const std::uint64_t taken = cameras.nodes.size() - 1;
        if (taken == 0) {
            progress.done();
            throw Failure(o.list, "no camera to write; " + o.output + " was left as it was");
        }
        std::uint64_t written = 0;
        const e_dog::WriteResult result =
            e_dog::write_records(cameras.nodes[0].link, o.output.c_str(), written);
        progress.done();
        if (result == e_dog::WriteResult::kOpenFailed) {
            throw Failure(o.output, "cannot create a temporary file beside it");
        }
        if (result != e_dog::WriteResult::kOk) {
            throw Failure(o.output, "write failed; the file was left as it was");
        }
    }
    for (const Refusal& r : cameras.refused) {
        std::printf("%s:%llu: %s\n", o.list.c_str(), static_cast<unsigned long long>(r.line),
                    r.reason.c_str());
    }
    const std::uint64_t shared = report_shared_positions(cameras, o.list);
    std::printf("%s: %llu cameras written, %zu lines refused, %llu cameras at a shared position\n",
                o.output.c_str(), static_cast<unsigned long long>(cameras.nodes.size() - 1),
                cameras.refused.size(), static_cast<unsigned long long>(shared));
    finish_output();
    return 0;
}

}  // namespace edog_tool
