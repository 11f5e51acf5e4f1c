/* The epoch reader: the sentences of one receiver cycle (one UTC time; RMC,
 * GGA, VTG, GLL and GNS in any order, among GSA, GSV, proprietary and other
 * sentences) put together into one fix, handed over once per cycle. Written
 * up in doc/nmea.md. Callable from C.
 *
 *     NMEA_EPOCH_READER r;
 *     NMEA_EPOCH e;
 *     nmea_epoch_init(&r);
 *     for each line:  nmea_epoch_line(&r, line, length);
 *                     while (nmea_epoch_next(&r, &e)) use(&e);
 *     at the end:     nmea_epoch_end(&r);
 *                     while (nmea_epoch_next(&r, &e)) use(&e);
 *
 * A cycle is handed over as soon as it holds every sentence type of the
 * receiver's cycle, learnt from the cycles before (a receiver repeats its
 * cycle), else when the next one begins: a sentence with another time, or a
 * second sentence without a time of a type the cycle holds already. The
 * cycles of a line must be taken before the next line is given. */
#ifndef GPS_NMEA_EPOCH_H
#define GPS_NMEA_EPOCH_H

#include "gps/nmea.h"
#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The sentence types of a cycle, as bits of NMEA_EPOCH.sentences. */
#define NMEA_SENTENCE_RMC 1U
#define NMEA_SENTENCE_GGA 2U
#define NMEA_SENTENCE_VTG 4U
#define NMEA_SENTENCE_GLL 8U
#define NMEA_SENTENCE_GNS 16U

/* One fix of one cycle. A field no sentence of the cycle gave has its has_
 * flag 0 and its value 0 (quality and satellites: -1). */
typedef struct NMEA_EPOCH {
    unsigned sentences; /* NMEA_SENTENCE_ bits of the sentences put together */
    int has_time;
    double utc_s; /* seconds since midnight, UTC (86400 and up: a leap second) */
    int has_date; /* RMC */
    int year, month, day;
    /* Position and validity: of the RMC, else GNS, else GGA, else GLL. */
    int valid;
    int has_position;
    double lat, lng; /* decimal degrees, south and west negative */
    char lat_dir, lng_dir;
    char lat_text[16], lng_text[16];
    /* Speed and course: of the RMC, else of the VTG. */
    int has_speed;
    double speed_knots;
    int has_course;
    double course_deg;
    /* Of the GGA. */
    int quality;    /* 0 to 8, -1 without */
    int satellites; /* -1 without */
    int has_hdop;
    double hdop;
    int has_altitude;
    double altitude_m; /* above mean sea level */
} NMEA_EPOCH;

typedef struct NMEA_EPOCH_READER {
    NMEA_EPOCH pending; /* the cycle being put together */
    NMEA_EPOCH ready[2];
    int ready_count;
    int ready_next;
    unsigned expected; /* the sentence types of the receiver's cycle */
    int missed;        /* the last cycle ended by the next lacked one of them */
    int has_last_time; /* the time of the last cycle handed over */
    double last_time;
    int rank; /* how good the source of the pending position is; 0: none */
} NMEA_EPOCH_READER;

void nmea_epoch_init(NMEA_EPOCH_READER* reader);

/* Takes one line (blanks and line ends around the sentence allowed) and
 * answers its status as nmea_parse_line does, except: a blank line is
 * NMEA_ERR_EMPTY and changes nothing; every sentence type the cycle uses
 * answers NMEA_GOT_FIX. A sentence of the cycle just handed over that comes
 * after it is too late: it is read but not used. */
NMEA_STATUS nmea_epoch_line(NMEA_EPOCH_READER* reader, const char* line, size_t length);

/* The input has ended: the cycle being put together is handed over. */
void nmea_epoch_end(NMEA_EPOCH_READER* reader);

/* The next cycle handed over into *out: 1, or 0 when there is none. */
int nmea_epoch_next(NMEA_EPOCH_READER* reader, NMEA_EPOCH* out);

/* Fills the device's fix record from a valid cycle with a position, as
 * nmea_fill_gps_info does: speed -1 without one, course NaN without one.
 * 0 when filled; -1, and `info` untouched, otherwise. */
int nmea_epoch_fill_gps_info(const NMEA_EPOCH* epoch, struct gps_info_s* info);

#ifdef __cplusplus
}
#endif

#endif /* GPS_NMEA_EPOCH_H */
