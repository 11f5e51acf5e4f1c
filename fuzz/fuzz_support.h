// Shared set-up of the fuzz targets: a private working folder on a memory file
// system where there is one, and standard output sent to /dev/null (the
// module prints its progress there; libFuzzer reports on standard error).
#ifndef FUZZ_FUZZ_SUPPORT_H
#define FUZZ_FUZZ_SUPPORT_H

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

namespace fuzz {

// The folder is removed again when the process exits normally.
inline void enter_scratch_dir() {
    const char* base = (::access("/dev/shm", W_OK) == 0) ? "/dev/shm" : "/tmp";
    static std::string dir = std::string(base) + "/edog-fuzz-XXXXXX";
    if (::mkdtemp(dir.data()) == nullptr || ::chdir(dir.c_str()) != 0) {
        std::abort();
    }
    (void)std::atexit([] {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    });
    if (std::freopen("/dev/null", "w", stdout) == nullptr) {
        std::abort();
    }
}

inline void write_file(const char* name, const unsigned char* data, std::size_t size) {
    std::FILE* f = std::fopen(name, "wb");
    if (f == nullptr) {
        std::abort();
    }
    if (size > 0 && std::fwrite(data, 1, size, f) != size) {
        std::abort();
    }
    if (std::fclose(f) != 0) {
        std::abort();
    }
}

// Reads a value of type T from the front of the input, or T{} when short.
template <typename T>
T take(const unsigned char*& data, std::size_t& size) {
    T v{};
    if (size >= sizeof v) {
        std::memcpy(&v, data, sizeof v);
        data += sizeof v;
        size -= sizeof v;
    }
    return v;
}

// A check that holds for every input; a failure is a finding.
inline void require(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

}  // namespace fuzz

#endif  // FUZZ_FUZZ_SUPPORT_H
