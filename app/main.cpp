// Console driver: rebuilds the data file from the camera list, then looks up
// the camera near a fixed position and prints the result for the display.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "edog/datafile/e_dog_record.h"
#include "edog/e_dog_internal.h"
#include "edog/e_dog_source_date.h"
#include "geo/distance.h"
#include "geo/geohash.h"

namespace {

// A test position, decimal degrees.
struct E_DOG_TEST {
    double lngi;
    double lati;
};

constexpr double kQueryLat = -2.1778;
constexpr double kQueryLng = 50.683;

// Converts a degree-and-minute text (dddmm.mmmm) to decimal degrees and
// writes it with six decimals into `out` (16 bytes).
void degrees_minutes_to_text(const char* s, char (&out)[16]) {
    const auto n = static_cast<int>(std::strtol(s, nullptr, 10));
    const int degrees = n / 100;
    const int minutes = n % 100;
    const auto fraction = static_cast<float>(std::strtod(s, nullptr) - n);
    const double value = degrees + (minutes + static_cast<double>(fraction)) / 60;
    (void)std::snprintf(out, sizeof out, "%f", value);
}

void build_run() {
    // The result is reported by the build itself; the run goes on regardless.
    (void)e_dog_updata_tsk();

    // Two characters from the console; at end of input both return at once.
    (void)std::getc(stdin);
    (void)std::getc(stdin);

    std::printf("=========%f \n", e_dog::distance_m(22.640175, 113.918045, 22.6431, 113.920148));
}

void lookup_run() {
    char a_gps_str1[32] = {};
    char a_gps_str3[32] = {};
    std::strcpy(a_gps_str1, "11354.8967");
    std::strcpy(a_gps_str3, "2238.4523");
    char str_latitude[16] = {};
    char str_longitude[16] = {};
    degrees_minutes_to_text(a_gps_str1, str_latitude);
    degrees_minutes_to_text(a_gps_str3, str_longitude);
    E_DOG_TEST t_temp{};
    t_temp.lati = std::strtod(str_latitude, nullptr);
    t_temp.lngi = std::strtod(str_longitude, nullptr);

    (void)e_dog_init();
    e_dog_build_file_index();
    QueueTraverse(q_header);
    std::printf("lati: %lf lngi %lf  \n", t_temp.lati, t_temp.lngi);

    const char* hash = geohash_encode(kQueryLat, kQueryLng, e_dog::kCodePrecision);
    std::printf("hash: %s \n", hash);
    const ElemType ral = QueueSearch(q_header, hash);
    std::printf("hash: %s index %ld   cunt:%ld    str:%s  \n", hash, static_cast<long>(ral.index),
                static_cast<long>(ral.cunt), ral.str);

    E_DOG_LCD t_lcd{};
    const E_DOG_DATA t_data = e_dog_search_by_info_file(kQueryLat, kQueryLng, ral,
                                                        static_cast<int>(e_dog_list_size), &t_lcd);
    (void)t_data;
    std::printf("e_dog_list_size:%d \n", static_cast<int>(e_dog_list_size));
    std::printf("result:%d limit:%d  distance:%d \n", t_lcd.result, t_lcd.limit_speed,
                t_lcd.distance_val);
}

}  // namespace

int main(int /*argc*/, char* /*argv*/[]) {
    build_run();
    lookup_run();
    // The lookup stream and the index are kept until the process ends.
    return 0;
}
