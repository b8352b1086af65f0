// Byte order. A shapefile set mixes big-endian and little-endian numbers;
// every multi-byte number spoolmap reads from or writes to .shp, .shx and
// .dbf goes through one of these functions, over byte buffers that are then
// written or were read in one call. The host's order is the compiler's: a
// value is reversed only when it differs from the file's.

#ifndef SPOOLMAP_SHAPE_BYTE_ORDER_H
#define SPOOLMAP_SHAPE_BYTE_ORDER_H

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace byte_order_detail {

constexpr bool kHostLittleEndian = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;
static_assert(kHostLittleEndian || __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__,
              "a host of one byte order or the other");

// Copies width bytes from source to target, reversed when the file's order
// is not the host's: the same step turns file bytes into a value and a value
// into file bytes. memcpy, so nothing needs aligned input.
inline void copy_in_order(void* target, const void* source, size_t width, bool file_little) {
    if (file_little == kHostLittleEndian) {
        std::memcpy(target, source, width);
        return;
    }
    const uint8_t* from = static_cast<const uint8_t*>(source);
    uint8_t* to = static_cast<uint8_t*>(target);
    for (size_t i = 0; i < width; ++i) {
        to[width - 1 - i] = from[i];
    }
}

template <typename T>
T load(const uint8_t* buffer, size_t offset, bool file_little) {
    T value;
    copy_in_order(&value, buffer + offset, sizeof value, file_little);
    return value;
}

template <typename T>
void store(uint8_t* buffer, size_t offset, T value, bool file_little) {
    copy_in_order(buffer + offset, &value, sizeof value, file_little);
}

}  // namespace byte_order_detail

// Values out of a byte buffer at a byte offset, aligned or not. The caller
// has made sure the bytes lie inside the buffer.
inline int16_t load_le_int16(const uint8_t* buffer, size_t offset) {
    return byte_order_detail::load<int16_t>(buffer, offset, true);
}
inline int32_t load_be_int32(const uint8_t* buffer, size_t offset) {
    return byte_order_detail::load<int32_t>(buffer, offset, false);
}
inline int32_t load_le_int32(const uint8_t* buffer, size_t offset) {
    return byte_order_detail::load<int32_t>(buffer, offset, true);
}
inline double load_le_double(const uint8_t* buffer, size_t offset) {
    return byte_order_detail::load<double>(buffer, offset, true);
}

// Values into a byte buffer at a byte offset, for headers and record headers
// that are built in memory and written in one call.
inline void store_le_int16(uint8_t* buffer, size_t offset, int16_t value) {
    byte_order_detail::store(buffer, offset, value, true);
}
inline void store_be_int32(uint8_t* buffer, size_t offset, int32_t value) {
    byte_order_detail::store(buffer, offset, value, false);
}
inline void store_le_int32(uint8_t* buffer, size_t offset, int32_t value) {
    byte_order_detail::store(buffer, offset, value, true);
}
inline void store_le_double(uint8_t* buffer, size_t offset, double value) {
    byte_order_detail::store(buffer, offset, value, true);
}

#endif
