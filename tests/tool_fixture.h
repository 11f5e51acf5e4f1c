// What the tests of edog-tool as a process share: where the tool and the
// sample data are, and running the tool in a scratch folder.
#ifndef TESTS_TOOL_FIXTURE_H
#define TESTS_TOOL_FIXTURE_H

#include <string>
#include <vector>

#include "tests/test_support.h"

namespace tool_test {

inline const std::string kTool = EDOG_TOOL;
inline const std::string kSample = std::string(EDOG_SOURCE_DIR) + "/data/speedcam22.txt";
inline const std::string kDrive = std::string(EDOG_SOURCE_DIR) + "/data/drive.nmea";

// edog-tool with `args`, run in `dir`.
inline test::ProcessResult tool(const test::ScratchDir& dir, std::vector<std::string> args) {
    args.insert(args.begin(), kTool);
    return test::run_args(args, dir.path());
}

}  // namespace tool_test

#endif  // TESTS_TOOL_FIXTURE_H
