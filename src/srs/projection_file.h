// The coordinate system of the geometry column and the .prj file that
// carries it: fetched from the catalog, written in init, compared in append.
// The comparison forgives letter case, blanks around tokens and tiny
// differences in numbers, which is all that separates the texts different
// writers make of one coordinate system.

#ifndef SPOOLMAP_SRS_PROJECTION_FILE_H
#define SPOOLMAP_SRS_PROJECTION_FILE_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "db/spatial_column.h"

// Coordinate-system texts are held whole: real definitions run to several
// kilobytes, and a text cut short would be written or compared wrongly. A
// text that does not fit is refused, never cut.
constexpr size_t kProjectionTextBytes = 65536;

struct SpatialReference {
    int32_t srid = 0;
    char text[kProjectionTextBytes] = {};
};

// The catalog query for the column's srid and text, by its schema (when
// known), table and column; quotes in the names are doubled so that no name
// can change the query.
void srs_query_text(const SpatialColumn& geometry, char* buffer, size_t size);

// Runs the query (statement srsel) and fills reference; ends the run when the
// column has no spatial reference or its text does not fit.
void fetch_spatial_reference(const SpatialColumn& geometry, char* work_buffer, size_t work_size,
                             SpatialReference& reference);

// init: writes the column's text into prj, the new .prj's stream, and
// returns true. When the column's coordinate system is "UNKNOWN" it writes
// nothing and returns false: the new set has no .prj, and an old one must go,
// since beside the new data it would describe another coordinate system than
// theirs. A failed write ends the run naming prj_name.
bool write_projection_file(FILE* prj, const char* prj_name, const SpatialReference& reference);

// append: true when the existing .prj named prj_name (or its absence) agrees
// with the column's coordinate system: as texts (coordsys_differ), or else by
// meaning (coordsys_meaning), which the log records; otherwise prints the
// three mismatch lines and returns false. An existing .prj is left open for reading in prj
// (null when there is none) for the run to close.
bool projection_file_matches(const char* prj_name, const SpatialReference& reference, FILE*& prj);

// Reads a .prj text into buffer (of size bytes) and ends it right after its
// last ']'; a text without one becomes empty. Returns false when the file is
// longer than the buffer can hold whole.
bool read_prj_text(char* buffer, size_t size, FILE* stream);

// Writes the text's bytes, no terminator, no line end. False on a failed write.
bool write_text(const char* text, FILE* stream);

// True when a and b describe different coordinate systems.
bool coordsys_differ(const char* a, const char* b);

// Removes leading and trailing blanks (tab, CR, LF, backspace, space) in
// place; returns text.
char* trim_blanks(char* text);

#endif
