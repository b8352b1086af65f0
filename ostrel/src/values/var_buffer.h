// Filling a caller's var buffer with a value (the var buffer API itself is in
// ostrel.h).

#ifndef OSTREL_VALUES_VAR_BUFFER_H
#define OSTREL_VALUES_VAR_BUFFER_H

#include <cstdint>

#include "ostrel/ostrel.h"

// Copies length bytes into var. by_library: the library (re)sizes the buffer
// as needed; otherwise a value larger than its capacity is refused. False
// when the value does not fit or no memory is left.
bool var_fill(OslVar* var, const void* data, int32_t length, bool by_library);

#endif
