// Appending formatted pieces to fixed text buffers (see text_append.h).

#include "text/text_append.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

static bool append_text_v(char* buffer, size_t size, const char* format, va_list arguments) {
    size_t used = std::strlen(buffer);
    if (used >= size) {
        return false;
    }
    int written = std::vsnprintf(buffer + used, size - used, format, arguments);
    if (written < 0 || static_cast<size_t>(written) >= size - used) {
        buffer[used] = '\0';
        return false;
    }
    return true;
}

bool append_text(char* buffer, size_t size, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    bool fitted = append_text_v(buffer, size, format, arguments);
    va_end(arguments);
    return fitted;
}

void append_or_fail(char* buffer, size_t size, const char* what, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    bool fitted = append_text_v(buffer, size, format, arguments);
    va_end(arguments);
    if (!fitted) {
        fatal_error("The %s does not fit in its buffer of %zu bytes.", what, size);
    }
}
