// The library's character rules, each written once: cutting UTF-8 text to a
// byte budget without splitting a character (the diagnostics' messages of
// at most 255 bytes, the text fetch) and what counts as a blank around a
// number or between the words of a statement.

#ifndef OSTREL_CORE_CHARACTERS_H
#define OSTREL_CORE_CHARACTERS_H

#include <cstddef>

// The longest prefix of text (length bytes) that fits max_bytes and does not
// end inside a UTF-8 character. Bytes that are not valid UTF-8 count as
// characters of their own, so stray bytes are never lost wholesale.
inline size_t utf8_prefix_length(const char* text, size_t length, size_t max_bytes) {
    if (length <= max_bytes) {
        return length;
    }
    size_t cut = max_bytes;
    // Step back over continuation bytes (10xxxxxx) to the start of the
    // character that straddles the cut, at most three of them.
    size_t back = 0;
    while (cut > 0 && back < 3 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) {
        --cut;
        ++back;
    }
    if (back == 3 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) {
        return max_bytes;  // not UTF-8 here: cut at the budget
    }
    return cut;
}

// A blank: space, tab, newline or carriage return. Not the C library's
// isspace, whose answer depends on the locale.
inline bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

#endif
