// Lines read piece by piece. See tool/line_reader.h.
#include "tool/line_reader.h"

#include <cstring>

namespace edog_tool {

namespace {

constexpr std::size_t kPieceBytes = std::size_t{1} << 20;

}  // namespace

LineReader::LineReader(const InputFile& in, std::uint64_t begin, std::uint64_t end)
    : in_(in), next_read_(begin), end_(end), buffer_(kPieceBytes + kMaxLineBytes) {}

bool LineReader::fill() {
    if (next_read_ >= end_) {
        return false;
    }
    if (head_ > 0) {  // keep the unread bytes, at the front
        std::memmove(buffer_.data(), buffer_.data() + head_, tail_ - head_);
        tail_ -= head_;
        head_ = 0;
    }
    const std::size_t room = buffer_.size() - tail_;
    const std::uint64_t left = end_ - next_read_;
    const std::size_t want = left < room ? in_memory(left) : room;
    const std::size_t got = read_at(in_, buffer_.data() + tail_, want, next_read_);
    tail_ += got;
    next_read_ = got < want ? end_ : next_read_ + got;  // a file cut short ends here
    return got > 0;
}

std::size_t LineReader::line_end() const {
    for (std::size_t i = head_; i < tail_; ++i) {
        if (buffer_[i] == '\n' || buffer_[i] == '\r') {
            return i;
        }
    }
    return std::string_view::npos;
}

void LineReader::pass_line_end(std::size_t at) {
    std::size_t after = at + 1;
    if (buffer_[at] == '\r') {
        if (after == tail_) {  // whether LF follows is in the next piece
            head_ = at;
            if (fill()) {
                at = head_;
                after = at + 1;
            }
        }
        if (after < tail_ && buffer_[after] == '\n') {
            ++after;
        }
    }
    passed_ += after - at;
    head_ = after;
}

void LineReader::skip_rest_of_line() {
    for (;;) {
        const std::size_t at = line_end();
        if (at != std::string_view::npos) {
            passed_ += at - head_;
            pass_line_end(at);
            return;
        }
        passed_ += tail_ - head_;
        head_ = tail_;
        if (!fill()) {
            return;
        }
    }
}

bool LineReader::next(std::string_view& line) {
    std::size_t at = line_end();
    while (at == std::string_view::npos && tail_ - head_ <= kMaxLineBytes && fill()) {
        at = line_end();
    }
    if (at == std::string_view::npos && head_ == tail_) {
        return false;
    }
    ++line_no_;
    cut_ =
        at == std::string_view::npos ? tail_ - head_ > kMaxLineBytes : at - head_ > kMaxLineBytes;
    if (cut_) {
        // The line is handed out from a copy: skipping its rest refills
        // the buffer.
        cut_line_.assign(buffer_.data() + head_, kMaxLineBytes);
        skip_rest_of_line();
        line = cut_line_;
        return true;
    }
    const std::size_t end = at == std::string_view::npos ? tail_ : at;
    const std::size_t start = head_;
    passed_ += end - start;
    if (at == std::string_view::npos) {
        head_ = tail_;
    } else {
        // Passing a CR at the end of the buffer may move the unread bytes;
        // the line is copied out first.
        if (buffer_[at] == '\r' && at + 1 == tail_) {
            cut_line_.assign(buffer_.data() + start, end - start);
            pass_line_end(at);
            line = cut_line_;
            return true;
        }
        pass_line_end(at);
    }
    line = std::string_view(buffer_.data() + start, end - start);
    return true;
}

std::uint64_t next_line_start(const InputFile& in, std::uint64_t from) {
    LineReader rest(in, from, in.size);
    std::string_view line;
    if (!rest.next(line)) {
        return in.size;
    }
    return from + rest.offset();
}

}  // namespace edog_tool
