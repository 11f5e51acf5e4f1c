// The strict reading of a camera list. See tool/camera_list.h.
#include "tool/camera_list.h"

#include <sys/mman.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <exception>
#include <limits>
#include <thread>

#include "edog/builder/list_build.h"
#include "tool/findings.h"
#include "tool/line_reader.h"
#include "tool/tool.h"

namespace edog_tool {

namespace {

constexpr std::uint64_t kMaxCameraNumber = std::numeric_limits<std::uint32_t>::max();
// Below this a second thread costs more than it saves.
constexpr std::uint64_t kSplitFromBytes = std::uint64_t{4} << 20;

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

void read_part(const InputFile& in, std::uint64_t begin, std::uint64_t end, bool first_part,
               ListPart& part, const std::function<void(std::uint64_t)>* progress) {
    LineReader lines(in, begin, end);
    std::string_view line;
    E_DOG_DATA data{};
    while (lines.next(line)) {
        const std::uint64_t line_no = lines.line_no();
        std::string why = lines.cut() ? std::string("line longer than ") +
                                            std::to_string(kMaxLineBytes) + " bytes"
                                      : refusal(line, first_part && line_no == 1, data);
        if (why.empty()) {
            part.add(data, line_no);
        } else {
            part.refuse(line_no, std::move(why));
        }
        if (progress != nullptr && line_no % 4096 == 0) {
            (*progress)(lines.offset());
        }
    }
    part.line_count = lines.line_no();
}

}  // namespace

void ListPart::add(const E_DOG_DATA& data, std::uint64_t line) {
    if (chunks.empty() || chunks.back().nodes.size() == kChunkNodes) {
        NodeChunk& c = chunks.emplace_back();
        c.nodes.reserve(kChunkNodes);
        c.lines.reserve(kChunkNodes);
        advise_huge_pages(c.nodes.data(), kChunkNodes * sizeof(GPSNode));
    }
    chunks.back().nodes.push_back(GPSNode{data, nullptr});
    chunks.back().lines.push_back(line);
}

void ListPart::refuse(std::uint64_t line, std::string reason) {
    if (++refused_by_reason[reason] <= kShownPerReason || all_refusals) {
        refused.push_back({line, std::move(reason)});
    }
}

std::uint64_t ListPart::count() const {
    std::uint64_t n = 0;
    for (const NodeChunk& c : chunks) {
        n += c.nodes.size();
    }
    return n;
}

std::uint64_t CameraList::count() const {
    std::uint64_t n = 0;
    for (const ListPart& p : parts) {
        n += p.count();
    }
    return n;
}

void CameraList::link() {
    GPSNode* last = &head;
    for (ListPart& p : parts) {
        for (NodeChunk& c : p.chunks) {
            for (GPSNode& n : c.nodes) {
                last->link = &n;
                last = &n;
            }
        }
    }
    last->link = nullptr;
}

void CameraList::each(const std::function<void(const GPSNode&, std::uint64_t)>& f) const {
    for (const ListPart& p : parts) {
        for (const NodeChunk& c : p.chunks) {
            for (std::size_t i = 0; i < c.nodes.size(); ++i) {
                f(c.nodes[i], c.lines[i]);
            }
        }
    }
}

std::string refusal(std::string_view line, bool first, E_DOG_DATA& data) {
    if (line.empty()) {
        return "empty line";
    }
    if (first) {
        drop_byte_order_mark(line);
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

CameraList read_strict(const InputFile& in, bool all_refusals,
                       const std::function<void(std::uint64_t)>& progress) {
    CameraList list;
    const std::uint64_t size = in.size;
    const std::uint64_t split = size < kSplitFromBytes ? size : next_line_start(in, size / 2);
    list.parts.resize(split < size ? 2 : 1);
    for (ListPart& p : list.parts) {
        p.all_refusals = all_refusals;
    }
    if (list.parts.size() == 2) {
        std::exception_ptr failed;
        {
            const std::jthread second([&] {
                try {
                    read_part(in, split, size, false, list.parts[1], nullptr);
                } catch (...) {
                    failed = std::current_exception();
                }
            });
            const std::function<void(std::uint64_t)> scaled = [&](std::uint64_t bytes) {
                progress(bytes * size / split);
            };
            read_part(in, 0, split, true, list.parts[0], &scaled);
        }  // joins the second thread, also when the first half failed
        if (failed) {
            std::rethrow_exception(failed);
        }
        // The second half counted its lines from 1.
        for (NodeChunk& c : list.parts[1].chunks) {
            for (std::uint64_t& line : c.lines) {
                line += list.parts[0].line_count;
            }
        }
        for (Refusal& r : list.parts[1].refused) {
            r.line += list.parts[0].line_count;
        }
    } else {
        read_part(in, 0, size, true, list.parts[0], &progress);
    }
    return list;
}

}  // namespace edog_tool
