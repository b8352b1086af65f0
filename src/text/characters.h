// Characters in spoolmap's byte texts. Names and values travel as the UTF-8
// bytes the database holds; only ASCII letters ever change case, and a text
// cut to fit a field, a name area or a message buffer loses whole characters,
// never part of one.

#ifndef SPOOLMAP_TEXT_CHARACTERS_H
#define SPOOLMAP_TEXT_CHARACTERS_H

#include <cstddef>

#include "common/utf8.h"

// An ASCII letter in lower or upper case; every other byte as it is.
constexpr char ascii_lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
constexpr char ascii_upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// ASCII letters to lower or upper case, in place; every other byte stays.
// Returns text.
char* to_lower_in_place(char* text);
char* to_upper_in_place(char* text);

// Whether a and b are the same text, or text begins with prefix, ignoring
// the case of ASCII letters (as switch values and type names compare).
bool ascii_equal_ignoring_case(const char* a, const char* b);
bool ascii_prefix_ignoring_case(const char* text, const char* prefix);

// The length in bytes of text (NUL-terminated) when it is at most limit
// bytes; otherwise where to cut it to at most limit bytes. The cut backs off
// from a UTF-8 continuation byte at the limit to the start of its character
// (at most 3 bytes back, a character being at most 4 bytes, and never past
// the start of the text), so that character stays out whole. Where no
// character that runs past the limit starts within those bytes, the text is
// not UTF-8 there and is cut at the limit. Field names, field values and
// messages are all cut by this one rule. Reads at most limit + 1 bytes.
size_t whole_character_prefix(const char* text, size_t limit);

#endif
