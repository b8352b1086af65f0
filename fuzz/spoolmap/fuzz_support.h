// What spoolmap's own fuzz targets share: a refusal ends the process through
// end_process, which here unwinds back into the target instead, and a file
// the readers can take the size of, filled anew for each input.

#ifndef SPOOLMAP_FUZZ_SUPPORT_H
#define SPOOLMAP_FUZZ_SUPPORT_H

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "report/process_end.h"

struct ProcessEnded {
    int status;
};

[[noreturn]] inline void throw_process_ended(int status) {
    throw ProcessEnded{status};
}

// Runs body; a refusal (status 1) is a clean end, anything else a fault.
template <typename Body>
void run_to_refusal(Body body) {
    set_process_end_hook(throw_process_ended);
    try {
        body();
    } catch (const ProcessEnded& ended) {
        if (ended.status != kExitFailed && ended.status != kExitCompleted) {
            std::abort();
        }
    }
}

// An in-memory file with a real descriptor (fstat gives its size, as the
// readers need), holding data; the stream is at byte 0.
inline FILE* file_holding(const uint8_t* data, size_t size) {
    static FILE* stream = nullptr;
    if (stream == nullptr) {
        int fd = memfd_create("fuzz-input", 0);
        stream = fd >= 0 ? fdopen(fd, "w+b") : nullptr;
        // Unbuffered: a buffer would hold bytes of the last input across the
        // rewind.
        if (stream == nullptr || std::setvbuf(stream, nullptr, _IONBF, 0) != 0) {
            std::abort();
        }
    }
    int fd = fileno(stream);
    if (ftruncate(fd, 0) != 0 ||
        (size > 0 && pwrite(fd, data, size, 0) != static_cast<ssize_t>(size))) {
        std::abort();
    }
    std::rewind(stream);
    std::clearerr(stream);
    return stream;
}

#endif
