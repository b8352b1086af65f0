// The 100-byte main header that both the .shp main file and the .shx index
// begin with: its in-memory form, reading it for an append, setting its final
// values, rewriting it in place and its dump text for the log.

#ifndef SPOOLMAP_SHAPE_MAIN_HEADER_H
#define SPOOLMAP_SHAPE_MAIN_HEADER_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

struct RunState;

constexpr int kMainHeaderBytes = 100;
constexpr int32_t kShapeFileCode = 9994;
constexpr int32_t kShapeFileVersion = 1000;

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
};

// Reads a header from the stream's position. Returns false when the stream
// ends before all 100 bytes (the header is then not to be trusted).
bool read_main_header(FILE* stream, ShapeFileHeader& header);

// Rewrites the 100 bytes at the start of the file; leaves the stream at 100.
void write_main_header(FILE* stream, const ShapeFileHeader& header);

// Final values of both headers from the run's shape type, shp_offset and
// record_number.
void finish_main_headers(RunState& run);

// The thirteen-line dump text, into the caller's buffer.
void format_main_header(const ShapeFileHeader& header, char* text, size_t size);

#endif
