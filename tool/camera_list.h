// The cameras edog-tool takes from a camera list, kept as the module's list
// nodes so that the module's sort and writer work on them: what the build
// holds is the nodes and a line number for each (72 bytes a camera). Lines
// end at LF, CR LF or CR. See doc/edog-tool.md for the lines
// refused and why.
#ifndef TOOL_CAMERA_LIST_H
#define TOOL_CAMERA_LIST_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "edog/e_dog_source_date.h"
#include "tool/tool.h"

namespace edog_tool {

// Storage on 2 MB boundaries: every 64-byte node sits in one cache line, and
// the array can be backed by large pages.
template <typename T>
struct PageAligned {
    using value_type = T;
    static constexpr std::align_val_t kAlign{std::size_t{2} << 20};
    PageAligned() = default;
    template <typename U>
    explicit PageAligned(const PageAligned<U>& /*other*/) {}
    T* allocate(std::size_t n) { return static_cast<T*>(::operator new(n * sizeof(T), kAlign)); }
    void deallocate(T* p, std::size_t /*n*/) { ::operator delete(p, kAlign); }
    friend bool operator==(const PageAligned&, const PageAligned&) { return true; }
};

struct Refusal {
    std::uint64_t line;
    std::string reason;
};

// Nodes in fixed chunks: a node never moves once added (the sort links
// them), and nothing is reserved beyond one chunk.
inline constexpr std::size_t kChunkNodes = (std::size_t{2} << 20) / sizeof(GPSNode);
struct NodeChunk {
    std::vector<GPSNode, PageAligned<GPSNode>> nodes;
    std::vector<std::uint64_t> lines;  // the list line of each node
};

// Cameras of a stretch of the list in list order, with the line of each,
// and its refused lines: the first few of each reason (all with
// `all_refusals`) kept to be printed, every one counted.
struct ListPart {
    std::vector<NodeChunk> chunks;
    std::vector<Refusal> refused;
    std::map<std::string, std::uint64_t> refused_by_reason;
    bool all_refusals = false;
    std::uint64_t line_count = 0;

    void add(const E_DOG_DATA& data, std::uint64_t line);
    void refuse(std::uint64_t line, std::string reason);
    [[nodiscard]] std::uint64_t count() const;
};

// All cameras taken: the parts in list order behind one head node.
struct CameraList {
    GPSNode head{};
    std::vector<ListPart> parts;

    [[nodiscard]] std::uint64_t count() const;
    // Links head and every node in list order, ready for the module's sort.
    void link();
    // Calls `f(node, line)` for every camera in list order.
    void each(const std::function<void(const GPSNode&, std::uint64_t)>& f) const;
};

// Why a line cannot be taken as one camera ("header line", "missing fields
// (5 of 7)", ...), or an empty text when it reads as one into `data`, code
// set, through the module's scanner and encoder. `first` marks the list's
// first line, where a byte-order mark is allowed.
std::string refusal(std::string_view line, bool first, E_DOG_DATA& data);

// Every line of the list `in` that is a camera, and the others refused with
// their line numbers. Read piece by piece; large lists by two threads, each
// a half. `progress(bytes)` is told how far the reading has got (about).
CameraList read_strict(const InputFile& in, bool all_refusals,
                       const std::function<void(std::uint64_t)>& progress);

}  // namespace edog_tool

#endif  // TOOL_CAMERA_LIST_H
