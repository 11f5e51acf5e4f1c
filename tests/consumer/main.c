/* A program that takes the camera database as a firmware would: builds the
 * data file from a list, opens it and looks a camera up, in C. Exits 0 when
 * the answer is the camera expected. */
#include "edog/e_dog_db.h"
#include "edog/e_dog_zones.h"
#include "edog/e_dog_source_date.h"
#include "edog/edog_version.h"
#include "geo/distance.h"
#include "geo/geohash.h"
#include "gps/nmea.h"
#include "gps/nmea_epoch.h"
#include "hash/HashAlgo.h"
#include "tree/tree.h"
#include "warner/e_dog_warn.h"
#include "warner/e_dog_warn_zones.h"
#include <stdio.h>

int main(void) {
    FILE* list = fopen("speedcam22.txt", "w");
    if (list == NULL) {
        return 2;
    }
    fputs("12,116.397128,39.916527,1,60,2,3\n13,50.686,-2.1778,2,80,1,0\n", list);
    fclose(list);
    if (e_dog_updata_tsk() != 0 || e_dog_init() != 0) {
        return 3;
    }
    E_DOG_LCD lcd = {0, 0, 0, 0};
    const E_DOG_DATA cam = e_dog_search_nearest(-2.1778, 50.683, 800.0, &lcd);
    e_dog_exit();
    printf("consumer of edog %s (%d.%d.%d): idex %d limit %d distance %d code %s\n",
           EDOG_VERSION_STRING, EDOG_VERSION_MAJOR, EDOG_VERSION_MINOR, EDOG_VERSION_PATCH,
           (int)cam.Idex, (int)lcd.limit_speed, (int)lcd.distance_val,
           geohash_encode(cam.Gps_lat, cam.Gps_lng, 10));
    return cam.Idex == 13 && lcd.limit_speed == 80 && lcd.distance_val == 333 ? 0 : 1;
}
