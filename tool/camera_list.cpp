// The strict reading of a camera list. See tool/camera_list.h.
#include "tool/camera_list.h"

#include <sys/mman.h>

#include <cctype>
#include <cstdint>
#include <exception>
#include <limits>
#include <thread>

#include "edog/builder/list_build.h"
#include "tool/tool.h"

namespace edog_tool {

namespace {

constexpr std::uint64_t kMaxCameraNumber = std::numeric_limits<std::uint32_t>::max();
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
// A camera line takes some 30 bytes or more.
constexpr std::size_t kBytesPerCamera = 24;
// Below this a second thread costs more than it saves.
constexpr std::size_t kSplitFromBytes = std::size_t{4} << 20;

// The sort and the write visit the nodes in code order, all over the array:
// with large pages that costs far fewer address-translation misses (and
// page faults while the array fills). Only advice; ignored where refused.
void advise_huge_pages(void* start, std::size_t bytes) {
    constexpr std::uintptr_t kHuge = std::uintptr_t{2} << 20;
    const auto at = reinterpret_cast<std::uintptr_t>(start);
    const std::uintptr_t skip = (kHuge - at % kHuge) % kHuge;
    if (bytes > skip + kHuge) {
        const std::size_t length = (bytes - skip) / kHuge * kHuge;
        (void)::madvise(static_cast<char*>(start) + skip, length, MADV_HUGEPAGE);
    }
}

bool blank(std::string_view s) {
    return s.find_first_not_of(" \t") == std::string_view::npos;
}

void read_part(std::string_view text, bool first_part, ListPart& part,
               const std::function<void(std::uint64_t)>* progress) {
    part.reserve_for(text.size());
    Lines lines(text);
    std::string_view line;
    E_DOG_DATA data{};
    while (lines.next(line)) {
        const std::uint64_t line_no = lines.line_no();
        std::string why = refusal(line, first_part && line_no == 1, data);
        if (why.empty()) {
            part.add(data, line_no);
        } else {
            part.refused.push_back({line_no, std::move(why)});
        }
        if (progress != nullptr && line_no % 4096 == 0) {
            (*progress)(lines.offset());
        }
    }
    part.line_count = lines.line_no();
}

// Where the second half of `text` starts: just after the first line end at
// or after its middle.
std::size_t middle_line_start(std::string_view text) {
    std::size_t at = text.find_first_of("\r\n", text.size() / 2);
    if (at == std::string_view::npos) {
        return text.size();
    }
    if (text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n') {
        ++at;
    }
    return at + 1;
}

}  // namespace

void ListPart::reserve_for(std::size_t list_bytes) {
    const std::size_t cameras = list_bytes / kBytesPerCamera;
    nodes.reserve(cameras);
    lines.reserve(cameras);
    advise_huge_pages(nodes.data(), nodes.capacity() * sizeof(GPSNode));
}

std::uint64_t CameraList::count() const {
    std::uint64_t n = 0;
    for (const ListPart& p : parts) {
        n += p.nodes.size();
    }
    return n;
}

void CameraList::link() {
    GPSNode* last = &head;
    for (ListPart& p : parts) {
        for (GPSNode& n : p.nodes) {
            last->link = &n;
            last = &n;
        }
    }
    last->link = nullptr;
}

void CameraList::each(const std::function<void(const GPSNode&, std::uint64_t)>& f) const {
    for (const ListPart& p : parts) {
        for (std::size_t i = 0; i < p.nodes.size(); ++i) {
            f(p.nodes[i], p.lines[i]);
        }
    }
}

std::string refusal(std::string_view line, bool first, E_DOG_DATA& data) {
    if (line.empty()) {
        return "empty line";
    }
    if (first && line.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
        line.remove_prefix(kByteOrderMark.size());
    }
    if (line.find('\0') != std::string_view::npos) {
        return "holds a NUL byte";
    }
    if (blank(line)) {
        return "blank line";
    }
    const char lead = line[line.find_first_not_of(" \t")];
    if (lead == '#') {
        return "comment";
    }
    if (std::isalpha(static_cast<unsigned char>(lead)) != 0) {
        return "header line";
    }
    if (lead == ',') {
        return "missing fields (no camera number)";
    }
    if (std::isdigit(static_cast<unsigned char>(line[0])) == 0) {
        return "does not start with a camera number";
    }
    // The scanner reads a terminated line; most lines fit the buffer.
    char buffer[e_dog::kLineBytes];
    std::string longer;
    const char* terminated = buffer;
    if (line.size() < sizeof buffer) {
        line.copy(buffer, line.size());
        buffer[line.size()] = '\0';
    } else {
        longer.assign(line);
        terminated = longer.c_str();
    }
    data = E_DOG_DATA{};
    const e_dog::LineScan scan = e_dog::scan_camera_fields(terminated, line.size(), data);
    if (scan.fields < 7) {
        return "missing fields (" + std::to_string(scan.fields) + " of 7)";
    }
    if (scan.idex < 0 || static_cast<std::uint64_t>(scan.idex) > kMaxCameraNumber) {
        return "camera number out of range (0 to 4294967295)";
    }
    if (scan.unfit_column != 0) {
        static constexpr const char* kNames[] = {"Type", "Speed", "DirType", "Direction"};
        return std::string(kNames[scan.unfit_column - 4]) +
               " out of range (-2147483648 to 2147483647): it would be stored wrapped";
    }
    if (!scan.position_numeric) {
        return "position is not a number";
    }
    if (!e_dog::set_code(data)) {
        return "position out of range";
    }
    return {};
}

CameraList read_strict(std::string_view text, const std::function<void(std::uint64_t)>& progress) {
    CameraList list;
    const std::size_t split = text.size() < kSplitFromBytes ? text.size() : middle_line_start(text);
    list.parts.resize(split < text.size() ? 2 : 1);
    if (list.parts.size() == 2) {
        std::exception_ptr failed;
        {
            const std::jthread second([&] {
                try {
                    read_part(text.substr(split), false, list.parts[1], nullptr);
                } catch (...) {
                    failed = std::current_exception();
                }
            });
            const std::function<void(std::uint64_t)> scaled = [&](std::uint64_t bytes) {
                progress(bytes * text.size() / split);
            };
            read_part(text.substr(0, split), true, list.parts[0], &scaled);
        }  // joins the second thread, also when the first half failed
        if (failed) {
            std::rethrow_exception(failed);
        }
        // The second half counted its lines from 1.
        for (std::uint64_t& line : list.parts[1].lines) {
            line += list.parts[0].line_count;
        }
        for (Refusal& r : list.parts[1].refused) {
            r.line += list.parts[0].line_count;
        }
    } else {
        read_part(text, true, list.parts[0], &progress);
    }
    return list;
}

}  // namespace edog_tool
