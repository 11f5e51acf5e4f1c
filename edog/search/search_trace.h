// How the calling thread's last nearest search went, for tests and
// benchmarks: whether it used the key array (false: it scanned every record),
// how many records it measured with get_distance, whether it was answered
// from the list an earlier search kept, and the record number of the camera
// it answered (-1 for none).
#ifndef EDOG_SEARCH_SEARCH_TRACE_H
#define EDOG_SEARCH_SEARCH_TRACE_H

#include <cstdint>

namespace e_dog {

struct NearestTrace {
    bool indexed = false;
    std::uint32_t measured = 0;
    bool from_nearby = false;  // answered from the list kept by an earlier search
    std::int64_t record = -1;
};

// Of the calling thread's last nearest search that reached a file, of any
// handle; empty again after the handle it searched is closed.
NearestTrace last_nearest_trace();
// Empties the calling thread's trace.
void clear_nearest_trace();

}  // namespace e_dog

#endif  // EDOG_SEARCH_SEARCH_TRACE_H
