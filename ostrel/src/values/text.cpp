// Text operations of the client library: identifier comparison and the strict
// text-to-integer conversion that command-line values go through.

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "ostrel/ostrel.h"

static char ascii_lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// SQL identifiers compare without regard to ASCII case; bytes beyond ASCII
// compare exactly, so UTF-8 names never match by accident.
int osl_text_compare(const char* a, const char* b) {
    for (;; ++a, ++b) {
        char ca = ascii_lower(*a);
        char cb = ascii_lower(*b);
        if (ca != cb) {
            return static_cast<unsigned char>(ca) < static_cast<unsigned char>(cb) ? -1 : 1;
        }
        if (ca == '\0') {
            return 0;
        }
    }
}

// Accepts [+-]digits and nothing else: strtol alone would take leading blanks,
// stop silently at trailing garbage and saturate on overflow.
int osl_text_to_int(const char* text, int32_t* value) {
    const char* p = text;
    if (*p == '+' || *p == '-') {
        ++p;
    }
    if (*p < '0' || *p > '9') {
        return -1;
    }
    for (const char* q = p; *q != '\0'; ++q) {
        if (*q < '0' || *q > '9') {
            return -1;
        }
    }
    errno = 0;
    long long parsed = std::strtoll(text, nullptr, 10);
    if (errno == ERANGE || parsed < INT32_MIN || parsed > INT32_MAX) {
        return -1;
    }
    *value = static_cast<int32_t>(parsed);
    return 0;
}
