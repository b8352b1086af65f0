// Shape records and index entries: for every row the run writes, one record
// appended to the .shp main file, one entry to the .shx index, and the shape's
// bounds merged into the main headers' extent. The shape bytes arrive in the
// shapefile's record-content layout and are written unchanged; only the type,
// counts and bounds are read out of them, never past the buffer's length.

#ifndef SPOOLMAP_SHAPE_SHAPE_RECORD_H
#define SPOOLMAP_SHAPE_SHAPE_RECORD_H

#include <cstdint>

#include "shape/main_header.h"

struct RunState;
struct FileSet;

constexpr int kRecordHeaderBytes = 4 + 4;  // record number, content length
constexpr int kIndexEntryBytes = 4 + 4;    // offset, content length
constexpr int kNullShapeBytes = 4;         // the shape type 0 alone

// One geometry in record-content layout (all numbers little-endian).
struct ShapeBuffer {
    const uint8_t* bytes;
    int32_t length;
};

// The first 32-bit integer of the buffer; 0 for a buffer shorter than 4 bytes
// is never asked for: the run hands over at least the null shape.
int32_t shape_type_of(const ShapeBuffer& shape);

// Appends the .shx entry and the .shp record of the next record number and
// merges the shape's bounds. Before writing anything it checks the shape
// against its type's layout and the 2 GB limit of the format; a shape that
// fails ends the run naming the record number, with nothing of it written.
void write_shape_record(RunState& run, FileSet& files, const ShapeBuffer& shape);

// Merges one shape's bounds into extent: replaces it when first is set,
// otherwise widens it (strict comparisons; NaN never replaces a bound).
void merge_extent(Extent& extent, const Extent& shape, bool first);

#endif
