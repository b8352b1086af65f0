// The values of the switches that need more than to be stored (see
// switch_values.cpp). Each works in place on the argument it is given.

#ifndef SPOOLMAP_RUN_SWITCH_VALUES_H
#define SPOOLMAP_RUN_SWITCH_VALUES_H

// Splits value at commas into its first two non-empty tokens, ending each in
// place. False, with value unchanged, when there are fewer than two (a value
// without a comma included); later tokens are ignored.
bool split_pair(char* value, const char** first, const char** second);

// The -f value as a base name: a final ".shp" in any letter case cut off.
// Refuses a value that leaves no name, ends in '/' or names a directory.
const char* take_base_name(char* value);

// The -D value as a database name: a directory part keeps its case, the
// database's own name is lower-cased unless it stands in double quotes,
// which are taken away ("Data/\"MyDb\"" is Data/MyDb). Returns the name,
// which may begin after the value's first byte.
char* take_database_name(char* value);

// The -p value, copied out of its argument, which is then overwritten.
// Refuses a password longer than the connection takes.
const char* take_password(char* value);

// The -s value, copied out of its argument, which is then overwritten with
// the address with its passwords masked. Refuses an address longer than the
// connection target takes.
const char* take_server(char* value);

// Refuses the -t value shown as value, naming every shape type there is.
[[noreturn]] void refuse_shape_type(const char* value);

#endif
