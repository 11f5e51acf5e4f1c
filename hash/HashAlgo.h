// A fixed-size open-addressing table of strings keyed by a one-way string
// hash, and a search tree of names.
#ifndef HASH_HASHALGO_H
#define HASH_HASHALGO_H

#ifdef __cplusplus
#include <cstdint>
extern "C" {
#else
#include <stdint.h>
#endif

// One slot of the string table.
typedef struct MPQHASHTABLE {
    int32_t nHashA;    // hash of type 1 of the stored string; -1 when free
    int32_t nHashB;    // hash of type 0 (it chose the start slot); -1 when free
    int bExists;       // 1 when the slot holds a string
    char encStr[255];  // the string as stored, terminated
} MPQHASHTABLE;

// Module state: the crypt table (five rows of 256 words), the recorded slot
// count and the slots (nullptr while no table is set up).
extern uint32_t cryptTable[1280];
extern uint32_t m_tablelength;
extern MPQHASHTABLE* m_HashIndexTable;

void CHashAlgo_prepareCryptTable(void);
// Fills the crypt table and sets up `nTableLength` free slots, releasing any
// earlier table. A length below 1, or memory that cannot be had, leaves no
// table (length 0).
void CHashAlgo_Init(int32_t nTableLength);
void CHashAlgo_Exit(void);
// Hash of type `dwHashType` (0 to 4) of a string, blind to the case of a-z.
uint32_t CHashAlgo_HashString(const char* lpszFileName, uint32_t dwHashType);
// Slot of the string, or -1 when it is not stored (or there is no table).
int32_t CHashAlgo_GetHashTablePos(const char* lpszString);
// Stores the string in the first free slot from its start slot: 1 stored, 0
// refused (table full, no table, or a string of more than 254 characters).
int CHashAlgo_SetHashTable(const char* lpszString);
uint32_t CHashAlgo_GetTableLength(void);
// Records a new slot count, never more than the slots allocated (a larger
// value is ignored).
void CHashAlgo_SetTableLength(uint32_t nLength);

// A node of the name tree; it owns its copy of the name.
typedef struct _tree_node_ {
    char* name;
    struct _tree_node_* lchild;
    struct _tree_node_* rchild;
} _tree_node_;

// *loc: the node holding `str` (nullptr when absent); *par: its parent, or
// the node under which `str` would be inserted.
void tree_find(const char* str, _tree_node_** par, _tree_node_** loc);
// Inserts a copy of `str`; a name already present is refused with a message.
void tree_insert(const char* str);

#ifdef __cplusplus
}  // extern "C"
#endif

#endif  // HASH_HASHALGO_H
