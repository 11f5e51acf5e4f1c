// The kinds of edog-tool's inputs. See tool/file_kind.h.
#include "tool/file_kind.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "edog/builder/list_build.h"
#include "geo/geohash_int.h"
#include "tool/line_reader.h"

namespace edog_tool {

namespace {

constexpr std::size_t kCodeChars = 10;
constexpr std::size_t kHeadBytes = 4096;
constexpr std::size_t kQuotedChars = 32;
constexpr std::uint64_t kSamples = 64;

// Control bytes other than tab and line ends: text has next to none.
bool control(unsigned char c) {
    return (c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7f;
}

bool binary(std::string_view head) {
    const auto controls = std::count_if(
        head.begin(), head.end(), [](char c) { return control(static_cast<unsigned char>(c)); });
    return head.find('\0') != std::string_view::npos ||
           static_cast<std::size_t>(controls) * 16 > head.size();
}

// The first line of text that is not blank, without a byte-order mark.
std::string_view first_line(std::string_view head) {
    drop_byte_order_mark(head);
    const std::size_t start = head.find_first_not_of(" \t\r\n");
    if (start == std::string_view::npos) {
        return {};
    }
    head.remove_prefix(start);
    return head.substr(0, head.find_first_of("\r\n"));
}

// What text beginning with `line` is.
const char* text_kind(std::string_view line, std::string_view head) {
    if (line.empty()) {
        return "blank lines";
    }
    if (line[0] == '$' || line[0] == '!') {
        return "an NMEA log";
    }
    if (line[0] == '<') {
        return head.find("<gpx") != std::string_view::npos ? "a GPX file" : "XML";
    }
    if (line[0] == '{' || line[0] == '[') {
        return "JSON";
    }
    if (std::count(line.begin(), line.end(), ',') >= 6 && line[0] >= '0' && line[0] <= '9') {
        return "a camera list";
    }
    return "text";
}

std::string head_of(const InputFile& in) {
    std::string head(in_memory(std::min<std::uint64_t>(in.size, kHeadBytes)), '\0');
    head.resize(read_at(in, head.data(), head.size(), 0));
    return head;
}

bool looks_like_records(const InputFile& in, std::string_view head) {
    if (e_dog::DataFileLayout::trailing(in.size) != 0 || head.size() < e_dog::kRecordSize) {
        return false;
    }
    return record_sound(e_dog::decode_record(reinterpret_cast<const unsigned char*>(head.data())));
}

}  // namespace

bool code_well_formed(const E_DOG_DATA& r) {
    for (std::size_t i = 0; i < kCodeChars; ++i) {
        if (geo::kCharValue[static_cast<unsigned char>(r.encode_str[i])] == geo::kNotInAlphabet) {
            return false;
        }
    }
    for (std::size_t i = kCodeChars; i < e_dog::kCodeBytes; ++i) {
        if (r.encode_str[i] != '\0') {
            return false;
        }
    }
    return true;
}

bool record_sound(const E_DOG_DATA& r) {
    if (!code_well_formed(r)) {
        return false;
    }
    E_DOG_DATA coded = r;
    return e_dog::set_code(coded) &&
           std::memcmp(coded.encode_str, r.encode_str, e_dog::kCodeBytes) == 0;
}

std::string looks_like(const InputFile& in) {
    if (in.size == 0) {
        return "an empty file";
    }
    const std::string head = head_of(in);
    if (binary(head)) {
        if (head.find_first_not_of('\0') == std::string::npos) {
            return "nothing but zero bytes (in its first " + std::to_string(head.size()) + ")";
        }
        if (looks_like_records(in, head)) {
            return "a data file (" + std::to_string(e_dog::DataFileLayout::records(in.size)) +
                   " records)";
        }
        return "binary data";
    }
    const std::string_view line = first_line(head);
    return std::string(text_kind(line, head)) + ", beginning \"" +
           printable(line.substr(0, kQuotedChars)) + "\"";
}

void refuse_kind(const InputFile& in, const std::string& expected) {
    throw Failure(in.path, "this looks like " + looks_like(in) + "; expected " + expected);
}

void expect_data_file(const RecordReader& f, DataCheck check) {
    const InputFile& in = f.input();
    if (in.size == 0 && check == DataCheck::kRecords) {
        return;  // verify reports it holds no record
    }
    if (in.size == 0 || !binary(head_of(in))) {
        refuse_kind(in, kExpectDataFile);
    }
    if (check == DataCheck::kSound && f.trailing() != 0) {
        throw Failure(in.path, "size " + std::to_string(in.size) +
                                   " bytes is not a whole number of 56-byte records; expected " +
                                   kExpectDataFile + " (verify tells more)");
    }
    const std::uint64_t n = f.records();
    const std::uint64_t samples = std::min(n, kSamples);
    bool any_sound = false;
    for (std::uint64_t k = 0; k < samples; ++k) {
        const std::uint64_t i = samples == 1 ? 0 : k * (n - 1) / (samples - 1);
        const E_DOG_DATA r = f.at(i);
        if (record_sound(r)) {
            any_sound = true;
        } else if (check == DataCheck::kSound) {
            if (!looks_like_records(in, head_of(in))) {
                refuse_kind(in, kExpectDataFile);
            }
            throw Failure(in.path, "record " + std::to_string(i) + " (code \"" + printable_code(r) +
                                       "\" at " + shortest(r.Gps_lat) + "," + shortest(r.Gps_lng) +
                                       ") is not one a build writes; expected " + kExpectDataFile +
                                       " (verify lists every problem)");
        }
    }
    if (samples > 0 && !any_sound) {
        refuse_kind(in, kExpectDataFile);
    }
}

void expect_text(const InputFile& in, TextInput kind) {
    const bool log = kind == TextInput::kLog;
    const char* expected = log                              ? kExpectLog
                           : kind == TextInput::kCameraList ? kExpectList
                                                            : kExpectZones;
    if (in.size == 0) {
        refuse_kind(in, expected);
    }
    const std::string head = head_of(in);
    if (binary(head)) {
        refuse_kind(in, expected);
    }
    const std::string_view seen = text_kind(first_line(head), head);
    const bool other_format = seen == "a GPX file" || seen == "XML" || seen == "JSON";
    if (other_format || (log && seen == "a camera list") || (!log && seen == "an NMEA log") ||
        (kind == TextInput::kZonesList && seen == "a camera list")) {
        refuse_kind(in, expected);
    }
}

}  // namespace edog_tool
