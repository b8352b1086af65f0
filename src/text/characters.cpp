// ASCII letter case and whole UTF-8 characters (see characters.h).

#include "text/characters.h"

#include <cstring>

// A UTF-8 character is a lead byte and at most three continuation bytes.
constexpr size_t kMaxContinuationBytes = 3;

char* to_lower_in_place(char* text) {
    for (char* p = text; *p != '\0'; ++p) {
        *p = ascii_lower(*p);
    }
    return text;
}

char* to_upper_in_place(char* text) {
    for (char* p = text; *p != '\0'; ++p) {
        *p = ascii_upper(*p);
    }
    return text;
}

bool ascii_prefix_ignoring_case(const char* text, const char* prefix) {
    for (; *prefix != '\0'; ++text, ++prefix) {
        if (ascii_lower(*text) != ascii_lower(*prefix)) {
            return false;  // also where text ends first
        }
    }
    return true;
}

bool ascii_equal_ignoring_case(const char* a, const char* b) {
    return ascii_prefix_ignoring_case(a, b) && a[std::strlen(b)] == '\0';
}

// The bytes of the character a lead byte starts, as its high bits say; 1 for
// a byte that starts none.
static size_t sequence_bytes(char lead) {
    unsigned char c = static_cast<unsigned char>(lead);
    if (c >= 0xF0 && c <= 0xF7) {
        return 4;
    }
    if (c >= 0xE0 && c <= 0xEF) {
        return 3;
    }
    if (c >= 0xC0 && c <= 0xDF) {
        return 2;
    }
    return 1;
}

size_t whole_character_prefix(const char* text, size_t limit) {
    size_t length = strnlen(text, limit + 1);
    if (length <= limit) {
        return length;
    }
    size_t start = limit;
    for (size_t step = 0;
         step < kMaxContinuationBytes && start > 0 && is_utf8_continuation(text[start]); ++step) {
        --start;
    }
    // A character that starts there and runs past the limit stays out whole;
    // continuation bytes that belong to no such character are not UTF-8 and
    // are cut like any other bytes.
    if (!is_utf8_continuation(text[start]) && start + sequence_bytes(text[start]) > limit) {
        return start;
    }
    return limit;
}
