// A file that replaces another whole or not at all: written to a temporary
// file of its own beside the target, forced to disk and renamed over the
// target. See doc/data-file-format.md.
#ifndef EDOG_ATOMIC_FILE_H
#define EDOG_ATOMIC_FILE_H

#include <cstdio>
#include <string>

namespace e_dog {

// `target` with a suffix that makes a name no other file is likely to have:
// the process, a counter and a random number, so that callers in one
// process, in several processes and on several hosts sharing a folder pick
// different names. Whoever creates it still creates it exclusively.
std::string unique_name_beside(const std::string& target);

// The temporary file an AtomicFile is writing (the last one made, neither
// committed nor removed yet), for a signal handler that must remove it
// before the process ends: a NUL-terminated name, "" when there is none.
// Safe to call from a signal handler.
const char* pending_temp_name();

class AtomicFile {
public:
    // Creates the temporary file: a name beside `target` that nothing has,
    // created exclusively, so that no existing file or link is ever written
    // through and two writers never share one. ok() tells whether it worked.
    explicit AtomicFile(std::string target);
    // Removes the temporary file unless it was committed.
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;
    AtomicFile(AtomicFile&&) = delete;
    AtomicFile& operator=(AtomicFile&&) = delete;

    [[nodiscard]] bool ok() const { return stream_ != nullptr; }
    // The stream to write to (binary), while not committed.
    [[nodiscard]] std::FILE* stream() const { return stream_; }
    [[nodiscard]] const std::string& temp_name() const { return temp_; }

    // Flushes, forces to disk and closes the temporary file, renames it over
    // the target and forces the folder's entry to disk (where the file system
    // allows). False, with the target untouched and the temporary file
    // removed, when any step but the last fails.
    bool commit();

private:
    std::string target_;
    std::string temp_;
    std::FILE* stream_ = nullptr;
    bool committed_ = false;
};

}  // namespace e_dog

#endif  // EDOG_ATOMIC_FILE_H
