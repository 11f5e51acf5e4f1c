// The epoch reader over the sentence orders real receivers send: each order
// of a drive of 20 one-second cycles must give 20 fixes, in order, each with
// what its cycle holds, handed over within its own cycle once the receiver's
// cycle is known (the first may wait for the second to begin).
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "edog/e_dog_source_date.h"
#include "gps/nmea_epoch.h"
#include "tests/test_support.h"

namespace {

std::string sentence(const std::string& body) {
    return test::nmea_sentence(body);
}

// The sentence `kind` of cycle `i`: 08:00:0i, moving east at 48.6 knots.
std::string line_of(const std::string& kind, int i) {
    char t[16];
    char lng[32];
    (void)std::snprintf(t, sizeof t, "0800%02d.00", i);
    (void)std::snprintf(lng, sizeof lng, "11623.%04d", 4831 + i * 180);
    const std::string pos = std::string("3954.5500,N,") + lng + ",E";
    if (kind == "RMC") {
        return sentence("GPRMC," + std::string(t) + ",A," + pos + ",48.6,94.0,091226,,,A");
    }
    if (kind == "GGA") {
        return sentence("GNGGA," + std::string(t) + "," + pos + ",1,08,0.9,40.0,M,0.0,M,,");
    }
    if (kind == "VTG") {
        return sentence("GPVTG,94.0,T,,M,48.6,N,90.0,K,A");
    }
    if (kind == "GLL") {
        return sentence("GPGLL," + pos + "," + t + ",A,A");
    }
    if (kind == "GSA") {
        return sentence("GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1");
    }
    if (kind == "GSV") {
        return sentence("GPGSV,2,1,08,01,40,083,46,02,17,308,41,12,07,344,39,14,22,228,45");
    }
    if (kind == "P") {
        return sentence("PGRME,15.0,M,45.0,M,25.0,M");
    }
    return "";  // a blank line
}

struct Order {
    const char* name;
    std::vector<std::string> cycle;  // the sentences of one cycle, in order
    unsigned sentences;              // what each fix must be made of
    bool speed;                      // whether the fixes have a speed
    int lost_at = -1;                // a cycle that loses its last sentence
};

TEST(NmeaEpoch, EverySentenceOrderGivesOneFixPerCycle) {
    constexpr unsigned kRmcGga = NMEA_SENTENCE_RMC | NMEA_SENTENCE_GGA;
    const Order orders[] = {
        {"RMC only", {"RMC"}, NMEA_SENTENCE_RMC, true},
        {"GGA only", {"GGA"}, NMEA_SENTENCE_GGA, false},
        {"GGA first", {"GGA", "RMC"}, kRmcGga, true},
        {"GGA after", {"RMC", "GGA"}, kRmcGga, true},
        {"with VTG, GSA, GSV",
         {"GGA", "GSA", "GSV", "RMC", "VTG"},
         kRmcGga | NMEA_SENTENCE_VTG,
         true},
        {"VTG first, GGA, no RMC",
         {"VTG", "GGA", "GSA"},
         NMEA_SENTENCE_GGA | NMEA_SENTENCE_VTG,
         true},
        {"GLL and VTG", {"GLL", "VTG"}, NMEA_SENTENCE_GLL | NMEA_SENTENCE_VTG, true},
        {"blank lines (CR LF LF)", {"RMC", "", "GGA", ""}, kRmcGga, true},
        {"proprietary lines", {"P", "GGA", "P", "RMC", "P"}, kRmcGga, true},
        {"a GGA lost", {"RMC", "GGA"}, kRmcGga, true, 7},
    };
    constexpr int kCycles = 20;
    for (const Order& o : orders) {
        SCOPED_TRACE(o.name);
        NMEA_EPOCH_READER reader;
        nmea_epoch_init(&reader);
        std::vector<NMEA_EPOCH> fixes;
        std::vector<int> handed_at;  // the cycle of the line that handed each over
        int refused = 0;
        NMEA_EPOCH e{};
        for (int i = 0; i < kCycles; ++i) {
            for (std::size_t k = 0; k < o.cycle.size(); ++k) {
                if (i == o.lost_at && k + 1 == o.cycle.size()) {
                    continue;
                }
                const std::string line = line_of(o.cycle[k], i) + "\r\n";
                const NMEA_STATUS st = nmea_epoch_line(&reader, line.data(), line.size());
                refused += st >= NMEA_ERR_EMPTY && st != NMEA_ERR_EMPTY ? 1 : 0;
                while (nmea_epoch_next(&reader, &e) == 1) {
                    fixes.push_back(e);
                    handed_at.push_back(i);
                }
            }
        }
        nmea_epoch_end(&reader);
        while (nmea_epoch_next(&reader, &e) == 1) {
            fixes.push_back(e);
            handed_at.push_back(kCycles);
        }
        EXPECT_EQ(refused, 0);
        ASSERT_EQ(fixes.size(), static_cast<std::size_t>(kCycles));
        for (int i = 0; i < kCycles; ++i) {
            SCOPED_TRACE(i);
            const NMEA_EPOCH& f = fixes[static_cast<std::size_t>(i)];
            EXPECT_EQ(f.utc_s, 8 * 3600 + i);
            EXPECT_TRUE(f.valid == 1 && f.has_position == 1);
            EXPECT_NEAR(f.lng, 116 + (23.4831 + i * 0.018) / 60, 1e-9);
            if (i != o.lost_at) {
                EXPECT_EQ(f.sentences, o.sentences);
            }
            EXPECT_EQ(f.has_speed == 1 && f.has_course == 1, o.speed);
            const bool gga = (f.sentences & NMEA_SENTENCE_GGA) != 0;
            EXPECT_EQ(f.satellites, gga ? 8 : -1);
            EXPECT_EQ(f.has_altitude == 1 && f.altitude_m == 40.0, gga);
            // Once the cycle is known, a fix is handed over within its own
            // cycle (a lost sentence: when the next begins).
            const int latest = i == 0 || i == o.lost_at ? i + 1 : i;
            EXPECT_LE(handed_at[static_cast<std::size_t>(i)], latest);
            GPS_INFO_T info{};
            ASSERT_EQ(nmea_epoch_fill_gps_info(&f, &info), 0);
            EXPECT_EQ(info.current_speed, o.speed ? 90 : -1);  // never 0 km/h for unknown
        }
    }
}

}  // namespace
