// edog-tool build: a camera list to a data file, through the module's own
// line scanner, encoder, sort and writer. Lines the device's build would turn
// into invented cameras are refused and reported instead (unless --compat).
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "edog/builder/list_build.h"
#include "edog/datafile/open_file.h"
#include "tool/camera_list.h"
#include "tool/commands.h"
#include "tool/output.h"
#include "tool/tool.h"

namespace edog_tool {

namespace {

// Lists smaller than this build too fast for a progress bar to help.
constexpr std::uint64_t kProgressFromBytes = std::uint64_t{8} << 20;
constexpr std::uint64_t kMaxCameras = std::numeric_limits<INT32>::max();

// A percentage on standard error while the list is read, when it is a
// terminal and the list is large.
class Progress {
public:
    Progress(bool quiet, std::uint64_t total)
        : on_(!quiet && total >= kProgressFromBytes && ::isatty(STDERR_FILENO) == 1),
          total_(total) {}
    ~Progress() { done(); }
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;
    Progress(Progress&&) = delete;
    Progress& operator=(Progress&&) = delete;

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
    // Clears the line; nothing is shown after it.
    void done() {
        if (on_) {
            (void)std::fputs("\r                \r", stderr);
            on_ = false;
        }
    }

private:
    bool on_;
    std::uint64_t total_;
    int shown_ = -1;
};

// The device's own reading: 511-byte pieces, fields carried over, every
// piece a camera unless its position is refused.
class CompatSink {
public:
    CompatSink(ListPart& part, Progress& progress) : part_(part), progress_(progress) {}

    void comma_piece(const char* /*piece*/, unsigned long /*piece_no*/) {}
    void bad_position(unsigned long piece_no) {
        part_.refused.push_back({piece_no, "position out of range"});
    }
    bool camera(const E_DOG_DATA& data, unsigned long piece_no) {
        part_.add(data, piece_no);
        return true;
    }
    void progress(std::uint64_t bytes) { progress_.update(bytes); }

private:
    ListPart& part_;
    Progress& progress_;
};

CameraList read_compat(const std::string& list, std::uint64_t size, Progress& progress) {
    const e_dog::UniqueFile f = e_dog::open_regular_file(list.c_str());
    if (!f) {
        (void)read_text(list);  // fails with the reason
    }
    CameraList cameras;
    cameras.parts.resize(1);
    cameras.parts[0].reserve_for(size);
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

// Cameras at one position: where, and their lines in list order.
struct SharedPosition {
    PositionBits at;
    std::vector<std::uint64_t> lines;
};

// Every group of cameras at one position, in the order of their first
// lines. Reads only the nodes' positions, in the order the nodes lie in
// memory, so that it can run while the module's sort relinks them.
std::vector<SharedPosition> find_shared_positions(const CameraList& cameras) {
    struct Entry {
        PositionBits at;
        std::uint64_t line;
        bool operator<(const Entry& o) const { return at != o.at ? at < o.at : line < o.line; }
    };
    std::vector<Entry> entries;
    entries.reserve(cameras.count());
    cameras.each([&](const GPSNode& n, std::uint64_t line) {
        entries.push_back({{std::bit_cast<std::uint64_t>(n.data.Gps_lat),
                            std::bit_cast<std::uint64_t>(n.data.Gps_lng)},
                           line});
    });
    std::sort(entries.begin(), entries.end());
    std::vector<SharedPosition> groups;
    for (std::size_t i = 0; i < entries.size();) {
        std::size_t j = i + 1;
        while (j < entries.size() && entries[j].at == entries[i].at) {
            ++j;
        }
        if (j - i > 1) {
            SharedPosition& g = groups.emplace_back(SharedPosition{entries[i].at, {}});
            for (std::size_t k = i; k < j; ++k) {
                g.lines.push_back(entries[k].line);
            }
        }
        i = j;
    }
    std::sort(groups.begin(), groups.end(), [](const SharedPosition& a, const SharedPosition& b) {
        return a.lines.front() < b.lines.front();
    });
    return groups;
}

// Prints the groups; returns how many cameras share a position with another.
std::uint64_t report_shared_positions(const std::vector<SharedPosition>& groups,
                                      const std::string& list) {
    std::uint64_t shared = 0;
    for (const SharedPosition& g : groups) {
        shared += g.lines.size();
        std::printf("%s: same position %s,%s on lines", list.c_str(),
                    shortest(std::bit_cast<double>(g.at.lng)).c_str(),
                    shortest(std::bit_cast<double>(g.at.lat)).c_str());
        for (const std::uint64_t line : g.lines) {
            std::printf(" %llu", static_cast<unsigned long long>(line));
        }
        (void)std::putchar('\n');
    }
    return shared;
}

// Sorts the cameras with the module's sort and writes them with its writer.
void sort_and_write(CameraList& cameras, const BuildOptions& o, const std::string& target,
                    Progress& progress) {
    progress.stage("sorting");
    cameras.link();
    e_dog_quick_sort(&cameras.head, nullptr);
    progress.stage("writing");
    std::uint64_t written = 0;
    errno = 0;
    const e_dog::WriteResult result =
        e_dog::write_records(cameras.head.link, target.c_str(), written);
    const int cause = errno;
    progress.done();
    if (result == e_dog::WriteResult::kOpenFailed) {
        throw Failure(o.output, std::string("cannot create a temporary file beside it: ") +
                                    std::strerror(cause));
    }
    if (result != e_dog::WriteResult::kOk) {
        throw Failure(o.output, "write failed; the file was left as it was");
    }
}

}  // namespace

int run_build(const BuildOptions& o) {
    const std::string target = checked_output(o.output, {o.list});
    std::error_code ec;
    const std::uint64_t size = std::filesystem::file_size(o.list, ec);
    Progress progress(o.quiet, ec ? 0 : size);
    CameraList cameras;
    if (o.compat) {
        cameras = read_compat(o.list, size, progress);
    } else {
        const std::string text = read_text(o.list);
        cameras = read_strict(text, [&](std::uint64_t bytes) { progress.update(bytes); });
    }
    const std::uint64_t taken = cameras.count();
    if (taken == 0) {
        throw Failure(o.list, "no camera to write; " + o.output + " was left as it was");
    }
    if (taken > kMaxCameras) {
        throw Failure(o.list, "more than 2147483647 cameras; record numbers are 32-bit");
    }
    // The shared positions are found on a second thread meanwhile: it reads
    // the nodes' positions, the sort writes only their links.
    std::vector<SharedPosition> shared_positions;
    std::exception_ptr failed;
    {
        const std::jthread finder([&] {
            try {
                shared_positions = find_shared_positions(cameras);
            } catch (...) {
                failed = std::current_exception();
            }
        });
        sort_and_write(cameras, o, target, progress);
    }
    if (failed) {
        std::rethrow_exception(failed);
    }
    std::uint64_t refused = 0;
    for (const ListPart& part : cameras.parts) {
        for (const Refusal& r : part.refused) {
            std::printf("%s:%llu: %s\n", o.list.c_str(), static_cast<unsigned long long>(r.line),
                        r.reason.c_str());
        }
        refused += part.refused.size();
    }
    const std::uint64_t shared = report_shared_positions(shared_positions, o.list);
    std::printf("%s: %llu cameras written, %llu lines refused, %llu cameras at a shared position\n",
                o.output.c_str(), static_cast<unsigned long long>(taken),
                static_cast<unsigned long long>(refused), static_cast<unsigned long long>(shared));
    finish_output();
    return 0;
}

}  // namespace edog_tool
