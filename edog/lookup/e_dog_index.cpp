// The prefix index: one queue entry per run of records sharing the first four
// characters of their code.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>

#include "edog/datafile/e_dog_record.h"
#include "edog/e_dog_internal.h"
#include "edog/e_dog_source_date.h"
#include "edog/lookup/lookup.h"

namespace {

constexpr std::size_t kPrefixLen = 4;

// Copies at most `n` characters of `src`, stopping at its terminator, to the
// start of `dst`, whose bytes behind them are left as they are.
void copy_at_most(char* dst, const char* src, std::size_t n) {
    std::memcpy(dst, src, ::strnlen(src, n));
}

// Copies the string in an 8-byte prefix field, bounded to 7 characters, into
// a cleared 8-byte field.
void copy_prefix_field(char (&dst)[8], const char (&src)[8]) {
    std::memset(dst, 0, sizeof dst);
    copy_at_most(dst, src, sizeof dst - 1);
}

// Difference of two record numbers, wrapping rather than overflowing.
INT32 minus(INT32 a, INT32 b) {
    return static_cast<INT32>(static_cast<std::int64_t>(a) - static_cast<std::int64_t>(b));
}

ElemType not_found() {
    ElemType e{};
    e.cunt = -1;
    e.index = -1;
    return e;
}

}  // namespace

LinkQueue LinkQueueInit() {
    LQueue* q = new (std::nothrow) LQueue();
    Qnode* sentinel = new (std::nothrow) Qnode();
    if (q == nullptr || sentinel == nullptr) {
        delete q;
        delete sentinel;
        return nullptr;
    }
    q->front = sentinel;
    q->rear = sentinel;
    q->size = 0;
    return q;
}

void LinkQueueEnter(LinkQueue Q, ElemType x) {
    if (Q == nullptr) {
        return;
    }
    Qnode* node = new (std::nothrow) Qnode();
    if (node == nullptr) {
        return;  // the queue stays as it was
    }
    node->data = x;
    node->next = nullptr;
    Q->rear->next = node;
    Q->rear = node;
    copy_prefix_field(Q->size == 0 ? Q->font_str : Q->end_str, x.str);
    ++Q->size;
}

ElemType LinkQueueOut(LinkQueue Q) {
    if (Q == nullptr || Q->front == Q->rear) {
        return not_found();
    }
    Qnode* p = Q->front->next;
    const ElemType out = p->data;
    Q->front->next = p->next;
    delete p;
    if (Q->front->next == nullptr) {
        Q->rear = Q->front;
    }
    --Q->size;
    return out;
}

void e_dog::free_queue(LinkQueue& q) {
    if (q == nullptr) {
        return;
    }
    const Qnode* n = q->front;
    while (n != nullptr) {
        const Qnode* next = n->next;
        delete n;
        n = next;
    }
    delete q;
    q = nullptr;
}

void e_dog_build_file_index() {
    const e_dog::UniqueFile fout = e_dog::open_lookup_file();
    if (!fout) {
        return;
    }
    LinkQueue q = LinkQueueInit();
    if (q == nullptr) {
        return;
    }
    q_header = q;
    q_header->file_size = static_cast<INT32>(e_dog_list_size);

    INT32 index = 0;
    FileNode old_node{};
    E_DOG_DATA date{};
    while (e_dog::read_record(fout.get(), date)) {
        FileNode new_node{};
        copy_at_most(new_node.str, date.encode_str, kPrefixLen);
        if (std::strncmp(new_node.str, old_node.str, kPrefixLen) != 0) {
            new_node.index = index;
            LinkQueueEnter(q_header, new_node);
            old_node = FileNode{};
            copy_at_most(old_node.str, date.encode_str, kPrefixLen);
        }
        ++index;
    }
}

ElemType QueueSearch(LinkQueue Q, const char* hash) {
    if (Q == nullptr || hash == nullptr) {
        return not_found();
    }
    ElemType ral = not_found();
    std::printf("ral.cunt ======== %ld  \n", static_cast<long>(ral.cunt));
    if (Q->size == 1) {
        ral.cunt = Q->file_size;
        ral.index = 0;
        return ral;
    }
    std::printf("size ======== %ld  \n", static_cast<long>(Q->size));

    bool match_open = false;
    char t_cmp_str[8] = {};
    INT32 seen = 0;
    for (const Qnode* n = Q->front->next; n != nullptr && seen < Q->size; n = n->next, ++seen) {
        const FileNode& entry = n->data;
        if (std::strncmp(entry.str, Q->end_str, kPrefixLen) == 0) {
            // The last bucket: it closes an open match, or it is the answer
            // for a prefix that no earlier entry holds.
            if (match_open) {
                ral.cunt = minus(entry.index, ral.index);
                break;
            }
            ral.index = entry.index;
            ral.cunt = minus(Q->file_size, entry.index);
        } else if (std::strncmp(hash, entry.str, kPrefixLen) == 0) {
            ral.index = entry.index;
            copy_prefix_field(ral.str, entry.str);
            copy_prefix_field(t_cmp_str, entry.str);
            match_open = true;
        } else if (match_open && std::strncmp(entry.str, t_cmp_str, sizeof t_cmp_str) != 0) {
            ral.cunt = minus(entry.index, ral.index);
            break;
        }
    }
    return ral;
}

void QueueTraverse(LinkQueue pqueue) {
    if (pqueue == nullptr) {
        std::printf("=========== i: %d \n", 0);
        return;
    }
    std::printf("=========== i: %d \n", pqueue->size);
    INT32 max_cunt = 0;
    for (const Qnode* n = pqueue->front->next; n != nullptr && n->next != nullptr; n = n->next) {
        const INT32 d = minus(n->next->data.index, n->data.index);
        if (d > max_cunt) {
            max_cunt = d;
            char prefix[8] = {};
            copy_prefix_field(prefix, n->data.str);
            std::printf("index %ld  str:%s  \n", static_cast<long>(max_cunt), prefix);
        }
    }
}
