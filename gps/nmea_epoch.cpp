// The epoch reader (gps/nmea_epoch.h): the sentences of one receiver cycle
// put together. The rules: doc/nmea.md.
#include "gps/nmea_epoch.h"

#include <cstring>
#include <string_view>

#include "gps/nmea_sentence.h"

namespace {

using gps::Kind;

unsigned bit_of(Kind k) {
    switch (k) {
    case Kind::kRmc:
        return NMEA_SENTENCE_RMC;
    case Kind::kGga:
        return NMEA_SENTENCE_GGA;
    case Kind::kVtg:
        return NMEA_SENTENCE_VTG;
    case Kind::kGll:
        return NMEA_SENTENCE_GLL;
    case Kind::kGns:
        return NMEA_SENTENCE_GNS;
    case Kind::kOther:
        break;
    }
    return 0;
}

// Whose position and validity a cycle reports: a sentence with a position
// before one without, then RMC, GNS, GGA, GLL. A VTG has neither.
int position_rank(const gps::Sentence& s) {
    int rank = 0;
    switch (s.kind) {
    case Kind::kRmc:
        rank = 4;
        break;
    case Kind::kGns:
        rank = 3;
        break;
    case Kind::kGga:
        rank = 2;
        break;
    case Kind::kGll:
        rank = 1;
        break;
    case Kind::kVtg:
    case Kind::kOther:
        return 0;
    }
    return rank + (s.fix.has_position != 0 ? 4 : 0);
}

NMEA_EPOCH empty_epoch() {
    NMEA_EPOCH e{};
    e.quality = -1;
    e.satellites = -1;
    return e;
}

void merge(NMEA_EPOCH_READER& r, const gps::Sentence& s) {
    NMEA_EPOCH& e = r.pending;
    const NMEA_FIX& f = s.fix;
    const unsigned bit = bit_of(s.kind);
    const bool first_of_kind = (e.sentences & bit) == 0;
    e.sentences |= bit;
    if (f.has_time != 0 && e.has_time == 0) {
        e.has_time = 1;
        e.utc_s = f.utc_s;
    }
    if (f.has_date != 0 && e.has_date == 0) {
        e.has_date = 1;
        e.year = f.year;
        e.month = f.month;
        e.day = f.day;
    }
    const int rank = position_rank(s);
    if (rank > r.rank) {
        r.rank = rank;
        e.valid = f.valid;
        e.has_position = f.has_position;
        e.lat = f.lat;
        e.lng = f.lng;
        e.lat_dir = f.lat_dir;
        e.lng_dir = f.lng_dir;
        std::memcpy(e.lat_text, f.lat_text, sizeof e.lat_text);
        std::memcpy(e.lng_text, f.lng_text, sizeof e.lng_text);
    }
    // Speed and course: the RMC's; a (valid) VTG's only where there are none.
    const bool rmc = s.kind == Kind::kRmc;
    const bool vtg = s.kind == Kind::kVtg && f.valid != 0;
    if (f.has_speed != 0 && (rmc || (vtg && e.has_speed == 0))) {
        e.has_speed = 1;
        e.speed_knots = f.speed_knots;
    }
    if (f.has_course != 0 && (rmc || (vtg && e.has_course == 0))) {
        e.has_course = 1;
        e.course_deg = f.course_deg;
    }
    if (s.kind == Kind::kGga && first_of_kind) {
        e.quality = f.quality;
        e.satellites = s.satellites;
        e.has_hdop = s.has_hdop;
        e.hdop = s.hdop;
        e.has_altitude = s.has_altitude;
        e.altitude_m = s.altitude_m;
    }
}

// A cycle ended by the next shows the receiver's cycle: it is what the next
// cycles wait for. A type missing from one cycle (a sentence lost to noise)
// is waited for again; missing from two in a row, it is no longer sent.
void learn_cycle(NMEA_EPOCH_READER& r) {
    const unsigned seen = r.pending.sentences;
    if ((seen & r.expected) == r.expected || r.missed != 0) {
        r.expected = seen;
        r.missed = 0;
    } else {
        r.missed = 1;
    }
}

void hand_over(NMEA_EPOCH_READER& r) {
    if (r.pending.sentences == 0) {
        return;
    }
    r.ready[r.ready_count++] = r.pending;
    r.has_last_time = r.pending.has_time;
    r.last_time = r.pending.utc_s;
    r.pending = empty_epoch();
    r.rank = 0;
}

}  // namespace

extern "C" void nmea_epoch_init(NMEA_EPOCH_READER* reader) {
    *reader = NMEA_EPOCH_READER{};
    reader->pending = empty_epoch();
}

extern "C" NMEA_STATUS nmea_epoch_line(NMEA_EPOCH_READER* reader, const char* line, size_t length) {
    NMEA_EPOCH_READER& r = *reader;
    r.ready_count = 0;  // what the last line handed over and was not taken
    r.ready_next = 0;
    gps::Sentence s;
    const NMEA_STATUS st = gps::read_sentence(std::string_view(line, length), gps::Read::kAll, s);
    if (st != NMEA_GOT_FIX) {
        return st;
    }
    const unsigned bit = bit_of(s.kind);
    NMEA_EPOCH& e = r.pending;
    if (s.fix.has_time != 0) {
        if (e.has_time == 0 && r.has_last_time != 0 && s.fix.utc_s == r.last_time) {
            r.expected |= bit;  // late for its cycle: the next cycle waits for it
            return st;
        }
        if (e.has_time != 0 ? e.utc_s != s.fix.utc_s : (e.sentences & bit) != 0) {
            learn_cycle(r);
            hand_over(r);
        }
    } else if ((e.sentences & bit) != 0) {
        learn_cycle(r);
        hand_over(r);
    }
    merge(r, s);
    if (r.expected != 0 && (r.pending.sentences & r.expected) == r.expected) {
        hand_over(r);
    }
    return st;
}

extern "C" void nmea_epoch_end(NMEA_EPOCH_READER* reader) {
    if (reader->ready_next == reader->ready_count) {
        reader->ready_count = 0;
        reader->ready_next = 0;
    }
    hand_over(*reader);
}

extern "C" int nmea_epoch_next(NMEA_EPOCH_READER* reader, NMEA_EPOCH* out) {
    if (reader->ready_next >= reader->ready_count) {
        return 0;
    }
    *out = reader->ready[reader->ready_next++];
    return 1;
}

extern "C" int nmea_epoch_fill_gps_info(const NMEA_EPOCH* epoch, struct gps_info_s* info) {
    if (epoch == nullptr) {
        return -1;
    }
    NMEA_FIX f{};
    f.valid = epoch->valid;
    f.has_position = epoch->has_position;
    f.lat = epoch->lat;
    f.lng = epoch->lng;
    f.lat_dir = epoch->lat_dir;
    f.lng_dir = epoch->lng_dir;
    std::memcpy(f.lat_text, epoch->lat_text, sizeof f.lat_text);
    std::memcpy(f.lng_text, epoch->lng_text, sizeof f.lng_text);
    f.has_speed = epoch->has_speed;
    f.speed_knots = epoch->speed_knots;
    f.has_course = epoch->has_course;
    f.course_deg = epoch->course_deg;
    return nmea_fill_gps_info(&f, info);
}
