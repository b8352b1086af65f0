// Byte order. A shapefile set mixes big-endian and little-endian numbers; every
// multi-byte number spoolmap reads from or writes to .shp, .shx and .dbf goes
// through one of these functions. The host's order is tested once at start-up.

#ifndef SPOOLMAP_SHAPE_BYTE_ORDER_H
#define SPOOLMAP_SHAPE_BYTE_ORDER_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

// 1 when the host stores the least significant byte first; set once by
// detect_host_byte_order before any file is opened. Until then it holds the
// order the compiler was built for, so code run without the start-up step
// (tests, tools) still converts correctly.
extern int16_t host_little_endian;
void detect_host_byte_order();

// Reverse 2, 4 or 8 bytes in place; reversing twice restores them.
void swap2(void* bytes);
void swap4(void* bytes);
void swap8(void* bytes);

// Stream readers: one read of the width. When fewer bytes than the width
// remain they return 0, having consumed what was there, and leave the
// stream's end-of-file indicator set for the caller to test.
int16_t read_le_int16(FILE* stream);
int32_t read_be_int32(FILE* stream);
int32_t read_le_int32(FILE* stream);
double read_le_double(FILE* stream);

// Stream writers: one write of the width. False when the write failed.
bool write_le_int16(int16_t value, FILE* stream);
bool write_be_int32(int32_t value, FILE* stream);
bool write_le_int32(int32_t value, FILE* stream);
bool write_le_double(double value, FILE* stream);

// Values out of a byte buffer at a byte offset, aligned or not. The caller
// has made sure the bytes lie inside the buffer.
int16_t load_le_int16(const uint8_t* buffer, size_t offset);
int32_t load_be_int32(const uint8_t* buffer, size_t offset);
int32_t load_le_int32(const uint8_t* buffer, size_t offset);
double load_le_double(const uint8_t* buffer, size_t offset);

// Values into a byte buffer at a byte offset, for headers and record headers
// that are built in memory and written in one call.
void store_le_int16(uint8_t* buffer, size_t offset, int16_t value);
void store_be_int32(uint8_t* buffer, size_t offset, int32_t value);
void store_le_int32(uint8_t* buffer, size_t offset, int32_t value);
void store_le_double(uint8_t* buffer, size_t offset, double value);

#endif
