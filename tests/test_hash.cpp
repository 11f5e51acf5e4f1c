#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "edog/e_dog_source_date.h"
#include "hash/HashAlgo.h"
#include "hash/hash_internal.h"
#include "tests/test_support.h"

namespace {

class HashTable : public ::testing::Test {
protected:
    void TearDown() override { CHashAlgo_Exit(); }
};

// Strings "k0", "k1", ... whose start slot in a table of `n` slots is `slot`.
std::vector<std::string> strings_starting_at(uint32_t slot, uint32_t n, std::size_t how_many) {
    std::vector<std::string> out;
    for (int i = 0; out.size() < how_many; ++i) {
        const std::string s = "k" + std::to_string(i);
        if (CHashAlgo_HashString(s.c_str(), 0) % n == slot) {
            out.push_back(s);
        }
    }
    return out;
}

TEST_F(HashTable, CryptTableAndHashCheckValues) {
    CHashAlgo_prepareCryptTable();
    EXPECT_EQ(cryptTable[0], 0x55C636E2U);
    EXPECT_EQ(cryptTable[1], 0x02BE0170U);
    EXPECT_EQ(cryptTable[256], 0x76F8C1B1U);
    EXPECT_EQ(cryptTable[1279], 0x7303286CU);
    EXPECT_EQ(CHashAlgo_HashString("abc", 0), 0xF434F751U);
    EXPECT_EQ(CHashAlgo_HashString("ABC", 0), 0xF434F751U);
    EXPECT_EQ(CHashAlgo_HashString("abc", 1), 0xAAB2C1A5U);
    EXPECT_EQ(CHashAlgo_HashString("ABC", 1), 0xAAB2C1A5U);
    for (uint32_t type = 0; type < 5; ++type) {
        EXPECT_EQ(CHashAlgo_HashString("", type), 0x7FED7FEDU);
    }
    // Bytes above 127 index the table as unsigned values.
    EXPECT_NE(CHashAlgo_HashString("\xE9", 0), CHashAlgo_HashString("i", 0));
}

TEST_F(HashTable, CaseBlindLookupKeepsTheStoredCase) {
    CHashAlgo_Init(64);
    ASSERT_EQ(CHashAlgo_SetHashTable("wx4g0dTF9e"), 1);
    const int32_t pos = CHashAlgo_GetHashTablePos("WX4G0DTF9E");
    ASSERT_GE(pos, 0);
    EXPECT_EQ(pos, CHashAlgo_GetHashTablePos("wx4g0dtf9e"));
    EXPECT_STREQ(m_HashIndexTable[pos].encStr, "wx4g0dTF9e");
    EXPECT_EQ(m_HashIndexTable[pos].bExists, 1);
    EXPECT_EQ(static_cast<uint32_t>(m_HashIndexTable[pos].nHashB),
              CHashAlgo_HashString("wx4g0dtf9e", 0));
    EXPECT_EQ(CHashAlgo_GetHashTablePos("mps597d1rk"), -1);
}

TEST_F(HashTable, OneSlot) {
    CHashAlgo_Init(1);
    EXPECT_EQ(CHashAlgo_GetTableLength(), 1U);
    EXPECT_EQ(CHashAlgo_SetHashTable("first"), 1);
    EXPECT_EQ(CHashAlgo_SetHashTable("second"), 0);
    EXPECT_EQ(CHashAlgo_GetHashTablePos("first"), 0);
    EXPECT_EQ(CHashAlgo_GetHashTablePos("second"), -1);
    EXPECT_STREQ(m_HashIndexTable[0].encStr, "first");
}

TEST_F(HashTable, CollisionsProbeOnAndWrapToSlotZero) {
    constexpr uint32_t n = 8;
    CHashAlgo_Init(n);
    const std::vector<std::string> s = strings_starting_at(n - 1, n, 3);
    EXPECT_EQ(CHashAlgo_SetHashTable(s[0].c_str()), 1);
    EXPECT_EQ(CHashAlgo_SetHashTable(s[1].c_str()), 1);
    EXPECT_EQ(CHashAlgo_GetHashTablePos(s[0].c_str()), 7);
    EXPECT_EQ(CHashAlgo_GetHashTablePos(s[1].c_str()), 0);
    EXPECT_STREQ(m_HashIndexTable[0].encStr, s[1].c_str());
    // Not stored: the search stops at the first free slot (slot 1).
    EXPECT_EQ(CHashAlgo_GetHashTablePos(s[2].c_str()), -1);

    // The same string twice takes two slots; the search finds the first.
    EXPECT_EQ(CHashAlgo_SetHashTable(s[0].c_str()), 1);
    EXPECT_EQ(m_HashIndexTable[1].bExists, 1);
    EXPECT_EQ(CHashAlgo_GetHashTablePos(s[0].c_str()), 7);
}

TEST_F(HashTable, FullTableRefusesAndSearchesGoFullCircle) {
    constexpr uint32_t n = 5;
    CHashAlgo_Init(n);
    for (uint32_t i = 0; i < n; ++i) {
        EXPECT_EQ(CHashAlgo_SetHashTable(("s" + std::to_string(i)).c_str()), 1);
    }
    EXPECT_EQ(CHashAlgo_SetHashTable("one more"), 0);
    EXPECT_EQ(CHashAlgo_GetHashTablePos("one more"), -1);
    for (uint32_t i = 0; i < n; ++i) {
        EXPECT_GE(CHashAlgo_GetHashTablePos(("s" + std::to_string(i)).c_str()), 0);
    }
}

TEST_F(HashTable, NoTableLongStringsAndLengths) {
    CHashAlgo_Exit();
    EXPECT_EQ(CHashAlgo_SetHashTable("abc"), 0);
    EXPECT_EQ(CHashAlgo_GetHashTablePos("abc"), -1);
    CHashAlgo_Init(0);
    EXPECT_EQ(m_HashIndexTable, nullptr);
    EXPECT_EQ(CHashAlgo_GetTableLength(), 0U);
    EXPECT_EQ(CHashAlgo_SetHashTable("abc"), 0);
    CHashAlgo_Init(-4);
    EXPECT_EQ(CHashAlgo_GetTableLength(), 0U);

    CHashAlgo_Init(16);
    const std::string ok(254, 'x');
    const std::string too_long(255, 'y');
    EXPECT_EQ(CHashAlgo_SetHashTable(ok.c_str()), 1);
    EXPECT_EQ(CHashAlgo_SetHashTable(too_long.c_str()), 0);
    EXPECT_GE(CHashAlgo_GetHashTablePos(ok.c_str()), 0);

    // The recorded length can shrink but never exceed the slots allocated.
    CHashAlgo_SetTableLength(1000);
    EXPECT_EQ(CHashAlgo_GetTableLength(), 16U);
    CHashAlgo_SetTableLength(4);
    EXPECT_EQ(CHashAlgo_GetTableLength(), 4U);
    CHashAlgo_SetTableLength(16);
    EXPECT_EQ(CHashAlgo_GetTableLength(), 16U);

    // A second Init replaces the first table (the sanitizer run sees a leak
    // otherwise); Exit empties it.
    CHashAlgo_Init(3);
    EXPECT_EQ(CHashAlgo_GetTableLength(), 3U);
    EXPECT_EQ(CHashAlgo_GetHashTablePos(ok.c_str()), -1);
    CHashAlgo_Exit();
    EXPECT_EQ(CHashAlgo_GetTableLength(), 0U);
    EXPECT_EQ(m_HashIndexTable, nullptr);
}

class HashExport : public ::testing::Test {
protected:
    void TearDown() override { CHashAlgo_Exit(); }

    static int run(std::string& out) {
        testing::internal::CaptureStdout();
        const int rc = e_dog_hash_to_file();
        out = testing::internal::GetCapturedStdout();
        return rc;
    }

    static int used_slots() {
        int used = 0;
        for (uint32_t i = 0; i < m_tablelength; ++i) {
            used += m_HashIndexTable[i].bExists;
        }
        return used;
    }

    test::ScratchDir dir_;
};

TEST_F(HashExport, EveryCodeInFileOrderDuplicatesIncluded) {
    test::write_records("DATA_T.BIN",
                        {test::camera("7zzzzzzzzz", 0, 0), test::camera("wx4g0dtf9e", 0, 0),
                         test::camera("wx4g0dtf9e", 0, 0)});
    CHashAlgo_Init(2);  // room for two: the third offer is refused
    std::string out;
    EXPECT_EQ(run(out), 0);
    EXPECT_EQ(out, "");
    EXPECT_EQ(used_slots(), 2);
    EXPECT_GE(CHashAlgo_GetHashTablePos("7zzzzzzzzz"), 0);
    EXPECT_GE(CHashAlgo_GetHashTablePos("wx4g0dtf9e"), 0);

    CHashAlgo_Init(16);
    EXPECT_EQ(run(out), 0);
    EXPECT_EQ(used_slots(), 3);
}

TEST_F(HashExport, EmptyTruncatedAndMissingFiles) {
    CHashAlgo_Init(16);
    std::string out;
    test::write_file("DATA_T.BIN", "");
    EXPECT_EQ(run(out), 0);
    EXPECT_EQ(used_slots(), 0);

    test::write_records("DATA_T.BIN", {test::camera("wx4g0dtf9e", 0, 0)});
    test::write_file("DATA_T.BIN", test::read_file("DATA_T.BIN") + std::string(30, 'q'));
    EXPECT_EQ(run(out), 0);
    EXPECT_EQ(used_slots(), 1);

    // A code without a terminator is offered as its 12 bytes.
    E_DOG_DATA raw = test::camera("", 0, 0);
    std::memset(raw.encode_str, 'b', sizeof raw.encode_str);
    test::write_records("DATA_T.BIN", {raw});
    EXPECT_EQ(run(out), 0);
    EXPECT_GE(CHashAlgo_GetHashTablePos("bbbbbbbbbbbb"), 0);

    std::remove("DATA_T.BIN");
    EXPECT_EQ(run(out), -1);
    EXPECT_EQ(out, "########## e_dog_write_list_to_file open input file: DATA_T.BIN fail!\n");
    EXPECT_EQ(used_slots(), 2);
}

TEST_F(HashExport, BeforeInitEveryCodeIsRefused) {
    CHashAlgo_Exit();
    test::write_records("DATA_T.BIN", {test::camera("wx4g0dtf9e", 0, 0)});
    std::string out;
    EXPECT_EQ(run(out), 0);
    EXPECT_EQ(m_HashIndexTable, nullptr);
}

class NameTree : public ::testing::Test {
protected:
    void SetUp() override { name_tree::clear(); }
    void TearDown() override { name_tree::clear(); }
    _tree_node_ dummy_{};
};

TEST_F(NameTree, FindReportsNodeAndParent) {
    _tree_node_* par = &dummy_;
    _tree_node_* loc = &dummy_;
    tree_find("b", &par, &loc);
    EXPECT_EQ(par, nullptr);
    EXPECT_EQ(loc, nullptr);

    tree_insert("b");
    tree_insert("a");
    tree_insert("c");
    ASSERT_NE(name_tree::root, nullptr);
    EXPECT_STREQ(name_tree::root->name, "b");
    EXPECT_STREQ(name_tree::root->lchild->name, "a");
    EXPECT_STREQ(name_tree::root->rchild->name, "c");

    tree_find("c", &par, &loc);
    EXPECT_STREQ(loc->name, "c");
    EXPECT_STREQ(par->name, "b");
    tree_find("b", &par, &loc);
    EXPECT_EQ(loc, name_tree::root);
    EXPECT_EQ(par, nullptr);
    tree_find("bb", &par, &loc);
    EXPECT_EQ(loc, nullptr);
    EXPECT_STREQ(par->name, "c");
}

TEST_F(NameTree, DuplicatesRefusedCaseSensitiveOwnedCopies) {
    tree_insert("b");
    tree_insert("a");
    tree_insert("c");
    testing::internal::CaptureStdout();
    tree_insert("b");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Name already present\n");

    char name[] = "B";
    tree_insert(name);  // "B" sorts before "a"
    name[0] = 'z';      // the tree keeps its own copy
    _tree_node_* par = nullptr;
    _tree_node_* loc = nullptr;
    tree_find("B", &par, &loc);
    ASSERT_NE(loc, nullptr);
    EXPECT_STREQ(par->name, "a");
    EXPECT_EQ(par->lchild, loc);
    tree_find("z", &par, &loc);
    EXPECT_EQ(loc, nullptr);
}

}  // namespace
