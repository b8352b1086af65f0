// The .dbf attribute table's header: the 32-byte file header, one 32-byte
// descriptor per field and the terminator; written once at the end of a run,
// read back at the start of an append, dumped into the log.

#ifndef SPOOLMAP_DBF_DBF_HEADER_H
#define SPOOLMAP_DBF_DBF_HEADER_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

constexpr int kDbfFileHeaderBytes = 32;
constexpr int kDbfDescriptorBytes = 32;
constexpr int kDbfFieldNameChars = 10;  // and a zero byte: the name area is 11 bytes
constexpr int kDbfNameAreaBytes = kDbfFieldNameChars + 1;
constexpr int kDbfMaxFieldLength = 254;
constexpr uint8_t kDbfVersionByte = 3;
constexpr uint8_t kDbfHeaderTerminator = 0x0D;
constexpr uint8_t kDbfEndOfFile = 0x1A;
constexpr char kDbfDeletionFlag = ' ';  // byte 0 of every record: not deleted

// header_length and record_length are 16-bit signed in the header record, so
// neither may pass 32767; the header holds 32 bytes per field plus the file
// header and the terminator, which bounds the number of fields.
constexpr int32_t kDbfMaxLength = INT16_MAX;
constexpr int32_t kDbfMaxFields = (kDbfMaxLength - kDbfFileHeaderBytes - 1) / kDbfDescriptorBytes;

// A .dbf is held to 2^31 - 1 bytes, as the .shp and .shx are by their 32-bit
// offsets: with its end-of-file byte it stays within what readers that take
// file positions as 32-bit signed can reach.
constexpr int64_t kDbfMaxFileBytes = INT32_MAX;

// header_length of a file with field_count fields.
constexpr int32_t dbf_header_length(int32_t field_count) {
    return kDbfFileHeaderBytes + kDbfDescriptorBytes * field_count + 1;
}

struct DbfHeader {
    int32_t file_code = 0;
    int32_t year = 0;  // since 1900
    int32_t month = 0;
    int32_t day = 0;
    int32_t record_count = 0;
    int16_t header_length = 0;
    int16_t record_length = 0;
    // Byte 29 of an existing file, the language driver: the code page its
    // text is in, for a set without a .cpg (0: none declared). Never
    // written: the reserved bytes stay as the file has them.
    uint8_t language_driver = 0;
};

// The attribute fields, in field order: four parallel arrays as the .dbf
// descriptors hold them, plus the name of the table column each field comes
// from exactly as the database stores it (the dBASE name is upper case and at
// most 10 characters, so the unload query selects by column_name). In an
// append run column_name stays null until map_fields_to_columns.
struct FieldTable {
    int32_t field_count = 0;
    int32_t capacity = 0;
    char** fnam = nullptr;
    char** column_name = nullptr;
    char* ftyp = nullptr;
    int32_t* flen = nullptr;
    int32_t* fdec = nullptr;
};

// Allocates the arrays for capacity fields (all names null, field_count 0);
// ends the run naming the array that could not be allocated.
void allocate_field_table(FieldTable& fields, int32_t capacity);

// Frees the arrays and names; the table is empty afterwards.
void free_field_table(FieldTable& fields);

// Writes the header, descriptors and terminator at the start of the file,
// leaving bytes 12 to 31 of the file header as the file holds them. Ends the
// run naming file_name when a seek or write fails.
void write_dbf_header(FILE* stream, const char* file_name, const DbfHeader& header,
                      const FieldTable& fields);

// What an append finds wrong with the header of an existing .dbf: each a
// header that an append would corrupt the file through.
enum class DbfHeaderFault {
    kNone,
    kShorterThanFileHeader,  // fewer than 32 bytes
    kRecordCountTooLarge,    // past 2^31 - 1
    kLengthTooLarge,         // header or record length past 32767
    kHeaderLengthTooSmall,   // below the 33 bytes of a table without fields
    kShorterThanRecords,     // the file ends before the records it counts
    kOutOfSynch,             // no terminator right after the descriptors
    kZeroLengthField,        // a descriptor with length 0
    kRecordLengthMismatch,   // record length is not 1 plus the fields' lengths
};

// The header's values as the file holds them (lengths and count unsigned, so
// a value past the signed range is named as it stands), for the message
// that names a fault.
struct DbfHeaderCheck {
    DbfHeaderFault fault = DbfHeaderFault::kNone;
    uint32_t record_count = 0;
    int32_t header_length = 0;
    int32_t record_length = 0;
    int64_t data_end = 0;                         // header_length + record_length * record_count
    int32_t field_bytes = 0;                      // the sum of the fields' lengths
    char field_name[kDbfNameAreaBytes + 1] = {};  // the field of length 0
};

// Decodes the header and fields of an existing file from its first count
// bytes, file_bytes being the whole file's size, checking every length an
// append relies on before anything is allocated. Only when there is no fault
// are header and fields filled (fields allocated: free_field_table). Any
// bytes, any sizes: it reads nothing past count.
DbfHeaderCheck decode_dbf_header(const uint8_t* bytes, size_t count, int64_t file_bytes,
                                 DbfHeader& header, FieldTable& fields);

// Reads the header and fields of an existing file at byte 0; leaves the stream
// after the terminator. Ends the run with the message of the header's fault,
// naming file_name.
void read_dbf_header(FILE* stream, const char* file_name, DbfHeader& header, FieldTable& fields);

// The dump text of the header and fields, into the caller's buffer. When the
// field lines do not all fit, the text ends with a line counting those left
// out rather than failing a run that has already written its files.
void dbf_header_dump(const DbfHeader& header, const FieldTable& fields, char* text, size_t size);

#endif
