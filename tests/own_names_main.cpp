// A program with functions of its own named rad and get_distance, as a
// device's firmware may have: it links, and the module's answers stay its
// own. Exit status 0 when they do.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "edog/e_dog_source_date.h"

// As a C firmware would define them.
extern "C" double rad(double /*d*/) {
    return 0.0;
}

extern "C" double get_distance(double /*lat1*/, double /*lng1*/, double /*lat2*/, double /*lng2*/) {
    return 1.0;
}

int main() {
    std::string dir = (std::filesystem::temp_directory_path() / "edog-names-XXXXXX").string();
    if (::mkdtemp(dir.data()) == nullptr || ::chdir(dir.c_str()) != 0 ||
        std::freopen("/dev/null", "w", stdout) == nullptr) {
        return 2;
    }
    // One camera 0.001 degrees north of the query position: 111.3 m.
    std::FILE* list = std::fopen("speedcam22.txt", "w");
    if (list == nullptr || std::fputs("1,50.683,-2.1768,1,40,1,0\n", list) < 0 ||
        std::fclose(list) != 0) {
        return 2;
    }
    int rc = e_dog_updata_tsk() == 0 && e_dog_init() == 0 ? 0 : 2;
    E_DOG_LCD lcd{};
    const E_DOG_DATA hit = e_dog_search_nearest(-2.1778, 50.683, 800.0, &lcd);
    if (rc == 0 && (lcd.result != 0 || hit.Idex != 1 || lcd.distance_val != 111)) {
        std::fprintf(stderr, "answer changed: result %d distance %d\n", lcd.result,
                     lcd.distance_val);
        rc = 1;
    }
    E_DOG_HIT hits[2];
    if (rc == 0 && (e_dog_search_within(-2.1778, 50.683, 800.0, hits, 2) != 1 ||
                    hits[0].distance_m < 111.0 || hits[0].distance_m > 112.0)) {
        std::fprintf(stderr, "radius search changed\n");
        rc = 1;
    }
    e_dog_exit();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return rc;
}
