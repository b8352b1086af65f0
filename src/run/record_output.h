// The records of one output file on their way to it: the run appends each
// row's bytes to a buffer of its own and writes a mebibyte at a time to the
// file's descriptor, with no stdio call per row (four a row cost more than
// formatting the row's dates and decimals). The file's stream stays the
// run's for everything else: a record output starts where the stream stands
// and leaves it standing after the last record.
//
// A run that ends early (fatal_error) leaves what it buffered unwritten: the
// set is a failed one either way, and nothing is written behind the back of
// whatever the failure does with the files.

#ifndef SPOOLMAP_RUN_RECORD_OUTPUT_H
#define SPOOLMAP_RUN_RECORD_OUTPUT_H

#include <cstddef>
#include <cstdio>
#include <cstring>

constexpr size_t kRecordOutputBytes = size_t{1} << 20;

struct RecordOutput {
    FILE* stream = nullptr;
    const char* name = nullptr;  // the file's, for messages
    char* bytes = nullptr;       // kRecordOutputBytes, while started
    size_t used = 0;
};

// Starts out for stream, positioned where the first record goes. Ends the
// run if the stream cannot be placed or the buffer cannot be had.
void begin_record_output(RecordOutput& out, FILE* stream, const char* name);

// Writes what out holds to its file; a write that fails ends the run with
// "Write failed for file <name>: <reason>.".
void drain_record_output(RecordOutput& out);

// Appends a piece too large for what is left of out's buffer.
void append_record_bytes_slowly(RecordOutput& out, const void* bytes, size_t length);

// Appends length bytes to out; the buffer goes to the file when they do not
// fit, and a piece longer than the whole buffer goes straight after it.
inline void append_record_bytes(RecordOutput& out, const void* bytes, size_t length) {
    if (length > kRecordOutputBytes - out.used) {
        append_record_bytes_slowly(out, bytes, length);
        return;
    }
    std::memcpy(out.bytes + out.used, bytes, length);
    out.used += length;
}

// Room for length bytes (at most kRecordOutputBytes) at the end of out, for
// a record made in place; commit_record_bytes then takes them in.
inline char* record_room(RecordOutput& out, size_t length) {
    if (length > kRecordOutputBytes - out.used) {
        drain_record_output(out);
    }
    return out.bytes + out.used;
}

inline void commit_record_bytes(RecordOutput& out, size_t length) {
    out.used += length;
}

// Writes what out holds, releases its buffer and leaves the stream after the
// last record, for the run's end-of-file byte and headers.
void end_record_output(RecordOutput& out);

#endif
