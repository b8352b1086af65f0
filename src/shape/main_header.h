// The 100-byte main header that both the .shp main file and the .shx index
// begin with: its in-memory form, reading it for an append, setting its final
// values, rewriting it in place and its dump text for the log.

#ifndef SPOOLMAP_SHAPE_MAIN_HEADER_H
#define SPOOLMAP_SHAPE_MAIN_HEADER_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "common/shape_format.h"

struct ShapeTally;

// Offsets and lengths in the files are 32-bit signed counts, so neither file
// of a set may grow past 2^31 - 1 bytes.
constexpr int64_t kMaxShapeFileBytes = INT32_MAX;

// Bounding ranges, one per axis. The file stores them in another order:
// xmin, ymin, xmax, ymax, zmin, zmax, mmin, mmax.
struct Extent {
    double xmin = 0.0, xmax = 0.0;
    double ymin = 0.0, ymax = 0.0;
    double zmin = 0.0, zmax = 0.0;
    double mmin = 0.0, mmax = 0.0;
};

struct ShapeFileHeader {
    int32_t file_code = 0;
    int32_t file_length = 0;  // 16-bit words, header included
    int32_t version = 0;
    int32_t shape_type = 0;
    Extent extent;
    // Bytes 4 to 23, which no field describes: zero in a new file, and kept
    // as read in an append so that rewriting the header leaves them as they
    // were.
    uint8_t reserved[kHeaderReservedBytes] = {};
};

// The 100 bytes of header, into bytes; and the header out of 100 bytes. The
// values are not checked: that is the caller's call.
void encode_main_header(const ShapeFileHeader& header, uint8_t* bytes);
void decode_main_header(const uint8_t* bytes, ShapeFileHeader& header);

// What an append finds wrong with the main header of an existing file.
enum class MainHeaderFault {
    kNone,
    kTooShort,       // the file ends before the 100 bytes of header
    kWrongFileCode,  // not 9994: not a shapefile
    kWrongLength,    // a length below the header, past the format's limit, or past the file
};

// Decodes the header of an existing file from its first count bytes, file_bytes
// being the whole file's size, and checks what an append relies on: a whole
// header, the file code, and a length the file holds. The header is filled
// whenever count covers it (also with a fault, for the message); with
// kTooShort it is left as it was. Any bytes, any sizes: it reads nothing past
// count.
MainHeaderFault decode_existing_main_header(const uint8_t* bytes, size_t count, int64_t file_bytes,
                                            ShapeFileHeader& header);

// Reads the header of an existing file at the stream's position (byte 0),
// leaving the stream 100 bytes further, and ends the run with the message of
// its fault, naming file_name.
void read_main_header(FILE* stream, const char* file_name, ShapeFileHeader& header);

// Rewrites the 100 bytes at the start of the file in one write; leaves the
// stream at 100. A failed seek or write ends the run naming file_name.
void write_main_header(FILE* stream, const char* file_name, const ShapeFileHeader& header);

// Final values of both headers: file code, version, shape_type, the lengths
// that tally's offset and record count give, and tally's extent.
void finish_main_headers(const ShapeTally& tally, int32_t shape_type, ShapeFileHeader& shp,
                         ShapeFileHeader& shx);

// The thirteen-line dump text, into the caller's buffer (replacing what it
// held). Ends the run if the buffer is too small.
void format_main_header(const ShapeFileHeader& header, char* text, size_t size);

#endif
