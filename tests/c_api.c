/* A C11 program on the module's public headers: it builds the data file from
 * a list, opens it and looks a camera up, as a device's C firmware would.
 * Exit status 0 when every answer is the one expected. */
#define _POSIX_C_SOURCE 200809L
#include <unistd.h>

#include "edog/e_dog_db.h"
#include "edog/e_dog_source_date.h"
#include "geo/distance.h"
#include "geo/geohash.h"
#include "gps/nmea.h"
#include "gps/nmea_epoch.h"
#include "hash/HashAlgo.h"
#include "tree/tree.h"
#include "warner/e_dog_warn.h"
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int check(int ok, const char* what) {
    if (!ok) {
        fprintf(stderr, "c api: %s\n", what);
    }
    return ok ? 0 : 1;
}

int main(void) {
    char dir[] = "/tmp/edog-c-XXXXXX";
    if (mkdtemp(dir) == NULL || chdir(dir) != 0 || freopen("/dev/null", "w", stdout) == NULL) {
        return 2;
    }
    FILE* list = fopen("speedcam22.txt", "w");
    if (list == NULL) {
        return 2;
    }
    fputs("12,116.397128,39.916527,1,60,2,3\n1,50.683,-2.1768,1,40,1,0\n", list);
    fclose(list);

    int failed = 0;
    failed += check(e_dog_updata_tsk() == 0, "build");
    failed += check(e_dog_init() == 0, "open");
    E_DOG_LCD lcd = {0, 0, 0, 0};
    E_DOG_DATA hit = e_dog_search_nearest(-2.1778, 50.683, 800.0, &lcd);
    failed += check(lcd.result == 0 && hit.Idex == 1 && lcd.distance_val == 111, "nearest");
    E_DOG_HIT hits[4];
    failed += check(
        e_dog_search_within(39.9165, 116.3971, 800.0, hits, 4) == 1 && hits[0].data.Idex == 12,
        "within");
    failed +=
        check(strcmp(geohash_encode(39.916527, 116.397128, 10), "wx4g0dtf9e") == 0, "geohash");
    failed += check(fabs(get_distance(22.640175, 113.918045, 22.6431, 113.920148) - 390.8) < 1e-9,
                    "distance");

    const char* sentence = "$GPRMC,225446,A,4916.45,N,12311.12,W,000.5,054.7,191104,020.3,E*61";
    NMEA_FIX fix;
    GPS_INFO_T info;
    failed += check(nmea_parse_line(sentence, strlen(sentence), &fix) == NMEA_GOT_FIX &&
                        nmea_fill_gps_info(&fix, &info) == 0 && info.lat_dir == 'N',
                    "nmea");
    {
        NMEA_EPOCH_READER epochs;
        NMEA_EPOCH epoch;
        nmea_epoch_init(&epochs);
        (void)nmea_epoch_line(&epochs, sentence, strlen(sentence));
        nmea_epoch_end(&epochs);
        failed += check(nmea_epoch_next(&epochs, &epoch) == 1 &&
                            nmea_epoch_fill_gps_info(&epoch, &info) == 0 &&
                            (epoch.sentences & NMEA_SENTENCE_RMC) != 0,
                        "nmea epoch");
    }
    EDOG_WARNER warner;
    e_dog_warn_init(&warner, NULL);
    failed += check(e_dog_warn_update(&warner, &info, NULL, NULL) == EDOG_WARN_NONE, "warner");

    int error = -1;
    E_DOG_DB* db = e_dog_db_open("DATA_T.BIN", &error);
    E_DOG_HIT near;
    failed +=
        check(db != NULL && error == EDOG_DB_OK && e_dog_db_count(db) == 2 &&
                  e_dog_db_nearest(db, -2.1778, 50.683, 800.0, &near) == 1 && near.data.Idex == 1,
              "handle");
    E_DOG_DB* sources[1] = {db};
    failed += check(e_dog_warn_set_sources(&warner, sources, 1) == 0 &&
                        e_dog_warn_state_bytes() <= sizeof(EDOG_WARNER),
                    "warner sources");
    e_dog_db_close(db);
    failed += check(e_dog_db_open("missing.bin", &error) == NULL && error == EDOG_DB_ERR_OPEN,
                    "handle error");

    CHashAlgo_Init(8);
    failed += check(e_dog_hash_to_file() == 0 && CHashAlgo_GetHashTablePos("wx4g0dtf9e") >= 0,
                    "hash export");
    CHashAlgo_Exit();
    Tree tree;
    InitializeTree(&tree);
    Item item = {1.0, 2.0};
    failed +=
        check(AddItem(&item, &tree) && InTree(&item, &tree) && TREE_MAX_ITEMS == 102400, "tree");
    DeleteAll(&tree);
    e_dog_exit();

    remove("DATA_T.BIN");
    remove("speedcam22.txt");
    if (chdir("/") != 0 || rmdir(dir) != 0) {
        failed += 1;
    }
    return failed == 0 ? 0 : 1;
}
