// The nearest search's answer by its definition, for tests, fuzzers and
// benchmarks to check the real searches against: every record in file order,
// the first of the nearest qualifying cameras strictly closer than the radius.
// Not part of the module; slow on purpose.
#ifndef EDOG_REFERENCE_SCAN_H
#define EDOG_REFERENCE_SCAN_H

#include <cstddef>
#include <vector>

#include "edog/e_dog_source_date.h"

namespace e_dog::reference {

struct Answer {
    long index = -1;  // record number, -1 for none
    double distance_m = 0.0;
};

// `skip_far_latitudes` passes over, without measuring, records farther than
// the radius (plus a metre) in latitude alone, which the distance can never
// be below; the answer is the same, only faster on large files. Arguments the
// search refuses (a position out of range, a radius not positive or not
// finite) give none.
Answer nearest(const std::vector<E_DOG_DATA>& records, double lat, double lng, double radius_m,
               bool skip_far_latitudes = false);

// Every record strictly closer than the radius, any DirType, nearest first
// and equal distances in file order (the same refused arguments give none).
std::vector<Answer> within(const std::vector<E_DOG_DATA>& records, double lat, double lng,
                           double radius_m);

// The whole records of the bytes of a data file, in file order.
std::vector<E_DOG_DATA> decode_file(const unsigned char* bytes, std::size_t size);

}  // namespace e_dog::reference

#endif  // EDOG_REFERENCE_SCAN_H
