// Shared pieces of edog-tool. See tool/tool.h.
#include "tool/tool.h"

#include <sys/stat.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "edog/e_dog_internal.h"

namespace edog_tool {

namespace {

constexpr std::size_t kChunk = std::size_t{1} << 20;

// Why `path` cannot be read, as one short phrase.
std::string why_unreadable(const std::string& path) {
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (ec) {
        return ec.message();
    }
    if (!std::filesystem::is_regular_file(status)) {
        return "not a regular file";
    }
    return "cannot be opened";
}

e_dog::UniqueFile open_or_fail(const std::string& path) {
    e_dog::UniqueFile f = e_dog::open_regular_file(path.c_str());
    if (!f) {
        throw Failure(path, why_unreadable(path));
    }
    return f;
}

int close_file(std::FILE* f) {
    return f != nullptr ? std::fclose(f) : 0;
}

}  // namespace

Failure::Failure(const std::string& file, const std::string& what)
    : std::runtime_error(file.empty() ? what : std::string(file).append(": ").append(what)) {}

DataFile read_data_file(const std::string& path) {
    const e_dog::UniqueFile f = open_or_fail(path);
    DataFile file{path, {}};
    std::vector<unsigned char> chunk(kChunk);
    for (;;) {
        const std::size_t got = std::fread(chunk.data(), 1, chunk.size(), f.get());
        file.bytes.insert(file.bytes.end(), chunk.begin(),
                          chunk.begin() + static_cast<std::ptrdiff_t>(got));
        if (got < chunk.size()) {
            break;
        }
    }
    if (std::ferror(f.get()) != 0) {
        throw Failure(path, "read error");
    }
    return file;
}

OpenModule::OpenModule(const std::string& path) {
    e_dog_exit();
    switch (e_dog::open_lookup(path.c_str(), false)) {
    case e_dog::OpenResult::kOpen:
        return;
    case e_dog::OpenResult::kCannotOpen:
        throw Failure(path, why_unreadable(path));
    case e_dog::OpenResult::kTooManyRecords:
        throw Failure(path, "holds too many records for the searches (2^31 or more)");
    case e_dog::OpenResult::kNoRecord:
        break;
    }
    throw Failure(path, "holds no whole record");
}

OpenModule::~OpenModule() {
    e_dog_exit();
}

LineReader::LineReader(const std::string& path)
    : path_(path), file_(open_or_fail(path).release(), close_file), buf_(kChunk) {
    struct stat st {};
    if (::fstat(::fileno(file_.get()), &st) == 0) {
        size_ = static_cast<std::uint64_t>(st.st_size);
    }
}

bool LineReader::fill() {
    len_ = std::fread(buf_.data(), 1, buf_.size(), file_.get());
    pos_ = 0;
    if (len_ == 0 && std::ferror(file_.get()) != 0) {
        throw Failure(path_, "read error");
    }
    return len_ != 0;
}

bool LineReader::next(std::string& line) {
    line.clear();
    bool any = false;
    for (;;) {
        if (pos_ == len_ && !fill()) {
            if (any) {
                ++line_no_;
            }
            return any;
        }
        if (after_cr_) {
            after_cr_ = false;
            if (buf_[pos_] == '\n') {
                ++pos_;
                ++consumed_;
                continue;
            }
        }
        any = true;
        const char* begin = buf_.data() + pos_;
        const char* end = buf_.data() + len_;
        const char* stop = begin;
        while (stop != end && *stop != '\n' && *stop != '\r') {
            ++stop;
        }
        line.append(begin, stop);
        consumed_ += static_cast<std::uint64_t>(stop - begin);
        pos_ += static_cast<std::size_t>(stop - begin);
        if (stop != end) {
            after_cr_ = *stop == '\r';
            ++pos_;
            ++consumed_;
            ++line_no_;
            return true;
        }
    }
}

std::string shortest(double v) {
    char text[32];
    const auto r = std::to_chars(text, text + sizeof text, v);
    return {text, r.ptr};
}

nlohmann::ordered_json number(double v) {
    return std::isfinite(v) ? nlohmann::ordered_json(v) : nlohmann::ordered_json(nullptr);
}

void print_json(const nlohmann::ordered_json& j) {
    const std::string text = j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    (void)std::fwrite(text.data(), 1, text.size(), stdout);
    (void)std::fputc('\n', stdout);
}

void finish_output() {
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        throw Failure("standard output", std::strerror(errno));
    }
}

}  // namespace edog_tool
