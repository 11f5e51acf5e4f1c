// The lines of a stretch of a file, read piece by piece: the memory held is
// one piece and one line at most, whatever the file's size.
#ifndef TOOL_LINE_READER_H
#define TOOL_LINE_READER_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tool/tool.h"

namespace edog_tool {

// A UTF-8 byte-order mark, allowed at the start of a text input.
inline constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// Drops a byte-order mark from the start of `text`, where there is one.
inline void drop_byte_order_mark(std::string_view& text) {
    if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
        text.remove_prefix(kByteOrderMark.size());
    }
}

// Lines longer than this are handed out cut to this length, marked cut().
inline constexpr std::size_t kMaxLineBytes = std::size_t{64} << 10;

// The lines of bytes [begin, end) of `in`: a line ends at LF, CR LF or CR
// and holds no line end; a last line without one counts. Read with pread,
// so readers of different stretches may share `in` (which must outlive
// them).
class LineReader {
public:
    LineReader(const InputFile& in, std::uint64_t begin, std::uint64_t end);

    // The next line, valid until the next call; false after the last.
    // Fails (Failure naming the file) on a read error.
    bool next(std::string_view& line);
    // Number of the line last handed out, from 1.
    [[nodiscard]] std::uint64_t line_no() const { return line_no_; }
    // Bytes of the stretch passed so far.
    [[nodiscard]] std::uint64_t offset() const { return passed_; }
    // The line last handed out was longer than kMaxLineBytes; it holds its
    // first kMaxLineBytes bytes.
    [[nodiscard]] bool cut() const { return cut_; }

private:
    // Reads more behind the unread bytes; false when the stretch is done.
    bool fill();
    // Index of the first line end in the unread bytes, or npos.
    [[nodiscard]] std::size_t line_end() const;
    // Drops bytes up to and including the next line end, reading on.
    void skip_rest_of_line();
    // Passes the line end at `at` (CR LF as one).
    void pass_line_end(std::size_t at);

    const InputFile& in_;
    std::uint64_t next_read_;  // file offset of the next read
    std::uint64_t end_;
    std::vector<char> buffer_;
    std::string cut_line_;  // a line handed out from a copy
    std::size_t head_ = 0;  // unread bytes: buffer_[head_, tail_)
    std::size_t tail_ = 0;
    std::uint64_t passed_ = 0;
    std::uint64_t line_no_ = 0;
    bool cut_ = false;
};

// Where a line of `in` starts at or after `from`: just after the first line
// end at or after `from`, or at the end of the file.
std::uint64_t next_line_start(const InputFile& in, std::uint64_t from);

}  // namespace edog_tool

#endif  // TOOL_LINE_READER_H
