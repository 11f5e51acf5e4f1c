#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "edog/e_dog_internal.h"
#include "edog/e_dog_source_date.h"
#include "edog/lookup/lookup.h"
#include "tests/test_support.h"

namespace {

struct Entry {
    int index;
    std::string str;
    bool operator==(const Entry&) const = default;
};

std::vector<Entry> entries(LinkQueue q) {
    std::vector<Entry> out;
    for (const Qnode* n = q->front->next; n != nullptr; n = n->next) {
        out.push_back({n->data.index, n->data.str});
    }
    return out;
}

struct Search {
    ElemType result;
    std::string out;
};

Search search(LinkQueue q, const char* hash) {
    testing::internal::CaptureStdout();
    const ElemType r = QueueSearch(q, hash);
    return {r, testing::internal::GetCapturedStdout()};
}

std::string traverse(LinkQueue q) {
    testing::internal::CaptureStdout();
    QueueTraverse(q);
    return testing::internal::GetCapturedStdout();
}

class Index : public ::testing::Test {
protected:
    void SetUp() override {
        e_dog_exit();
        e_dog::free_queue(q_header);
    }
    void TearDown() override {
        e_dog_exit();
        e_dog::free_queue(q_header);
    }

    // Writes the records, opens the file for lookup and builds the index.
    static void build(const std::vector<std::string>& codes) {
        std::vector<E_DOG_DATA> recs;
        for (const std::string& c : codes) {
            recs.push_back(test::camera(c, 0.0, 0.0));
        }
        test::write_records("DATA_T.BIN", recs);
        ASSERT_EQ(e_dog_init(), 0);
        testing::internal::CaptureStdout();
        e_dog_build_file_index();
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
        ASSERT_NE(q_header, nullptr);
    }

    test::ScratchDir dir_;
};

// Ten records in three buckets: gcn2 (0 to 4), gcn3 (5, 6), mps5 (7 to 9).
const std::vector<std::string> kTen = {"gcn2000000", "gcn2000001", "gcn2111111", "gcn2zzzzzz",
                                       "gcn2zzzzzz", "gcn3000000", "gcn3555555", "mps5000000",
                                       "mps597d1rk", "mps5zzzzzz"};

TEST_F(Index, ThreeBuckets) {
    build(kTen);
    EXPECT_EQ(entries(q_header), (std::vector<Entry>{{0, "gcn2"}, {5, "gcn3"}, {7, "mps5"}}));
    EXPECT_EQ(q_header->size, 3);
    EXPECT_EQ(q_header->file_size, 10);
    EXPECT_STREQ(q_header->font_str, "gcn2");
    EXPECT_STREQ(q_header->end_str, "mps5");

    const struct {
        const char* hash;
        int index;
        int cunt;
        const char* str;
    } rows[] = {{"gcn2abcdef", 0, 5, "gcn2"},
                {"gcn3000000", 5, 2, "gcn3"},
                {"mps597d1rk", 7, 3, ""},
                {"u000000000", 7, 3, ""},
                {"0000000000", 7, 3, ""}};
    for (const auto& row : rows) {
        const Search s = search(q_header, row.hash);
        EXPECT_EQ(s.result.index, row.index) << row.hash;
        EXPECT_EQ(s.result.cunt, row.cunt) << row.hash;
        EXPECT_STREQ(s.result.str, row.str) << row.hash;
        EXPECT_EQ(s.out, "ral.cunt ======== -1  \nsize ======== 3  \n");
    }
    EXPECT_EQ(traverse(q_header), "=========== i: 3 \nindex 5  str:gcn2  \n");
}

TEST_F(Index, ListingShowsEachBucketLargerThanAllBefore) {
    build({"aaaa0", "bbbb0", "bbbb1", "cccc0", "dddd0", "dddd1", "dddd2", "eeee0", "eeee1", "eeee2",
           "ffff0", "ffff1", "ffff2", "ffff3", "ffff4", "ffff5"});
    EXPECT_EQ(traverse(q_header),
              "=========== i: 6 \n"
              "index 1  str:aaaa  \n"
              "index 2  str:bbbb  \n"
              "index 3  str:dddd  \n");
}

TEST_F(Index, OneBucketIsTheWholeFile) {
    build({"wx4g000000", "wx4g111111", "wx4gzzzzzz"});
    EXPECT_EQ(entries(q_header), (std::vector<Entry>{{0, "wx4g"}}));
    EXPECT_STREQ(q_header->end_str, "");
    for (const char* hash : {"wx4g0dtf9e", "mps597d1rk", ""}) {
        const Search s = search(q_header, hash);
        EXPECT_EQ(s.result.index, 0);
        EXPECT_EQ(s.result.cunt, 3);
        EXPECT_STREQ(s.result.str, "");
        EXPECT_EQ(s.out, "ral.cunt ======== -1  \n");
    }
    EXPECT_EQ(traverse(q_header), "=========== i: 1 \n");
}

TEST_F(Index, FileWithoutAWholeRecordGivesAnEmptyQueue) {
    test::write_file("DATA_T.BIN", std::string(40, 'x'));
    e_dog_list_size = 0;
    e_dog_build_file_index();
    ASSERT_NE(q_header, nullptr);
    EXPECT_EQ(q_header->size, 0);
    EXPECT_EQ(traverse(q_header), "=========== i: 0 \n");
    const Search s = search(q_header, "mps597d1rk");
    EXPECT_EQ(s.result.index, -1);
    EXPECT_EQ(s.result.cunt, -1);
    EXPECT_EQ(s.out, "ral.cunt ======== -1  \nsize ======== 0  \n");
}

TEST_F(Index, TruncatedLastRecordIsNotIndexed) {
    build({"gcn2000000"});
    std::string bytes = test::read_file("DATA_T.BIN") + "z";
    test::write_file("DATA_T.BIN", bytes);  // 57 bytes
    e_dog::free_queue(q_header);
    e_dog_build_file_index();
    EXPECT_EQ(entries(q_header), (std::vector<Entry>{{0, "gcn2"}}));
    EXPECT_EQ(q_header->file_size, 1);
}

TEST_F(Index, MissingFileLeavesTheIndexAlone) {
    LinkQueue before = LinkQueueInit();
    q_header = before;  // freed by TearDown
    testing::internal::CaptureStdout();
    e_dog_build_file_index();
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "########## e_dog_write_list_to_file open input file: DATA_T.BIN fail!\n");
    EXPECT_EQ(q_header, before);
}

TEST(IndexSearch, MissingQueueOrCode) {
    EXPECT_EQ(search(nullptr, "mps5").result.index, -1);
    EXPECT_EQ(search(nullptr, "mps5").result.cunt, -1);
    EXPECT_EQ(search(nullptr, "mps5").out, "");
    LinkQueue q = LinkQueueInit();
    EXPECT_EQ(search(q, nullptr).result.cunt, -1);
    EXPECT_EQ(search(q, nullptr).out, "");
    EXPECT_EQ(traverse(nullptr), "=========== i: 0 \n");
    e_dog::free_queue(q);
}

TEST(IndexSearch, ShortCodesMatchOnlyTheSameShortPrefix) {
    LinkQueue q = LinkQueueInit();
    q->file_size = 8;
    for (const auto& [index, str] :
         std::vector<std::pair<int, std::string>>{{0, "gcn"}, {2, "gcn2"}, {5, "zzzz"}}) {
        ElemType e{};
        e.index = index;
        std::snprintf(e.str, sizeof e.str, "%s", str.c_str());
        LinkQueueEnter(q, e);
    }
    Search s = search(q, "gcn");
    EXPECT_EQ(s.result.index, 0);
    EXPECT_EQ(s.result.cunt, 2);
    EXPECT_STREQ(s.result.str, "gcn");
    s = search(q, "gc");
    EXPECT_EQ(s.result.index, 5);
    EXPECT_EQ(s.result.cunt, 3);
    s = search(q, "gcn2");
    EXPECT_EQ(s.result.index, 2);
    EXPECT_EQ(s.result.cunt, 3);
    e_dog::free_queue(q);
}

TEST(Queue, FirstInFirstOut) {
    LinkQueue q = LinkQueueInit();
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(q->front, q->rear);
    EXPECT_EQ(q->size, 0);
    ElemType erro = LinkQueueOut(q);
    EXPECT_EQ(erro.index, -1);
    EXPECT_EQ(erro.cunt, -1);
    EXPECT_STREQ(erro.str, "");

    for (int i = 0; i < 3; ++i) {
        ElemType e{};
        e.index = i * 10;
        std::snprintf(e.str, sizeof e.str, "p%03d", i);
        LinkQueueEnter(q, e);
    }
    EXPECT_EQ(q->size, 3);
    EXPECT_STREQ(q->font_str, "p000");
    EXPECT_STREQ(q->end_str, "p002");
    EXPECT_EQ(LinkQueueOut(q).index, 0);
    EXPECT_EQ(LinkQueueOut(q).index, 10);
    EXPECT_EQ(LinkQueueOut(q).index, 20);
    EXPECT_EQ(q->size, 0);
    EXPECT_EQ(q->rear, q->front);
    EXPECT_EQ(LinkQueueOut(q).index, -1);
    EXPECT_STREQ(q->end_str, "p002");  // removal leaves the prefixes alone

    // The emptied queue takes entries again.
    ElemType e{};
    e.index = 7;
    LinkQueueEnter(q, e);
    EXPECT_EQ(LinkQueueOut(q).index, 7);

    // An entry whose prefix field is not terminated is copied bounded.
    ElemType raw{};
    std::memset(raw.str, 'q', sizeof raw.str);
    LinkQueueEnter(q, raw);
    EXPECT_STREQ(q->font_str, "qqqqqqq");
    LinkQueueEnter(nullptr, raw);  // no queue: nothing happens
    e_dog::free_queue(q);
}

}  // namespace
