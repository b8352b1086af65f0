// Shape records and index entries: for every row the run writes, the frame of
// one .shp record and its .shx index entry, and the shape's bounds merged into
// the extent of the set. The shape bytes arrive in the shapefile's
// record-content layout and go into the record unchanged; only the type,
// counts and bounds are read out of them, never past the buffer's length.
// Nothing here touches a file: the run writes the frame and the shape.

#ifndef SPOOLMAP_SHAPE_SHAPE_RECORD_H
#define SPOOLMAP_SHAPE_SHAPE_RECORD_H

#include <cstdint>

#include "shape/main_header.h"
#include "shape/shape_layout.h"

// What the records of a .shp/.shx pair add up to as they are written; an
// append starts it from the existing headers.
struct ShapeTally {
    int32_t shp_offset = 0;     // bytes: where the next .shp record starts
    int32_t record_number = 0;  // the last record written, from 1
    // Whether a non-null shape has set the extent yet: the first one sets it,
    // later ones widen it, so an extent never covers the origin by accident.
    bool extent_set = false;
    Extent extent;
};

// The bytes around one record's content: its .shx index entry (offset and
// content length in 16-bit words) and its .shp record header (record number
// and content length), every number big-endian.
struct ShapeRecordFrame {
    uint8_t index_entry[kIndexEntryBytes];
    uint8_t record_header[kRecordHeaderBytes];
};

// Frames the next record of shape: fills frame for record number
// tally.record_number + 1 at tally.shp_offset, advances both by the record,
// and merges the bounds of a non-null shape into tally.extent. The caller
// appends frame.index_entry to the .shx, then frame.record_header and the
// shape's bytes to the .shp. Before anything changes it checks the shape
// against its type's layout and both files against the format's 2 GB limit;
// a shape that fails ends the run naming the record number (and for the
// limit the file, by shp_name or shx_name), with the tally as it was.
void write_shape_record(ShapeTally& tally, const ShapeBuffer& shape, const char* shp_name,
                        const char* shx_name, ShapeRecordFrame& frame);

// Merges one shape's bounds into extent: replaces it when first is set,
// otherwise widens it. The comparisons are strict, so an equal bound changes
// nothing; a NaN never replaces a bound, and a NaN bound gives way to the
// first number that comes. An M bound of no data (is_no_data_measure) is no
// measure: it never widens a range, and gives way to the first measure.
void merge_extent(Extent& extent, const Extent& shape, bool first);

#endif
