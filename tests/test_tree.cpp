#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/test_support.h"
#include "tree/tree.h"

namespace {

Item at(double lati, double lngi) {
    return Item{lngi, lati};
}

class CoordTree : public ::testing::Test {
protected:
    void SetUp() override { InitializeTree(&tree_); }
    void TearDown() override { DeleteAll(&tree_); }

    bool add(double lati, double lngi) {
        const Item i = at(lati, lngi);
        return AddItem(&i, &tree_);
    }
    bool has(double lati, double lngi) const {
        const Item i = at(lati, lngi);
        return InTree(&i, &tree_);
    }

    Tree tree_{};
};

std::vector<Item> visited;
void record(Item item) {
    visited.push_back(item);
}

TEST_F(CoordTree, SamePlaceWithin79Units) {
    ASSERT_TRUE(add(0.0, 0.0));
    EXPECT_TRUE(has(0.00795, 0.0));   // 79 units north
    EXPECT_TRUE(has(0.0, -0.00795));  // 79 units west
    EXPECT_TRUE(has(0.00795, 0.00795));
    EXPECT_FALSE(has(0.00805, 0.0));  // 80 units
    EXPECT_FALSE(has(0.0, -0.00805));
    EXPECT_TRUE(has(-0.00019, 0.0));  // truncated toward zero: -1 unit

    DeleteAll(&tree_);
    ASSERT_TRUE(add(-0.00019, 0.0));
    EXPECT_TRUE(has(0.00019, 0.0));
    EXPECT_TRUE(has(0.00785, 0.0));   // 78 - (-1) = 79 units
    EXPECT_FALSE(has(0.00795, 0.0));  // 79 - (-1) = 80 units
}

TEST_F(CoordTree, DuplicatesAreRefusedOnStandardError) {
    ASSERT_TRUE(add(10.0, 20.0));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(add(10.00001, 20.00001));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Attempted to add duplicate item\n");
    EXPECT_EQ(TreeItemCount(&tree_), 1);
}

TEST_F(CoordTree, NorthGoesLeftAndTraversalIsInOrder) {
    ASSERT_TRUE(add(0.0, 0.0));
    ASSERT_TRUE(add(0.01, 0.0));
    ASSERT_TRUE(add(-0.01, 0.0));
    ASSERT_TRUE(add(0.05, -0.05));  // north and west: left is tried first
    EXPECT_EQ(tree_.root->left->item.lati, 0.01);
    EXPECT_EQ(tree_.root->right->item.lati, -0.01);
    EXPECT_EQ(tree_.root->left->left->item.lati, 0.05);
    visited.clear();
    Traverse(&tree_, record);
    ASSERT_EQ(visited.size(), 4U);
    EXPECT_EQ(visited[0].lati, 0.05);
    EXPECT_EQ(visited[1].lati, 0.01);
    EXPECT_EQ(visited[2].lati, 0.0);
    EXPECT_EQ(visited[3].lati, -0.01);
    Traverse(nullptr, record);
}

TEST_F(CoordTree, DeletingARootWithTwoChildren) {
    ASSERT_TRUE(add(0.0, 0.0));
    ASSERT_TRUE(add(2.0, 0.0));   // left of the root
    ASSERT_TRUE(add(1.0, 0.0));   // right of 2.0
    ASSERT_TRUE(add(-1.0, 0.0));  // right of the root
    const Item root = at(0.0, 0.0);
    EXPECT_TRUE(DeleteItem(&root, &tree_));
    EXPECT_EQ(TreeItemCount(&tree_), 3);
    ASSERT_NE(tree_.root, nullptr);
    EXPECT_EQ(tree_.root->item.lati, 2.0);
    ASSERT_NE(tree_.root->right, nullptr);
    EXPECT_EQ(tree_.root->right->item.lati, 1.0);
    ASSERT_NE(tree_.root->right->right, nullptr);
    EXPECT_EQ(tree_.root->right->right->item.lati, -1.0);
    EXPECT_FALSE(DeleteItem(&root, &tree_));

    // Leaves and one-child nodes.
    const Item south = at(-1.0, 0.0);
    EXPECT_TRUE(DeleteItem(&south, &tree_));
    const Item top = at(2.0, 0.0);
    EXPECT_TRUE(DeleteItem(&top, &tree_));
    EXPECT_EQ(tree_.root->item.lati, 1.0);
    EXPECT_EQ(TreeItemCount(&tree_), 1);
}

TEST_F(CoordTree, FullAtCapacity) {
    // Positions on one meridian, 100 units apart, in a shuffled order so the
    // tree stays shallow.
    std::vector<int> order(TREE_MAX_ITEMS);
    for (int i = 0; i < TREE_MAX_ITEMS; ++i) {
        order[static_cast<std::size_t>(i)] = i;
    }
    std::uint64_t state = 88172645463325252ULL;
    for (std::size_t i = order.size() - 1; i > 0; --i) {
        state ^= state << 13U;
        state ^= state >> 7U;
        state ^= state << 17U;
        std::swap(order[i], order[state % (i + 1)]);
    }
    for (int i : order) {
        ASSERT_TRUE(add(-500.0 + i * 0.01, 0.0)) << i;
    }
    EXPECT_TRUE(TreeIsFull(&tree_));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(add(700.0, 0.0));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Tree is full\n");
    EXPECT_EQ(TreeItemCount(&tree_), TREE_MAX_ITEMS);
}

TEST_F(CoordTree, DeepTreesAreWalkedAndReleasedWithoutRecursion) {
    // A chain as deep as 300,000 nodes: too deep for a recursive walk.
    constexpr int kDepth = 300000;
    Node** link = &tree_.root;
    for (int i = 0; i < kDepth; ++i) {
        *link = new Node{at(kDepth - i, 0.0), nullptr, nullptr};
        link = &(*link)->left;
    }
    tree_.size = kDepth;
    visited.clear();
    Traverse(&tree_, record);
    ASSERT_EQ(visited.size(), static_cast<std::size_t>(kDepth));
    EXPECT_EQ(visited.front().lati, 1.0);
    EXPECT_EQ(visited.back().lati, kDepth);
    DeleteAll(&tree_);
    EXPECT_EQ(tree_.root, nullptr);
    EXPECT_EQ(tree_.size, 0);
    DeleteAll(nullptr);
}

TEST_F(CoordTree, OutOfRangeAndNaNCoordinatesAreSafe) {
    ASSERT_TRUE(add(1e300, 0.0));
    ASSERT_TRUE(add(-1e300, 0.0));
    ASSERT_TRUE(add(std::nan(""), 0.0));
    EXPECT_TRUE(has(1e299, 0.0));  // both held at the top of the range
    EXPECT_EQ(TreeItemCount(&tree_), 3);
}

// --- the menu --------------------------------------------------------------

constexpr const char* kMenuText =
    "Wrenhollow Pet Club Membership Program\n"
    "Enter the letter corresponding to your choice:\n"
    "a) add a pet          l) show list of pets\n"
    "n) number of pets     f) find pets\n"
    "d) delete a pet       q) quit\n";

// Calls menu() `times` times on `input`; the output ends with the letters.
std::string run_menu(const std::string& input, int times = 1) {
    const test::ChildResult r = test::run_in_child(
        [times] {
            std::string got;
            for (int i = 0; i < times; ++i) {
                got += menu();
            }
            std::printf("[%s]", got.c_str());
            return 0;
        },
        input);
    return r.out;
}

TEST(Menu, ChoiceLetters) {
    EXPECT_EQ(run_menu("A\n"), std::string(kMenuText) + "[a]");
    EXPECT_EQ(run_menu("r\n"), std::string(kMenuText) + "[r]");
    EXPECT_EQ(run_menu(""), std::string(kMenuText) + "[q]");
    EXPECT_EQ(run_menu("x\nd\n"),
              std::string(kMenuText) + "Please enter an a, l, f, n, d, or q:\n[d]");
    EXPECT_EQ(run_menu("x"), std::string(kMenuText) + "Please enter an a, l, f, n, d, or q:\n[q]");
    // The whole line is consumed: the next call reads the next line.
    EXPECT_EQ(run_menu("add\nLater\n", 2), std::string(kMenuText) + kMenuText + "[al]");
    // An empty line is a wrong choice of its own and eats nothing after it.
    EXPECT_EQ(run_menu("\nf\n"),
              std::string(kMenuText) + "Please enter an a, l, f, n, d, or q:\n[f]");
}

std::string captured(const std::function<void()>& f) {
    testing::internal::CaptureStdout();
    f();
    return testing::internal::GetCapturedStdout();
}

TEST(Menu, Handlers) {
    Tree t{};
    InitializeTree(&t);
    Item pet = at(22.640872, 113.914945);
    EXPECT_EQ(captured([&] { findpet(&pet, &t); }), "No entries!\n");
    EXPECT_EQ(captured([&] { droppet(&pet, &t); }), "No entries!\n");
    EXPECT_EQ(captured([&] { showpets(&t); }), "No entries!\n");
    EXPECT_EQ(captured([&] { addpet(&pet, &t); }), "");
    EXPECT_EQ(captured([&] { addpet(nullptr, &t); }), "");
    EXPECT_EQ(TreeItemCount(&t), 1);
    EXPECT_EQ(captured([&] { showpets(&t); }), "");  // printitem prints nothing
    EXPECT_EQ(captured([&] { findpet(&pet, &t); }),
              "lati:22.640872   lngi:113.914945 \nis a member.\n");
    Item stranger = at(1.0, 1.0);
    EXPECT_EQ(captured([&] { findpet(&stranger, &t); }),
              "lati:1.000000   lngi:1.000000 \nis not a member.\n");
    EXPECT_EQ(captured([&] { droppet(&stranger, &t); }), "is not a member.\n");
    EXPECT_EQ(captured([&] { droppet(&pet, &t); }), "is dropped from the club.\n");
    EXPECT_TRUE(TreeIsEmpty(&t));

    t.size = TREE_MAX_ITEMS;  // looks full
    EXPECT_EQ(captured([&] { addpet(&pet, &t); }), "No room in the club!\n");
    t.size = 0;
}

TEST(Menu, Uppercase) {
    char s[] = "Pet club 42: az{}`~";
    uppercase(s);
    EXPECT_STREQ(s, "PET CLUB 42: AZ{}`~");
    uppercase(nullptr);
}

}  // namespace
