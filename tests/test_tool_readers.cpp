// The tool's line reader against a plain split of the whole text: the same
// lines and numbers wherever the pieces it reads end (a CR as the last byte
// of a piece, CR LF across two), long lines cut, and a list read in two
// halves split where a line starts.
#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "tests/test_support.h"
#include "tool/line_reader.h"

namespace {

using edog_tool::kMaxLineBytes;
using edog_tool::LineReader;

// The lines of `text`: each ends at LF, CR LF or CR; a last line without an
// end counts.
std::vector<std::string> split(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        lines.emplace_back(text.substr(pos, end - pos));
        pos = end;
        if (pos < text.size()) {
            pos += text[pos] == '\r' && pos + 1 < text.size() && text[pos + 1] == '\n' ? 2U : 1U;
        }
    }
    return lines;
}

std::vector<std::string> read_lines(const edog_tool::InputFile& in, std::uint64_t begin,
                                    std::uint64_t end) {
    LineReader reader(in, begin, end);
    std::vector<std::string> lines;
    std::string_view line;
    while (reader.next(line)) {
        EXPECT_EQ(reader.line_no(), lines.size() + 1);
        if (reader.cut()) {
            EXPECT_EQ(line.size(), kMaxLineBytes);
        }
        lines.emplace_back(line);
    }
    EXPECT_EQ(reader.offset(), end - begin);
    return lines;
}

// What the reader hands out of `expected`: lines longer than the limit cut.
std::vector<std::string> cut_long(std::vector<std::string> lines) {
    for (std::string& l : lines) {
        if (l.size() > kMaxLineBytes) {
            l.resize(kMaxLineBytes);
        }
    }
    return lines;
}

std::string random_text(std::mt19937& rng, std::size_t bytes) {
    static constexpr const char* kEnds[] = {"\n", "\r\n", "\r"};
    std::string text;
    while (text.size() < bytes) {
        const auto pick = rng() % 100;
        const std::size_t length = pick < 2    ? kMaxLineBytes + rng() % 5000  // too long
                                   : pick < 10 ? 0
                                               : rng() % 120;
        text.append(length, static_cast<char>('a' + rng() % 26));
        text += kEnds[rng() % 3];
    }
    if (rng() % 2 == 0) {
        text.append("no line end");
    }
    return text;
}

TEST(LineReader, HandsOutTheLinesOfAPlainSplitWhereverItsPiecesEnd) {
    const test::ScratchDir dir;
    std::mt19937 rng(20261210);
    std::vector<std::string> texts;
    // A CR as the last byte of the first piece (1 MiB and the longest line),
    // with and without an LF after it.
    for (const char* after : {"\n", "x\n", "\r\n"}) {
        const std::size_t first_piece = (std::size_t{1} << 20) + kMaxLineBytes;
        std::string t;
        while (t.size() + 81 < first_piece - 1) {
            t += std::string(80, 'p') + "\n";
        }
        t.append(first_piece - 1 - t.size(), 'q');
        t += '\r';
        t += after;
        t += "last";
        texts.push_back(t);
    }
    for (int round = 0; round < 4; ++round) {
        texts.push_back(random_text(rng, (std::size_t{3} << 20) + rng() % 4096));
    }
    texts.emplace_back();
    for (const std::string& text : texts) {
        test::write_file("t.txt", text);
        const edog_tool::InputFile in = edog_tool::open_input("t.txt");
        const std::vector<std::string> expected = cut_long(split(text));
        EXPECT_EQ(read_lines(in, 0, in.size), expected) << text.size();
        // Two halves, the second from where a line starts, give every line.
        const std::uint64_t half = edog_tool::next_line_start(in, in.size / 2);
        std::vector<std::string> both = read_lines(in, 0, half);
        const std::vector<std::string> second = read_lines(in, half, in.size);
        both.insert(both.end(), second.begin(), second.end());
        EXPECT_EQ(both, expected) << text.size();
    }
}

}  // namespace
