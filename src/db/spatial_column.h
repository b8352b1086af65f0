// The geometry column a run unloads and the table it belongs to, as -l names
// them (in lower case): what the catalogue, the spatial-reference query and
// the unload query are asked about.

#ifndef SPOOLMAP_DB_SPATIAL_COLUMN_H
#define SPOOLMAP_DB_SPATIAL_COLUMN_H

struct SpatialColumn {
    const char* table_name;
    const char* column_name;
};

#endif
