// The geometry type a column's catalogue entry declares, read from
// geometry_columns: what a file set takes as its shape type when no row has
// given it one.

#ifndef SPOOLMAP_DB_DECLARED_GEOMETRY_H
#define SPOOLMAP_DB_DECLARED_GEOMETRY_H

#include <cstdint>

#include "db/spatial_column.h"

// Longest geometry type name that is read; a longer one names no type.
constexpr int kGeometryTypeNameBytes = 64;

// As geometry_columns has them: the type in upper case ("MULTIPOLYGON",
// "POINTM") and coord_dimension (2 to 4).
struct DeclaredGeometry {
    char type_name[kGeometryTypeNameBytes] = {};
    int32_t coord_dimension = 0;
};

// Reads the catalogue entry of the geometry column. A column without one, or
// whose entry names no type, gives an empty type_name. A failed query ends
// the run through check_sql.
DeclaredGeometry fetch_declared_geometry(const SpatialColumn& geometry);

#endif
