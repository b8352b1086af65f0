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

int16_t load_le_int16(const uint8_t* buffer, size_t offset) {
    int16_t value;
    copy_in_order(&value, buffer + offset, sizeof value, FileOrder::kLittleEndian);
    return value;
}

int32_t load_be_int32(const uint8_t* buffer, size_t offset) {
    int32_t value;
    copy_in_order(&value, buffer + offset, sizeof value, FileOrder::kBigEndian);
    return value;
}

int32_t load_le_int32(const uint8_t* buffer, size_t offset) {
    int32_t value;
    copy_in_order(&value, buffer + offset, sizeof value, FileOrder::kLittleEndian);
    return value;
}

double load_le_double(const uint8_t* buffer, size_t offset) {
    double value;
    copy_in_order(&value, buffer + offset, sizeof value, FileOrder::kLittleEndian);
    return value;
}

void store_le_int16(uint8_t* buffer, size_t offset, int16_t value) {
    copy_in_order(buffer + offset, &value, sizeof value, FileOrder::kLittleEndian);
}

void store_be_int32(uint8_t* buffer, size_t offset, int32_t value) {
    copy_in_order(buffer + offset, &value, sizeof value, FileOrder::kBigEndian);
}

void store_le_int32(uint8_t* buffer, size_t offset, int32_t value) {
    copy_in_order(buffer + offset, &value, sizeof value, FileOrder::kLittleEndian);
}

void store_le_double(uint8_t* buffer, size_t offset, double value) {
    copy_in_order(buffer + offset, &value, sizeof value, FileOrder::kLittleEndian);
}

// One read of the whole width; a short read yields a zero-filled buffer, so
// the value is 0 whatever part of it was there.
static bool read_exactly(FILE* stream, uint8_t* bytes, size_t width) {
    if (std::fread(bytes, width, 1, stream) == 1) {
        return true;
    }
    std::memset(bytes, 0, width);
    return false;
}

int16_t read_le_int16(FILE* stream) {
    uint8_t bytes[2];
    read_exactly(stream, bytes, sizeof bytes);
    return load_le_int16(bytes, 0);
}

int32_t read_be_int32(FILE* stream) {
    uint8_t bytes[4];
    read_exactly(stream, bytes, sizeof bytes);
    return load_be_int32(bytes, 0);
}

int32_t read_le_int32(FILE* stream) {
    uint8_t bytes[4];
    read_exactly(stream, bytes, sizeof bytes);
    return load_le_int32(bytes, 0);
}

double read_le_double(FILE* stream) {
    uint8_t bytes[8];
    read_exactly(stream, bytes, sizeof bytes);
    return load_le_double(bytes, 0);
}

bool write_le_int16(int16_t value, FILE* stream) {
    uint8_t bytes[2];
    store_le_int16(bytes, 0, value);
    return std::fwrite(bytes, sizeof bytes, 1, stream) == 1;
}

bool write_be_int32(int32_t value, FILE* stream) {
    uint8_t bytes[4];
    store_be_int32(bytes, 0, value);
    return std::fwrite(bytes, sizeof bytes, 1, stream) == 1;
}

bool write_le_int32(int32_t value, FILE* stream) {
    uint8_t bytes[4];
    store_le_int32(bytes, 0, value);
    return std::fwrite(bytes, sizeof bytes, 1, stream) == 1;
}

bool write_le_double(double value, FILE* stream) {
    uint8_t bytes[8];
    store_le_double(bytes, 0, value);
    return std::fwrite(bytes, sizeof bytes, 1, stream) == 1;
}
