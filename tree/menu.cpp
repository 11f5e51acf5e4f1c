// Console membership menu over the coordinate tree.
#include <cstdio>
#include <cstring>

#include "tree/tree.h"

namespace {

constexpr char kChoices[] = "alrfndq";

bool is_upper(int ch) {
    return ch >= 'A' && ch <= 'Z';
}

// Discards what is left of the current line, its newline included.
void skip_rest_of_line() {
    int c = 0;
    while ((c = std::getchar()) != '\n' && c != EOF) {
    }
}

}  // namespace

char menu() {
    std::puts("Wrenhollow Pet Club Membership Program");
    std::puts("Enter the letter corresponding to your choice:");
    std::puts("a) add a pet          l) show list of pets");
    std::puts("n) number of pets     f) find pets");
    std::puts("d) delete a pet       q) quit");
    for (;;) {
        int ch = std::getchar();
        if (ch == EOF) {
            return 'q';
        }
        // A line end read as the choice ends its own line.
        if (ch != '\n') {
            skip_rest_of_line();
        }
        if (is_upper(ch)) {
            ch += 'a' - 'A';
        }
        if (ch != '\0' && std::strchr(kChoices, ch) != nullptr) {
            return static_cast<char>(ch);
        }
        std::puts("Please enter an a, l, f, n, d, or q:");
    }
}

void addpet(Item* p, Tree* pt) {
    if (p == nullptr) {
        return;
    }
    if (TreeIsFull(pt)) {
        std::puts("No room in the club!");
    } else {
        (void)AddItem(p, pt);
    }
}

void showpets(const Tree* pt) {
    if (TreeIsEmpty(pt)) {
        std::puts("No entries!");
    } else {
        Traverse(pt, printitem);
    }
}

void printitem(Item /*item*/) {}

void findpet(Item* p, const Tree* pt) {
    if (TreeIsEmpty(pt)) {
        std::puts("No entries!");
        return;
    }
    if (p == nullptr) {
        return;
    }
    std::printf("lati:%lf   lngi:%lf \n", p->lati, p->lngi);
    std::puts(InTree(p, pt) ? "is a member." : "is not a member.");
}

void droppet(Item* p, Tree* pt) {
    if (TreeIsEmpty(pt)) {
        std::puts("No entries!");
        return;
    }
    if (p == nullptr) {
        return;
    }
    std::puts(DeleteItem(p, pt) ? "is dropped from the club." : "is not a member.");
}

void uppercase(char* str) {
    if (str == nullptr) {
        return;
    }
    for (char* c = str; *c != '\0'; ++c) {
        if (*c >= 'a' && *c <= 'z') {
            *c = static_cast<char>(*c - ('a' - 'A'));
        }
    }
}
