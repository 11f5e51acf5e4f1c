// Damaged or foreign data files under the lookup run's searches and index.
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "edog/e_dog_internal.h"
#include "edog/e_dog_source_date.h"
#include "edog/lookup/lookup.h"
#include "geo/geohash.h"
#include "tests/search_fixture.h"
#include "tests/test_support.h"

namespace {

using namespace search_test;

// Damaged or foreign data files: every reader stays inside its records and
// gives the answer its rules give for the bytes it reads.
class DamagedFile : public SearchTest {};

TEST_F(DamagedFile, CodesWithoutTerminator) {
    E_DOG_DATA raw = test::camera("", north(100.0), kLng, 1, 30, 7);
    std::memset(raw.encode_str, 'z', sizeof raw.encode_str);
    open({raw, raw});
    e_dog::free_queue(q_header);
    e_dog_build_file_index();
    ASSERT_NE(q_header, nullptr);
    EXPECT_EQ(q_header->size, 1);
    EXPECT_STREQ(q_header->front->next->data.str, "zzzz");
    // All codes sort after the query's: refused before anything is measured.
    const Outcome o = bisect();
    expect_miss(o);
    EXPECT_NE(o.out.find("encode_str:zzzzzzzzzzzz \n"), std::string::npos);
    expect_hit(bucket(0, 2), 7, 100, 30);
    e_dog::free_queue(q_header);
}

TEST_F(DamagedFile, NonFiniteCoordinatesAreNeverTaken) {
    const double nan = std::nan("");
    const double inf = std::numeric_limits<double>::infinity();
    const std::string q = geohash_encode(kLat, kLng, 10);
    open({test::camera(q, nan, kLng, 1, 10, 1), test::camera(q, kLat, inf, 1, 10, 2),
          test::camera(q, -inf, nan, 1, 10, 3)});
    expect_miss(bucket(0, 3));
    expect_miss(bisect());
}

TEST_F(DamagedFile, RecordsOutOfOrderOpenAnEntryPerRun) {
    open({test::camera("aaaa0", 0, 0), test::camera("bbbb0", 0, 0), test::camera("aaaa1", 0, 0)});
    e_dog::free_queue(q_header);
    e_dog_build_file_index();
    ASSERT_NE(q_header, nullptr);
    EXPECT_EQ(q_header->size, 3);
    e_dog::free_queue(q_header);
}

TEST_F(DamagedFile, TruncatedLastRecordIsNeverRead) {
    open({test::camera("a", north(300.0), kLng, 1, 30, 1),
          test::camera("b", north(200.0), kLng, 1, 20, 2)});
    // Cut the second record short: the file holds one whole record.
    const std::string bytes = test::read_file("DATA_T.BIN");
    test::write_file("DATA_T.BIN", bytes.substr(0, 56 + 30));
    e_dog_exit();
    ASSERT_EQ(e_dog_init(), 0);
    EXPECT_EQ(e_dog_list_size, 1U);
    expect_hit(bucket(0, 2), 1, 300, 30);
    // A count that claims the partial record: the last record cannot be read.
    E_DOG_LCD lcd = sentinel_lcd();
    testing::internal::CaptureStdout();
    EXPECT_EQ(e_dog_binary_search_by_file(kFarLng, kLat, 2, &lcd).Speed, -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

}  // namespace
