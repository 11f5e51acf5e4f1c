// The camera-line scanner and the whole build on arbitrary list bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "edog/builder/list_build.h"
#include "edog/datafile/e_dog_record.h"
#include "edog/e_dog_internal.h"
#include "edog/e_dog_source_date.h"
#include "fuzz/fuzz_support.h"
#include "geo/geohash.h"

namespace {

// A small pool, so that lists of a few lines also reach the "list full" path.
constexpr std::uint32_t kPoolNodes = 48;

bool valid_code(const char (&code)[12]) {
    for (std::size_t i = 0; i < 10; ++i) {
        if (std::strchr("0123456789bcdefghjkmnpqrstuvwxyz", code[i]) == nullptr || code[i] == 0) {
            return false;
        }
    }
    return code[10] == '\0' && code[11] == '\0';
}

// After a successful build the data file holds e_dog_list_size records with
// valid codes in ascending order.
void check_data_file() {
    std::FILE* f = std::fopen(e_dog_datafile, "rb");
    fuzz::require(f != nullptr, "data file written");
    E_DOG_DATA prev{};
    E_DOG_DATA rec{};
    std::uint32_t n = 0;
    while (e_dog::read_record(f, rec)) {
        fuzz::require(valid_code(rec.encode_str), "every stored code is valid");
        fuzz::require(n == 0 || e_dog::compare_codes(prev.encode_str, rec.encode_str) <= 0,
                      "records sorted by code");
        prev = rec;
        ++n;
    }
    fuzz::require(std::ftell(f) == static_cast<long>(n) * 56, "no partial record");
    (void)std::fclose(f);
    fuzz::require(n == e_dog_list_size, "record count equals the build's count");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    fuzz::enter_scratch_dir();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // One line as the import's buffer holds it.
    char line[e_dog::kLineBytes] = {};
    const std::size_t length = std::min<std::size_t>(size, e_dog::kLineBytes - 2);
    std::memcpy(line, data, length);
    E_DOG_DATA rec{};
    (void)e_dog::scan_camera_line(line, length, rec);
    (void)geohash_encode(rec.Gps_lat, rec.Gps_lng, e_dog::kCodePrecision);

    // The whole build on the bytes as a list.
    fuzz::write_file("speedcam22.txt", data, size);
    if (e_dog::build_data_file(kPoolNodes) == 0) {
        check_data_file();
    }
    fuzz::require(edog_heap_buffer_addr == nullptr, "pool released");
    return 0;
}
