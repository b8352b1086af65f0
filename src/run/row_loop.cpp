// The row loop (see row_loop.h). Nothing per row that can be done once: the
// formats and the places of the values are made before the cursor opens,
// each row's records are made in the output buffers in place, and the
// buffers reach the streams a mebibyte at a time.

#include "run/row_loop.h"

#include "db/descriptor_items.h"
#include "db/row_values.h"
#include "db/sql_error.h"
#include "dbf/dbf_header.h"
#include "dbf/field_refusals.h"
#include "report/inside_failures.h"
#include "report/messages.h"
#include "run/record_output.h"
#include "shape/shape_record.h"

// The next row into the source's descriptor; false when there is none.
static bool fetch_row(const RowSource& source) {
    int status = osl_fetch(source.cursor, source.descriptor);
    if (status < 0) {
        check_sql();
    }
    return status != OSL_NO_ROW;
}

// The whole file set keeps one shape type: the first non-null shape fixes it
// unless -t (or an appended set) already has; null shapes fit any set.
static bool accept_shape_type(RunState& run, int32_t type) {
    if (type == 0) {
        return true;
    }
    if (!run.shape_type_fixed) {
        run.shape_type = type;
        run.shape_type_fixed = true;
        return true;
    }
    return type == run.shape_type;
}

// The .dbf has its 2 GB limit too, checked before anything of the row is
// written so that the three files never disagree; the end-of-file byte
// follows the last record, so it must fit as well.
static void check_dbf_room(const RunState& run, const FileSet& files, int64_t dbf_position) {
    if (dbf_position + run.dbf_header.record_length + 1 > kDbfMaxFileBytes) {
        fatal_error(
            "Record %d would take file %s past the 2 GB limit of the format; split the "
            "table with -w.",
            run.shapes.record_number + 1, files.dbf.name);
    }
}

// Where the rows' bytes go: the three data files' record outputs.
struct RowOutputs {
    RecordOutput shp;
    RecordOutput shx;
    RecordOutput dbf;
};

// One accepted row: its shape record and index entry framed and its
// attribute record made in place, each checked, before any byte of it is
// taken into the outputs.
static void write_row(const RowSource& source, RunState& run, RowOutputs& outputs,
                      const FileSet& files, const ShapeBuffer& shape, int64_t& dbf_position) {
    check_dbf_room(run, files, dbf_position);
    ShapeRecordFrame frame;
    write_shape_record(run.shapes, shape, files.shp.name, files.shx.name, frame);
    fetch_row_values(source.descriptor, run.record_formats, run.row);
    // The record is made in place in the .dbf output's buffer, which holds
    // any record.
    static_assert(kDbfMaxLength <= kRecordOutputBytes, "a .dbf record fits the output buffer");
    size_t length = static_cast<size_t>(run.dbf_header.record_length);
    char* record = record_room(outputs.dbf, length);
    int32_t unfit =
        format_dbf_record(run.record_formats, run.row.values, record, run.row.cut_counts);
    if (unfit != kAllValuesFit) {
        char shown[kFieldTextBytes];
        shown_value_text(run.record_formats, run.row, unfit, run.fields.fdec[unfit], shown,
                         sizeof shown);
        refuse_value(run.fields, run.record_formats, run.row.values[unfit], unfit,
                     run.shapes.record_number, shown);
    }
    append_record_bytes(outputs.shx, frame.index_entry, sizeof frame.index_entry);
    append_record_bytes(outputs.shp, frame.record_header, sizeof frame.record_header);
    append_record_bytes(outputs.shp, shape.bytes, static_cast<size_t>(shape.length));
    commit_record_bytes(outputs.dbf, length);
    dbf_position += static_cast<int64_t>(length);
}

void unload_row_loop(const RowSource& source, RunState& run, FileSet& files, int64_t& dbf_position,
                     ProgressMeter& meter) {
    run.fetched_rows = 0;
    run.rejected_rows = 0;
    run.rows_since_progress = 0;
    RowOutputs outputs;
    begin_record_output(outputs.shx, files.shx.stream, files.shx.name);
    begin_record_output(outputs.shp, files.shp.stream, files.shp.name);
    begin_record_output(outputs.dbf, files.dbf.stream, files.dbf.name);
    OslVar var = {};
    while (fetch_row(source)) {
        ++run.fetched_rows;
        if (meter.on && run.fetched_rows % kMeterCheckRows == 0) {
            check_progress_meter(meter, run.fetched_rows);
        }
        ShapeBuffer shape = read_row_shape(source.descriptor, source.shape_item, var);
        if (shape.length < kNullShapeBytes) {
            fatal_error("Record %d: the shape of %d bytes is too short to hold a shape type.",
                        run.shapes.record_number + 1, shape.length);
        }
        int32_t type = shape_type_of(shape);
        if (!accept_shape_type(run, type)) {
            note_and_log("Rejecting row with shape type %d.", type);
            ++run.rejected_rows;
        } else {
            if (source.rows_srid != nullptr && source.rows_srid->asked) {
                check_row_srid(*source.rows_srid, source.descriptor, run.shapes.record_number + 1,
                               *source.geometry);
            }
            ++run.rows_since_progress;
            write_row(source, run, outputs, files, shape, dbf_position);
            if (run.rows_since_progress == kProgressInterval) {
                progress_note_and_log("Unloaded row %i.", run.shapes.record_number);
                run.rows_since_progress = 0;
            }
        }
        if (osl_var_dealloc(&var) < 0) {
            inside_failure(InsideFailure::kVarDealloc);
        }
    }
    finish_progress_meter(meter, run.fetched_rows);
    end_record_output(outputs.shx);
    end_record_output(outputs.shp);
    end_record_output(outputs.dbf);
}
