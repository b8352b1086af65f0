// Shape records and index entries: for every row the run writes, one record
// appended to the .shp main file, one entry to the .shx index, and the shape's
// bounds merged into the main headers' extent. The shape bytes arrive in the
// shapefile's record-content layout and are written unchanged; only the type,
// counts and bounds are read out of them, never past the buffer's length.

#ifndef SPOOLMAP_SHAPE_SHAPE_RECORD_H
#define SPOOLMAP_SHAPE_SHAPE_RECORD_H

#include <cstdint>

#include "shape/main_header.h"
#include "shape/shape_layout.h"

struct RunState;
struct FileSet;

constexpr int kRecordHeaderBytes = 4 + 4;  // record number, content length
constexpr int kIndexEntryBytes = 4 + 4;    // offset, content length

// Appends the .shx entry and the .shp record of the next record number at the
// streams' positions, advances record_number and shp_offset, and merges the
// bounds of a non-null shape into the .shp header's extent, which the .shx
// header's then copies. Before writing anything it checks the shape against
// its type's layout and both files against the format's 2 GB limit; a shape
// that fails ends the run naming the record number, with nothing of it
// written. A failed write ends the run naming the file.
void write_shape_record(RunState& run, FileSet& files, const ShapeBuffer& shape);

// Merges one shape's bounds into extent: replaces it when first is set,
// otherwise widens it. The comparisons are strict, so an equal bound changes
// nothing; a NaN never replaces a bound, and a NaN bound gives way to the
// first number that comes.
void merge_extent(Extent& extent, const Extent& shape, bool first);

#endif
