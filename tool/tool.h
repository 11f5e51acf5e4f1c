// What the commands of edog-tool share: failures, data files read whole, the
// module opened on any data file, line splitting and number formatting.
// The commands themselves are declared in tool/commands.h.
#ifndef TOOL_TOOL_H
#define TOOL_TOOL_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "edog/datafile/data_file_layout.h"
#include "edog/datafile/e_dog_record.h"
#include "edog/e_dog_db.h"
#include "edog/e_dog_source_date.h"
#include <nlohmann/json.hpp>

namespace edog_tool {

// A command that cannot do its work: main prints "edog-tool: " and the
// message (which names the file concerned) on standard error, exit status 1.
class Failure : public std::runtime_error {
public:
    Failure(const std::string& file, const std::string& what);
};

// The data file `path` read whole: its records and any bytes behind the
// last whole one. Fails when it cannot be opened or read, or is not a
// regular file.
struct DataFile {
    std::string path;
    std::string bytes;

    [[nodiscard]] std::size_t records() const {
        return e_dog::DataFileLayout::records(bytes.size());
    }
    [[nodiscard]] std::size_t trailing() const {
        return e_dog::DataFileLayout::trailing(bytes.size());
    }
    [[nodiscard]] const unsigned char* at(std::size_t i) const {
        return reinterpret_cast<const unsigned char*>(bytes.data()) +
               e_dog::DataFileLayout::offset_in_memory(i);
    }
    [[nodiscard]] E_DOG_DATA record(std::size_t i) const { return e_dog::decode_record(at(i)); }
};
DataFile read_data_file(const std::string& path);

// A database handle on the data file `path` for the lifetime of the object:
// what the searches and the warner of a command work on. Fails as the
// commands do when the file cannot be opened or holds no whole record.
class Database {
public:
    explicit Database(const std::string& path);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;
    Database(Database&&) = delete;
    Database& operator=(Database&&) = delete;

    [[nodiscard]] E_DOG_DB* get() const { return db_; }

private:
    E_DOG_DB* db_ = nullptr;
};

// The file `path` read whole. Fails when it cannot be opened or read, or is
// not a regular file.
std::string read_text(const std::string& path);

// The lines of a text: a line ends at LF, CR LF or CR, and holds no line end;
// a last line without one counts.
class Lines {
public:
    explicit Lines(std::string_view text) : text_(text) {}
    bool next(std::string_view& line);
    // Number of the line last handed out, from 1.
    [[nodiscard]] std::uint64_t line_no() const { return line_no_; }
    // Bytes of the text passed so far.
    [[nodiscard]] std::size_t offset() const { return pos_; }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
    std::uint64_t line_no_ = 0;
};

// A position that is one: finite, latitude within ±90, longitude within ±180.
bool placed(const E_DOG_DATA& r);

// The camera number as the list writes it: the stored 32 bits, unsigned.
inline std::uint32_t camera_number(INT32 idex) {
    return static_cast<std::uint32_t>(idex);
}

// Bytes from a file as text that is safe on a terminal and in every output
// format: printable ASCII but the backslash as it is, every other byte as
// \xNN. Every command prints what a file holds through this.
std::string printable(std::string_view bytes);
// A record's code (its 12 bytes up to the last non-zero one) through
// printable().
std::string printable_code(const E_DOG_DATA& r);

// The shortest text that reads back to exactly `v` ("nan", "inf" as printf).
std::string shortest(double v);

// `v` as a JSON number, or null when it is not finite.
nlohmann::ordered_json number(double v);

// One JSON object per line on standard output (invalid UTF-8 replaced).
void print_json(const nlohmann::ordered_json& j);

// Fails when standard output could not be written to the end.
void finish_output();

}  // namespace edog_tool

#endif  // TOOL_TOOL_H
