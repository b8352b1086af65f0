// Binary values as the server sends them, made cells (binary_values.cpp),
// and the big-endian integers of the server's binary formats.

#ifndef OSTREL_POSTGRES_BINARY_VALUES_H
#define OSTREL_POSTGRES_BINARY_VALUES_H

#include <cstdint>
#include <string>

#include "engine/engine.h"

// How one column's binary value becomes a cell.
enum class Decoder : uint8_t {
    kBoolean,
    kInt16,
    kInt32,
    kInt64,
    kOid,
    kFloat32,
    kFloat64,
    kNumeric,
    kDate,
    kMoney,
    kText,
    kPaddedText,  // char(n): the blanks that pad it are not part of the value
    kBytes,
    kCastToText,  // no binary decoder: the statement asks for its text form
};

// Big-endian integers of the server's binary formats.
inline uint16_t read_be16(const char* p) {
    const unsigned char* u = reinterpret_cast<const unsigned char*>(p);
    return static_cast<uint16_t>(u[0] << 8 | u[1]);
}
inline uint32_t read_be32(const char* p) {
    return static_cast<uint32_t>(read_be16(p)) << 16 | read_be16(p + 2);
}
inline uint64_t read_be64(const char* p) {
    return static_cast<uint64_t>(read_be32(p)) << 32 | read_be32(p + 4);
}

// One binary value as a cell; text holds whatever text the cell points to.
// False when the bytes are not a value of the type.
bool decode_value(Decoder decoder, const char* bytes, int length, int money_scale,
                  std::string& text, Cell* cell);

#endif
