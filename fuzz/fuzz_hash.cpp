// The string hash table and the name tree on arbitrary strings.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "hash/HashAlgo.h"
#include "hash/hash_internal.h"

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    fuzz::enter_scratch_dir();  // tree_insert prints to standard output
    return 0;
}

// Input: a slot count (one byte), a recorded length (one byte), then strings
// separated by newlines.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto slots = fuzz::take<std::uint8_t>(data, size);
    const auto length = fuzz::take<std::uint8_t>(data, size);
    std::vector<std::string> words;
    std::string word;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == '\n') {
            words.push_back(word);
            word.clear();
        } else {
            word.push_back(static_cast<char>(data[i]));
        }
    }
    words.push_back(word);

    CHashAlgo_Init(static_cast<std::int32_t>(slots) - 8);
    CHashAlgo_SetTableLength(length);
    fuzz::require(CHashAlgo_GetTableLength() <= (slots > 8 ? slots - 8U : 0U),
                  "recorded length within the slots allocated");
    for (const std::string& w : words) {
        if (CHashAlgo_SetHashTable(w.c_str()) == 1) {
            fuzz::require(CHashAlgo_GetHashTablePos(w.c_str()) >= 0, "a stored string is found");
        } else {
            (void)CHashAlgo_GetHashTablePos(w.c_str());
        }
        tree_insert(w.c_str());
        _tree_node_* par = nullptr;
        _tree_node_* loc = nullptr;
        tree_find(w.c_str(), &par, &loc);
        fuzz::require(loc != nullptr, "an inserted name is found");
    }
    CHashAlgo_Exit();
    name_tree::clear();
    return 0;
}
