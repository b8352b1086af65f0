// Var buffers: variable-length binary values the caller holds by handle.
// The caller allocates and releases one per row, so the library keeps the
// last released block in a one-slot cache and hands it out again: after the
// first row a row's buffer costs no malloc.

#include "values/var_buffer.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr int32_t kMinimumBlockBytes = 256;

void* cached_block = nullptr;
int32_t cached_capacity = 0;

// A block of at least size bytes: the cached one when it is big enough.
// Blocks grow in powers of two, so a growing row size settles quickly.
void* take_block(int32_t size, int32_t* capacity) {
    if (cached_block != nullptr && cached_capacity >= size) {
        void* block = cached_block;
        *capacity = cached_capacity;
        cached_block = nullptr;
        cached_capacity = 0;
        return block;
    }
    int64_t rounded = kMinimumBlockBytes;
    while (rounded < size) {
        rounded *= 2;
    }
    if (rounded > INT32_MAX) {
        rounded = size;
    }
    void* block = std::malloc(static_cast<size_t>(rounded));
    if (block == nullptr) {
        return nullptr;
    }
    // The cached block was too small for this size; the new one replaces it.
    std::free(cached_block);
    cached_block = nullptr;
    cached_capacity = 0;
    *capacity = static_cast<int32_t>(rounded);
    return block;
}

// Keeps the larger of the released block and the cached one.
void give_block(void* block, int32_t capacity) {
    if (block == nullptr) {
        return;
    }
    if (cached_block == nullptr || capacity > cached_capacity) {
        std::free(cached_block);
        cached_block = block;
        cached_capacity = capacity;
    } else {
        std::free(block);
    }
}

}  // namespace

int osl_var_alloc(OslVar* var, int32_t size) {
    if (var == nullptr || size < 0) {
        return -1;
    }
    give_block(var->data, var->capacity);
    int32_t capacity = 0;
    void* block = take_block(size, &capacity);
    var->data = block;
    var->capacity = block != nullptr ? capacity : 0;
    var->length = 0;
    var->by_library = 0;
    return block != nullptr ? 0 : -1;
}

int osl_var_setlen(OslVar* var, int32_t length) {
    if (var == nullptr || var->data == nullptr || length < 0 || length > var->capacity) {
        return -1;
    }
    var->length = length;
    return 0;
}

void* osl_var_getdata(const OslVar* var) {
    return var != nullptr ? var->data : nullptr;
}

int32_t osl_var_getlen(const OslVar* var) {
    return var != nullptr && var->data != nullptr ? var->length : 0;
}

int osl_var_dealloc(OslVar* var) {
    if (var == nullptr) {
        return -1;
    }
    give_block(var->data, var->capacity);
    *var = OslVar{};
    return 0;
}

int osl_var_ready(OslVar* var) {
    if (var == nullptr) {
        return -1;
    }
    var->length = 0;
    var->by_library = 1;
    return 0;
}

bool var_fill(OslVar* var, const void* data, int32_t length, bool by_library) {
    // The library sizes its buffers one byte beyond the value and ends them
    // with a NUL, so a text result reads as a C string; a caller's own buffer
    // gets the NUL only when it has room for it.
    bool fits = var->data != nullptr && var->capacity >= length;
    if (by_library && (!fits || var->capacity == length)) {
        give_block(var->data, var->capacity);
        int32_t capacity = 0;
        var->data = take_block(length + 1, &capacity);
        var->capacity = var->data != nullptr ? capacity : 0;
        var->length = 0;
        if (var->data == nullptr) {
            return false;
        }
    } else if (!fits) {
        return false;
    }
    if (length > 0) {
        std::memcpy(var->data, data, static_cast<size_t>(length));
    }
    if (var->capacity > length) {
        static_cast<char*>(var->data)[length] = '\0';
    }
    var->length = length;
    return true;
}
