// Texts are built by appending formatted pieces to a fixed buffer of the
// caller's. A piece that would not fit is never cut silently: the caller hears
// of it, or the run ends naming the text that did not fit.

#ifndef SPOOLMAP_TEXT_TEXT_APPEND_H
#define SPOOLMAP_TEXT_TEXT_APPEND_H

#include <cstddef>

#include "report/messages.h"

// Appends the formatted piece after the NUL-terminated text in buffer (of size
// bytes). Returns false, with the buffer as it was, when it would not fit.
bool append_text(char* buffer, size_t size, const char* format, ...) SPOOLMAP_PRINTF(3, 4);

// append_text, ending the run with "The <what> does not fit in its buffer of
// <size> bytes." when it would not fit.
void append_or_fail(char* buffer, size_t size, const char* what, const char* format, ...)
    SPOOLMAP_PRINTF(4, 5);

#endif
