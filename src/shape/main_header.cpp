// The shapefile main header. Both the .shp and the .shx carry one; the run
// reads them at the start of an append and writes them once, at the end,
// after every record: until then a new file has a zero-filled header area and
// an appended one still has its old header.

#include "shape/main_header.h"

#include <sys/stat.h>

#include <cassert>
#include <cerrno>
#include <cstring>
#include <initializer_list>

#include "common/byte_order.h"
#include "report/messages.h"
#include "shape/shape_record.h"
#include "text/text_append.h"

// The bounds in file order, each a pointer into an Extent.
static double Extent::*const kBoundsInFileOrder[8] = {
    &Extent::xmin, &Extent::ymin, &Extent::xmax, &Extent::ymax,
    &Extent::zmin, &Extent::zmax, &Extent::mmin, &Extent::mmax,
};

void encode_main_header(const ShapeFileHeader& header, uint8_t* bytes) {
    store_be_int32(bytes, kHeaderFileCodeOffset, header.file_code);
    std::memcpy(bytes + kHeaderReservedOffset, header.reserved, kHeaderReservedBytes);
    store_be_int32(bytes, kHeaderFileLengthOffset, header.file_length);
    store_le_int32(bytes, kHeaderVersionOffset, header.version);
    store_le_int32(bytes, kHeaderShapeTypeOffset, header.shape_type);
    for (int i = 0; i < 8; ++i) {
        store_le_double(bytes, kHeaderBoundsOffset + 8 * i, header.extent.*kBoundsInFileOrder[i]);
    }
}

void decode_main_header(const uint8_t* bytes, ShapeFileHeader& header) {
    header.file_code = load_be_int32(bytes, kHeaderFileCodeOffset);
    std::memcpy(header.reserved, bytes + kHeaderReservedOffset, kHeaderReservedBytes);
    header.file_length = load_be_int32(bytes, kHeaderFileLengthOffset);
    header.version = load_le_int32(bytes, kHeaderVersionOffset);
    header.shape_type = load_le_int32(bytes, kHeaderShapeTypeOffset);
    for (int i = 0; i < 8; ++i) {
        header.extent.*kBoundsInFileOrder[i] = load_le_double(bytes, kHeaderBoundsOffset + 8 * i);
    }
}

MainHeaderFault decode_existing_main_header(const uint8_t* bytes, size_t count, int64_t file_bytes,
                                            ShapeFileHeader& header) {
    if (count < static_cast<size_t>(kMainHeaderBytes)) {
        return MainHeaderFault::kTooShort;
    }
    decode_main_header(bytes, header);
    if (header.file_code != kShapeFileCode) {
        return MainHeaderFault::kWrongFileCode;
    }
    int64_t claimed = 2 * static_cast<int64_t>(header.file_length);
    if (claimed < kMainHeaderBytes || claimed > kMaxShapeFileBytes || file_bytes < claimed) {
        return MainHeaderFault::kWrongLength;
    }
    return MainHeaderFault::kNone;
}

void read_main_header(FILE* stream, const char* file_name, ShapeFileHeader& header) {
    uint8_t bytes[kMainHeaderBytes];
    errno = 0;
    size_t count = std::fread(bytes, 1, sizeof bytes, stream);
    struct stat status;
    if (std::ferror(stream) || fstat(fileno(stream), &status) != 0) {
        file_error("Read", file_name, errno);
    }
    switch (decode_existing_main_header(bytes, count, status.st_size, header)) {
        case MainHeaderFault::kNone:
            return;
        case MainHeaderFault::kTooShort:
            fatal_error("File %s is too short to hold a shapefile header.", file_name);
        case MainHeaderFault::kWrongFileCode:
            fatal_error("File %s is not a shapefile: its file code is %d, not %d.", file_name,
                        header.file_code, kShapeFileCode);
        case MainHeaderFault::kWrongLength:
            fatal_error("File %s is %lld bytes long but its header says %lld.", file_name,
                        static_cast<long long>(status.st_size),
                        2 * static_cast<long long>(header.file_length));
    }
}

void write_main_header(FILE* stream, const char* file_name, const ShapeFileHeader& header) {
    uint8_t bytes[kMainHeaderBytes];
    encode_main_header(header, bytes);
    if (std::fseek(stream, 0, SEEK_SET) != 0) {
        file_error("Seek", file_name, errno);
    }
    errno = 0;
    if (std::fwrite(bytes, sizeof bytes, 1, stream) != 1) {
        file_error("Write", file_name, errno);
    }
}

// The lengths are taken in 64 bits: write_shape_record refuses any record
// that would take either file past 2^31 - 1 bytes, so both fit the 32-bit
// field, which the asserts hold it to.
void finish_main_headers(const ShapeTally& tally, int32_t shape_type, ShapeFileHeader& shp,
                         ShapeFileHeader& shx) {
    int64_t shp_bytes = tally.shp_offset;
    int64_t shx_bytes =
        kMainHeaderBytes + static_cast<int64_t>(kIndexEntryBytes) * tally.record_number;
    assert(shp_bytes >= kMainHeaderBytes && shp_bytes <= kMaxShapeFileBytes);
    assert(shx_bytes <= kMaxShapeFileBytes);
    // A set of a type with measures but no shape yet (no rows, or only null
    // shapes) has no measures: its M range says so, as its records would.
    Extent extent = tally.extent;
    ShapeKind kind;
    if (!tally.extent_set && shape_kind_of(shape_type, kind) && kind.has_m) {
        extent.mmin = extent.mmax = kNoDataMeasure;
    }
    for (ShapeFileHeader* header : {&shp, &shx}) {
        header->file_code = kShapeFileCode;
        header->version = kShapeFileVersion;
        header->shape_type = shape_type;
        header->extent = extent;
    }
    shp.file_length = static_cast<int32_t>(shp_bytes / 2);
    shx.file_length = static_cast<int32_t>(shx_bytes / 2);
}

void format_main_header(const ShapeFileHeader& header, char* text, size_t size) {
    static const char* const kWhat = "header dump";
    static const char* const kBoundLabels[8] = {
        "Bounding box xmin          ", "Bounding box ymin          ", "Bounding box xmax          ",
        "Bounding box ymax          ", "Bounding box zmin          ", "Bounding box zmax          ",
        "Bounding box mmin          ", "Bounding box mmax          ",
    };
    assert(size > 0);
    text[0] = '\0';
    append_or_fail(text, size, kWhat, "File code                  = %i\n", header.file_code);
    append_or_fail(text, size, kWhat, "File length (16-bit words) = %i\n", header.file_length);
    append_or_fail(text, size, kWhat, "Version                    = %i\n", header.version);
    append_or_fail(text, size, kWhat, "Shape type                 = %i\n", header.shape_type);
    append_or_fail(text, size, kWhat, "\n");
    for (int i = 0; i < 8; ++i) {
        append_or_fail(text, size, kWhat, "%s= %f\n", kBoundLabels[i],
                       header.extent.*kBoundsInFileOrder[i]);
    }
}
