// The unload run: one process, one run. Read top to bottom it follows the
// data: command line, files, connection, coordinate system and fields, the
// query, the rows, the headers, the summary, the commit. Every failure ends
// the process where it is met (fatal_error, check_sql), and the failure
// cleanup the files registered takes back what the run wrote: an init writes
// its set under temporary names and puts it in place only at the commit, an
// append goes back to the lengths and headers it started from.

#include "run/unload_run.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "db/client.h"
#include "db/declared_geometry.h"
#include "db/descriptor_items.h"
#include "db/row_values.h"
#include "db/spatial_column.h"
#include "db/sql_error.h"
#include "db/table_columns.h"
#include "db/unload_query.h"
#include "dbf/code_page_file.h"
#include "dbf/dbf_header.h"
#include "dbf/field_refusals.h"
#include "report/clock.h"
#include "report/interruption.h"
#include "report/messages.h"
#include "report/process_end.h"
#include "report/progress_meter.h"
#include "run/command_line.h"
#include "run/connection.h"
#include "run/listing_run.h"
#include "run/row_loop.h"
#include "run/run_files.h"
#include "run/run_state.h"
#include "run/set_commit.h"
#include "shape/main_header.h"
#include "shape/shape_record.h"
#include "srs/data_srid.h"
#include "srs/projection_file.h"
#include "text/text_append.h"

// Ends the run with the engine's diagnostics when an SQL operation failed.
static int checked(int status) {
    if (status < 0) {
        check_sql();
    }
    return status;
}

// The unload query's statement, descriptor and cursor, for the life of the
// run.
static const char kUnloadStatement[] = "selstmt2";
static const char kUnloadDescriptor[] = "seldesc2";
static const char kUnloadCursor[] = "selcurs";

// ---------------------------------------------------------------------------
// init: the .prj holds the column's coordinate system; a set without one
// has none.
static void write_projection(FileSet& files, const SpatialReference& reference) {
    if (!write_projection_file(files.prj.stream, files.prj.name, reference)) {
        drop_set_file(files.prj);
    }
}

// ---------------------------------------------------------------------------
// The query

static int32_t set_up_query(const RunSettings& settings, const SpatialColumn& geometry,
                            RunState& run, RowsSrid& rows_srid) {
    unload_query_text(geometry, settings.where_given ? settings.where_clause : nullptr, run.fields,
                      run.work_buffer, sizeof run.work_buffer,
                      rows_srid.asked ? SridItem::kAsked : SridItem::kLeftOut);
    if (settings.log_given) {
        log_note("SELECT statement ...\n\n%s", run.work_buffer);
    }
    checked(osl_prepare(kUnloadStatement, run.work_buffer));
    refuse_parameter_markers(kUnloadStatement, settings.where_clause);
    checked(osl_allocate_descriptor(kUnloadDescriptor, run.fields.field_count + 1));
    checked(osl_describe(kUnloadStatement, kUnloadDescriptor));
    int shape_item = 0;
    checked(osl_get_descriptor_count(kUnloadDescriptor, &shape_item));
    const OslItemSetting shape_settings[] = {{OSL_ITEM_TYPE, OSL_SQL_VAR_BINARY},
                                             {OSL_ITEM_VAR_BY_LIBRARY, 1}};
    checked(osl_set_descriptor_items(kUnloadDescriptor, shape_item, shape_settings, 2));
    if (rows_srid.asked) {
        // Whatever the database calls GX_Srid's result, it reads as an integer.
        rows_srid.item = shape_item - 1;
        const OslItemSetting srid_setting = {OSL_ITEM_TYPE, OSL_SQL_INTEGER};
        checked(osl_set_descriptor_items(kUnloadDescriptor, rows_srid.item, &srid_setting, 1));
    }
    prepare_field_formats(run.fields, run.dbf_header.record_length, kUnloadDescriptor,
                          run.record_formats, run.row, &run.encoding);
    return shape_item;
}

// ---------------------------------------------------------------------------
// The rows

// What the database knows of the rows the query will return, for the
// terminal's meter: the table's count, unless -w picks some of them.
static void start_meter(const RunSettings& settings, const SpatialColumn& geometry,
                        ProgressMeter& meter) {
    int64_t rows = 0;
    int kind = OSL_ROWS_UNKNOWN;
    if (console_is_terminal() && !settings.where_given) {
        char table[kShownTableBytes];
        checked(osl_table_row_count(shown_table_name(geometry, table, sizeof table), &rows, &kind));
    }
    start_progress_meter(meter, rows,
                         kind == OSL_ROWS_EXACT      ? RowTotal::kExact
                         : kind == OSL_ROWS_ESTIMATE ? RowTotal::kEstimate
                                                     : RowTotal::kUnknown);
}

// The rows, from the cursor opened to the last one written.
static void unload_rows(const RunSettings& settings, RunState& run, FileSet& files,
                        int32_t shape_item, int64_t& dbf_position, RowsSrid& rows_srid,
                        const SpatialColumn& geometry) {
    ProgressMeter meter;
    start_meter(settings, geometry, meter);
    checked(osl_declare_cursor(kUnloadCursor, kUnloadStatement));
    checked(osl_open_cursor(kUnloadCursor));
    const RowSource source = {kUnloadCursor, kUnloadDescriptor, shape_item, &rows_srid, &geometry};
    unload_row_loop(source, run, files, dbf_position, meter);
}

static void finish_files(RunState& run, FileSet& files, Operation operation) {
    if (std::fputc(kDbfEndOfFile, files.dbf.stream) == EOF) {
        file_error("Write", files.dbf.name, errno);
    }
    // The records first: a failure to store them is reported as what it is
    // before the header writers move the streams.
    flush_or_fail(files.shx.stream, files.shx.name);
    flush_or_fail(files.shp.stream, files.shp.name);
    flush_or_fail(files.dbf.stream, files.dbf.name);
    finish_main_headers(run.shapes, run.shape_type, run.shp_header, run.shx_header);
    CalendarDate today;
    if (!today_date(today)) {
        fatal_error("The clock cannot be read for the date of file %s.", files.dbf.name);
    }
    run.dbf_header.file_code = kDbfVersionByte;
    run.dbf_header.month = today.month;
    run.dbf_header.day = today.day;
    run.dbf_header.year = today.year - 1900;
    run.dbf_header.record_count = run.shapes.record_number;
    write_dbf_header(files.dbf.stream, files.dbf.name, run.dbf_header, run.fields);
    write_main_header(files.shp.stream, files.shp.name, run.shp_header);
    write_main_header(files.shx.stream, files.shx.name, run.shx_header);
    // A run that reports success must have every byte on disk.
    sync_set_files(files, operation);
}

static void release_query(RunState& run) {
    checked(osl_close_cursor(kUnloadCursor));
    checked(osl_free_cursor(kUnloadCursor));
    checked(osl_free_statement(kUnloadStatement));
    checked(osl_deallocate_descriptor(kUnloadDescriptor));
    free_field_formats(run.record_formats, run.row);
    checked(osl_disconnect_current());
}

static void report_summary(const RunSettings& settings, RunState& run, const FileSet& files) {
    note_and_log("Unloaded %i row(s).", run.fetched_rows - run.rejected_rows);
    note_and_log("Rejected %i row(s).", run.rejected_rows);
    OslDateTime end;
    OslInterval elapsed;
    char elapsed_text[64] = "";
    if (!run.start_time_known || osl_current_datetime(&end, OSL_HOUR_TO_FRACTION1) != 0 ||
        osl_datetime_subtract(&end, &run.start_time, &elapsed) != 0 ||
        osl_interval_to_text(&elapsed, elapsed_text, sizeof elapsed_text) != 0) {
        std::snprintf(elapsed_text, sizeof elapsed_text, "?");  // the clock failed us
    }
    note_and_log("Elapsed time %s", elapsed_text);
    if (settings.log_given) {
        dbf_header_dump(run.dbf_header, run.fields, run.work_buffer, sizeof run.work_buffer);
        log_note("Header info from %s ...\n\n%s", files.dbf.name, run.work_buffer);
        format_main_header(run.shp_header, run.work_buffer, sizeof run.work_buffer);
        log_note("Header info from %s ...\n\n%s", files.shp.name, run.work_buffer);
        format_main_header(run.shx_header, run.work_buffer, sizeof run.work_buffer);
        log_note("Header info from %s ...\n\n%s", files.shx.name, run.work_buffer);
    }
}

// Closes every stream of the run, also after a failed one, and checks that
// what the run wrote reached its file: a write that failed on its way out of
// a stream's buffer, or a close that fails, means bytes that never got there;
// so do console lines that never reached the standard output. Each ends the
// run before the commit, with the old set as it was. The log stays open for
// the run's last entries, but what it holds so far must have been written.
static void close_run_files(FileSet& files) {
    const char* failure = nullptr;
    int error = 0;
    const SetFile* failed = close_set_files(files, &failure, &error);
    if (failed != nullptr) {
        file_error(failure, failed->name, error);
    }
    flush_or_fail(files.log, files.log_name);
    flush_console_or_fail();
}

// The end of a run that kept its word: the log closed and the last console
// lines out. The set is in place by now, so a failure here is reported but
// undoes nothing.
[[noreturn]] static void end_run(RunState& run, FileSet& files) {
    free_field_table(run.fields);
    attach_log_stream(nullptr);
    if (files.log != nullptr) {
        errno = 0;
        bool write_failed = std::ferror(files.log) != 0;
        bool close_failed = std::fclose(files.log) != 0;
        files.log = nullptr;
        if (write_failed || close_failed) {
            file_error(write_failed ? "Write" : "Close", files.log_name, errno);
        }
    }
    flush_console_or_fail();
    end_process(kExitCompleted);
}

void run_unload(int argc, char** argv) {
    static RunSettings settings;
    static RunState run;
    static FileSet files;
    static SpatialReference reference;
    static char target[kTargetBytes];

    run.start_time_known = osl_current_datetime(&run.start_time, OSL_HOUR_TO_FRACTION1) == 0;
    install_interruption_handlers();
    parse_command_line(argc, argv, settings);
    form_target(settings, target, sizeof target);
    if (settings.list_given) {
        run_listing(settings, target);
    }

    name_files(settings, files);
    refuse_database_as_output(files, target);
    open_files(settings, files);
    command_line_summary(settings, run.work_buffer, sizeof run.work_buffer);
    if (settings.log_given) {
        log_note("Information from command line ...\n\n%s", run.work_buffer);
    }

    connect_to_database(settings, target);
    static OslGeometryColumn found;
    const WrittenColumn written = {{settings.schema_name, settings.schema_quoted},
                                   {settings.table_name, settings.table_quoted},
                                   {settings.column_name, settings.column_quoted}};
    const SpatialColumn geometry = find_spatial_column(written, found);
    fetch_spatial_reference(geometry, run.work_buffer, sizeof run.work_buffer, reference);
    // Where the catalogue knows no coordinate system, the .prj waits for the
    // rows to tell theirs.
    static RowsSrid rows_srid;
    rows_srid.asked = srid_from_rows(reference);
    if (settings.operation == Operation::kInit) {
        build_field_table(geometry, run.work_buffer, sizeof run.work_buffer, run.fields,
                          run.dbf_header);
        if (!rows_srid.asked) {
            write_projection(files, reference);
        }
        write_code_page_file(files.cpg.stream, files.cpg.name);
    } else {
        read_existing_file_set(geometry, run, files);
        if (!rows_srid.asked &&
            !projection_file_matches(files.prj.name, reference, files.prj.stream)) {
            close_run_files(files);
            commit_file_set(files, settings.operation);  // nothing was written
            end_run(run, files);
        }
    }

    int32_t shape_item = set_up_query(settings, geometry, run, rows_srid);
    int64_t dbf_position = position_files(settings, run, files);
    unload_rows(settings, run, files, shape_item, dbf_position, rows_srid, geometry);
    if (rows_srid.asked) {
        take_rows_spatial_reference(rows_srid, geometry, reference);
        if (settings.operation == Operation::kInit) {
            write_projection(files, reference);
        } else if (rows_srid.seen &&
                   !projection_file_matches(files.prj.name, reference, files.prj.stream)) {
            // Rows were appended by now: a mismatch takes them back. Rows
            // that showed no SRID (none, or null geometries) match any set.
            end_process(kExitFailed);
        }
    }
    if (!run.shape_type_fixed) {
        // No row gave the set a type (none, or null shapes only): it takes
        // the one its column declares, so that readers see what it holds; a
        // generic column, or a type no shapefile holds, leaves it 0.
        DeclaredGeometry declared = fetch_declared_geometry(geometry);
        int32_t type = declared_shape_type(declared.type_name, declared.coord_dimension);
        run.shape_type = type > 0 ? type : kNullShapeType;
    }

    finish_files(run, files, settings.operation);
    report_value_cuts(run.fields, run.row.cut_counts);
    release_query(run);
    // Only a set that is in place is reported as unloaded.
    close_run_files(files);
    commit_file_set(files, settings.operation);
    report_summary(settings, run, files);
    end_run(run, files);
}
