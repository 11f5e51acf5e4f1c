#include "tool/nmea_log.h"

#include <cmath>
#include <cstdio>
#include <string_view>

#include "tool/file_kind.h"
#include "tool/findings.h"
#include "tool/line_reader.h"

namespace edog_tool {

namespace {

constexpr long long kMsPerDay = 86'400'000;

}  // namespace

LogCounts read_log(const std::string& path, bool all_refusals,
                   const std::function<void(const NMEA_EPOCH&, std::uint64_t)>& on_fix) {
    const InputFile in = open_input(path);
    expect_text(in, TextInput::kLog);
    LineReader reader(in, 0, in.size);
    NMEA_EPOCH_READER epochs;
    nmea_epoch_init(&epochs);
    LogCounts counts;
    Findings refusals(all_refusals);
    NMEA_EPOCH e{};
    const auto hand_over = [&](std::uint64_t line_no) {
        while (nmea_epoch_next(&epochs, &e) == 1) {
            ++counts.fixes;
            counts.valid += e.valid != 0 && e.has_position != 0 ? 1U : 0U;
            on_fix(e, line_no);
        }
    };
    std::string_view line;
    while (reader.next(line)) {
        const NMEA_STATUS st = nmea_epoch_line(&epochs, line.data(), line.size());
        if (st == NMEA_GOT_FIX) {
            ++counts.sentences;
        } else if (st == NMEA_GOT_OTHER) {
            ++counts.other;
        } else if (st != NMEA_ERR_EMPTY) {
            ++counts.refused;
            ++counts.by_reason[st];
            if (refusals.count(nmea_status_text(st))) {
                (void)std::fprintf(stderr, "%s:%llu: %s\n", path.c_str(),
                                   static_cast<unsigned long long>(reader.line_no()),
                                   nmea_status_text(st));
            }
        }
        hand_over(reader.line_no());
    }
    nmea_epoch_end(&epochs);
    hand_over(reader.line_no());
    counts.lines = reader.line_no();
    refusals.print_rest(stderr, path, "lines refused");
    if (counts.sentences + counts.other == 0) {
        refuse_kind(in, kExpectLog);
    }
    return counts;
}

std::string clock_text(const NMEA_EPOCH& e) {
    if (e.has_time == 0) {
        return "--:--:--";
    }
    // Times are read to the millisecond: printed from whole milliseconds, so
    // that 08:00:59.999 never rounds up to a second 60.
    long long ms = std::llround(e.utc_s * 1000.0);
    long long second = ms / 1000 % 60;
    if (ms >= kMsPerDay) {  // the leap second 23:59:60
        second = 60;
        ms -= 1000;
    }
    char text[32];
    const int decimals = ms % 10 == 0 ? 2 : 3;
    const long long fraction = decimals == 2 ? ms % 1000 / 10 : ms % 1000;
    (void)std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld.%0*lld", ms / 3'600'000,
                        ms / 60'000 % 60, second, decimals, fraction);
    return text;
}

std::string date_text(const NMEA_EPOCH& e) {
    if (e.has_date == 0) {
        return {};
    }
    char text[16];
    (void)std::snprintf(text, sizeof text, "%04d-%02d-%02d", e.year, e.month, e.day);
    return text;
}

std::string sentence_text(unsigned sentences) {
    static constexpr std::pair<unsigned, const char*> kNames[] = {{NMEA_SENTENCE_RMC, "RMC"},
                                                                  {NMEA_SENTENCE_GGA, "GGA"},
                                                                  {NMEA_SENTENCE_VTG, "VTG"},
                                                                  {NMEA_SENTENCE_GLL, "GLL"},
                                                                  {NMEA_SENTENCE_GNS, "GNS"}};
    std::string out;
    for (const auto& [bit, name] : kNames) {
        if ((sentences & bit) != 0) {
            out += out.empty() ? "" : "+";
            out += name;
        }
    }
    return out;
}

}  // namespace edog_tool
