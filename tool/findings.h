// Findings of one check (refused lines, problems of records, cameras that
// share a position) counted by reason: the first few of each reason are
// printed, the rest only counted and summed up per reason in one line,
// unless every one is asked for (--verbose). Memory: one counter per reason.
#ifndef TOOL_FINDINGS_H
#define TOOL_FINDINGS_H

#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <string_view>

namespace edog_tool {

// Findings of one reason printed before the rest are only counted.
inline constexpr std::uint64_t kShownPerReason = 3;

class Findings {
public:
    explicit Findings(bool all) : all_(all) {}

    // Counts `n` findings of `reason`; true when the first of them is to be
    // printed (among the first kShownPerReason, or every one asked for).
    bool count(std::string_view reason, std::uint64_t n = 1) {
        auto it = by_reason_.find(reason);
        if (it == by_reason_.end()) {
            it = by_reason_.emplace(std::string(reason), 0).first;
        }
        std::uint64_t& seen = it->second;
        seen += n;
        total_ += n;
        return all_ || seen - n < kShownPerReason;
    }
    [[nodiscard]] std::uint64_t total() const { return total_; }
    [[nodiscard]] bool all() const { return all_; }
    [[nodiscard]] const std::map<std::string, std::uint64_t, std::less<>>& by_reason() const {
        return by_reason_;
    }

    // For each reason with findings not printed, one line on `out`:
    // "FILE: N more WHAT: REASON (--verbose lists them)".
    void print_rest(std::FILE* out, const std::string& file, const char* what) const {
        if (all_) {
            return;
        }
        for (const auto& [reason, n] : by_reason_) {
            if (n > kShownPerReason) {
                (void)std::fprintf(
                    out, "%s: %llu more %s: %s (--verbose lists them)\n", file.c_str(),
                    static_cast<unsigned long long>(n - kShownPerReason), what, reason.c_str());
            }
        }
    }

    // One line per reason on `out`: "FILE: N WHAT: REASON".
    void print_counts(std::FILE* out, const std::string& file, const char* what) const {
        for (const auto& [reason, n] : by_reason_) {
            (void)std::fprintf(out, "%s: %llu %s: %s\n", file.c_str(),
                               static_cast<unsigned long long>(n), what, reason.c_str());
        }
    }

private:
    bool all_;
    std::map<std::string, std::uint64_t, std::less<>> by_reason_;
    std::uint64_t total_ = 0;
};

}  // namespace edog_tool

#endif  // TOOL_FINDINGS_H
