// Stable sort of the build's camera list by code, relinking nodes only.
//
// The nodes lie wherever the list put them, so comparing their codes in
// place walks cold memory at every comparison. The sort first reads each
// code once into an array of keys beside a pointer to its node, sorts that
// array (its keys order exactly as compare_codes does, ties by list
// position) and relinks the nodes in its order. Where the array cannot be
// had, the nodes are sorted in place by a list sort of the same order.
#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

#include "edog/builder/list_build.h"
#include "edog/datafile/e_dog_record.h"
#include "edog/e_dog_source_date.h"

namespace {

bool less(const GPSNode* a, const GPSNode* b) {
    return e_dog::compare_codes(a->data.encode_str, b->data.encode_str) < 0;
}

// Merges two null-terminated runs; on equal codes `a` (the earlier run) wins.
GPSNode* merge_runs(GPSNode* a, GPSNode* b) {
    GPSNode* result = nullptr;
    GPSNode** end = &result;
    while (a != nullptr && b != nullptr) {
        if (less(b, a)) {
            *end = b;
            end = &b->link;
            b = b->link;
        } else {
            *end = a;
            end = &a->link;
            a = a->link;
        }
    }
    *end = (a != nullptr) ? a : b;
    return result;
}

// Bottom-up merge sort of the nodes strictly between `head` and `tail`:
// O(n log n) whatever the order, constant stack, stable.
void merge_sort_range(GPSNode* head, GPSNode* tail) {
    GPSNode* list = head->link;
    GPSNode* last = list;
    while (last->link != tail) {
        last = last->link;
    }
    last->link = nullptr;

    // bins[i] holds a sorted run of 2^i nodes that came before any node of
    // bins[j] for j < i, so merging bins[i] first keeps the sort stable.
    std::array<GPSNode*, 64> bins{};
    while (list != nullptr) {
        GPSNode* carry = list;
        list = list->link;
        carry->link = nullptr;
        std::size_t i = 0;
        for (; i + 1 < bins.size() && bins[i] != nullptr; ++i) {
            carry = merge_runs(bins[i], carry);
            bins[i] = nullptr;
        }
        bins[i] = (bins[i] == nullptr) ? carry : merge_runs(bins[i], carry);
    }
    GPSNode* sorted = nullptr;
    for (GPSNode* run : bins) {
        if (run != nullptr) {
            sorted = merge_runs(run, sorted);
        }
    }
    head->link = sorted;
    last = sorted;
    while (last->link != nullptr) {
        last = last->link;
    }
    last->link = tail;
}

// Quick sort with the first node as pivot: smaller nodes go left, the others
// (equal codes included) right, both in their former order. Recurses into the
// shorter part only, so the stack stays O(log n); once `budget` levels are
// used up the partitions have gone bad (sorted input, many equal codes) and
// the range is finished by the merge sort, which gives the same order.
void quick_sort_range(GPSNode* head, GPSNode* tail, int budget) {
    for (;;) {
        GPSNode* first = head->link;
        if (first == tail || first->link == tail) {
            return;
        }
        if (budget-- <= 0) {
            merge_sort_range(head, tail);
            return;
        }
        const E_DOG_DATA pivot = first->data;
        GPSNode* p = head;
        GPSNode* q = first;
        std::size_t left = 0;
        std::size_t right = 0;
        for (GPSNode* t = first->link; t != tail; t = t->link) {
            if (e_dog::compare_codes(t->data.encode_str, pivot.encode_str) < 0) {
                p->link = t;
                p = t;
                ++left;
            } else {
                q->link = t;
                q = t;
                ++right;
            }
        }
        p->link = first;
        q->link = tail;
        if (left < right) {
            quick_sort_range(head, first, budget);
            head = first;
        } else {
            quick_sort_range(first, tail, budget);
            tail = first;
        }
    }
}

// A code's 12 bytes as two big-endian numbers, with every byte after the
// first NUL cleared: compared as numbers they order as compare_codes orders
// the codes (bytes compared unsigned, nothing after a NUL counting).
struct CodeKey {
    std::uint64_t high;
    std::uint32_t low;
    std::uint32_t position;  // in the list, so that equal codes keep their order
    GPSNode* node;

    bool operator<(const CodeKey& o) const {
        if (high != o.high) {
            return high < o.high;
        }
        return low != o.low ? low < o.low : position < o.position;
    }
};

CodeKey code_key(GPSNode* node, std::uint32_t position) {
    static_assert(sizeof node->data.encode_str == 12);
    std::array<unsigned char, 12> b{};
    for (std::size_t i = 0; i < b.size() && node->data.encode_str[i] != '\0'; ++i) {
        b[i] = static_cast<unsigned char>(node->data.encode_str[i]);
    }
    std::uint64_t high = 0;
    for (std::size_t i = 0; i < 8; ++i) {
        high = (high << 8U) | b[i];
    }
    std::uint32_t low = 0;
    for (std::size_t i = 8; i < 12; ++i) {
        low = (low << 8U) | b[i];
    }
    return {high, low, position, node};
}

// Sorts by an array of keys; false, with the list untouched, when there is
// no memory for the array.
bool sort_by_keys(GPSNode* head, GPSNode* tail, std::size_t n) {
    if (n > std::numeric_limits<std::uint32_t>::max()) {
        return false;
    }
    std::vector<CodeKey> keys;
    try {
        keys.reserve(n);
    } catch (const std::bad_alloc&) {
        return false;
    }
    std::uint32_t position = 0;
    for (GPSNode* t = head->link; t != tail; t = t->link) {
        keys.push_back(code_key(t, position++));
    }
    std::sort(keys.begin(), keys.end());
    GPSNode* last = head;
    for (const CodeKey& k : keys) {
        last->link = k.node;
        last = k.node;
    }
    last->link = tail;
    return true;
}

}  // namespace

void e_dog_quick_sort(GPSNode* head, GPSNode* tail) {
    std::size_t n = 0;
    for (const GPSNode* t = head->link; t != tail; t = t->link) {
        ++n;
    }
    if (n >= 2 && !sort_by_keys(head, tail, n)) {
        e_dog::sort_nodes_in_place(head, tail);
    }
}

void e_dog::sort_nodes_in_place(GPSNode* head, GPSNode* tail) {
    std::size_t n = 0;
    for (const GPSNode* t = head->link; t != tail; t = t->link) {
        ++n;
    }
    if (n >= 2) {
        quick_sort_range(head, tail, 2 * static_cast<int>(std::bit_width(n)));
    }
}
