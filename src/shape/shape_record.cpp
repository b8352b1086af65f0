// Framing one record of the .shp main file and its .shx index entry, and
// keeping the bounding box. The shape is checked in full before its frame is
// made: a damaged record, or one whose offset would not fit the format's
// 32-bit fields, is never framed, so the run never writes it.

#include "shape/shape_record.h"

#include <cassert>
#include <cmath>

#include "common/byte_order.h"
#include "report/messages.h"

// Ends the run before a record that would take the .shp or the .shx past
// 2^31 - 1 bytes, where their 32-bit word offsets and lengths would wrap.
static void check_size_limit(const ShapeTally& tally, const ShapeBuffer& shape,
                             const char* shp_name, const char* shx_name) {
    int64_t record = static_cast<int64_t>(tally.record_number) + 1;
    int64_t shp_end = static_cast<int64_t>(tally.shp_offset) + kRecordHeaderBytes + shape.length;
    int64_t shx_end = kMainHeaderBytes + kIndexEntryBytes * record;
    const char* full_file = nullptr;
    if (shp_end > kMaxShapeFileBytes) {
        full_file = shp_name;
    } else if (shx_end > kMaxShapeFileBytes) {
        full_file = shx_name;
    }
    if (full_file != nullptr) {
        fatal_error(
            "Record %lld would take the file set past the shapefile format's 2 GB limit (%s "
            "would pass %lld bytes). A -w filter can split the table into several file sets.",
            static_cast<long long>(record), full_file, static_cast<long long>(kMaxShapeFileBytes));
    }
}

void write_shape_record(ShapeTally& tally, const ShapeBuffer& shape, const char* shp_name,
                        const char* shx_name, ShapeRecordFrame& frame) {
    ShapeLayout layout;
    char problem[kShapeProblemBytes];
    if (!validate_shape(shape, layout, problem, sizeof problem)) {
        fatal_error("%s Record %lld is not written.", problem,
                    static_cast<long long>(tally.record_number) + 1);
    }
    check_size_limit(tally, shape, shp_name, shx_name);
    assert(tally.shp_offset >= kMainHeaderBytes && tally.shp_offset % 2 == 0);

    // Every layout is a whole number of 16-bit words; validate_shape has held
    // the buffer to its layout's length.
    int32_t content_words = shape.length / 2;
    int32_t record_number = tally.record_number + 1;
    store_be_int32(frame.index_entry, 0, tally.shp_offset / 2);
    store_be_int32(frame.index_entry, 4, content_words);
    store_be_int32(frame.record_header, 0, record_number);
    store_be_int32(frame.record_header, 4, content_words);

    tally.record_number = record_number;
    tally.shp_offset += kRecordHeaderBytes + shape.length;

    if (layout.type == kNullShapeType) {
        return;  // a null shape has no bounds
    }
    // The layout is checked already: read the bounds from it rather than
    // measuring the shape again in each of the eight accessors.
    merge_extent(tally.extent, shape_bounds(shape, layout), !tally.extent_set);
    tally.extent_set = true;
}

static void lower_to(double& bound, double value) {
    if (value < bound || (std::isnan(bound) && !std::isnan(value))) {
        bound = value;
    }
}

static void raise_to(double& bound, double value) {
    if (value > bound || (std::isnan(bound) && !std::isnan(value))) {
        bound = value;
    }
}

// An M bound of no data stands for no measure at all: it gives way to the
// first measure that comes and never lowers or raises a range.
static void merge_measure(double& bound, double value, void (*merge)(double&, double)) {
    if (is_no_data_measure(value)) {
        return;
    }
    if (is_no_data_measure(bound)) {
        bound = value;
        return;
    }
    merge(bound, value);
}

void merge_extent(Extent& extent, const Extent& shape, bool first) {
    if (first) {
        extent = shape;
        return;
    }
    lower_to(extent.xmin, shape.xmin);
    lower_to(extent.ymin, shape.ymin);
    lower_to(extent.zmin, shape.zmin);
    merge_measure(extent.mmin, shape.mmin, lower_to);
    raise_to(extent.xmax, shape.xmax);
    raise_to(extent.ymax, shape.ymax);
    raise_to(extent.zmax, shape.zmax);
    merge_measure(extent.mmax, shape.mmax, raise_to);
}
