/* NMEA 0183 reader: turns text from a GPS receiver into fixes. A line interface
 * (one sentence per call) and a byte-at-a-time feeder for a UART share one
 * parser, and judge every line alike. RMC and GGA sentences give fixes; other
 * sentences with a good checksum, and proprietary ones ("$P" and a maker), are
 * accepted and ignored; everything else is refused with a reason. The
 * sentences of one receiver cycle are put together into one fix by the epoch
 * reader (gps/nmea_epoch.h). The rules are written up in doc/nmea.md.
 * Callable from C. */
#ifndef GPS_NMEA_H
#define GPS_NMEA_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Longest sentence taken, from '$' to the checksum's last digit. */
#define NMEA_MAX_SENTENCE 120

typedef enum NMEA_STATUS {
    NMEA_GOT_FIX = 0,   /* an RMC or GGA sentence, read into the fix */
    NMEA_GOT_OTHER = 1, /* a well-formed sentence of another type, ignored */
    NMEA_PENDING = 2,   /* feeder only: no complete sentence yet */
    NMEA_ERR_EMPTY = 10,
    NMEA_ERR_NO_DOLLAR,
    NMEA_ERR_TEXT_BEFORE_DOLLAR,
    NMEA_ERR_DOUBLE_DOLLAR,
    NMEA_ERR_NON_ASCII,
    NMEA_ERR_TOO_LONG,
    NMEA_ERR_NO_CHECKSUM,
    NMEA_ERR_BAD_HEX,
    NMEA_ERR_JUNK_AFTER_CHECKSUM,
    NMEA_ERR_WRONG_CHECKSUM,
    NMEA_ERR_BAD_ADDRESS,
    NMEA_ERR_FIELD_COUNT,
    NMEA_ERR_BAD_FIELD,
    NMEA_ERR_CUT /* feeder only: a new '$' came before the sentence ended */
} NMEA_STATUS;

/* A short English text for a status ("wrong checksum", ...). */
const char* nmea_status_text(NMEA_STATUS status);

/* What one RMC or GGA sentence says. Fields without a value have their has_
 * flag 0 and their value 0 (course: also 0). */
typedef struct NMEA_FIX {
    char talker[3]; /* "GP", "GN", ... */
    char type[4];   /* "RMC" or "GGA" */
    int valid;      /* a fix the receiver vouches for */
    int has_time;
    double utc_s; /* seconds since midnight, UTC */
    int has_date;
    int year, month, day;
    int has_position;
    double lat, lng;   /* decimal degrees, south and west negative */
    char lat_dir;      /* 'N' or 'S' (0 without a position) */
    char lng_dir;      /* 'E' or 'W' */
    char lat_text[16]; /* the fields as sent, cut to 15 characters */
    char lng_text[16];
    int has_speed;
    double speed_knots; /* RMC */
    int has_course;
    double course_deg; /* RMC, degrees true */
    int quality;       /* GGA: 0 to 8, or -1 when empty; RMC: -1 */
} NMEA_FIX;

/* Reads one line (`length` bytes; blanks and the line end around the
 * sentence are allowed). NMEA_GOT_FIX fills `fix`; any other status leaves it
 * as it was. */
NMEA_STATUS nmea_parse_line(const char* line, size_t length, NMEA_FIX* fix);

/* The byte feeder: bytes before a '$' are skipped, a sentence ends at CR or
 * LF. */
typedef struct NMEA_READER {
    char buf[NMEA_MAX_SENTENCE + 1];
    size_t len;
    int state; /* 0 waiting for '$', 1 in a sentence, 2 skipping an overlong one,
                  3 a full sentence followed by blanks */
} NMEA_READER;

void nmea_reader_init(NMEA_READER* reader);
/* Takes one byte. NMEA_PENDING until a sentence is complete; then the status
 * of that sentence (NMEA_GOT_FIX filling `fix`), or NMEA_ERR_TOO_LONG as soon as
 * a sentence grows too long, or NMEA_ERR_CUT when a '$' interrupts one. */
NMEA_STATUS nmea_reader_feed(NMEA_READER* reader, unsigned char byte, NMEA_FIX* fix);

struct gps_info_s;
/* Fills the device's fix record from a valid fix with a position: directions,
 * the raw position fields, decimal degrees, speed in km/h (knots x 1.852,
 * rounded to the nearest integer; -1, unknown, without a speed: a GGA says
 * nothing of it) and the course (NaN without one). 0 when filled; -1, and
 * `info` untouched, otherwise. */
int nmea_fill_gps_info(const NMEA_FIX* fix, struct gps_info_s* info);

#ifdef __cplusplus
}
#endif

#endif /* GPS_NMEA_H */
