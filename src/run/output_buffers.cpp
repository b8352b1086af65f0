// Large output buffers for the run's data streams (see output_buffers.h).

#include "run/output_buffers.h"

#include <cstdlib>

void use_large_buffer(FILE* stream) {
    // Never freed: the stream may still use it when the process ends, and a
    // run opens only a few streams.
    char* buffer = static_cast<char*>(std::malloc(kOutputBufferBytes));
    if (buffer == nullptr || std::setvbuf(stream, buffer, _IOFBF, kOutputBufferBytes) != 0) {
        std::free(buffer);
    }
}
