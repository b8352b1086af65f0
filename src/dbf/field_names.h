// The .dbf field names of a table's columns. A field name is ASCII, upper
// case and at most 10 characters; the name a column gets depends on its own
// name and, where two columns would share one, on a hash of its own name, so
// never on the column's position or on which columns come before it. An
// append matches each field of an existing file back to exactly one column
// through the same names.

#ifndef SPOOLMAP_DBF_FIELD_NAMES_H
#define SPOOLMAP_DBF_FIELD_NAMES_H

#include <cstdint>

#include "dbf/dbf_header.h"

// A shared name keeps this many of its characters, then '_' and the hash.
constexpr int kSharedNameKeptChars = 6;
constexpr int kSharedNameHashChars = 3;
static_assert(kSharedNameKeptChars + 1 + kSharedNameHashChars == kDbfFieldNameChars,
              "a shared name fills the name area");

// 32-bit FNV-1a of text with ASCII letters in lower case, so that names
// differing only in case (as SQL identifiers do) hash alike.
uint32_t field_name_hash(const char* text);

// The name a column gets on its own, into name (kDbfNameAreaBytes): a name of
// at most 10 ASCII letters, digits or '_' in upper case; any other name in
// upper case with every other character (a UTF-8 character counting once)
// made '_', cut to 10.
void own_field_name(const char* column_name, char* name);

// The name a column gets when its own name is shared: the first 6 characters
// of its own name, '_', and the hash of its whole name in 3 base-36 digits.
void shared_field_name(const char* column_name, char* name);

// The names of a table's fields, one per column, in column order (names[i]
// for column_names[i]): its own name unless another column's own name is the
// same, in which case all of them take their shared names. Returns -1 when
// the names are all different; otherwise the index of a column whose name
// another column has too (a hash collision, or a shared name that is another
// column's own), and sets other to that column.
int32_t name_fields(const char* const* column_names, int32_t count,
                    char (*names)[kDbfNameAreaBytes], int32_t& other);

// The names by which a field of an existing file stands for a column: its
// own name, its shared name, and its name as it is cut to the first 10 bytes
// (at a whole UTF-8 character), as other writers and this program's earlier
// versions name fields.
struct ColumnFieldNames {
    char own[kDbfNameAreaBytes];
    char shared[kDbfNameAreaBytes];
    char cut[kDbfNameAreaBytes];
};
void column_field_names(const char* column_name, ColumnFieldNames& names);

// Whether field_name (as a .dbf descriptor holds it) is one of the names,
// ignoring ASCII case and trailing blanks.
bool field_name_matches(const char* field_name, const ColumnFieldNames& names);

#endif
