#include "edog/reference/reference_text.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>

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

e_dog::LineScan e_dog::reference::scan_camera_fields(const char* line, std::size_t length,
                                                     E_DOG_DATA& data) {
    LineScan scan;
    if (line[0] == ',') {
        scan.supplies_nothing = true;
        return scan;
    }
    char temp1[kLineBytes] = {};
    char temp2[kLineBytes] = {};
    const char* from = line;
    if (line[0] < '0' || line[0] > '9') {
        from = line + (length < 3 ? length : 3);
    }
    long long idex = data.Idex;
    static_assert(sizeof(int) == sizeof(data.Type));
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
