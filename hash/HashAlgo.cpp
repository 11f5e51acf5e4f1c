#include "hash/HashAlgo.h"

#include <cstring>
#include <new>

#include "hash/hash_internal.h"

uint32_t cryptTable[1280] = {};
uint32_t m_tablelength = 0;
MPQHASHTABLE* m_HashIndexTable = nullptr;

namespace {

constexpr uint32_t kRowWords = 256;
constexpr uint32_t kRows = 5;
constexpr std::size_t kMaxStoredLen = sizeof(MPQHASHTABLE::encStr) - 1;
constexpr uint32_t kHashStart = 0;  // type of the hash that picks the start slot
constexpr uint32_t kHashCheck = 1;  // type of the check value

// Number of slots actually allocated; the recorded length never exceeds it.
uint32_t allocated_slots = 0;

bool have_table() {
    return m_HashIndexTable != nullptr && m_tablelength > 0;
}

}  // namespace

void CHashAlgo_prepareCryptTable() {
    uint32_t seed = 0x00100001;
    for (uint32_t index1 = 0; index1 < kRowWords; ++index1) {
        for (uint32_t i = 0, index2 = index1; i < kRows; ++i, index2 += kRowWords) {
            seed = (seed * 125 + 3) % 0x2AAAAB;
            const uint32_t temp1 = (seed & 0xFFFFU) << 16U;
            seed = (seed * 125 + 3) % 0x2AAAAB;
            const uint32_t temp2 = seed & 0xFFFFU;
            cryptTable[index2] = temp1 | temp2;
        }
    }
}

void CHashAlgo_Init(int32_t nTableLength) {
    CHashAlgo_prepareCryptTable();
    CHashAlgo_Exit();
    if (nTableLength < 1) {
        return;
    }
    const auto n = static_cast<uint32_t>(nTableLength);
    m_HashIndexTable = new (std::nothrow) MPQHASHTABLE[n];
    if (m_HashIndexTable == nullptr) {
        return;
    }
    for (uint32_t i = 0; i < n; ++i) {
        MPQHASHTABLE& slot = m_HashIndexTable[i];
        slot.nHashA = -1;
        slot.nHashB = -1;
        slot.bExists = 0;
        std::memset(slot.encStr, 0, sizeof slot.encStr);
    }
    m_tablelength = n;
    allocated_slots = n;
}

void CHashAlgo_Exit() {
    if (m_HashIndexTable != nullptr) {
        delete[] m_HashIndexTable;
        m_HashIndexTable = nullptr;
        m_tablelength = 0;
        allocated_slots = 0;
    }
}

uint32_t CHashAlgo_HashString(const char* lpszFileName, uint32_t dwHashType) {
    uint32_t seed1 = 0x7FED7FED;
    uint32_t seed2 = 0xEEEEEEEE;
    if (lpszFileName == nullptr || dwHashType >= kRows) {
        return seed1;
    }
    for (const char* p = lpszFileName; *p != '\0'; ++p) {
        auto ch = static_cast<unsigned char>(*p);
        if (ch >= 'a' && ch <= 'z') {
            ch = static_cast<unsigned char>(ch - ('a' - 'A'));
        }
        seed1 = cryptTable[dwHashType * kRowWords + ch] ^ (seed1 + seed2);
        seed2 = ch + seed1 + seed2 + (seed2 << 5U) + 3;
    }
    return seed1;
}

int32_t CHashAlgo_GetHashTablePos(const char* lpszString) {
    if (!have_table() || lpszString == nullptr) {
        return -1;
    }
    const uint32_t n_hash = CHashAlgo_HashString(lpszString, kHashStart);
    const uint32_t n_hash_a = CHashAlgo_HashString(lpszString, kHashCheck);
    const uint32_t start = n_hash % m_tablelength;
    uint32_t pos = start;
    do {
        const MPQHASHTABLE& slot = m_HashIndexTable[pos];
        if (slot.bExists == 0) {
            return -1;
        }
        if (static_cast<uint32_t>(slot.nHashA) == n_hash_a &&
            static_cast<uint32_t>(slot.nHashB) == n_hash) {
            return static_cast<int32_t>(pos);
        }
        pos = (pos + 1) % m_tablelength;
    } while (pos != start);
    return -1;
}

int CHashAlgo_SetHashTable(const char* lpszString) {
    if (!have_table() || lpszString == nullptr) {
        return 0;
    }
    const std::size_t len = ::strnlen(lpszString, kMaxStoredLen + 1);
    if (len > kMaxStoredLen) {
        return 0;
    }
    const uint32_t n_hash = CHashAlgo_HashString(lpszString, kHashStart);
    const uint32_t n_hash_a = CHashAlgo_HashString(lpszString, kHashCheck);
    const uint32_t start = n_hash % m_tablelength;
    uint32_t pos = start;
    while (m_HashIndexTable[pos].bExists != 0) {
        pos = (pos + 1) % m_tablelength;
        if (pos == start) {
            return 0;
        }
    }
    MPQHASHTABLE& slot = m_HashIndexTable[pos];
    slot.nHashA = static_cast<int32_t>(n_hash_a);
    slot.nHashB = static_cast<int32_t>(n_hash);
    slot.bExists = 1;
    std::memset(slot.encStr, 0, sizeof slot.encStr);
    std::memcpy(slot.encStr, lpszString, len);
    return 1;
}

uint32_t CHashAlgo_GetTableLength() {
    return m_tablelength;
}

void CHashAlgo_SetTableLength(uint32_t nLength) {
    if (nLength <= allocated_slots) {
        m_tablelength = nLength;
    }
}
