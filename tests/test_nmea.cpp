// The NMEA reader on a table of sentences: good ones from public parser test
// suites (pynmea2, nmeautils and other projects' tests, as noted), odd ones,
// and one of each way a line is refused.
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "edog/e_dog_source_date.h"
#include "gps/nmea.h"
#include "tests/test_support.h"

namespace {

std::string sentence(const std::string& body) {
    return test::nmea_sentence(body);
}

const std::string kRmc = "$GPRMC,225446,A,4916.45,N,12311.12,W,000.5,054.7,191104,020.3,E*61";

struct Case {
    std::string line;
    NMEA_STATUS status;
    int valid = -1;  // -1: not checked
    double lat = NAN;
    double lng = NAN;  // NaN: no position expected (when lat is NaN too)
};

TEST(Nmea, EverySentenceIsJudged) {
    const std::string long_text(NMEA_MAX_SENTENCE, 'x');
    const Case cases[] = {
        // Public test suites: nmeautils (RMC), pynmea2 (GGA, VTG), others.
        {kRmc, NMEA_GOT_FIX, 1, 49.0 + 16.45 / 60, -(123.0 + 11.12 / 60)},
        {"$GPGGA,184353.07,1929.045,S,02410.506,E,1,04,2.6,100.00,M,-33.9,M,,0000*6D", NMEA_GOT_FIX,
         1, -19.484083333333334, 24.1751},
        {"$GNRMC,153523.00,A,6401.148556,N,02113.221761,W,46.1,40.8,220823,18.2,W,A,V*67",
         NMEA_GOT_FIX, 1, 64 + 1.148556 / 60, -(21 + 13.221761 / 60)},
        {"$GPRMC,084047,A,2727.9512,S,15305.3444,E,005.8,161.0,231108,,,A*6A", NMEA_GOT_FIX, 1,
         -(27 + 27.9512 / 60), 153 + 5.3444 / 60},
        {"$GPGGA,084048,2727.9531,S,15305.3447,E,1,07,02.0,-00001.0,M,039.4,M,,*70", NMEA_GOT_FIX,
         1, -(27 + 27.9531 / 60), 153 + 5.3447 / 60},
        {"$GNGGA,140416.00,5948.99861,N,01021.67811,E,4,12,0.59,192.9,M,39.4,M,1.0,1405*68",
         NMEA_GOT_FIX, 1, 59.8166435, 10.361301833333334},
        {"$GNRMC,140417.00,A,5948.99864,N,01021.67811,E,0.068,,250620,,,R,V*0c", NMEA_GOT_FIX, 1,
         59 + 48.99864 / 60, 10 + 21.67811 / 60},
        {"$GPGLL,3751.65,S,14507.36,E*77", NMEA_GOT_OTHER},
        {"$GPVTG,108.53,T,,M,0.04,N,0.07,K,A*31", NMEA_GOT_OTHER},
        {"$GPGSA,A,3,07,08,11,13,17,27,28,,,,,,05.3,02.0,04.8*0E", NMEA_GOT_OTHER},
        // Line ends and blanks around the sentence.
        {"  " + kRmc + " \r\n\n", NMEA_GOT_FIX, 1, 49.0 + 16.45 / 60, -(123.0 + 11.12 / 60)},
        {kRmc + "\r", NMEA_GOT_FIX},
        // Odd but good: talkers, short degrees, no minute decimals, empty fields.
        {sentence("BDRMC,010203,A,4916,N,1131.00,E,10,90,010180,,,D"), NMEA_GOT_FIX, 1,
         49 + 16.0 / 60, 11 + 31.0 / 60},
        {sentence("GPRMC,010203,V,4916.45,N,12311.12,W,,,191104,,"), NMEA_GOT_FIX, 0},
        {sentence("GPRMC,010203,,4916.45,N,12311.12,W,,,191104,,"), NMEA_GOT_FIX, 0},
        {sentence("GPRMC,010203,A,4916.45,N,12311.12,W,,,191104,,,N"), NMEA_GOT_FIX, 0},
        {sentence("GPRMC,010203,A,,,,,,,191104,,"), NMEA_GOT_FIX, 1},  // no position
        {sentence("GPGGA,010203,4916.45,N,12311.12,W,0,,,,,,,,"), NMEA_GOT_FIX, 0},
        {sentence("GPGGA,010203,4916.45,N,12311.12,W,,,,,,,,,"), NMEA_GOT_FIX, 0},
        {sentence("GPTXT,01,01,02,ANTSTATUS=OK"), NMEA_GOT_OTHER},
        // Proprietary sentences ("$P" and a maker), with or without a checksum.
        {sentence("PGRME,15.0,M,45.0,M,25.0,M"), NMEA_GOT_OTHER},
        {"$PUBX,00,081350.00,4717.113210,N", NMEA_GOT_OTHER},
        {"$PGRME,15.0,M*00", NMEA_ERR_WRONG_CHECKSUM},
        {sentence("P,1"), NMEA_ERR_BAD_ADDRESS},
        // The calendar and the leap second.
        {sentence("GPRMC,235960,A,4916.45,N,12311.12,W,,,311216,,"), NMEA_GOT_FIX, 1},
        {sentence("GPRMC,120060,A,4916.45,N,12311.12,W,,,311216,,"), NMEA_ERR_BAD_FIELD},
        {sentence("GPRMC,010203,A,4916.45,N,12311.12,W,,,290224,,"), NMEA_GOT_FIX, 1},
        {sentence("GPRMC,010203,A,4916.45,N,12311.12,W,,,290223,,"), NMEA_ERR_BAD_FIELD},
        {sentence("GPRMC,010203,A,4916.45,N,12311.12,W,,,290200,,"), NMEA_GOT_FIX, 1},
        {sentence("GPRMC,010203,A,4916.45,N,12311.12,W,,,310424,,"), NMEA_ERR_BAD_FIELD},
        // Refused lines, one per reason.
        {"", NMEA_ERR_EMPTY},
        {" \r\n", NMEA_ERR_EMPTY},
        {"GPRMC,225446,A*61", NMEA_ERR_NO_DOLLAR},
        {"xx" + kRmc, NMEA_ERR_TEXT_BEFORE_DOLLAR},
        {"$" + kRmc, NMEA_ERR_DOUBLE_DOLLAR},
        {kRmc.substr(0, 20) + kRmc, NMEA_ERR_CUT},
        {kRmc.substr(0, kRmc.size() - 3), NMEA_ERR_NO_CHECKSUM},
        {kRmc.substr(0, kRmc.size() - 1), NMEA_ERR_BAD_HEX},
        {kRmc.substr(0, kRmc.size() - 1) + "G", NMEA_ERR_BAD_HEX},
        {kRmc + "x", NMEA_ERR_JUNK_AFTER_CHECKSUM},
        {kRmc + "*61", NMEA_ERR_JUNK_AFTER_CHECKSUM},
        {kRmc.substr(0, kRmc.size() - 1) + "2", NMEA_ERR_WRONG_CHECKSUM},
        {sentence("GPRMC,2254\xc3\xa9,A"), NMEA_ERR_NON_ASCII},
        {sentence("GPRMC,2254\t6,A"), NMEA_ERR_NON_ASCII},
        {sentence("GPTXT," + long_text), NMEA_ERR_TOO_LONG},
        {sentence("GPRM,1"), NMEA_ERR_BAD_ADDRESS},
        {sentence("gprmc,1"), NMEA_ERR_BAD_ADDRESS},
        {sentence("GPRMC,010203,A,4916.45,N,12311.12,W,,,191104,"), NMEA_ERR_FIELD_COUNT},
        {sentence("GPGGA,010203,4916.45,N,12311.12,W,1,,,,,,,"), NMEA_ERR_FIELD_COUNT},
        {sentence("GPRMC,010203,X,4916.45,N,12311.12,W,,,191104,,"), NMEA_ERR_BAD_FIELD},
        {sentence("GPRMC,010203,A,0.D,N,12311.12,W,,,191104,,"), NMEA_ERR_BAD_FIELD},
        {sentence("GPRMC,010203,A,A,N,12311.12,W,,,191104,,"), NMEA_ERR_BAD_FIELD},
        {sentence("GPRMC,010203,A,4916.123456789,N,12311.12,W,,,191104,,"), NMEA_ERR_BAD_FIELD},
        {sentence("GPRMC,010203,A,4960.00,N,12311.12,W,,,191104,,"), NMEA_ERR_BAD_FIELD},
        {sentence("GPRMC,010203,A,9100.00,N,12311.12,W,,,191104,,"), NMEA_ERR_BAD_FIELD},
        {sentence("GPRMC,010203,A,4916.45,X,12311.12,W,,,191104,,"), NMEA_ERR_BAD_FIELD},
        {sentence("GPRMC,010203,A,4916.45,N,12311.12,W,1e3,,191104,,"), NMEA_ERR_BAD_FIELD},
        {sentence("GPRMC,010203,A,4916.45,N,12311.12,W,-1,,191104,,"), NMEA_ERR_BAD_FIELD},
        {sentence("GPRMC,010203.1234,A,4916.45,N,12311.12,W,,,191104,,"), NMEA_ERR_BAD_FIELD},
        {sentence("GPRMC,250203,A,4916.45,N,12311.12,W,,,191104,,"), NMEA_ERR_BAD_FIELD},
        {sentence("GPRMC,010203,A,4916.45,N,12311.12,W,,,321104,,"), NMEA_ERR_BAD_FIELD},
        {sentence("GPGGA,010203,4916.45,N,12311.12,W,9,,,,,,,,"), NMEA_ERR_BAD_FIELD},
        {sentence("GPGGA,010203,4916.45,N,12311.12,W,1,,,high,,,,,"), NMEA_ERR_BAD_FIELD},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        NMEA_FIX fix{};
        fix.year = 7;  // untouched unless a fix is read
        const NMEA_STATUS got = nmea_parse_line(c.line.data(), c.line.size(), &fix);
        EXPECT_EQ(got, c.status) << nmea_status_text(got);
        if (got != NMEA_GOT_FIX) {
            EXPECT_EQ(fix.year, 7);
            continue;
        }
        if (c.valid >= 0) {
            EXPECT_EQ(fix.valid, c.valid);
        }
        if (!std::isnan(c.lat)) {
            EXPECT_EQ(fix.has_position, 1);
            EXPECT_NEAR(fix.lat, c.lat, 1e-12);
            EXPECT_NEAR(fix.lng, c.lng, 1e-12);
        }
    }
}

TEST(Nmea, FieldsOfAFix) {
    NMEA_FIX fix{};
    ASSERT_EQ(nmea_parse_line(kRmc.data(), kRmc.size(), &fix), NMEA_GOT_FIX);
    EXPECT_STREQ(fix.talker, "GP");
    EXPECT_STREQ(fix.type, "RMC");
    EXPECT_EQ(fix.utc_s, 22 * 3600 + 54 * 60 + 46);
    EXPECT_EQ(fix.year * 10000 + fix.month * 100 + fix.day, 20041119);
    EXPECT_EQ(fix.speed_knots, 0.5);
    EXPECT_EQ(fix.course_deg, 54.7);
    EXPECT_EQ(fix.quality, -1);

    const std::string y1999 = sentence("GPRMC,235959.999,A,4916.45,N,12311.12,W,,,311299,,");
    ASSERT_EQ(nmea_parse_line(y1999.data(), y1999.size(), &fix), NMEA_GOT_FIX);
    EXPECT_EQ(fix.year, 1999);
    EXPECT_DOUBLE_EQ(fix.utc_s, 86399.999);
    EXPECT_EQ(fix.has_speed, 0);
    EXPECT_EQ(fix.has_course, 0);

    // The device's fix record: speed in km/h rounded, no speed as -1 (never
    // 0 km/h), no course as NaN.
    GPS_INFO_T info{};
    EXPECT_EQ(nmea_fill_gps_info(&fix, &info), 0);
    EXPECT_EQ(info.current_speed, -1);
    EXPECT_TRUE(std::isnan(info.degrees));
    EXPECT_EQ(info.lat_dir, 'N');
    EXPECT_EQ(info.lng_dir, 'W');
    EXPECT_EQ(std::string(const_cast<const char*>(info.latitude)), "4916.45");
    EXPECT_EQ(info.longi, -(123.0 + 11.12 / 60));
    const std::string fast = sentence("GPRMC,010203,A,4916.45,N,12311.12,W,53.7,359.9,191104,,");
    ASSERT_EQ(nmea_parse_line(fast.data(), fast.size(), &fix), NMEA_GOT_FIX);
    EXPECT_EQ(nmea_fill_gps_info(&fix, &info), 0);
    EXPECT_EQ(info.current_speed, 99);  // 99.45 km/h
    EXPECT_EQ(info.degrees, 359.9);
    const std::string absurd =
        sentence("GPRMC,010203,A,4916.45,N,12311.12,W,1" + std::string(60, '0') + ",,191104,,");
    ASSERT_EQ(nmea_parse_line(absurd.data(), absurd.size(), &fix), NMEA_GOT_FIX);
    EXPECT_EQ(nmea_fill_gps_info(&fix, &info), 0);
    EXPECT_EQ(info.current_speed, 2147483647);
    const std::string invalid = sentence("GPRMC,010203,V,4916.45,N,12311.12,W,53.7,,191104,,");
    ASSERT_EQ(nmea_parse_line(invalid.data(), invalid.size(), &fix), NMEA_GOT_FIX);
    info.current_speed = 5;
    EXPECT_EQ(nmea_fill_gps_info(&fix, &info), -1);
    EXPECT_EQ(info.current_speed, 5);
}

// The byte feeder over a stream with garbage, every kind of line end, a
// sentence cut by a new '$' and an overlong one: it takes up again at the
// next '$' each time.
TEST(Nmea, FeederResynchronisesOnTheNextDollar) {
    const std::string gga =
        "$GPGGA,184353.07,1929.045,S,02410.506,E,1,04,2.6,100.00,M,-33.9,M,,0000*6D";
    const std::string stream = "\x01\xff garbage" + kRmc + "\r\n" + gga + "\n" + "$GPRMC,1234" +
                               "$GPGLL,3751.65,S,14507.36,E*77\r\n\n" + "$GPTXT," +
                               std::string(200, 'y') + "\r\n" + kRmc + "*00\r" + kRmc + "\r\n";
    NMEA_READER reader;
    nmea_reader_init(&reader);
    std::vector<NMEA_STATUS> seen;
    int fixes = 0;
    for (const char c : stream) {
        NMEA_FIX fix{};
        const NMEA_STATUS st = nmea_reader_feed(&reader, static_cast<unsigned char>(c), &fix);
        if (st != NMEA_PENDING) {
            seen.push_back(st);
            fixes += st == NMEA_GOT_FIX && fix.valid == 1 ? 1 : 0;
        }
    }
    const std::vector<NMEA_STATUS> want = {NMEA_GOT_FIX,      NMEA_GOT_FIX,
                                           NMEA_ERR_CUT,      NMEA_GOT_OTHER,
                                           NMEA_ERR_TOO_LONG, NMEA_ERR_JUNK_AFTER_CHECKSUM,
                                           NMEA_GOT_FIX};
    EXPECT_EQ(seen, want);
    EXPECT_EQ(fixes, 3);
}

}  // namespace
