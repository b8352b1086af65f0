// The records of one output file on their way to it (see record_output.h).

#include "run/record_output.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "report/messages.h"

// Writes all length bytes to descriptor; false when a write fails.
static bool write_all(int descriptor, const char* bytes, size_t length) {
    while (length > 0) {
        ssize_t written = write(descriptor, bytes, length);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            if (written == 0) {
                errno = 0;
            }
            return false;
        }
        bytes += written;
        length -= static_cast<size_t>(written);
    }
    return true;
}

// A write that took no bytes at all leaves no reason: errno is cleared first.
[[noreturn]] static void fail_write(const RecordOutput& out) {
    file_error("Write", out.name, errno);
}

void begin_record_output(RecordOutput& out, FILE* stream, const char* name) {
    out.stream = stream;
    out.name = name;
    out.used = 0;
    // The descriptor takes over where the stream stands.
    off_t position = ftello(stream);
    errno = 0;
    if (position < 0 || std::fflush(stream) != 0 ||
        lseek(fileno(stream), position, SEEK_SET) != position) {
        file_error("Seek", name, errno);
    }
    out.bytes = static_cast<char*>(std::malloc(kRecordOutputBytes));
    if (out.bytes == nullptr) {
        fatal_error("Memory allocation for the output buffer of file %s failed.", name);
    }
}

void drain_record_output(RecordOutput& out) {
    if (out.used > 0 && !write_all(fileno(out.stream), out.bytes, out.used)) {
        fail_write(out);
    }
    out.used = 0;
}

void append_record_bytes_slowly(RecordOutput& out, const void* bytes, size_t length) {
    drain_record_output(out);
    if (length >= kRecordOutputBytes) {
        if (!write_all(fileno(out.stream), static_cast<const char*>(bytes), length)) {
            fail_write(out);
        }
        return;
    }
    std::memcpy(out.bytes, bytes, length);
    out.used = length;
}

void end_record_output(RecordOutput& out) {
    drain_record_output(out);
    std::free(out.bytes);
    out.bytes = nullptr;
    // The stream takes over again where the descriptor stands.
    off_t end = lseek(fileno(out.stream), 0, SEEK_CUR);
    if (end < 0 || fseeko(out.stream, end, SEEK_SET) != 0) {
        file_error("Seek", out.name, errno);
    }
}
