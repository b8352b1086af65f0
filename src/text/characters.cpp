// ASCII letter case and whole UTF-8 characters (see characters.h).

#include "text/characters.h"

#include <cstring>

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

size_t whole_character_prefix(const char* text, size_t limit) {
    return utf8_whole_prefix(text, strnlen(text, limit + 1), limit);
}
