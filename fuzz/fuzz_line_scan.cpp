// The build's line scanner against the sscanf and strtod scanner it
// replaced: for any line (of any length, NUL bytes and all) and any camera
// before it, the same camera and the same report.
#include <bit>
#include <cstdint>
#include <string>

#include "edog/builder/list_build.h"
#include "edog/e_dog_source_date.h"
#include "edog/reference/reference_text.h"
#include "fuzz/fuzz_support.h"

namespace {

bool same_bits(double a, double b) {
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    fuzz::enter_scratch_dir();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The camera before the line: its fields from the input's first bytes.
    E_DOG_DATA before{};
    before.Idex = fuzz::take<INT32>(data, size);
    before.Type = fuzz::take<INT32>(data, size);
    before.Speed = fuzz::take<INT32>(data, size);
    before.Gps_lat = 12.5;
    before.Gps_lng = -7.25;
    const std::string line(reinterpret_cast<const char*>(data), size);  // NUL-terminated copy
    E_DOG_DATA got = before;
    E_DOG_DATA want = before;
    const e_dog::LineScan a = e_dog::scan_camera_fields(line.c_str(), line.size(), got);
    const e_dog::LineScan b = e_dog::reference::scan_camera_fields(line.c_str(), line.size(), want);
    fuzz::require(a.supplies_nothing == b.supplies_nothing && a.fields == b.fields &&
                      a.position_numeric == b.position_numeric && a.idex == b.idex,
                  "line scanners give the same report");
    fuzz::require(got.Idex == want.Idex && got.Type == want.Type && got.Speed == want.Speed &&
                      got.DirType == want.DirType && got.Direction == want.Direction &&
                      same_bits(got.Gps_lat, want.Gps_lat) && same_bits(got.Gps_lng, want.Gps_lng),
                  "line scanners give the same camera");
    return 0;
}
