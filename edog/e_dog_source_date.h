// The camera module: records shared by the database build and the lookup, the
// module's public state and its operations. Compiles as C11 and as C++; the
// operations have C linkage.
#ifndef EDOG_E_DOG_SOURCE_DATE_H
#define EDOG_E_DOG_SOURCE_DATE_H

#ifdef __cplusplus
#include <cstdint>
extern "C" {
#else
#include <stdint.h>
#endif

// Threads: e_dog_search_nearest and e_dog_search_within may be called from
// several threads at once, with each other too; the first of them builds the
// search's keys once, the others wait for it. Each thread's warner
// (warner/e_dog_warn.h) may run beside the others'. Everything else is for one
// thread at a time: e_dog_init and e_dog_exit must not overlap any search;
// e_dog_search_by_info_file, e_dog_binary_search_by_file, the prefix index
// and e_dog_hash_to_file read the one stream fp_e_dog; the build works on the
// module's globals; geohash_encode answers in a static buffer.

// Integer type names of the module.
typedef char BOOL8;
typedef int8_t INT8;
typedef int8_t s8;
typedef uint8_t UINT8;
typedef uint8_t FLAGS8;
typedef uint8_t BITFLD8;
typedef uint8_t u8;
typedef int16_t BOOL16;
typedef int16_t INT16;
typedef int16_t s16;
typedef uint16_t UINT16;
typedef uint16_t FLAGS16;
typedef uint16_t BITFLD16;
typedef uint16_t u16;
typedef int32_t BOOL32;
typedef int32_t INT32;
typedef int32_t s32;
typedef uint32_t u32;
typedef uint64_t u64;

// One fixed camera. In the data file it takes 56 bytes, whatever its size in
// memory (56 on most targets, 48 on 32-bit x86); the file's byte layout is
// fixed independently of the compiler (see edog/datafile/e_dog_record.h).
typedef struct _e_dog_data_ {
    INT32 Idex;           // camera number
    s32 Direction;        // carried unchanged
    s32 Type;             // carried unchanged
    s32 DirType;          // 1 to 5 marks a camera the lookup may report
    s32 Speed;            // speed limit
    double Gps_lat;       // decimal degrees, north positive
    double Gps_lng;       // decimal degrees, east positive
    char encode_str[12];  // 10-character Geohash code, zero-filled behind it
} E_DOG_DATA;

// One element of the build's singly linked camera list.
typedef struct _node_ {
    E_DOG_DATA data;
    struct _node_* link;
} GPSNode;

typedef struct _e_dog_alarm_ {
    char str[128];
    E_DOG_DATA data;
} EDOG_ALARM;

// Result of one lookup, for the device's display.
typedef struct _e_dog_lcd_ {
    s32 result;        // 0 when a camera was found, -1 otherwise
    s32 limit_speed;   // speed limit of the camera found
    s32 cur_speed;     // current speed
    s32 distance_val;  // whole metres to the camera found
} E_DOG_LCD;

typedef struct gps_info_s {
    char lat_dir;
    char lng_dir;
    s32 current_speed;
    volatile char latitude[16];
    volatile char longitude[16];
    double lati;
    double longi;
    double degrees;
} GPS_INFO_T;

// An entry of the prefix index, or the answer of a search of it.
typedef struct FileNode {
    INT32 cunt;   // number of records of the bucket (in a search answer)
    INT32 index;  // record number of the bucket's first record
    char str[8];  // four-character prefix, zero-filled behind it
} FileNode;
typedef FileNode ElemType;

typedef struct Qnode {
    FileNode data;
    struct Qnode* next;
} Qnode;

typedef struct LQueue {
    char font_str[8];  // prefix of the first entry entered
    char end_str[8];   // prefix of the latest entry after the first one
    INT32 file_size;   // number of records in the data file
    INT32 size;        // number of entries
    Qnode* front;      // sentinel; the first entry is front->next
    Qnode* rear;       // last entry, or the sentinel when empty
} LQueue;
typedef LQueue* LinkQueue;

// Public module state.
extern char e_dog_datafile[32];  // "DATA_T.BIN"
extern char e_dog_usrfile[32];   // "speedcam22.txt"
extern GPS_INFO_T gps_latlong_info;
extern E_DOG_LCD e_dog_lcd;

// Builds the data file from the text camera list: 0 when it was written, -1
// when the build failed (an earlier data file is then left as it was).
int e_dog_updata_tsk(void);

// Sorts the nodes strictly between `head` and `tail` (nullptr: to the end of
// the list) by code, stably, by relinking them.
void e_dog_quick_sort(GPSNode* head, GPSNode* tail);

// Opens the data file for lookup: 0 when the module is (or already was) open,
// -1 when the file is missing or holds no whole record (it is then deleted).
int e_dog_init(void);
// Closes the data file; harmless when it is not open.
void e_dog_exit(void);
// Offers the code of every record of the data file, in file order, to the
// string table (CHashAlgo_Init first): 0, or -1 when the file cannot be opened.
int e_dog_hash_to_file(void);

// The prefix index queue.
LinkQueue LinkQueueInit(void);  // nullptr when memory runs out
void LinkQueueEnter(LinkQueue Q, ElemType x);
ElemType LinkQueueOut(LinkQueue Q);
// The bucket (first record, record count) for the first four characters of
// `hash`; the last bucket for a prefix no entry holds; -1, -1 without index.
ElemType QueueSearch(LinkQueue Q, const char* hash);
void QueueTraverse(LinkQueue pqueue);
// Reads the data file and sets q_header to a new index of it.
void e_dog_build_file_index(void);

// Nearest qualifying camera (DirType 1 to 5) within 800 m, found by bisection
// over the whole file; Speed -1 and result -1 when none is taken.
E_DOG_DATA e_dog_binary_search_by_file(double longi, double lati, int file_size,
                                       E_DOG_LCD* p_lcd_rt);
// Nearest qualifying camera strictly within 800 m among the `ral.cunt`
// records from `ral.index`; Speed -1 and result -1 when none is taken.
E_DOG_DATA e_dog_search_by_info_file(double lati, double longi, ElemType ral, int file_size,
                                     E_DOG_LCD* p_lcd_rt);
void printf_E_DOG_DATA(E_DOG_DATA tdata);

// The camera with DirType 1 to 5 nearest to (lati, longi) and strictly closer
// than `radius_m` metres by get_distance, over the whole open data file; of
// equally near cameras the earlier record. Fills result, limit_speed and
// distance_val like the other searches and leaves cur_speed alone. Speed -1
// and result -1 when there is none, when the module is not open, or for a
// radius that is not positive and finite or a position out of range.
E_DOG_DATA e_dog_search_nearest(double lati, double longi, double radius_m, E_DOG_LCD* p_lcd_rt);

// One camera found by e_dog_search_within.
typedef struct _e_dog_hit_ {
    E_DOG_DATA data;    // the record
    INT32 record;       // its record number in the data file
    double distance_m;  // its distance by get_distance
} E_DOG_HIT;

// Every record of the open data file strictly closer than `radius_m` metres
// to (lati, longi) by get_distance, of any DirType, nearest first and equal
// distances in file order. Returns how many there are, which may be more than
// `max_out`: only the first `max_out` are written to `out`. -1 when the
// module is not open, for a radius that is not positive and finite, a
// position out of range, a negative `max_out`, or no `out` for a positive one.
int e_dog_search_within(double lati, double longi, double radius_m, E_DOG_HIT* out, int max_out);

#ifdef __cplusplus
}  // extern "C"
#endif

#endif  // EDOG_E_DOG_SOURCE_DATE_H
