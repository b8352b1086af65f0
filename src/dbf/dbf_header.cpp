// The .dbf header (see dbf_header.h): a dBASE III file header of 32 bytes, a
// 32-byte descriptor per field and the terminator 0x0D. The writer builds each
// piece in a buffer and writes it in one call. The reader is a decoder over
// the header's bytes, which checks every length an append relies on before it
// allocates anything (so it can be fed any bytes), behind a thin reader that
// turns a fault into its message before the run writes anything.

#include "dbf/dbf_header.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "common/byte_order.h"
#include "report/inside_failures.h"
#include "report/messages.h"
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
constexpr int kLanguageDriverOffset = 29;  // inside the reserved bytes

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
        inside_failure(InsideFailure::kFieldNamesMemory);
    }
    fields.ftyp = static_cast<char*>(std::calloc(entries, sizeof(char)));
    if (fields.ftyp == nullptr) {
        inside_failure(InsideFailure::kFieldTypesMemory);
    }
    fields.flen = static_cast<int32_t*>(std::calloc(entries, sizeof(int32_t)));
    if (fields.flen == nullptr) {
        inside_failure(InsideFailure::kFieldWidthsMemory);
    }
    fields.fdec = static_cast<int32_t*>(std::calloc(entries, sizeof(int32_t)));
    if (fields.fdec == nullptr) {
        inside_failure(InsideFailure::kFieldDecimalsMemory);
    }
    fields.column_name = static_cast<char**>(std::calloc(entries, sizeof(char*)));
    if (fields.column_name == nullptr) {
        inside_failure(InsideFailure::kColumnNamesMemory);
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
    errno = 0;
    if (std::fwrite(bytes, 1, count, stream) != count) {
        file_error("Write", file_name, errno);
    }
}

static void seek_or_fail(FILE* stream, const char* file_name, long offset, int whence) {
    if (std::fseek(stream, offset, whence) != 0) {
        file_error("Seek", file_name, errno);
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

// Fills field i from its 32-byte descriptor. The name is taken up to the
// first zero byte but never beyond the 11-byte name area, which other writers
// do not always end with a zero.
static void take_descriptor(const uint8_t* descriptor, int32_t i, FieldTable& fields) {
    size_t name_length = strnlen(reinterpret_cast<const char*>(descriptor), kDbfNameAreaBytes);
    char* name = static_cast<char*>(std::malloc(name_length + 1));
    if (name == nullptr) {
        inside_failure(InsideFailure::kFieldNamesMemory);
    }
    std::memcpy(name, descriptor, name_length);
    name[name_length] = '\0';
    fields.fnam[i] = name;
    fields.ftyp[i] = static_cast<char>(descriptor[kTypeOffset]);
    fields.flen[i] = descriptor[kLengthOffset];
    fields.fdec[i] = descriptor[kDecimalsOffset];
    fields.field_count = i + 1;
}

// The checks of the file header's own values, in the order their messages
// have always come.
static DbfHeaderFault file_header_fault(const DbfHeaderCheck& check, int64_t file_bytes) {
    if (check.record_count > static_cast<uint32_t>(INT32_MAX)) {
        return DbfHeaderFault::kRecordCountTooLarge;
    }
    if (check.header_length > kDbfMaxLength || check.record_length > kDbfMaxLength) {
        return DbfHeaderFault::kLengthTooLarge;
    }
    if (check.header_length < dbf_header_length(0)) {
        return DbfHeaderFault::kHeaderLengthTooSmall;
    }
    if (file_bytes < check.data_end) {
        return DbfHeaderFault::kShorterThanRecords;
    }
    return DbfHeaderFault::kNone;
}

DbfHeaderCheck decode_dbf_header(const uint8_t* bytes, size_t count, int64_t file_bytes,
                                 DbfHeader& header, FieldTable& fields) {
    DbfHeaderCheck check;
    if (count < static_cast<size_t>(kDbfFileHeaderBytes)) {
        check.fault = DbfHeaderFault::kShorterThanFileHeader;
        return check;
    }
    check.record_count = static_cast<uint32_t>(load_le_int32(bytes, kRecordCountOffset));
    check.header_length = static_cast<uint16_t>(load_le_int16(bytes, kHeaderLengthOffset));
    check.record_length = static_cast<uint16_t>(load_le_int16(bytes, kRecordLengthOffset));
    check.data_end = check.header_length + static_cast<int64_t>(check.record_length) *
                                               static_cast<int64_t>(check.record_count);
    check.fault = file_header_fault(check, file_bytes);
    if (check.fault != DbfHeaderFault::kNone) {
        return check;
    }

    // The terminator test is what finds a header length that disagrees with
    // the descriptors by 32 bytes or more; padding of less than 32 bytes
    // after the terminator (other writers leave some) gives the same count.
    int32_t field_count = (check.header_length - 1) / kDbfDescriptorBytes - 1;
    size_t terminator_at = static_cast<size_t>(dbf_header_length(field_count)) - 1;
    if (terminator_at >= count || bytes[terminator_at] != kDbfHeaderTerminator) {
        check.fault = DbfHeaderFault::kOutOfSynch;
        return check;
    }
    const uint8_t* descriptors = bytes + kDbfFileHeaderBytes;
    for (int32_t i = 0; i < field_count; ++i) {
        const uint8_t* descriptor = descriptors + static_cast<size_t>(i) * kDbfDescriptorBytes;
        if (descriptor[kLengthOffset] == 0) {
            check.fault = DbfHeaderFault::kZeroLengthField;
            std::memcpy(check.field_name, descriptor,
                        strnlen(reinterpret_cast<const char*>(descriptor), kDbfNameAreaBytes));
            return check;
        }
        check.field_bytes += descriptor[kLengthOffset];
    }
    if (check.record_length != 1 + check.field_bytes) {
        check.fault = DbfHeaderFault::kRecordLengthMismatch;
        return check;
    }

    header.file_code = bytes[kVersionOffset];
    header.year = bytes[kYearOffset];
    header.month = bytes[kMonthOffset];
    header.day = bytes[kDayOffset];
    header.record_count = static_cast<int32_t>(check.record_count);
    header.header_length = static_cast<int16_t>(check.header_length);
    header.record_length = static_cast<int16_t>(check.record_length);
    header.language_driver = bytes[kLanguageDriverOffset];
    allocate_field_table(fields, field_count);
    for (int32_t i = 0; i < field_count; ++i) {
        take_descriptor(descriptors + static_cast<size_t>(i) * kDbfDescriptorBytes, i, fields);
    }
    return check;
}

// The message of each fault, as an append has always refused the file.
[[noreturn]] static void refuse_dbf_header(const DbfHeaderCheck& check, const char* file_name,
                                           int64_t file_bytes) {
    switch (check.fault) {
        case DbfHeaderFault::kShorterThanFileHeader:
            fatal_error("The .dbf file %s is shorter than its %d-byte header; append refused.",
                        file_name, kDbfFileHeaderBytes);
        case DbfHeaderFault::kRecordCountTooLarge:
            fatal_error("The .dbf file %s has a damaged header: its record count %u is beyond %d.",
                        file_name, check.record_count, INT32_MAX);
        case DbfHeaderFault::kLengthTooLarge:
            fatal_error(
                "The .dbf file %s has a damaged header: header length %d or record length %d is "
                "beyond %d.",
                file_name, check.header_length, check.record_length, kDbfMaxLength);
        case DbfHeaderFault::kHeaderLengthTooSmall:
            fatal_error("The .dbf file %s has a damaged header: header length %d is below %d.",
                        file_name, check.header_length, dbf_header_length(0));
        case DbfHeaderFault::kShorterThanRecords:
            fatal_error(
                "The .dbf file %s is shorter (%lld bytes) than its header and %u records of %d "
                "bytes say (%lld bytes); append refused.",
                file_name, static_cast<long long>(file_bytes), check.record_count,
                check.record_length, static_cast<long long>(check.data_end));
        case DbfHeaderFault::kOutOfSynch:
            fatal_error("Out of synch error reading .dbf header.");
        case DbfHeaderFault::kZeroLengthField:
            fatal_error("The .dbf file %s has a damaged header: field '%s' has length 0.",
                        file_name, check.field_name);
        case DbfHeaderFault::kRecordLengthMismatch:
        case DbfHeaderFault::kNone:
            break;
    }
    fatal_error(
        "The .dbf file %s has a damaged header: record length %d is not 1 plus the %d bytes of "
        "its fields.",
        file_name, check.record_length, check.field_bytes);
}

void read_dbf_header(FILE* stream, const char* file_name, DbfHeader& header, FieldTable& fields) {
    // No header is longer than the largest header length there can be.
    static uint8_t bytes[kDbfMaxLength];
    errno = 0;
    size_t count = std::fread(bytes, 1, sizeof bytes, stream);
    struct stat status;
    if (std::ferror(stream) || fstat(fileno(stream), &status) != 0) {
        file_error("Read", file_name, errno);
    }
    DbfHeaderCheck check = decode_dbf_header(bytes, count, status.st_size, header, fields);
    if (check.fault != DbfHeaderFault::kNone) {
        refuse_dbf_header(check, file_name, status.st_size);
    }
    if (std::fseek(stream, dbf_header_length(fields.field_count), SEEK_SET) != 0) {
        file_error("Seek", file_name, errno);
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
