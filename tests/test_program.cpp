#include <string>

#include <gtest/gtest.h>

#include "tests/test_support.h"

namespace {

constexpr const char* kCheckLine = "=========390.800000 \n";
constexpr const char* kGpsLine = "lati: 113.914945 lngi 22.640872  \nhash: mps597d1rk \n";

struct ProgramRun {
    test::ScratchDir dir;
    test::ProcessResult result;

    explicit ProgramRun(const std::string* list) {
        if (list != nullptr) {
            test::write_file("speedcam22.txt", *list);
        }
        result = test::run_process(EDOG_BINARY, dir.path(), "");
    }

    // What the program printed after the check distance: the lookup run.
    [[nodiscard]] std::string lookup() const {
        const std::size_t at = result.out.find(kCheckLine);
        return at == std::string::npos ? "<none>"
                                       : result.out.substr(at + std::string(kCheckLine).size());
    }
};

TEST(Program, WholeOutputForASmallListWithAHit) {
    const std::string list =
        "12,116.397128,39.916527,1,60,2,3\n"
        "13,50.686,-2.1778,2,80,1,0\n"    // 333.7 m east of the query, a warning camera
        "14,50.683,-2.1748,1,50,0,90\n";  // 334.0 m north, DirType 0
    const ProgramRun run(&list);
    EXPECT_EQ(run.result.exit_status, 0);
    EXPECT_EQ(run.result.out,
              "########## create_e_dog_heaplist open input file OK!\n"
              "########## create_e_dog_heaplist malloc OK!\n"
              "12,116.397128,39.916527,1,60,2,3,wx4g0dtf9e\n"
              "13,50.686000,-2.177800,2,80,1,0,mps597s3mk\n"
              "14,50.683000,-2.174800,1,50,0,90,mps59k44z7\n"
              "=========== decode file OK!\n"
              "=========== quick sort file OK!\n"
              "file all index:3\n"
              "00000000 00000013 0000 0002 0001 0080 -2.17780000 50.68600000 mps597s3mk \n"
              "00000001 00000014 0090 0001 0000 0050 -2.17480000 50.68300000 mps59k44z7 \n"
              "00000002 00000012 0003 0001 0002 0060 39.91652700 116.39712800 wx4g0dtf9e \n"
              "=========390.800000 \n"
              "=========== i: 2 \n"
              "index 2  str:mps5  \n"
              "lati: 113.914945 lngi 22.640872  \n"
              "hash: mps597d1rk \n"
              "ral.cunt ======== -1  \n"
              "size ======== 2  \n"
              "hash: mps597d1rk index 0   cunt:2    str:mps5  \n"
              "========cunt: 2 \n"
              "e_dog_list_size:3 \n"
              "result:0 limit:80  distance:333 \n");
    EXPECT_EQ(test::read_file(run.dir.path() + "/DATA_T.BIN").size(), 3 * 56U);
}

TEST(Program, WithoutAnMps5BucketTheLastBucketIsSearched) {
    const std::string list =
        "1,116.397128,39.916527,1,60,2,3\n"
        "2,0.5,0.5,1,30,1,1\n"
        "3,0.6,0.5,1,30,1,1\n";
    const ProgramRun run(&list);
    EXPECT_EQ(run.result.exit_status, 0);
    EXPECT_EQ(run.lookup(),
              "=========== i: 2 \n"
              "index 2  str:s006  \n" +
                  std::string(kGpsLine) +
                  "ral.cunt ======== -1  \n"
                  "size ======== 2  \n"
                  "hash: mps597d1rk index 2   cunt:1    str:  \n"
                  "========cunt: 1 \n"
                  "e_dog_list_size:3 \n"
                  "result:-1 limit:0  distance:0 \n");
}

TEST(Program, OneBucketIsSearchedWhole) {
    const std::string list =
        "1,116.397128,39.916527,1,60,2,3\n"
        "2,116.3972,39.9166,1,60,2,3\n";
    const ProgramRun run(&list);
    EXPECT_EQ(run.lookup(), "=========== i: 1 \n" + std::string(kGpsLine) +
                                "ral.cunt ======== -1  \n"
                                "hash: mps597d1rk index 0   cunt:2    str:  \n"
                                "========cunt: 2 \n"
                                "e_dog_list_size:2 \n"
                                "result:-1 limit:0  distance:0 \n");
}

TEST(Program, NoListAtAll) {
    const ProgramRun run(nullptr);
    EXPECT_EQ(run.result.exit_status, 0);
    EXPECT_EQ(run.result.out,
              "########## create_e_dog_heaplist open input file: speedcam22.txt fail!\n"
              "=========390.800000 \n"
              "======== Erro ff_fopen file:DATA_T.BIN fail!\n"
              "########## e_dog_write_list_to_file open input file: DATA_T.BIN fail!\n"
              "=========== i: 0 \n" +
                  std::string(kGpsLine) +
                  "hash: mps597d1rk index -1   cunt:-1    str:  \n"
                  "e_dog_list_size:0 \n"
                  "result:-1 limit:0  distance:0 \n");
}

TEST(Program, EmptyListDeletesTheEmptyDataFile) {
    const std::string list;
    const ProgramRun run(&list);
    EXPECT_EQ(run.result.exit_status, 0);
    EXPECT_NE(run.result.out.find("file all index:0\n"), std::string::npos);
    EXPECT_NE(run.lookup().find("########## e_dog_write_list_to_file open input file: DATA_T.BIN "
                                "fail!\n=========== i: 0 \n"),
              std::string::npos);
    EXPECT_FALSE(test::file_exists(run.dir.path() + "/DATA_T.BIN"));
}

}  // namespace
