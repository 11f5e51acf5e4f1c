// Helpers shared by the tests: scratch folders, files, captured output and
// running the program as a process.
#ifndef TESTS_TEST_SUPPORT_H
#define TESTS_TEST_SUPPORT_H

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "edog/e_dog_source_date.h"

namespace test {

// A fresh empty folder that becomes the working directory for the lifetime of
// the object; the previous working directory is restored and the folder
// removed afterwards.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    ScratchDir(ScratchDir&&) = delete;
    ScratchDir& operator=(ScratchDir&&) = delete;
    [[nodiscard]] const std::string& path() const { return path_; }

private:
    std::string path_;
    std::string previous_;
};

void write_file(const std::string& name, const std::string& bytes);
// Names in the working directory that a build's temporary files would have.
std::vector<std::string> temp_files();
std::string read_file(const std::string& name);
bool file_exists(const std::string& name);

// Runs the build in the working directory and returns what it printed.
std::string run_build(int& result);

// A camera record with the given code and position; other fields zero but
// DirType and Speed.
E_DOG_DATA camera(const std::string& code, double lat, double lng, int dirtype = 1, int speed = 60,
                  int idex = 0);

// Writes `records` as a data file, in the order given.
void write_records(const std::string& name, const std::vector<E_DOG_DATA>& records);

// The latitude north (positive `metres`) or south of `lat` at which
// get_distance from (lat, lng) is exactly `metres` (a multiple of 0.1).
double lat_at_distance(double lat, double lng, double metres);

// The point `metres` away from (lat, lng) along `bearing` (radians from
// north) on the distance formula's own sphere, as (latitude, longitude).
std::pair<double, double> destination(double lat, double lng, double metres, double bearing);

struct ProcessResult {
    int exit_status = -1;  // -1 when the process did not exit normally
    std::string out;
    std::string err;
};

// Runs `exe` in `dir` with `input` as its standard input; returns its exit
// status and standard output.
ProcessResult run_process(const std::string& exe, const std::string& dir, const std::string& input);
// The same for the program and arguments `args`, standard error captured too.
ProcessResult run_args(const std::vector<std::string>& args, const std::string& dir,
                       const std::string& input = "");

// An NMEA sentence: "$" + body + "*" + its checksum.
std::string nmea_sentence(const std::string& body);

struct ChildResult {
    int exit_status = -1;  // -1 when the child did not exit normally
    std::string out;
    long max_rss_kb = 0;
};

// Runs `body` in a forked child of this process with standard output captured
// and `input` as its standard input; the child exits with what `body` returns.
ChildResult run_in_child(const std::function<int()>& body, const std::string& input = "");

}  // namespace test

#endif  // TESTS_TEST_SUPPORT_H
