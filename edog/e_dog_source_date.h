// The camera module: records shared by the database build and the lookup, the
// module's public state and its operations.
#ifndef EDOG_E_DOG_SOURCE_DATE_H
#define EDOG_E_DOG_SOURCE_DATE_H

#include <cstdint>

// Integer type names of the module.
using BOOL8 = char;
using INT8 = std::int8_t;
using s8 = std::int8_t;
using UINT8 = std::uint8_t;
using FLAGS8 = std::uint8_t;
using BITFLD8 = std::uint8_t;
using u8 = std::uint8_t;
using BOOL16 = std::int16_t;
using INT16 = std::int16_t;
using s16 = std::int16_t;
using UINT16 = std::uint16_t;
using FLAGS16 = std::uint16_t;
using BITFLD16 = std::uint16_t;
using u16 = std::uint16_t;
using BOOL32 = std::int32_t;
using INT32 = std::int32_t;
using s32 = std::int32_t;
using u32 = std::uint32_t;
using u64 = std::uint64_t;

// One fixed camera. In memory and in the data file it takes 56 bytes; the
// file's byte layout is fixed independently of the compiler (see
// edog/e_dog_record.h).
struct _e_dog_data_ {
    INT32 Idex;           // camera number
    s32 Direction;        // carried unchanged
    s32 Type;             // carried unchanged
    s32 DirType;          // 1 to 5 marks a camera the lookup may report
    s32 Speed;            // speed limit
    double Gps_lat;       // decimal degrees, north positive
    double Gps_lng;       // decimal degrees, east positive
    char encode_str[12];  // 10-character Geohash code, zero-filled behind it
};
using E_DOG_DATA = _e_dog_data_;

// One element of the build's singly linked camera list.
struct _node_ {
    E_DOG_DATA data;
    _node_* link;
};
using GPSNode = _node_;

struct _e_dog_alarm_ {
    char str[128];
    E_DOG_DATA data;
};
using EDOG_ALARM = _e_dog_alarm_;

// Result of one lookup, for the device's display.
struct _e_dog_lcd_ {
    s32 result;        // 0 when a camera was found, -1 otherwise
    s32 limit_speed;   // speed limit of the camera found
    s32 cur_speed;     // current speed
    s32 distance_val;  // whole metres to the camera found
};
using E_DOG_LCD = _e_dog_lcd_;

struct gps_info_s {
    char lat_dir;
    char lng_dir;
    s32 current_speed;
    volatile char latitude[16];
    volatile char longitude[16];
    double lati;
    double longi;
    double degrees;
};
using GPS_INFO_T = gps_info_s;

// An entry of the prefix index, or the answer of a search of it.
struct FileNode {
    INT32 cunt;   // number of records of the bucket (in a search answer)
    INT32 index;  // record number of the bucket's first record
    char str[8];  // four-character prefix, zero-filled behind it
};
using ElemType = FileNode;

struct Qnode {
    FileNode data;
    Qnode* next;
};

struct LQueue {
    char font_str[8];  // prefix of the first entry entered
    char end_str[8];   // prefix of the latest entry after the first one
    INT32 file_size;   // number of records in the data file
    INT32 size;        // number of entries
    Qnode* front;      // sentinel; the first entry is front->next
    Qnode* rear;       // last entry, or the sentinel when empty
};
using LinkQueue = LQueue*;

// Public module state.
extern char e_dog_datafile[32];  // "DATA_T.BIN"
extern char e_dog_usrfile[32];   // "speedcam22.txt"
extern GPS_INFO_T gps_latlong_info;
extern E_DOG_LCD e_dog_lcd;

// Builds the data file from the text camera list: 0 when it was written, -1
// when the build failed (an earlier data file is then left as it was).
int e_dog_updata_tsk();

// Sorts the nodes strictly between `head` and `tail` (nullptr: to the end of
// the list) by code, stably, by relinking them.
void e_dog_quick_sort(GPSNode* head, GPSNode* tail);

// Opens the data file for lookup: 0 when the module is (or already was) open,
// -1 when the file is missing or holds no whole record (it is then deleted).
int e_dog_init();
// Closes the data file; harmless when it is not open.
void e_dog_exit();
// Offers the code of every record of the data file, in file order, to the
// string table (CHashAlgo_Init first): 0, or -1 when the file cannot be opened.
int e_dog_hash_to_file();

// The prefix index queue.
LinkQueue LinkQueueInit();  // nullptr when memory runs out
void LinkQueueEnter(LinkQueue Q, ElemType x);
ElemType LinkQueueOut(LinkQueue Q);
// The bucket (first record, record count) for the first four characters of
// `hash`; the last bucket for a prefix no entry holds; -1, -1 without index.
ElemType QueueSearch(LinkQueue Q, const char* hash);
void QueueTraverse(LinkQueue pqueue);
// Reads the data file and sets q_header to a new index of it.
void e_dog_build_file_index();

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
struct _e_dog_hit_ {
    E_DOG_DATA data;    // the record
    INT32 record;       // its record number in the data file
    double distance_m;  // its distance by get_distance
};
using E_DOG_HIT = _e_dog_hit_;

// Every record of the open data file strictly closer than `radius_m` metres
// to (lati, longi) by get_distance, of any DirType, nearest first and equal
// distances in file order. Returns how many there are, which may be more than
// `max_out`: only the first `max_out` are written to `out`. -1 when the
// module is not open, for a radius that is not positive and finite, a
// position out of range, a negative `max_out`, or no `out` for a positive one.
int e_dog_search_within(double lati, double longi, double radius_m, E_DOG_HIT* out, int max_out);

#endif  // EDOG_E_DOG_SOURCE_DATE_H
