// Byte order: the host test, the in-place reversers, and the typed loads,
// stores, stream readers and writers built on them. Values travel through a
// byte buffer with memcpy, so nothing here needs aligned input, and a value is
// reversed only when the host's order differs from the file's.

#include "shape/byte_order.h"

#include <cstring>

int16_t host_little_endian = (__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__) ? 1 : 0;

// Stores 0 in a 16-bit integer and sets the byte at its higher address: the
// integer then reads 256 on a little-endian host and 1 on a big-endian one.
void detect_host_byte_order() {
    int16_t probe = 0;
    unsigned char bytes[sizeof probe];
    std::memcpy(bytes, &probe, sizeof probe);
    bytes[1] = 1;
    std::memcpy(&probe, bytes, sizeof probe);
    host_little_endian = static_cast<int16_t>(1 - (probe & 1));
}

static void reverse_bytes(void* bytes, size_t width) {
    unsigned char copy[8];
    std::memcpy(copy, bytes, width);
    unsigned char* target = static_cast<unsigned char*>(bytes);
    for (size_t i = 0; i < width; ++i) {
        target[width - 1 - i] = copy[i];
    }
}

void swap2(void* bytes) {
    reverse_bytes(bytes, 2);
}
void swap4(void* bytes) {
    reverse_bytes(bytes, 4);
}
void swap8(void* bytes) {
    reverse_bytes(bytes, 8);
}

enum class FileOrder { kLittleEndian, kBigEndian };

static bool differs_from_host(FileOrder order) {
    return (order == FileOrder::kLittleEndian) != (host_little_endian != 0);
}

// Copies width bytes from source to target, reversing them when the file's
// order is not the host's: the same step turns file bytes into a value and a
// value into file bytes.
static void copy_in_order(void* target, const void* source, size_t width, FileOrder order) {
    std::memcpy(target, source, width);
    if (differs_from_host(order)) {
        reverse_bytes(target, width);
    }
}

// A value of type T out of file bytes, and into them.
template <typename T>
static T load_in_order(const uint8_t* buffer, size_t offset, FileOrder order) {
    T value;
    copy_in_order(&value, buffer + offset, sizeof value, order);
    return value;
}

template <typename T>
static void store_in_order(uint8_t* buffer, size_t offset, T value, FileOrder order) {
    copy_in_order(buffer + offset, &value, sizeof value, order);
}

// One read of the whole width; a short read yields a zero-filled buffer, so
// the value is 0 whatever part of it was there.
template <typename T>
static T read_in_order(FILE* stream, FileOrder order) {
    uint8_t bytes[sizeof(T)];
    if (std::fread(bytes, sizeof bytes, 1, stream) != 1) {
        std::memset(bytes, 0, sizeof bytes);
    }
    return load_in_order<T>(bytes, 0, order);
}

// One write of the whole width.
template <typename T>
static bool write_in_order(T value, FILE* stream, FileOrder order) {
    uint8_t bytes[sizeof(T)];
    store_in_order(bytes, 0, value, order);
    return std::fwrite(bytes, sizeof bytes, 1, stream) == 1;
}

constexpr FileOrder kLittle = FileOrder::kLittleEndian;
constexpr FileOrder kBig = FileOrder::kBigEndian;

int16_t load_le_int16(const uint8_t* buffer, size_t offset) {
    return load_in_order<int16_t>(buffer, offset, kLittle);
}
int32_t load_be_int32(const uint8_t* buffer, size_t offset) {
    return load_in_order<int32_t>(buffer, offset, kBig);
}
int32_t load_le_int32(const uint8_t* buffer, size_t offset) {
    return load_in_order<int32_t>(buffer, offset, kLittle);
}
double load_le_double(const uint8_t* buffer, size_t offset) {
    return load_in_order<double>(buffer, offset, kLittle);
}

void store_le_int16(uint8_t* buffer, size_t offset, int16_t value) {
    store_in_order(buffer, offset, value, kLittle);
}
void store_be_int32(uint8_t* buffer, size_t offset, int32_t value) {
    store_in_order(buffer, offset, value, kBig);
}
void store_le_int32(uint8_t* buffer, size_t offset, int32_t value) {
    store_in_order(buffer, offset, value, kLittle);
}
void store_le_double(uint8_t* buffer, size_t offset, double value) {
    store_in_order(buffer, offset, value, kLittle);
}

int16_t read_le_int16(FILE* stream) {
    return read_in_order<int16_t>(stream, kLittle);
}
int32_t read_be_int32(FILE* stream) {
    return read_in_order<int32_t>(stream, kBig);
}
int32_t read_le_int32(FILE* stream) {
    return read_in_order<int32_t>(stream, kLittle);
}
double read_le_double(FILE* stream) {
    return read_in_order<double>(stream, kLittle);
}

bool write_le_int16(int16_t value, FILE* stream) {
    return write_in_order(value, stream, kLittle);
}
bool write_be_int32(int32_t value, FILE* stream) {
    return write_in_order(value, stream, kBig);
}
bool write_le_int32(int32_t value, FILE* stream) {
    return write_in_order(value, stream, kLittle);
}
bool write_le_double(double value, FILE* stream) {
    return write_in_order(value, stream, kLittle);
}
