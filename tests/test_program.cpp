#include <string>

#include <gtest/gtest.h>

#include "tests/test_support.h"

namespace {

constexpr const char* kCheckLine = "=========390.800000 \n";

TEST(Program, WholeOutputForASmallList) {
    const test::ScratchDir dir;
    test::write_file("speedcam22.txt",
                     "12,116.397128,39.916527,1,60,2,3\n"
                     "13,50.683,-2.1778,2,80,1,0\n");
    const test::ProcessResult run = test::run_process(EDOG_BINARY, dir.path(), "");
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.out,
              "########## create_e_dog_heaplist open input file OK!\n"
              "########## create_e_dog_heaplist malloc OK!\n"
              "12,116.397128,39.916527,1,60,2,3,wx4g0dtf9e\n"
              "13,50.683000,-2.177800,2,80,1,0,mps597d1rk\n"
              "=========== decode file OK!\n"
              "=========== quick sort file OK!\n"
              "file all index:2\n"
              "00000000 00000013 0000 0002 0001 0080 -2.17780000 50.68300000 mps597d1rk \n"
              "00000001 00000012 0003 0001 0002 0060 39.91652700 116.39712800 wx4g0dtf9e \n" +
                  std::string(kCheckLine));
    EXPECT_EQ(test::read_file(dir.path() + "/DATA_T.BIN").size(), 112U);
}

TEST(Program, MissingListStillPrintsTheCheckDistance) {
    const test::ScratchDir dir;
    const test::ProcessResult run = test::run_process(EDOG_BINARY, dir.path(), "\n\n");
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.out, "########## create_e_dog_heaplist open input file: speedcam22.txt fail!\n" +
                           std::string(kCheckLine));
}

}  // namespace
