// Cutting UTF-8 text to a byte budget, the one rule for spoolmap and its
// client library alike: field names, field values, messages, diagnostics and
// fetched texts all lose whole characters at a cut, never part of one, and
// never a character that fits.

#ifndef COMMON_UTF8_H
#define COMMON_UTF8_H

#include <cstddef>

// A UTF-8 character is a lead byte and at most three continuation bytes.
constexpr size_t kUtf8MaxContinuationBytes = 3;

// Whether c continues a UTF-8 character (10xxxxxx) rather than starting one.
constexpr bool is_utf8_continuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// The bytes of the character a lead byte starts, as its high bits say; 1 for
// a byte that starts none.
constexpr size_t utf8_sequence_bytes(char lead) {
    unsigned char c = static_cast<unsigned char>(lead);
    return c >= 0xF0 && c <= 0xF7 ? 4 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xC0 && c <= 0xDF ? 2 : 1;
}

// The length to cut text (length bytes) to so that it fits limit bytes:
// length itself when it fits; else the limit, backed off to the start of a
// character that starts at most three bytes before the limit and runs past
// it, so that character stays out whole. Continuation bytes that belong to
// no such character are not UTF-8 there and are cut like any other bytes:
// "a" followed by a stray continuation byte keeps its "a" at a limit of 1.
// Reads at most the byte at the limit and the three before it.
inline size_t utf8_whole_prefix(const char* text, size_t length, size_t limit) {
    if (length <= limit) {
        return length;
    }
    size_t start = limit;
    for (size_t step = 0;
         step < kUtf8MaxContinuationBytes && start > 0 && is_utf8_continuation(text[start]);
         ++step) {
        --start;
    }
    if (!is_utf8_continuation(text[start]) && start + utf8_sequence_bytes(text[start]) > limit) {
        return start;
    }
    return limit;
}

#endif
