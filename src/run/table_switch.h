// The value of -l: a table, optionally qualified by its schema, and its
// geometry column, joined by a comma ("roads,geom", "other.depots,geom",
// '"MixedCase",geom'). A name in double quotes keeps its case (a doubled
// quote inside stands for one, and commas and dots inside are part of it);
// a bare name is lower-cased.

#ifndef SPOOLMAP_RUN_TABLE_SWITCH_H
#define SPOOLMAP_RUN_TABLE_SWITCH_H

#include <cstddef>

struct RunSettings;

enum class TableSwitch {
    kParsed,
    kUsage,      // no comma, or fewer than two names: the usage text
    kMalformed,  // a quoted name left open or run into other text, an empty
                 // part, more than a schema before the table
};

// Splits value in place into the schema (when given), table and column of
// settings, with their quoted flags; empty names between commas are skipped
// and names after the second are ignored.
TableSwitch parse_table_switch(char* value, RunSettings& settings);

// Appends the names as -l gives them back: quoted names in double quotes.
// Ends the run naming what when they do not fit.
void append_table_switch(char* buffer, size_t size, const char* what, const RunSettings& settings);

#endif
