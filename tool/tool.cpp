// Shared pieces of edog-tool. See tool/tool.h.
#include "tool/tool.h"

#include <sys/stat.h>
#include <unistd.h>

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

}  // namespace

Failure::Failure(const std::string& file, const std::string& what)
    : std::runtime_error(file.empty() ? what : std::string(file).append(": ").append(what)) {}

InputFile open_input(const std::string& path) {
    InputFile in{path, e_dog::open_regular_fd(path.c_str()), 0};
    struct stat st {};
    if (!in.fd || ::fstat(in.fd.get(), &st) != 0) {
        throw Failure(path, why_unreadable(path));
    }
    in.size = static_cast<std::uint64_t>(st.st_size);
    return in;
}

std::size_t read_at(const InputFile& in, void* to, std::size_t n, std::uint64_t offset) {
    std::size_t got = 0;
    auto* bytes = static_cast<char*>(to);
    while (got < n) {
        const ssize_t r =
            ::pread(in.fd.get(), bytes + got, n - got, static_cast<off_t>(offset + got));
        if (r < 0 && errno == EINTR) {
            continue;
        }
        if (r < 0) {
            throw Failure(in.path, std::string("read error: ") + std::strerror(errno));
        }
        if (r == 0) {
            break;
        }
        got += static_cast<std::size_t>(r);
    }
    return got;
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
