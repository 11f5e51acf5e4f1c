// Private state of the name tree, for the module and its tests.
#ifndef HASH_HASH_INTERNAL_H
#define HASH_HASH_INTERNAL_H

#include "hash/HashAlgo.h"

namespace name_tree {

extern _tree_node_* root;

// Releases every node and empties the tree.
void clear();

}  // namespace name_tree

#endif  // HASH_HASH_INTERNAL_H
