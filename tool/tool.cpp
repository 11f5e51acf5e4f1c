// Shared pieces of edog-tool. See tool/tool.h.
#include "tool/tool.h"

#include <sys/stat.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "edog/datafile/open_file.h"
#include "edog/e_dog_db.h"

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

}  // namespace

Failure::Failure(const std::string& file, const std::string& what)
    : std::runtime_error(file.empty() ? what : std::string(file).append(": ").append(what)) {}

DataFile read_data_file(const std::string& path) {
    return DataFile{path, read_text(path)};
}

Database::Database(const std::string& path) {
    int error = EDOG_DB_OK;
    db_ = e_dog_db_open(path.c_str(), &error);
    switch (error) {
    case EDOG_DB_OK:
        return;
    case EDOG_DB_ERR_OPEN:
    case EDOG_DB_ERR_NOT_REGULAR:
        throw Failure(path, why_unreadable(path));
    case EDOG_DB_ERR_TOO_MANY:
        throw Failure(path, "holds too many records for the searches (2^31 or more)");
    default:
        throw Failure(path, e_dog_db_error_text(error));
    }
}

Database::~Database() {
    e_dog_db_close(db_);
}

std::string read_text(const std::string& path) {
    const e_dog::UniqueFile f = open_or_fail(path);
    std::string text;
    struct stat st {};
    if (::fstat(::fileno(f.get()), &st) == 0 && st.st_size > 0) {
        text.reserve(static_cast<std::size_t>(st.st_size));
    }
    std::vector<char> chunk(kChunk);
    for (;;) {
        const std::size_t got = std::fread(chunk.data(), 1, chunk.size(), f.get());
        text.append(chunk.data(), got);
        if (got < chunk.size()) {
            break;
        }
    }
    if (std::ferror(f.get()) != 0) {
        throw Failure(path, "read error");
    }
    return text;
}

bool Lines::next(std::string_view& line) {
    if (pos_ >= text_.size()) {
        return false;
    }
    std::size_t end = text_.find_first_of("\r\n", pos_);
    if (end == std::string_view::npos) {
        end = text_.size();
    }
    line = text_.substr(pos_, end - pos_);
    pos_ = end;
    if (pos_ < text_.size()) {
        pos_ +=
            (text_[pos_] == '\r' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '\n') ? 2U : 1U;
    }
    ++line_no_;
    return true;
}

bool placed(const E_DOG_DATA& r) {
    return std::isfinite(r.Gps_lat) && std::isfinite(r.Gps_lng) && std::fabs(r.Gps_lat) <= 90.0 &&
           std::fabs(r.Gps_lng) <= 180.0;
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

std::string printable(std::string_view bytes) {
    std::string s;
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c >= 0x20 && c < 0x7f && c != '\\') {
            s.push_back(ch);
        } else {
            char hex[8];
            (void)std::snprintf(hex, sizeof hex, "\\x%02x", c);
            s += hex;
        }
    }
    return s;
}

std::string printable_code(const E_DOG_DATA& r) {
    std::size_t end = e_dog::kCodeBytes;
    while (end > 0 && r.encode_str[end - 1] == '\0') {
        --end;
    }
    return printable(std::string_view(r.encode_str, end));
}

}  // namespace edog_tool
