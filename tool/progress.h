// A progress line on standard error ("reading  42 %") while a command works
// through a large input, shown only when standard error is a terminal.
#ifndef TOOL_PROGRESS_H
#define TOOL_PROGRESS_H

#include <unistd.h>

#include <cstdint>
#include <cstdio>

namespace edog_tool {

// Inputs smaller than this are done too fast for a progress line to help.
inline constexpr std::uint64_t kProgressFromBytes = std::uint64_t{8} << 20;

class Progress {
public:
    // `label` names the work ("reading", "pass 2 of 3").
    Progress(bool quiet, std::uint64_t total, const char* label = "reading")
        : on_(!quiet && total >= kProgressFromBytes && ::isatty(STDERR_FILENO) == 1),
          total_(total),
          label_(label) {}
    ~Progress() { done(); }
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;
    Progress(Progress&&) = delete;
    Progress& operator=(Progress&&) = delete;

    // `done` of the total reached.
    void update(std::uint64_t done) {
        const auto percent = static_cast<int>(total_ == 0 ? 100 : done * 100 / total_);
        if (on_ && percent != shown_) {
            shown_ = percent;
            (void)std::fprintf(stderr, "\r%s %3d %%", label_, percent);
        }
    }
    // A stage without a percentage ("sorting").
    void stage(const char* what) const {
        if (on_) {
            (void)std::fprintf(stderr, "\r%-16s", what);
        }
    }
    // Clears the line; nothing is shown after it.
    void done() {
        if (on_) {
            (void)std::fputs("\r                       \r", stderr);
            on_ = false;
        }
    }

private:
    bool on_;
    std::uint64_t total_;
    const char* label_;
    int shown_ = -1;
};

}  // namespace edog_tool

#endif  // TOOL_PROGRESS_H
