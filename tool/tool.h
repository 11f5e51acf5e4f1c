// What the commands of edog-tool share: failures, inputs opened, the module
// opened on any data file, escaping and number formatting.
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
#include "edog/datafile/open_file.h"
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

// An input opened for reading: regular files only. Fails (naming the file
// and why) when it cannot be opened or is no regular file.
struct InputFile {
    std::string path;
    e_dog::UniqueFd fd;
    std::uint64_t size = 0;
};
InputFile open_input(const std::string& path);

// Reads up to `n` bytes at `offset` of `in`; fewer only at its end. Fails
// on a read error.
std::size_t read_at(const InputFile& in, void* to, std::size_t n, std::uint64_t offset);

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

// A count or index of things held in memory, as std::size_t: the caller
// knows it fits (a no-op where std::size_t has 64 bits).
inline std::size_t in_memory(std::uint64_t n) {
#if SIZE_MAX < UINT64_MAX
    return static_cast<std::size_t>(n);
#else
    return n;
#endif
}

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
