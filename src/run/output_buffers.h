// Large output buffers for the run's data streams. A run writes a few small
// pieces per row to each of .shp, .shx and .dbf; with stdio's default buffer
// of one page every page would be a system call of its own, so each stream
// gets a buffer of a mebibyte and the files are written in large sequential
// blocks.

#ifndef SPOOLMAP_RUN_OUTPUT_BUFFERS_H
#define SPOOLMAP_RUN_OUTPUT_BUFFERS_H

#include <cstddef>
#include <cstdio>

constexpr size_t kOutputBufferBytes = size_t{1} << 20;

// Gives stream, just opened and not yet read or written, a fully buffered
// buffer of kOutputBufferBytes. The buffer lives until the process ends,
// since the stream may be flushed by the process end itself. A buffer that
// cannot be had leaves stdio's own: slower, never wrong.
void use_large_buffer(FILE* stream);

#endif
