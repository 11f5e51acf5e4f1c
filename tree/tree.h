// A binary search tree of positions that treats two positions within 79
// units of 0.0001 degree (in latitude and in longitude) as the same place,
// and a console membership menu over it.
#ifndef TREE_TREE_H
#define TREE_TREE_H

#ifdef __cplusplus
extern "C" {
#else
#include <stdbool.h>
#endif

typedef struct Item {
    double lngi;  // longitude, degrees
    double lati;  // latitude, degrees
} Item;

typedef struct Node {
    Item item;
    struct Node* left;
    struct Node* right;
} Node;

typedef struct Tree {
    Node* root;
    int size;
} Tree;

typedef struct Pair {
    Node* parent;
    Node* child;
} Pair;

enum { TREE_MAX_ITEMS = 102400 };

void InitializeTree(Tree* ptree);
bool TreeIsEmpty(const Tree* ptree);
bool TreeIsFull(const Tree* ptree);
int TreeItemCount(const Tree* ptree);
// Adds a copy of *pi unless the tree is full or holds the same place; the
// refusals are written to standard error.
bool AddItem(const Item* pi, Tree* ptree);
bool InTree(const Item* pi, const Tree* ptree);
bool DeleteItem(const Item* pi, Tree* ptree);
// Calls pfun with each item in order (northern and eastern items first).
void Traverse(const Tree* ptree, void (*pfun)(Item item));
void DeleteAll(Tree* ptree);

// The membership menu.
char menu(void);
void addpet(Item* p, Tree* pt);
void showpets(const Tree* pt);
void printitem(Item item);
void findpet(Item* p, const Tree* pt);
void droppet(Item* p, Tree* pt);
void uppercase(char* str);

#ifdef __cplusplus
}  // extern "C"
#endif

#endif  // TREE_TREE_H
