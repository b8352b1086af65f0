// Fuzz target for the .dbf header reader of the append path: any bytes as a
// whole .dbf file. A header it takes must describe fields that add up to its
// record length, within a file long enough for its records, and must come
// back the same when written out and read again; a header it refuses ends
// the run with a message. Nothing is read outside the file.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "dbf/dbf_header.h"
#include "fuzz_support.h"

static void check_taken(const DbfHeader& header, const FieldTable& fields, size_t size) {
    int32_t field_bytes = 0;
    for (int32_t i = 0; i < fields.field_count; ++i) {
        if (fields.flen[i] < 1 || fields.flen[i] > 255 ||
            std::strlen(fields.fnam[i]) > static_cast<size_t>(kDbfNameAreaBytes)) {
            __builtin_trap();
        }
        field_bytes += fields.flen[i];
    }
    int64_t data_end =
        header.header_length + static_cast<int64_t>(header.record_length) * header.record_count;
    if (header.record_length != 1 + field_bytes || header.record_count < 0 ||
        header.header_length < dbf_header_length(fields.field_count) ||
        header.header_length >= dbf_header_length(fields.field_count) + kDbfDescriptorBytes ||
        data_end > static_cast<int64_t>(size)) {
        __builtin_trap();
    }

    // Written out and read back, the header and fields are what was read.
    FILE* stream = std::tmpfile();
    if (stream == nullptr) {
        return;
    }
    write_dbf_header(stream, "fuzz.dbf", header, fields);
    std::vector<uint8_t> bytes(static_cast<size_t>(header.header_length), 0);
    std::rewind(stream);
    size_t count = std::fread(bytes.data(), 1, bytes.size(), stream);
    std::fclose(stream);
    DbfHeader again;
    FieldTable again_fields;
    DbfHeaderCheck check = decode_dbf_header(bytes.data(), count, data_end, again, again_fields);
    if (check.fault != DbfHeaderFault::kNone || again.record_count != header.record_count ||
        again.header_length != header.header_length ||
        again_fields.field_count != fields.field_count) {
        __builtin_trap();
    }
    for (int32_t i = 0; i < fields.field_count; ++i) {
        if (std::strcmp(again_fields.fnam[i], fields.fnam[i]) != 0 ||
            again_fields.ftyp[i] != fields.ftyp[i] || again_fields.flen[i] != fields.flen[i] ||
            again_fields.fdec[i] != fields.fdec[i]) {
            __builtin_trap();
        }
    }
    free_field_table(again_fields);

    static char dump[32768];
    dbf_header_dump(header, fields, dump, sizeof dump);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    DbfHeader header;
    FieldTable fields;
    DbfHeaderCheck check =
        decode_dbf_header(data, size, static_cast<int64_t>(size), header, fields);
    if (check.fault == DbfHeaderFault::kNone) {
        run_to_refusal([&] { check_taken(header, fields, size); });
        free_field_table(fields);
    } else if (fields.fnam != nullptr) {
        __builtin_trap();  // a refused header allocates nothing
    }
    bool refused = true;
    run_to_refusal([&] {
        DbfHeader read;
        FieldTable read_fields;
        read_dbf_header(file_holding(data, size), "fuzz.dbf", read, read_fields);
        free_field_table(read_fields);
        refused = false;
    });
    if (refused != (check.fault != DbfHeaderFault::kNone)) {
        __builtin_trap();
    }
    return 0;
}
