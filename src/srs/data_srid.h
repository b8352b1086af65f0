// The coordinate system of the rows, where the catalogue knows none for the
// geometry column (SRID 0: a generic geometry column, a view's expression
// without a type modifier) but the geometries carry one. The unload query
// then asks for each row's SRID beside its shape; the first row with a
// geometry fixes it and every later one must have it too, since a file set
// holds one coordinate system. Its text comes from spatial_references once
// the rows are read, and the .prj follows it.

#ifndef SPOOLMAP_SRS_DATA_SRID_H
#define SPOOLMAP_SRS_DATA_SRID_H

#include <cstdint>

#include "db/spatial_column.h"
#include "srs/projection_file.h"

struct RowsSrid {
    bool asked = false;  // the catalogue's SRID is 0: the rows tell
    int32_t item = 0;    // the unload query's GX_Srid item
    bool seen = false;   // a row with a geometry was written
    int32_t srid = 0;    // the SRID of that row
};

// Whether the rows must tell the coordinate system of a column whose
// catalogue entry is reference.
bool srid_from_rows(const SpatialReference& reference);

// The SRID of the row just fetched into descriptor, which becomes record
// record_number; ends the run when it differs from the SRID of the rows
// before it. A null geometry has none and fits.
void check_row_srid(RowsSrid& rows, const char* descriptor, int32_t record_number,
                    const SpatialColumn& geometry);

// After the rows: reference becomes the coordinate system of their SRID,
// its text from spatial_references; unchanged when no row
// had a geometry or their SRID is 0 as well. A SRID without a text there
// leaves "UNKNOWN", which a note tells.
void take_rows_spatial_reference(const RowsSrid& rows, const SpatialColumn& geometry,
                                 SpatialReference& reference);

#endif
