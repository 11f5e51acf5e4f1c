// The two lookups over the open data file: within one bucket of the prefix
// index, and by bisection over the whole file.
#include <cstdio>
#include <cstring>

#include "edog/datafile/data_file_layout.h"
#include "edog/datafile/e_dog_record.h"
#include "edog/e_dog_internal.h"
#include "edog/e_dog_source_date.h"
#include "edog/search/e_dog_answer.h"
#include "geo/distance.h"
#include "geo/geohash.h"

namespace {

constexpr double kRadiusM = 800.0;
constexpr long kScanWindow = 15;

// Takes `rec` as the answer at `d` metres if it qualifies.
void take_if_qualifies(const E_DOG_DATA& rec, double d, E_DOG_DATA& rt, E_DOG_LCD* lcd) {
    if (e_dog::qualifies(rec.DirType)) {
        rt = rec;
        e_dog::show_camera(lcd, rec, d);
    }
}

double distance_to(double lati, double longi, const E_DOG_DATA& rec) {
    return e_dog::distance_m(lati, longi, rec.Gps_lat, rec.Gps_lng);
}

// Looks at the (up to) 15 records that end with the record just read for one
// nearer than `tmp_distance`.
void scan_back(std::FILE* f, double lati, double longi, double tmp_distance, E_DOG_DATA& rt,
               E_DOG_LCD* lcd) {
    const off_t pos = ::ftello(f);
    if (pos < 0) {
        return;
    }
    // The record just read ends at `pos`: h records lie before the offset.
    const auto h =
        static_cast<long>(e_dog::DataFileLayout::records(static_cast<std::uint64_t>(pos)));
    const long first = h >= kScanWindow ? h - kScanWindow : 0;
    if (!e_dog::seek_record(f, first)) {
        return;
    }
    E_DOG_DATA rec{};
    for (long i = first; i < h && e_dog::read_record(f, rec); ++i) {
        const double d = distance_to(lati, longi, rec);
        if (d < tmp_distance) {
            tmp_distance = d;
            take_if_qualifies(rec, d, rt, lcd);
        }
    }
}

// A probe within the radius: taken if it qualifies, then the records just
// before it are looked at for a nearer one.
void settle_hit(std::FILE* f, double lati, double longi, const E_DOG_DATA& hit, double d,
                E_DOG_DATA& rt, E_DOG_LCD* lcd) {
    take_if_qualifies(hit, d, rt, lcd);
    scan_back(f, lati, longi, d, rt, lcd);
}

}  // namespace

E_DOG_DATA e_dog_search_by_info_file(double lati, double longi, ElemType ral, int /*file_size*/,
                                     E_DOG_LCD* p_lcd_rt) {
    E_DOG_DATA rt = e_dog::no_camera(p_lcd_rt);
    double tmp_distance = kRadiusM;
    if (ral.index < 0 || ral.cunt < 0) {
        return rt;
    }
    if (fp_e_dog == nullptr) {
        std::printf("### Erro e_dog_search_by_info_file File is not open!\n");
        return rt;
    }
    const bool positioned = e_dog::seek_record(fp_e_dog, ral.index);
    std::printf("========cunt: %ld \n", static_cast<long>(ral.cunt));
    if (!positioned) {
        return rt;
    }
    E_DOG_DATA tdate{};
    // Once a read finds the end of the file every later pass would find it
    // too, so the remaining passes are skipped.
    for (INT32 pass = 0; pass < ral.cunt && e_dog::read_record(fp_e_dog, tdate); ++pass) {
        const double d = distance_to(lati, longi, tdate);
        if (!(d < tmp_distance)) {
            continue;
        }
        tmp_distance = d;
        take_if_qualifies(tdate, d, rt, p_lcd_rt);
    }
    return rt;
}

void printf_E_DOG_DATA(E_DOG_DATA tdata) {
    std::printf(":%ld :%d Type:%d :%d :%d :%lf :%lf :%s \n", static_cast<long>(tdata.Idex),
                tdata.Direction, tdata.Type, tdata.DirType, tdata.Speed, tdata.Gps_lat,
                tdata.Gps_lng, e_dog::code_text(tdata).text);
}

E_DOG_DATA e_dog_binary_search_by_file(double longi, double lati, int file_size,
                                       E_DOG_LCD* p_lcd_rt) {
    E_DOG_DATA rt = e_dog::no_camera(p_lcd_rt);
    if (fp_e_dog == nullptr) {
        std::puts("### Erro e_dog_binary_search_by_file File is not open!");
        return rt;
    }
    const char* encoded = geohash_encode(lati, longi, e_dog::kCodePrecision);
    if (encoded == nullptr) {
        std::puts("########## Erro geohash_encode fail!");
        return rt;
    }
    char code[sizeof rt.encode_str] = {};
    std::strncpy(code, encoded, sizeof code - 1);

    // Both end records must be read whole before anything is compared.
    E_DOG_DATA tdate{};
    if (file_size <= 0 || !e_dog::seek_record(fp_e_dog, 0) ||
        !e_dog::read_record(fp_e_dog, tdate)) {
        return rt;
    }
    if (e_dog::compare_codes(tdate.encode_str, code) > 0) {
        std::puts("In this value is smaller than in file index!");
        std::printf("Erro hash:%s encode_str:%s \n", code, e_dog::code_text(tdate).text);
        return rt;
    }
    double d = distance_to(lati, longi, tdate);
    if (d <= kRadiusM) {
        take_if_qualifies(tdate, d, rt, p_lcd_rt);
        return rt;
    }

    if (!e_dog::seek_record(fp_e_dog, file_size - 1L) || !e_dog::read_record(fp_e_dog, tdate)) {
        return rt;
    }
    if (e_dog::compare_codes(tdate.encode_str, code) < 0) {
        std::puts("In this value lager than file  is not in file index!");
        std::printf("Erro hash:%s encode_str:%s \n", code, e_dog::code_text(tdate).text);
        return rt;
    }
    d = distance_to(lati, longi, tdate);
    if (d <= kRadiusM) {
        settle_hit(fp_e_dog, lati, longi, tdate, d, rt, p_lcd_rt);
        return rt;
    }

    // Bisection. `start` moves to `mid`, not past it, so the probe limit is
    // what ends a search that keeps probing the same record.
    long start = 0;
    long end = file_size;
    long mid = (start + end) / 2;
    const long probe_limit = file_size / 2;
    long probes = 0;
    if (!e_dog::seek_record(fp_e_dog, mid)) {
        return rt;
    }
    while (start < end) {
        if (!e_dog::read_record(fp_e_dog, tdate)) {
            return rt;
        }
        d = distance_to(lati, longi, tdate);
        if (d <= kRadiusM) {
            settle_hit(fp_e_dog, lati, longi, tdate, d, rt, p_lcd_rt);
            return rt;
        }
        const int c = e_dog::compare_codes(code, tdate.encode_str);
        if (c > 0) {
            start = mid;
        } else if (c < 0) {
            end = mid;
        } else {
            return rt;
        }
        const long previous = mid;
        mid = (start + end) / 2;
        if (!e_dog::seek_record(fp_e_dog, mid)) {
            return rt;
        }
        if (++probes >= probe_limit) {
            return rt;
        }
        // The same record again (start = mid, end = mid + 1) gives the same
        // outcome on every probe until the probe limit ends the search; end it
        // now, with the file at the same position.
        if (mid == previous) {
            return rt;
        }
    }
    return rt;
}
