// Byte order, for spoolmap's files and its client library's geometry
// converter alike. A shapefile set mixes big-endian and little-endian
// numbers; the geometries a database holds come in either order. Every
// multi-byte number goes through these functions, over byte buffers that are
// then written or were read in one call. The host's order is the compiler's;
// a value is reversed only when it differs from the buffer's. memcpy, so
// nothing needs aligned bytes.

#ifndef COMMON_BYTE_ORDER_H
#define COMMON_BYTE_ORDER_H

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace byte_order {

constexpr bool kHostBigEndian = __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__;
static_assert(kHostBigEndian || __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "a host of one byte order or the other");

inline uint16_t reversed(uint16_t bits) {
    return __builtin_bswap16(bits);
}
inline uint32_t reversed(uint32_t bits) {
    return __builtin_bswap32(bits);
}
inline uint64_t reversed(uint64_t bits) {
    return __builtin_bswap64(bits);
}

// The unsigned integer of a value's width.
template <size_t kBytes>
struct BitsOf;
template <>
struct BitsOf<2> {
    using type = uint16_t;
};
template <>
struct BitsOf<4> {
    using type = uint32_t;
};
template <>
struct BitsOf<8> {
    using type = uint64_t;
};

// The value of type T at at, its bytes reversed when kReverse: for the inner
// loops that know the order once per run of values.
template <typename T, bool kReverse>
inline T load_reversed(const uint8_t* at) {
    typename BitsOf<sizeof(T)>::type bits;
    std::memcpy(&bits, at, sizeof bits);
    if (kReverse) {
        bits = reversed(bits);
    }
    T value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// The value of type T at at, stored big-endian or little-endian.
template <typename T>
inline T load(const uint8_t* at, bool big_endian) {
    return big_endian != kHostBigEndian ? load_reversed<T, true>(at) : load_reversed<T, false>(at);
}

// Stores value at at, big-endian or little-endian.
template <typename T>
inline void store(uint8_t* at, T value, bool big_endian) {
    typename BitsOf<sizeof(T)>::type bits;
    std::memcpy(&bits, &value, sizeof bits);
    if (big_endian != kHostBigEndian) {
        bits = reversed(bits);
    }
    std::memcpy(at, &bits, sizeof bits);
}

}  // namespace byte_order

// The shapefile's numbers by name, at a byte offset into a buffer whose
// bytes the caller has checked are there.
inline int16_t load_le_int16(const uint8_t* buffer, size_t offset) {
    return byte_order::load<int16_t>(buffer + offset, false);
}
inline int32_t load_be_int32(const uint8_t* buffer, size_t offset) {
    return byte_order::load<int32_t>(buffer + offset, true);
}
inline int32_t load_le_int32(const uint8_t* buffer, size_t offset) {
    return byte_order::load<int32_t>(buffer + offset, false);
}
inline double load_le_double(const uint8_t* buffer, size_t offset) {
    return byte_order::load<double>(buffer + offset, false);
}
inline void store_le_int16(uint8_t* buffer, size_t offset, int16_t value) {
    byte_order::store(buffer + offset, value, false);
}
inline void store_be_int32(uint8_t* buffer, size_t offset, int32_t value) {
    byte_order::store(buffer + offset, value, true);
}
inline void store_le_int32(uint8_t* buffer, size_t offset, int32_t value) {
    byte_order::store(buffer + offset, value, false);
}
inline void store_le_double(uint8_t* buffer, size_t offset, double value) {
    byte_order::store(buffer + offset, value, false);
}

#endif
