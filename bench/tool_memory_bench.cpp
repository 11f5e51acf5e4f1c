// edog-tool's memory on large inputs, in one run: `build` of a list of COUNT
// cameras against the nodes its sort needs (COUNT x 64 bytes), and `verify`
// and `info` of the data file built and of a sparse file of 2^31 records
// (the built file's first and last records at its ends, zeros between)
// against the size of the file; beside them a plain read of each file in
// the same pieces, the floor for a command that reads every byte. Runs
// alternate, each in a child process; medians of wall time and of peak
// resident memory.
//
//   tool_memory_bench [COUNT [RUNS [DIR]]]   defaults: 10000000 3 ./tool-memory-bench-work
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "bench/child_run.h"
#include "bench/list_gen.h"
#include "edog/e_dog_source_date.h"
#include "tool/commands.h"

namespace {

constexpr std::uint64_t kSparseRecords = std::uint64_t{1} << 31;
constexpr std::size_t kPiece = 4096 * 56;  // the records the tool reads at once

struct Job {
    std::string name;
    std::function<int()> work;
    double baseline_mb;  // what the ratio is taken against
    std::vector<double> wall;
    std::vector<double> rss_mb;
    int worst_status = 0;
};

// Reads `path` whole in pieces of kPiece bytes, as the tool does.
int plain_read(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) {
        return 1;
    }
    std::vector<char> piece(kPiece);
    std::uint64_t at = 0;
    for (ssize_t got = 1; got > 0; at += static_cast<std::uint64_t>(got)) {
        got = ::pread(fd, piece.data(), piece.size(), static_cast<off_t>(at));
    }
    ::close(fd);
    return 0;
}

// The sparse file: the first and last records of `built`, zeros between.
bool write_sparse(const std::string& built, const std::string& path) {
    const int in = ::open(built.c_str(), O_RDONLY);
    const int out = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    struct stat st {};
    char first[56];
    char last[56];
    const bool ok = in >= 0 && out >= 0 && ::fstat(in, &st) == 0 && st.st_size >= 56 &&
                    ::pread(in, first, 56, 0) == 56 &&
                    ::pread(in, last, 56, st.st_size - 56) == 56 &&
                    ::ftruncate(out, static_cast<off_t>(kSparseRecords * 56)) == 0 &&
                    ::pwrite(out, first, 56, 0) == 56 &&
                    ::pwrite(out, last, 56, static_cast<off_t>((kSparseRecords - 1) * 56)) == 56;
    ::close(in);
    ::close(out);
    return ok;
}

double megabytes(std::uint64_t bytes) {
    return static_cast<double>(bytes) / 1e6;
}

}  // namespace

int main(int argc, char* argv[]) {
    const std::size_t count = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 10'000'000;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
    const std::string work =
        argc > 3 ? argv[3] : bench::work_dir(argv[0], "tool-memory-bench-work");
    ::mkdir(work.c_str(), 0755);
    const std::string list = work + "/list.txt";
    if (!bench::write_list(list, bench::Order::kRandom, count, 1)) {
        std::fprintf(stderr, "cannot write the list in %s\n", work.c_str());
        return 1;
    }
    edog_tool::BuildOptions build{"list.txt", "built.bin", false, true, false, ""};
    if (bench::run_in_child(work, [&] { return edog_tool::run_build(build); }).status != 0 ||
        !write_sparse(work + "/built.bin", work + "/sparse.bin")) {
        std::fprintf(stderr, "cannot build the data files in %s\n", work.c_str());
        return 1;
    }
    struct stat st {};
    (void)::stat(list.c_str(), &st);
    const auto list_bytes = static_cast<std::uint64_t>(st.st_size);
    const std::uint64_t built_bytes = std::uint64_t{count} * 56;
    const std::uint64_t sparse_bytes = kSparseRecords * 56;
    const double nodes_mb = megabytes(std::uint64_t{count} * sizeof(GPSNode));
    std::vector<Job> jobs = {
        {"build (vs nodes)", [&] { return edog_tool::run_build(build); }, nodes_mb, {}, {}, 0},
        {"read list", [] { return plain_read("list.txt"); }, megabytes(list_bytes), {}, {}, 0},
        {"verify built",
         [] {
             return edog_tool::run_verify({"built.bin", false, true});
         },
         megabytes(built_bytes),
         {},
         {},
         0},
        {"info built",
         [] { return edog_tool::run_info("built.bin"); },
         megabytes(built_bytes),
         {},
         {},
         0},
        {"read built", [] { return plain_read("built.bin"); }, megabytes(built_bytes), {}, {}, 0},
        {"verify sparse",
         [] {
             return edog_tool::run_verify({"sparse.bin", false, true});
         },
         megabytes(sparse_bytes),
         {},
         {},
         0},
        {"read sparse",
         [] { return plain_read("sparse.bin"); },
         megabytes(sparse_bytes),
         {},
         {},
         0},
    };
    for (int r = 0; r < runs; ++r) {
        for (Job& job : jobs) {
            const bench::Sample s = bench::run_in_child(work, job.work);
            job.wall.push_back(s.seconds);
            job.rss_mb.push_back(static_cast<double>(s.max_rss_kb) / 1000.0);
            job.worst_status = std::max(job.worst_status, s.status);
        }
    }
    std::printf(
        "cameras: %zu (list %.1f MB, data file %.1f MB), sparse file: %llu records "
        "(%.1f MB), runs: %d\n",
        count, megabytes(list_bytes), megabytes(built_bytes),
        static_cast<unsigned long long>(kSparseRecords), megabytes(sparse_bytes), runs);
    std::printf("%-18s %10s %12s %14s %14s %7s\n", "", "wall s", "peak RSS MB", "against MB",
                "RSS / against", "status");
    for (const Job& job : jobs) {
        const double rss = bench::median(job.rss_mb);
        std::printf("%-18s %10.3f %12.1f %14.1f %14.4f %7d\n", job.name.c_str(),
                    bench::median(job.wall), rss, job.baseline_mb, rss / job.baseline_mb,
                    job.worst_status);
    }
    return 0;
}
