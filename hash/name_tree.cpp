// The name tree: an unbalanced binary search tree of owned name copies.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "hash/HashAlgo.h"
#include "hash/hash_internal.h"

_tree_node_* name_tree::root = nullptr;

void name_tree::clear() {
    std::vector<_tree_node_*> pending;
    if (root != nullptr) {
        pending.push_back(root);
    }
    while (!pending.empty()) {
        _tree_node_* n = pending.back();
        pending.pop_back();
        if (n->lchild != nullptr) {
            pending.push_back(n->lchild);
        }
        if (n->rchild != nullptr) {
            pending.push_back(n->rchild);
        }
        std::free(n->name);
        delete n;
    }
    root = nullptr;
}

void tree_find(const char* str, _tree_node_** par, _tree_node_** loc) {
    *par = nullptr;
    *loc = nullptr;
    _tree_node_* parent = nullptr;
    _tree_node_* node = name_tree::root;
    while (node != nullptr) {
        const int c = std::strcmp(str, node->name);
        if (c == 0) {
            break;
        }
        parent = node;
        node = (c < 0) ? node->lchild : node->rchild;
    }
    *par = parent;
    *loc = node;
}

void tree_insert(const char* str) {
    _tree_node_* par = nullptr;
    _tree_node_* loc = nullptr;
    tree_find(str, &par, &loc);
    if (loc != nullptr) {
        std::puts("Name already present");
        return;
    }
    // No memory for the node or its name: the tree stays as it was.
    auto* node = new (std::nothrow) _tree_node_{nullptr, nullptr, nullptr};
    if (node == nullptr) {
        return;
    }
    node->name = ::strdup(str);
    if (node->name == nullptr) {
        delete node;
        return;
    }
    if (par == nullptr) {
        name_tree::root = node;
    } else if (std::strcmp(str, par->name) < 0) {
        par->lchild = node;
    } else {
        par->rchild = node;
    }
}
