// The camera list's scanner and reader and the data file's writer, shared by
// every build. See edog/list_build.h.
#include "edog/list_build.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "edog/atomic_file.h"
#include "edog/e_dog_internal.h"
#include "edog/e_dog_record.h"
#include "geo/geohash_int.h"
namespace {

// A column that strtod reads in full, blanks around it allowed.
bool numeric(const char* text, double& value) {
    char* end = nullptr;
    value = std::strtod(text, &end);
    if (end == text) {
        return false;
    }
    while (std::isspace(static_cast<unsigned char>(*end)) != 0) {
        ++end;
    }
    return *end == '\0';
}

}  // namespace

e_dog::LineScan e_dog::scan_camera_fields(const char* line, std::size_t length, E_DOG_DATA& data) {
    LineScan scan;
    if (line[0] == ',') {
        scan.supplies_nothing = true;
        return scan;
    }
    // Sized to the line buffer: a column can never be longer than a line.
    char temp1[kLineBytes] = {};
    char temp2[kLineBytes] = {};
    const char* from = line;
    if (line[0] < '0' || line[0] > '9') {
        // Room for a byte-order mark: the first three bytes are skipped,
        // whatever they are (a NUL among them too), as far as the piece goes.
        from = line + (length < 3 ? length : 3);
    }
    // Read in 64 bits whatever the width of long, so that a number above
    // 2^31 is stored the same (its low 32 bits) on every target.
    long long idex = data.Idex;
    static_assert(sizeof(int) == sizeof(data.Type));
    // Fields that do not scan keep the previous line's values.
    // NOLINTNEXTLINE(cert-err34-c)
    const int fields = std::sscanf(from, "%lld,%512[^,],%512[^,],%d,%d,%d,%d", &idex, temp1, temp2,
                                   &data.Type, &data.Speed, &data.DirType, &data.Direction);
    scan.fields = fields > 0 ? fields : 0;
    scan.idex = idex;
    data.Idex = static_cast<INT32>(idex);
    double lat = 0.0;
    double lng = 0.0;
    const bool lng_ok = numeric(temp1, lng);
    const bool lat_ok = numeric(temp2, lat);
    scan.position_numeric = lng_ok && lat_ok;
    data.Gps_lat = lat;
    data.Gps_lng = lng;
    return scan;
}

bool e_dog::set_code(E_DOG_DATA& data) {
    char code[kCodePrecision + 1];
    if (!geo::encode_code(data.Gps_lat, data.Gps_lng, kCodePrecision, code)) {
        return false;
    }
    static_assert(sizeof data.encode_str > kCodePrecision);
    std::memset(data.encode_str, 0, sizeof data.encode_str);
    std::memcpy(data.encode_str, code, kCodePrecision);
    return true;
}

e_dog::WriteResult e_dog::write_records(const GPSNode* first, const char* path,
                                        std::uint64_t& count) {
    AtomicFile out(path);
    if (!out.ok()) {
        return WriteResult::kOpenFailed;
    }
    bool ok = true;
    count = 0;
    for (const GPSNode* n = first; n != nullptr && ok; n = n->link) {
        const RecordBytes bytes = encode_record(n->data);
        ok = std::fwrite(bytes.data(), 1, bytes.size(), out.stream()) == bytes.size();
        ++count;
    }
    return ok && out.commit() ? WriteResult::kOk : WriteResult::kWriteFailed;
}
