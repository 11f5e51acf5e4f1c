// Replays saved inputs through a fuzz target without libFuzzer, so that any
// compiler builds it (g++ under the sanitizers in the tests):
//   replay_TARGET FILE_OR_FOLDER...
// Folders are read in name order; a missing folder counts as empty. The
// target's own checks abort on a broken invariant, which fails the run.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace {

std::vector<std::filesystem::path> inputs_of(const std::filesystem::path& p) {
    std::vector<std::filesystem::path> out;
    if (std::filesystem::is_directory(p)) {
        for (const auto& e : std::filesystem::directory_iterator(p)) {
            if (e.is_regular_file()) {
                out.push_back(e.path());
            }
        }
        std::sort(out.begin(), out.end());
    } else if (std::filesystem::exists(p)) {
        out.push_back(p);
    }
    return out;
}

}  // namespace

int main(int argc, char* argv[]) {
    std::vector<std::filesystem::path> files;
    for (int i = 1; i < argc; ++i) {
        // Absolute: the target may change the working directory.
        for (const auto& f : inputs_of(std::filesystem::absolute(argv[i]))) {
            files.push_back(f);
        }
    }
    if (LLVMFuzzerInitialize != nullptr) {
        (void)LLVMFuzzerInitialize(&argc, &argv);
    }
    for (const auto& f : files) {
        std::ifstream in(f, std::ios::binary);
        const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                      std::istreambuf_iterator<char>());
        if (!in.eof() && in.fail()) {
            (void)std::fprintf(stderr, "cannot read %s\n", f.c_str());
            return 1;
        }
        (void)std::fprintf(stderr, "replay %s (%zu bytes)\n", f.c_str(), bytes.size());
        (void)LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                     bytes.size());
    }
    (void)std::fprintf(stderr, "replayed %zu inputs\n", files.size());
    return 0;
}
