// The camera list's line scanner as the build first read lines, with sscanf
// and strtod, for tests and fuzzers to check the build's own scanner against:
// the same line and the same camera before it must give the same camera and
// the same report. Not part of the module; slow on purpose.
#ifndef EDOG_REFERENCE_TEXT_H
#define EDOG_REFERENCE_TEXT_H

#include <cstddef>

#include "edog/builder/list_build.h"

namespace e_dog::reference {

LineScan scan_camera_fields(const char* line, std::size_t length, E_DOG_DATA& data);

}  // namespace e_dog::reference

#endif  // EDOG_REFERENCE_TEXT_H
