// .dbf field names of columns (see field_names.h).

#include "dbf/field_names.h"

#include <cstring>
#include <vector>

#include "text/characters.h"

constexpr uint32_t kFnvOffsetBasis = 2166136261u;
constexpr uint32_t kFnvPrime = 16777619u;
constexpr char kBase36Digits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
constexpr uint32_t kBase = 36;
constexpr char kReplacement = '_';
constexpr unsigned char kFirstNonAscii = 0x80;

static bool is_name_char(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

uint32_t field_name_hash(const char* text) {
    uint32_t hash = kFnvOffsetBasis;
    for (const char* p = text; *p != '\0'; ++p) {
        hash ^= static_cast<unsigned char>(ascii_lower(*p));
        hash *= kFnvPrime;
    }
    return hash;
}

// A name of at most 10 letters, digits and '_' comes out as itself in upper
// case, so the one rule serves both kinds of name.
void own_field_name(const char* column_name, char* name) {
    int length = 0;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(column_name);
    while (*p != '\0' && length < kDbfFieldNameChars) {
        if (*p >= kFirstNonAscii) {
            // One '_' for the character: its lead byte and what continues it
            // (a stray continuation byte counts as a character of its own).
            ++p;
            while (is_utf8_continuation(static_cast<char>(*p))) {
                ++p;
            }
            name[length++] = kReplacement;
            continue;
        }
        char c = ascii_upper(static_cast<char>(*p++));
        name[length++] = is_name_char(c) ? c : kReplacement;
    }
    name[length] = '\0';
}

void shared_field_name(const char* column_name, char* name) {
    own_field_name(column_name, name);
    size_t kept = std::strlen(name);
    if (kept > kSharedNameKeptChars) {
        kept = kSharedNameKeptChars;
    }
    uint32_t digits = field_name_hash(column_name);
    char* suffix = name + kept;
    suffix[0] = kReplacement;
    for (int i = kSharedNameHashChars; i > 0; --i) {
        suffix[i] = kBase36Digits[digits % kBase];
        digits /= kBase;
    }
    suffix[kSharedNameHashChars + 1] = '\0';
}

static int32_t same_name_as(const char (*names)[kDbfNameAreaBytes], int32_t count, int32_t i) {
    for (int32_t j = 0; j < count; ++j) {
        if (j != i && std::strcmp(names[i], names[j]) == 0) {
            return j;
        }
    }
    return -1;
}

int32_t name_fields(const char* const* column_names, int32_t count,
                    char (*names)[kDbfNameAreaBytes], int32_t& other) {
    for (int32_t i = 0; i < count; ++i) {
        own_field_name(column_names[i], names[i]);
    }
    // Decided on the own names alone, before any of them changes. An empty
    // name is no name: it takes its shared one.
    std::vector<unsigned char> shared(static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i) {
        shared[i] = names[i][0] == '\0' || same_name_as(names, count, i) >= 0;
    }
    for (int32_t i = 0; i < count; ++i) {
        if (shared[i]) {
            shared_field_name(column_names[i], names[i]);
        }
    }
    for (int32_t i = 0; i < count; ++i) {
        other = same_name_as(names, count, i);
        if (other >= 0) {
            return i;
        }
    }
    return -1;
}

void column_field_names(const char* column_name, ColumnFieldNames& names) {
    own_field_name(column_name, names.own);
    shared_field_name(column_name, names.shared);
    size_t cut = whole_character_prefix(column_name, kDbfFieldNameChars);
    std::memcpy(names.cut, column_name, cut);
    names.cut[cut] = '\0';
}

// Equal ignoring ASCII case, and blanks at the end of either.
static bool same_field_name(const char* a, const char* b) {
    while (*a != '\0' && *b != '\0' && ascii_upper(*a) == ascii_upper(*b)) {
        ++a, ++b;
    }
    while (*a == ' ') {
        ++a;
    }
    while (*b == ' ') {
        ++b;
    }
    return *a == '\0' && *b == '\0';
}

bool field_name_matches(const char* field_name, const ColumnFieldNames& names) {
    return same_field_name(field_name, names.own) || same_field_name(field_name, names.shared) ||
           same_field_name(field_name, names.cut);
}
