// The .dbf header (see dbf_header.h): a dBASE III file header of 32 bytes, a
// 32-byte descriptor per field and the terminator 0x0D. The writer builds each
// piece in a buffer and writes it in one call; the reader takes the whole
// descriptor area in one read and checks every length an append relies on
// before the run writes anything.

#include "dbf/dbf_header.h"

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>

#include "report/messages.h"
#include "shape/byte_order.h"
#include "text/text_append.h"

// File header layout.
constexpr int kVersionOffset = 0;
constexpr int kYearOffset = 1;
constexpr int kMonthOffset = 2;
constexpr int kDayOffset = 3;
constexpr int kRecordCountOffset = 4;
constexpr int kHeaderLengthOffset = kRecordCountOffset + 4;
constexpr int kRecordLengthOffset = kHeaderLengthOffset + 2;
constexpr int kWrittenHeaderBytes = kRecordLengthOffset + 2;  // 12: the rest is reserved
constexpr int kReservedBytes = kDbfFileHeaderBytes - kWrittenHeaderBytes;

// Field descriptor layout.
constexpr int kTypeOffset = kDbfNameAreaBytes;  // 11
constexpr int kLengthOffset = 16;
constexpr int kDecimalsOffset = 17;

void allocate_field_table(FieldTable& fields, int32_t capacity) {
    // calloc of zero entries may give null: ask for one so that null always
    // means failure.
    size_t entries = capacity > 0 ? static_cast<size_t>(capacity) : 1;
    fields.field_count = 0;
    fields.capacity = capacity;
    fields.fnam = static_cast<char**>(std::calloc(entries, sizeof(char*)));
    if (fields.fnam == nullptr) {
        fatal_error("Memory allocation for fnam array failed.");
    }
    fields.ftyp = static_cast<char*>(std::calloc(entries, sizeof(char)));
    if (fields.ftyp == nullptr) {
        fatal_error("Memory allocation for ftyp array failed.");
    }
    fields.flen = static_cast<int32_t*>(std::calloc(entries, sizeof(int32_t)));
    if (fields.flen == nullptr) {
        fatal_error("Memory allocation for flen array failed.");
    }
    fields.fdec = static_cast<int32_t*>(std::calloc(entries, sizeof(int32_t)));
    if (fields.fdec == nullptr) {
        fatal_error("Memory allocation for fdec array failed.");
    }
    fields.column_name = static_cast<char**>(std::calloc(entries, sizeof(char*)));
    if (fields.column_name == nullptr) {
        fatal_error("Memory allocation for column name array failed.");
    }
}

void free_field_table(FieldTable& fields) {
    for (int32_t i = 0; i < fields.field_count; ++i) {
        if (fields.fnam != nullptr) {
            std::free(fields.fnam[i]);
        }
        if (fields.column_name != nullptr) {
            std::free(fields.column_name[i]);
        }
    }
    std::free(fields.fnam);
    std::free(fields.column_name);
    std::free(fields.ftyp);
    std::free(fields.flen);
    std::free(fields.fdec);
    fields = FieldTable{};
}

static void write_bytes(FILE* stream, const char* file_name, const void* bytes, size_t count) {
    if (std::fwrite(bytes, 1, count, stream) != count) {
        fatal_error("Write failed for file %s.", file_name);
    }
}

static void seek_or_fail(FILE* stream, const char* file_name, long offset, int whence) {
    if (std::fseek(stream, offset, whence) != 0) {
        fatal_error("Seek failed for file %s.", file_name);
    }
}

void write_dbf_header(FILE* stream, const char* file_name, const DbfHeader& header,
                      const FieldTable& fields) {
    seek_or_fail(stream, file_name, 0, SEEK_SET);
    uint8_t head[kWrittenHeaderBytes] = {};
    head[kVersionOffset] = static_cast<uint8_t>(header.file_code);
    head[kYearOffset] = static_cast<uint8_t>(header.year);
    head[kMonthOffset] = static_cast<uint8_t>(header.month);
    head[kDayOffset] = static_cast<uint8_t>(header.day);
    store_le_int32(head, kRecordCountOffset, header.record_count);
    store_le_int16(head, kHeaderLengthOffset, header.header_length);
    store_le_int16(head, kRecordLengthOffset, header.record_length);
    write_bytes(stream, file_name, head, sizeof head);
    // The reserved bytes keep what an appended file holds there (zeros in a
    // new one, where the seek leaves a gap).
    seek_or_fail(stream, file_name, kReservedBytes, SEEK_CUR);

    for (int32_t i = 0; i < fields.field_count; ++i) {
        uint8_t descriptor[kDbfDescriptorBytes] = {};
        // The catalogue makes names of at most 10 characters; a name read
        // from another writer's file may fill the whole 11-byte name area and
        // is written back as it was. Nothing goes past the name area.
        size_t name_length = strnlen(fields.fnam[i], kDbfNameAreaBytes);
        std::memcpy(descriptor, fields.fnam[i], name_length);
        descriptor[kTypeOffset] = static_cast<uint8_t>(fields.ftyp[i]);
        descriptor[kLengthOffset] = static_cast<uint8_t>(fields.flen[i]);
        descriptor[kDecimalsOffset] = static_cast<uint8_t>(fields.fdec[i]);
        write_bytes(stream, file_name, descriptor, sizeof descriptor);
    }
    uint8_t terminator = kDbfHeaderTerminator;
    write_bytes(stream, file_name, &terminator, 1);
}

// The file's size in bytes, or -1 when the system cannot tell.
static long long stream_size(FILE* stream) {
    struct stat status;
    if (fstat(fileno(stream), &status) != 0) {
        return -1;
    }
    return static_cast<long long>(status.st_size);
}

// Fills one field from its 32-byte descriptor. The name is taken up to the
// first zero byte but never beyond the 11-byte name area, which other writers
// do not always end with a zero.
static void take_descriptor(const uint8_t* descriptor, int32_t i, FieldTable& fields) {
    size_t name_length = strnlen(reinterpret_cast<const char*>(descriptor), kDbfNameAreaBytes);
    char* name = static_cast<char*>(std::malloc(name_length + 1));
    if (name == nullptr) {
        fatal_error("Memory allocation for fnam array failed.");
    }
    std::memcpy(name, descriptor, name_length);
    name[name_length] = '\0';
    fields.fnam[i] = name;
    fields.ftyp[i] = static_cast<char>(descriptor[kTypeOffset]);
    fields.flen[i] = descriptor[kLengthOffset];
    fields.fdec[i] = descriptor[kDecimalsOffset];
    fields.field_count = i + 1;
}

void read_dbf_header(FILE* stream, const char* file_name, DbfHeader& header, FieldTable& fields) {
    long long file_bytes = stream_size(stream);
    uint8_t head[kDbfFileHeaderBytes];
    if (std::fread(head, 1, sizeof head, stream) != sizeof head) {
        fatal_error("The .dbf file %s is shorter than its %d-byte header; append refused.",
                    file_name, kDbfFileHeaderBytes);
    }
    // Read unsigned, as other writers may fill them, so that a value past
    // the signed range is named as it stands in the file.
    uint32_t record_count = static_cast<uint32_t>(load_le_int32(head, kRecordCountOffset));
    int32_t header_length = static_cast<uint16_t>(load_le_int16(head, kHeaderLengthOffset));
    int32_t record_length = static_cast<uint16_t>(load_le_int16(head, kRecordLengthOffset));
    if (record_count > static_cast<uint32_t>(INT32_MAX)) {
        fatal_error("The .dbf file %s has a damaged header: its record count %u is beyond %d.",
                    file_name, record_count, INT32_MAX);
    }
    if (header_length > kDbfMaxLength || record_length > kDbfMaxLength) {
        fatal_error(
            "The .dbf file %s has a damaged header: header length %d or record length %d is "
            "beyond %d.",
            file_name, header_length, record_length, kDbfMaxLength);
    }
    if (header_length < dbf_header_length(0)) {
        fatal_error("The .dbf file %s has a damaged header: header length %d is below %d.",
                    file_name, header_length, dbf_header_length(0));
    }
    long long data_end = static_cast<long long>(header_length) +
                         static_cast<long long>(record_length) * record_count;
    if (file_bytes >= 0 && file_bytes < data_end) {
        fatal_error(
            "The .dbf file %s is shorter (%lld bytes) than its header and %u records of %d bytes "
            "say (%lld bytes); append refused.",
            file_name, file_bytes, record_count, record_length, data_end);
    }

    header.file_code = head[kVersionOffset];
    header.year = head[kYearOffset];
    header.month = head[kMonthOffset];
    header.day = head[kDayOffset];
    header.record_count = static_cast<int32_t>(record_count);
    header.header_length = static_cast<int16_t>(header_length);
    header.record_length = static_cast<int16_t>(record_length);

    int32_t field_count = (header_length - 1) / kDbfDescriptorBytes - 1;
    allocate_field_table(fields, field_count);
    size_t area_bytes = static_cast<size_t>(field_count) * kDbfDescriptorBytes + 1;
    uint8_t* area = static_cast<uint8_t*>(std::malloc(area_bytes));
    if (area == nullptr) {
        fatal_error("Memory allocation for the .dbf field descriptors failed.");
    }
    // A short read leaves the terminator test to fail; the size test above
    // has already ruled it out for a file that is as long as its header.
    size_t got = std::fread(area, 1, area_bytes, stream);
    if (got != area_bytes || area[area_bytes - 1] != kDbfHeaderTerminator) {
        std::free(area);
        fatal_error("Out of synch error reading .dbf header.");
    }
    int32_t field_bytes = 0;
    for (int32_t i = 0; i < field_count; ++i) {
        take_descriptor(area + static_cast<size_t>(i) * kDbfDescriptorBytes, i, fields);
        field_bytes += fields.flen[i];
    }
    std::free(area);

    for (int32_t i = 0; i < field_count; ++i) {
        if (fields.flen[i] == 0) {
            fatal_error("The .dbf file %s has a damaged header: field '%s' has length 0.",
                        file_name, fields.fnam[i]);
        }
    }
    if (record_length != 1 + field_bytes) {
        fatal_error(
            "The .dbf file %s has a damaged header: record length %d is not 1 plus the %d bytes "
            "of its fields.",
            file_name, record_length, field_bytes);
    }
}

// Room kept at the end of the dump for the line that counts the field lines
// left out.
constexpr size_t kDumpTailBytes = 64;

void dbf_header_dump(const DbfHeader& header, const FieldTable& fields, char* text, size_t size) {
    text[0] = '\0';
    append_or_fail(text, size, ".dbf header dump",
                   "File code                  = %i\n"
                   "Year                       = %i\n"
                   "Month                      = %i\n"
                   "Day                        = %i\n"
                   "Number of records          = %i\n"
                   "Number of bytes in header  = %hi\n"
                   "Number of bytes in record  = %hi\n"
                   "Number of fields           = %i\n\n",
                   header.file_code, header.year, header.month, header.day, header.record_count,
                   header.header_length, header.record_length, fields.field_count);
    append_or_fail(text, size, ".dbf header dump", " %5s %15s %7s %7s %7s\n\n", "Field", "fnam",
                   "ftyp", "flen", "fdec");
    size_t lines_size = size > kDumpTailBytes ? size - kDumpTailBytes : 0;
    for (int32_t i = 0; i < fields.field_count; ++i) {
        // fdec in octal, as the dump has always shown it: 255 reads 377.
        if (!append_text(text, lines_size, " %5i %15s %7c %7i %7o\n", i + 1, fields.fnam[i],
                         fields.ftyp[i], fields.flen[i], static_cast<unsigned>(fields.fdec[i]))) {
            append_or_fail(text, size, ".dbf header dump", "... %i more field(s) not shown.\n",
                           fields.field_count - i);
            return;
        }
    }
}
