// The row loop: every row of an open cursor through the shape-type rule into
// its .shp record, .shx entry and .dbf record, with the progress lines. The
// run calls it once its query is set up and its files are positioned; a unit
// test and the benchmark call it the same way.

#ifndef SPOOLMAP_RUN_ROW_LOOP_H
#define SPOOLMAP_RUN_ROW_LOOP_H

#include <cstdint>

#include "db/spatial_column.h"
#include "report/progress_meter.h"
#include "run/run_state.h"
#include "srs/data_srid.h"

// Where the rows come from: an open cursor fetching into a described
// descriptor whose item shape_item is the shape (set to var binary), items 1
// to the field count the fields' values (prepare_field_formats made their
// places in the run's RowValues). With rows_srid asked, each written row's
// SRID is checked against the rows before it (geometry names the column in
// that message).
struct RowSource {
    const char* cursor;
    const char* descriptor;
    int32_t shape_item;
    RowsSrid* rows_srid;
    const SpatialColumn* geometry;
};

// Fetches every row of source and writes the accepted ones at the current
// positions of the set's .shp, .shx and .dbf streams (dbf_position is the
// .dbf's, advanced per record), counting fetched and rejected rows in run
// and keeping its shape type, tally and extent. The streams' buffers are
// handed back flushed into the streams at the end. Every failure ends the
// run where it is met.
void unload_row_loop(const RowSource& source, RunState& run, FileSet& files, int64_t& dbf_position,
                     ProgressMeter& meter);

#endif
