#include <sys/stat.h>

#include <bit>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "edog/builder/list_build.h"
#include "edog/datafile/e_dog_record.h"
#include "edog/e_dog_internal.h"
#include "edog/e_dog_source_date.h"
#include "edog/reference/reference_text.h"
#include "tests/test_support.h"

namespace {

const char* const kHead =
    "########## create_e_dog_heaplist open input file OK!\n"
    "########## create_e_dog_heaplist malloc OK!\n";
const char* const kDecodeOk = "=========== decode file OK!\n";

// Text between the opening messages and "decode file OK!": the import's echo.
std::string echo_of(const std::string& out) {
    const std::size_t begin = out.find(kHead);
    const std::size_t end = out.find(kDecodeOk);
    if (begin == std::string::npos || end == std::string::npos) {
        return "<no import>";
    }
    const std::size_t from = begin + std::strlen(kHead);
    return out.substr(from, end - from);
}

struct ImportRun {
    int result = 0;
    std::string out;
    std::string echo;
};

ImportRun import(const std::string& list) {
    test::write_file("speedcam22.txt", list);
    ImportRun run;
    run.out = test::run_build(run.result);
    run.echo = echo_of(run.out);
    return run;
}

class Import : public ::testing::Test {
protected:
    test::ScratchDir dir_;
};

TEST_F(Import, TypicalLineIsEchoedWithItsCode) {
    const ImportRun run = import("12,116.397128,39.916527,1,60,2,3\n");
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(run.echo, "12,116.397128,39.916527,1,60,2,3,wx4g0dtf9e\n");
    EXPECT_EQ(e_dog_list_size, 1U);
    EXPECT_EQ(edog_heap_buffer_addr, nullptr);
    EXPECT_STREQ(e_dog_usrfile, "speedcam22.txt");
}

TEST_F(Import, ByteOrderMarkCarriageReturnAndEmptyLines) {
    const ImportRun run = import(
        "\xEF\xBB\xBF"
        "1,116.397128,39.916527,1,60,2,3\r\n"
        "\n"
        "2,10.5,20.25,4,80,5,6\r\n");
    EXPECT_EQ(run.echo,
              "1,116.397128,39.916527,1,60,2,3,wx4g0dtf9e\n"
              "1,0.000000,0.000000,1,60,2,3,7zzzzzzzzz\n"
              "2,10.500000,20.250000,4,80,5,6,s5x7nymug9\n");
    EXPECT_EQ(e_dog_list_size, 3U);
}

TEST_F(Import, ThreeBytesAreSkippedBeforeANonDigitEvenWhenOneIsNul) {
    const ImportRun run = import(std::string("\0"
                                             "12345,116.397128,39.916527,1,60,2,3\n",
                                             37) +
                                 std::string("x\0"
                                             "9876,10.5,20.25,4,80,5,6\n",
                                             26));
    EXPECT_EQ(run.echo,
              "345,116.397128,39.916527,1,60,2,3,wx4g0dtf9e\n"
              "876,10.500000,20.250000,4,80,5,6,s5x7nymug9\n");
}

TEST_F(Import, CommaLineIsReportedAndRepeatsThePreviousRecord) {
    const ImportRun run = import("7,1.5,2.5,1,50,1,0\n,junk,9,9\n");
    EXPECT_EQ(run.echo,
              "7,1.500000,2.500000,1,50,1,0,s03n4ph789\n"
              "Chack Str:,junk,9,9\n\n"
              "7,1.500000,2.500000,1,50,1,0,s03n4ph789\n");
    EXPECT_EQ(e_dog_list_size, 2U);
}

TEST_F(Import, FirstLineFieldsThatAreNotSuppliedAreZero) {
    const ImportRun run = import(",x\n9,3.0\n");
    EXPECT_EQ(run.echo,
              "Chack Str:,x\n\n"
              "0,0.000000,0.000000,0,0,0,0,7zzzzzzzzz\n"
              "9,3.000000,0.000000,0,0,0,0,kpfpurbxcp\n");
}

TEST_F(Import, PartialScanKeepsEarlierFieldsButNeverThePosition) {
    const ImportRun run = import(
        "5,10.0,20.0,1,60,2,3\n"
        "6,11.0\n"
        "7,12.0,21.0,x,70\n"
        "8,13.0,22.0,2,90,4\n");
    EXPECT_EQ(run.echo,
              "5,10.000000,20.000000,1,60,2,3,s5x1g8cu2y\n"
              "6,11.000000,0.000000,1,60,2,3,kpzzfrczyx\n"
              "7,12.000000,21.000000,1,60,2,3,s78x3nfju7\n"
              "8,13.000000,22.000000,2,90,4,3,s7cjpufr3c\n");
}

TEST_F(Import, ColumnsAreTakenUpToTheNextCommaAndConvertedLeniently) {
    // Leading blanks, trailing text and columns longer than 23 characters.
    const std::string padded(40, ' ');
    const ImportRun run = import("3," + padded + "116.397128abc," + padded +
                                 "39.916527,  1, -60,+2,3,extra,fields\n");
    EXPECT_EQ(run.echo, "3,116.397128,39.916527,1,-60,2,3,wx4g0dtf9e\n");
}

TEST_F(Import, OverLongLinesAreReadInPiecesOf511Bytes) {
    // Exactly 511 characters before the line end: the line end follows alone.
    std::string line = "4,116.397128,39.916527,1,60,2,3,";
    line += std::string(511 - line.size(), 'x');
    ASSERT_EQ(line.size(), 511U);
    const ImportRun run = import(line + "\n");
    EXPECT_EQ(run.echo,
              "4,116.397128,39.916527,1,60,2,3,wx4g0dtf9e\n"
              "4,0.000000,0.000000,1,60,2,3,7zzzzzzzzz\n");

    // A piece that starts with a digit is a camera line of its own.
    std::string two = "1,0.5,0.5,1,30,1,1,";
    two += std::string(511 - two.size(), 'y');
    two += "2,116.397128,39.916527,1,60,2,3\n";
    const ImportRun run2 = import(two);
    EXPECT_EQ(run2.echo,
              "1,0.500000,0.500000,1,30,1,1,s006g7h0dy\n"
              "2,116.397128,39.916527,1,60,2,3,wx4g0dtf9e\n");
}

TEST_F(Import, LinesWithABadPositionAreSkippedWithTheirNumber) {
    const ImportRun run = import(
        "1,10.0,20.0,1,60,2,3\n"
        "2,200.0,20.0,1,60,2,3\n"
        ",again\n"
        "3,10.0,nan,1,60,2,3\n"
        "4,10.0,-90.5,1,60,2,3\n"
        "5,-180,90,1,60,2,3\n");
    EXPECT_EQ(run.echo,
              "1,10.000000,20.000000,1,60,2,3,s5x1g8cu2y\n"
              "########## create_e_dog_heaplist skip line 2: bad position\n"
              "Chack Str:,again\n\n"
              "########## create_e_dog_heaplist skip line 3: bad position\n"
              "########## create_e_dog_heaplist skip line 4: bad position\n"
              "########## create_e_dog_heaplist skip line 5: bad position\n"
              "5,-180.000000,90.000000,1,60,2,3,bpbpbpbpbp\n");
    EXPECT_EQ(e_dog_list_size, 2U);
    EXPECT_EQ(test::read_file("DATA_T.BIN").size(), 2 * e_dog::kRecordSize);
}

TEST_F(Import, AListOfOnlyBadPositionsBuildsLikeAnEmptyList) {
    const ImportRun run = import("1,500,0,1,1,1,1\n");
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(e_dog_list_size, 0U);
    EXPECT_NE(run.out.find("file all index:0\n"), std::string::npos);
    EXPECT_EQ(test::read_file("DATA_T.BIN"), "");
}

TEST_F(Import, MissingListFailsAndKeepsTheOldDataFile) {
    test::write_file("DATA_T.BIN", "old contents");
    e_dog_list_size = 77;
    int result = 0;
    const std::string out = test::run_build(result);
    EXPECT_EQ(result, -1);
    EXPECT_EQ(out, "########## create_e_dog_heaplist open input file: speedcam22.txt fail!\n");
    EXPECT_EQ(e_dog_list_size, 77U);
    EXPECT_EQ(test::read_file("DATA_T.BIN"), "old contents");
}

TEST_F(Import, ListThatIsNoRegularFileFailsAtOnceAndKeepsTheOldDataFile) {
    // A folder, and a FIFO that no one writes to (opening it must not wait).
    for (const bool fifo : {false, true}) {
        (void)std::remove("speedcam22.txt");
        ASSERT_EQ(fifo ? ::mkfifo("speedcam22.txt", 0644) : ::mkdir("speedcam22.txt", 0755), 0);
        test::write_file("DATA_T.BIN", "old contents");
        int result = 0;
        const std::string out = test::run_build(result);
        EXPECT_EQ(result, -1);
        EXPECT_EQ(out, "########## create_e_dog_heaplist open input file: speedcam22.txt fail!\n");
        EXPECT_EQ(test::read_file("DATA_T.BIN"), "old contents");
        EXPECT_EQ(edog_heap_buffer_addr, nullptr);
    }
}

TEST_F(Import, FullPoolFailsWithAMessageAndWritesNothing) {
    test::write_file("speedcam22.txt",
                     "1,1,1,1,1,1,1\n2,2,2,2,2,2,2\n3,3,3,3,3,3,3\n4,4,4,4,4,4,4\n");
    test::write_file("DATA_T.BIN", "old contents");
    testing::internal::CaptureStdout();
    const int result = e_dog::build_data_file(4);  // the head and three cameras
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(result, -1);
    EXPECT_NE(out.find("3,3.000000,3.000000,3,3,3,3,s0d1h60s30"), std::string::npos);
    EXPECT_NE(out.find("########## create_e_dog_heaplist list full: more than 3 cameras!\n"),
              std::string::npos);
    EXPECT_EQ(out.find("decode file OK"), std::string::npos);
    EXPECT_EQ(e_dog_list_size, 4U);
    EXPECT_EQ(edog_heap_buffer_addr, nullptr);
    EXPECT_EQ(test::read_file("DATA_T.BIN"), "old contents");
}

bool scan(std::string_view line, E_DOG_DATA& d) {
    const std::string terminated(line);
    return e_dog::scan_camera_line(terminated.c_str(), line.size(), d);
}

TEST(ScanCameraLine, FieldsGoToTheirColumns) {
    E_DOG_DATA d{};
    EXPECT_FALSE(scan("12,116.397128,39.916527,1,60,2,3\n", d));
    EXPECT_EQ(d.Idex, 12);
    EXPECT_EQ(d.Gps_lng, 116.397128);
    EXPECT_EQ(d.Gps_lat, 39.916527);
    EXPECT_EQ(d.Type, 1);
    EXPECT_EQ(d.Speed, 60);
    EXPECT_EQ(d.DirType, 2);
    EXPECT_EQ(d.Direction, 3);
}

TEST(ScanCameraLine, NonDigitStartSkipsThreeBytesAndShortLinesAreSafe) {
    E_DOG_DATA d{};
    d.Idex = 5;
    EXPECT_FALSE(scan("abc9,1,2,3,4,5,6", d));
    EXPECT_EQ(d.Idex, 9);
    EXPECT_EQ(d.Direction, 6);
    for (const char* shortline : {"", "x", "xy", "xyz", "\r\n"}) {
        EXPECT_FALSE(scan(shortline, d));
        EXPECT_EQ(d.Idex, 9);
        EXPECT_EQ(d.Gps_lat, 0.0);
    }
    EXPECT_TRUE(scan(",1,2", d));
}

// Lines put together from the pieces a scanner can trip on (signs, blanks,
// exponents, hexadecimal, words strtod knows, numbers beyond every limit,
// NUL bytes, missing and empty columns, columns longer than the conversion's
// width), each applied to a random camera before it: the scanner gives the
// same camera and the same report as the sscanf and strtod it replaced.
TEST(ScanCameraLine, AgreesWithTheReferenceScanner) {
    const std::string_view pieces[] = {"0",
                                       "7",
                                       "12",
                                       "-",
                                       "+",
                                       "-3",
                                       "+4",
                                       " ",
                                       "\t",
                                       "\n",
                                       "\r",
                                       "\v",
                                       ",",
                                       ",",
                                       ",",
                                       ",",
                                       ".",
                                       "5.",
                                       ".25",
                                       "e",
                                       "E5",
                                       "e-7",
                                       "e+",
                                       "1e400",
                                       "1e-400",
                                       "4.9e-324",
                                       "0x",
                                       "0x1p3",
                                       "0X.8",
                                       "inf",
                                       "-Infinity",
                                       "nan",
                                       "NaN(12)",
                                       "9223372036854775807",
                                       "9223372036854775808",
                                       "-9223372036854775809",
                                       "99999999999999999999999",
                                       "2147483648",
                                       "-2147483649",
                                       "4294967297",
                                       "116.397128",
                                       "-39.916527",
                                       "179.9999999",
                                       "00000000000000000000001",
                                       "0.1234567890123456789012345",
                                       "abc",
                                       "\xef\xbb\xbf",
                                       std::string_view("\0", 1)};
    std::mt19937_64 rng(17);
    std::uniform_int_distribution<std::size_t> pick(0, std::size(pieces) - 1);
    for (int i = 0; i < 300000; ++i) {
        std::string line;
        const std::size_t count = rng() % 24;
        for (std::size_t k = 0; k < count; ++k) {
            line += pieces[pick(rng)];
        }
        if (i % 100 == 0) {  // a position column of 510 to 530 bytes
            line = "1," + std::string(510 + rng() % 20, '1') + line;
        }
        E_DOG_DATA before{};
        before.Idex = static_cast<INT32>(rng());
        before.Type = static_cast<int>(rng() % 7);
        before.Speed = static_cast<int>(rng() % 130);
        before.DirType = 3;
        before.Direction = -1;
        before.Gps_lat = 1.5;
        before.Gps_lng = -2.5;
        E_DOG_DATA got = before;
        E_DOG_DATA want = before;
        const std::string terminated(line);
        const e_dog::LineScan a = e_dog::scan_camera_fields(terminated.c_str(), line.size(), got);
        const e_dog::LineScan b =
            e_dog::reference::scan_camera_fields(terminated.c_str(), line.size(), want);
        const auto same_bits = [](double x, double y) {
            return std::bit_cast<std::uint64_t>(x) == std::bit_cast<std::uint64_t>(y);
        };
        ASSERT_TRUE(a.supplies_nothing == b.supplies_nothing && a.fields == b.fields &&
                    a.position_numeric == b.position_numeric && a.idex == b.idex &&
                    got.Idex == want.Idex && got.Type == want.Type && got.Speed == want.Speed &&
                    got.DirType == want.DirType && got.Direction == want.Direction &&
                    same_bits(got.Gps_lat, want.Gps_lat) && same_bits(got.Gps_lng, want.Gps_lng))
            << "line " << i << ": \"" << line << "\" fields " << a.fields << "/" << b.fields
            << " lng " << got.Gps_lng << "/" << want.Gps_lng << " lat " << got.Gps_lat << "/"
            << want.Gps_lat;
    }
}

}  // namespace
