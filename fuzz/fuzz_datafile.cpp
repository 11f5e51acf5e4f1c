// The data-file readers on arbitrary file bytes and query positions: open,
// index build and listing, index search, the three searches (the nearest
// search checked against a scan of every record), hash export.
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "edog/datafile/e_dog_record.h"
#include "edog/e_dog_internal.h"
#include "edog/e_dog_source_date.h"
#include "edog/lookup/lookup.h"
#include "edog/reference/reference_scan.h"
#include "edog/search/e_dog_answer.h"
#include "fuzz/fuzz_support.h"
#include "geo/geohash.h"
#include "hash/HashAlgo.h"

namespace {

// A search either takes a warning camera within its radius (below
// `limit_m` whole metres) or answers "none".
void check_answer(const E_DOG_DATA& found, const E_DOG_LCD& lcd, int limit_m) {
    if (lcd.result == 0) {
        fuzz::require(e_dog::qualifies(found.DirType), "a taken camera qualifies");
        fuzz::require(lcd.limit_speed == found.Speed, "limit is the camera's speed");
        fuzz::require(lcd.distance_val >= 0 && lcd.distance_val < limit_m, "within the radius");
    } else {
        fuzz::require(lcd.result == -1 && found.Speed == -1, "not found answer");
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    fuzz::enter_scratch_dir();
    CHashAlgo_Init(16);
    return 0;
}

// Input: latitude, longitude, radius (doubles), a bucket (two int32), a
// record count for the bisection (int32), then the bytes of the data file.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto lat = fuzz::take<double>(data, size);
    const auto lng = fuzz::take<double>(data, size);
    const auto radius = fuzz::take<double>(data, size);
    const auto any_index = fuzz::take<std::int32_t>(data, size);
    const auto any_cunt = fuzz::take<std::int32_t>(data, size);
    const auto any_size = fuzz::take<std::int32_t>(data, size);
    fuzz::write_file(e_dog_datafile, data, size);

    e_dog_exit();
    const int opened = e_dog_init();
    fuzz::require(opened == 0 ? e_dog_list_size == size / 56 && e_dog_run_flag == 1
                              : e_dog_run_flag == 0 && fp_e_dog == nullptr,
                  "open state matches the file");

    e_dog::free_queue(q_header);
    e_dog_build_file_index();
    QueueTraverse(q_header);

    const char* encoded = geohash_encode(lat, lng, e_dog::kCodePrecision);
    char code[16] = {};
    if (encoded != nullptr) {
        std::strncpy(code, encoded, sizeof code - 1);
    }
    const ElemType ral = QueueSearch(q_header, code);
    if (q_header != nullptr && q_header->size > 0) {
        fuzz::require(ral.index >= 0 && ral.index < q_header->file_size, "bucket inside file");
    }

    const int list_size = static_cast<int>(e_dog_list_size);
    E_DOG_LCD lcd{};
    E_DOG_DATA found = e_dog_search_by_info_file(lat, lng, ral, list_size, &lcd);
    check_answer(found, lcd, 800);
    ElemType any{};
    any.index = any_index;
    any.cunt = any_cunt;
    found = e_dog_search_by_info_file(lat, lng, any, list_size, &lcd);
    check_answer(found, lcd, 800);

    found = e_dog_binary_search_by_file(lng, lat, list_size, &lcd);
    check_answer(found, lcd, 801);
    found = e_dog_binary_search_by_file(lng, lat, any_size, &lcd);
    check_answer(found, lcd, 801);

    const auto [want, want_d] =
        e_dog::reference::nearest(e_dog::reference::decode_file(data, size), lat, lng, radius);
    found = e_dog_search_nearest(lat, lng, radius, &lcd);
    if (want < 0) {
        fuzz::require(lcd.result == -1 && found.Speed == -1, "nearest: none, as every record says");
    } else {
        const E_DOG_DATA w = e_dog::decode_record(data + static_cast<std::size_t>(want) * 56);
        fuzz::require(lcd.result == 0, "nearest: finds the camera every record says");
        const bool same =
            found.Idex == w.Idex && found.Direction == w.Direction && found.Type == w.Type &&
            found.DirType == w.DirType && found.Speed == w.Speed &&
            std::bit_cast<std::uint64_t>(found.Gps_lat) ==
                std::bit_cast<std::uint64_t>(w.Gps_lat) &&
            std::bit_cast<std::uint64_t>(found.Gps_lng) == std::bit_cast<std::uint64_t>(w.Gps_lng);
        fuzz::require(same, "nearest: the same camera as every record says");
        fuzz::require(lcd.distance_val == static_cast<int>(want_d), "nearest: its distance");
    }

    (void)e_dog_hash_to_file();
    CHashAlgo_Init(16);  // empties the table for the next input
    return 0;
}
