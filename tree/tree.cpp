#include "tree/tree.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <new>
#include <vector>

namespace {

constexpr double kScale = 10000.0;  // units of 0.0001 degree
constexpr std::int64_t kTolerance = 79;

// Degrees to units, truncated toward zero. Values beyond the 32-bit range
// are held at its ends and NaN counts as 0, so no input is undefined.
std::int64_t scaled(double degrees) {
    const double units = std::trunc(degrees * kScale);
    if (std::isnan(units)) {
        return 0;
    }
    constexpr double kMin = std::numeric_limits<std::int32_t>::min();
    constexpr double kMax = std::numeric_limits<std::int32_t>::max();
    if (units <= kMin) {
        return std::numeric_limits<std::int32_t>::min();
    }
    if (units >= kMax) {
        return std::numeric_limits<std::int32_t>::max();
    }
    return static_cast<std::int64_t>(units);
}

// More than 79 units north or east of the node's item.
bool BelongsLeft(const Item& i1, const Item& i2) {
    return scaled(i1.lati) - scaled(i2.lati) > kTolerance ||
           scaled(i1.lngi) - scaled(i2.lngi) > kTolerance;
}

// More than 79 units south or west of the node's item.
bool BelongsRight(const Item& i1, const Item& i2) {
    return scaled(i2.lati) - scaled(i1.lati) > kTolerance ||
           scaled(i2.lngi) - scaled(i1.lngi) > kTolerance;
}

Pair LocateItem(const Item& item, const Tree& tree) {
    Pair look{nullptr, tree.root};
    while (look.child != nullptr) {
        if (BelongsLeft(item, look.child->item)) {
            look.parent = look.child;
            look.child = look.child->left;
        } else if (BelongsRight(item, look.child->item)) {
            look.parent = look.child;
            look.child = look.child->right;
        } else {
            break;
        }
    }
    return look;
}

Node* CreateNode(const Item& item) {
    return new (std::nothrow) Node{item, nullptr, nullptr};
}

void AddNode(Node* new_node, Node* root) {
    Node* at = root;
    for (;;) {
        Node** next = nullptr;
        if (BelongsLeft(new_node->item, at->item)) {
            next = &at->left;
        } else if (BelongsRight(new_node->item, at->item)) {
            next = &at->right;
        } else {
            (void)std::fprintf(stderr, "location error in AddNode()\n");
            std::exit(1);
        }
        if (*next == nullptr) {
            *next = new_node;
            return;
        }
        at = *next;
    }
}

void RemoveNode(Node** link) {
    Node* node = *link;
    if (node->left == nullptr) {
        *link = node->right;
    } else if (node->right == nullptr) {
        *link = node->left;
    } else {
        Node* last = node->left;
        while (last->right != nullptr) {
            last = last->right;
        }
        last->right = node->right;
        *link = node->left;
    }
    delete node;
}

// In-order walk with an explicit stack: the tree is never rebalanced, so its
// depth can reach its size, far deeper than the call stack allows.
void InOrder(const Node* root, void (*pfun)(Item item)) {
    std::vector<const Node*> pending;
    const Node* n = root;
    while (n != nullptr || !pending.empty()) {
        while (n != nullptr) {
            pending.push_back(n);
            n = n->left;
        }
        n = pending.back();
        pending.pop_back();
        pfun(n->item);
        n = n->right;
    }
}

void DeleteAllNodes(Node* root) {
    std::vector<Node*> pending;
    if (root != nullptr) {
        pending.push_back(root);
    }
    while (!pending.empty()) {
        Node* n = pending.back();
        pending.pop_back();
        if (n->left != nullptr) {
            pending.push_back(n->left);
        }
        if (n->right != nullptr) {
            pending.push_back(n->right);
        }
        delete n;
    }
}

}  // namespace

void InitializeTree(Tree* ptree) {
    ptree->root = nullptr;
    ptree->size = 0;
}

bool TreeIsEmpty(const Tree* ptree) {
    return ptree->root == nullptr;
}

bool TreeIsFull(const Tree* ptree) {
    return ptree->size >= TREE_MAX_ITEMS;
}

int TreeItemCount(const Tree* ptree) {
    return ptree->size;
}

bool AddItem(const Item* pi, Tree* ptree) {
    if (TreeIsFull(ptree)) {
        (void)std::fprintf(stderr, "Tree is full\n");
        return false;
    }
    if (LocateItem(*pi, *ptree).child != nullptr) {
        (void)std::fprintf(stderr, "Attempted to add duplicate item\n");
        return false;
    }
    Node* new_node = CreateNode(*pi);
    if (new_node == nullptr) {
        (void)std::fprintf(stderr, "Couldn't create node\n");
        return false;
    }
    ++ptree->size;
    if (ptree->root == nullptr) {
        ptree->root = new_node;
    } else {
        AddNode(new_node, ptree->root);
    }
    return true;
}

bool InTree(const Item* pi, const Tree* ptree) {
    return LocateItem(*pi, *ptree).child != nullptr;
}

bool DeleteItem(const Item* pi, Tree* ptree) {
    const Pair look = LocateItem(*pi, *ptree);
    if (look.child == nullptr) {
        return false;
    }
    Node** link = nullptr;
    if (look.parent == nullptr) {
        link = &ptree->root;
    } else if (look.parent->left == look.child) {
        link = &look.parent->left;
    } else {
        link = &look.parent->right;
    }
    RemoveNode(link);
    --ptree->size;
    return true;
}

void Traverse(const Tree* ptree, void (*pfun)(Item item)) {
    if (ptree != nullptr && ptree->root != nullptr) {
        InOrder(ptree->root, pfun);
    }
}

void DeleteAll(Tree* ptree) {
    if (ptree == nullptr) {
        return;
    }
    DeleteAllNodes(ptree->root);
    ptree->root = nullptr;
    ptree->size = 0;
}
