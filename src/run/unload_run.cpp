// The unload run: one process, one run. Read top to bottom it follows the
// data: command line, files, connection, coordinate system and fields, the
// query, the rows, the headers, the summary, the commit. Every failure ends
// the process where it is met (fatal_error, check_sql), and the failure
// cleanup the files registered takes back what the run wrote: an init writes
// its set under temporary names and puts it in place only at the commit, an
// append goes back to the lengths and headers it started from.

#include "run/unload_run.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "db/client.h"
#include "db/declared_geometry.h"
#include "db/descriptor_items.h"
#include "db/server_trace.h"
#include "db/sql_error.h"
#include "db/unload_query.h"
#include "dbf/code_page_file.h"
#include "dbf/column_catalogue.h"
#include "dbf/dbf_header.h"
#include "dbf/dbf_record.h"
#include "report/interruption.h"
#include "report/messages.h"
#include "report/process_end.h"
#include "run/command_line.h"
#include "run/record_output.h"
#include "run/run_files.h"
#include "run/run_state.h"
#include "run/set_commit.h"
#include "shape/byte_order.h"
#include "shape/main_header.h"
#include "shape/shape_record.h"
#include "srs/projection_file.h"
#include "text/text_append.h"

// The connection target ("db" or "db@server") and the user and password
// copies are held in buffers of these sizes; longer texts are refused.
static constexpr size_t kTargetBytes = 4096;
static constexpr size_t kCredentialBytes = 256;

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
// Connection

static void form_target(const RunSettings& settings, char* target, size_t size) {
    target[0] = '\0';
    if (settings.server_given) {
        append_or_fail(target, size, "connection target", "%s@%s", settings.database,
                       settings.server);
    } else {
        append_or_fail(target, size, "connection target", "%s", settings.database);
    }
}

static void connect_to_database(const RunSettings& settings, const char* target) {
    if (settings.user_given && settings.password_given) {
        char user[kCredentialBytes] = {};
        char password[kCredentialBytes] = {};
        append_or_fail(user, sizeof user, "user name", "%s", settings.user);
        append_or_fail(password, sizeof password, "password", "%s", settings.password);
        OslConnectAuth* auth = osl_auth_make(user, password);
        int status = osl_connect(target, auth);
        osl_auth_free(auth);
        std::memset(password, 0, sizeof password);
        checked(status);
    } else {
        checked(osl_connect(target, nullptr));
    }
    if (settings.trace_given) {
        start_server_trace(settings.trace_file, settings.trace_level);
    }
}

// ---------------------------------------------------------------------------
// The query

static int32_t set_up_query(const RunSettings& settings, RunState& run) {
    unload_query_text({settings.table_name, settings.column_name},
                      settings.where_given ? settings.where_clause : nullptr, run.fields,
                      run.work_buffer, sizeof run.work_buffer);
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
    prepare_field_formats(run.fields, run.dbf_header.record_length, kUnloadDescriptor,
                          run.record_formats, run.row, &run.encoding);
    return shape_item;
}

// ---------------------------------------------------------------------------
// The rows

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
static void write_row(RunState& run, RowOutputs& outputs, const FileSet& files,
                      const ShapeBuffer& shape, int64_t& dbf_position) {
    check_dbf_room(run, files, dbf_position);
    ShapeRecordFrame frame;
    write_shape_record(run.shapes, shape, files.shp.name, files.shx.name, frame);
    read_row_values(kUnloadDescriptor, run.row.requests, run.row.field_count);
    // The record is made in place in the .dbf output's buffer, which holds
    // any record.
    static_assert(kDbfMaxLength <= kRecordOutputBytes, "a .dbf record fits the output buffer");
    size_t length = static_cast<size_t>(run.dbf_header.record_length);
    char* record = record_room(outputs.dbf, length);
    int32_t unfit =
        format_dbf_record(run.record_formats, run.row.values, record, run.row.cut_counts);
    if (unfit != kAllValuesFit) {
        refuse_value(run.fields, run.record_formats, run.row.values, unfit,
                     run.shapes.record_number);
    }
    append_record_bytes(outputs.shx, frame.index_entry, sizeof frame.index_entry);
    append_record_bytes(outputs.shp, frame.record_header, sizeof frame.record_header);
    append_record_bytes(outputs.shp, shape.bytes, static_cast<size_t>(shape.length));
    commit_record_bytes(outputs.dbf, length);
    dbf_position += static_cast<int64_t>(length);
}

static void unload_rows(RunState& run, FileSet& files, int32_t shape_item, int64_t& dbf_position) {
    run.fetched_rows = 0;
    run.rejected_rows = 0;
    run.rows_since_progress = 0;
    checked(osl_declare_cursor(kUnloadCursor, kUnloadStatement));
    checked(osl_open_cursor(kUnloadCursor));
    RowOutputs outputs;
    begin_record_output(outputs.shx, files.shx.stream, files.shx.name);
    begin_record_output(outputs.shp, files.shp.stream, files.shp.name);
    begin_record_output(outputs.dbf, files.dbf.stream, files.dbf.name);
    OslVar var = {};
    while (checked(osl_fetch(kUnloadCursor, kUnloadDescriptor)) != OSL_NO_ROW) {
        ++run.fetched_rows;
        ShapeBuffer shape = read_row_shape(kUnloadDescriptor, shape_item, var);
        if (shape.length < kNullShapeBytes) {
            fatal_error("Record %d: the shape of %d bytes is too short to hold a shape type.",
                        run.shapes.record_number + 1, shape.length);
        }
        int32_t type = shape_type_of(shape);
        if (!accept_shape_type(run, type)) {
            note_and_log("Rejecting row with shape type %d.", type);
            ++run.rejected_rows;
        } else {
            ++run.rows_since_progress;
            write_row(run, outputs, files, shape, dbf_position);
            if (run.rows_since_progress == kProgressInterval) {
                progress_note_and_log("Unloaded row %i.", run.shapes.record_number);
                run.rows_since_progress = 0;
            }
        }
        if (osl_var_dealloc(&var) < 0) {
            fatal_error("Error calling osl_var_dealloc.");
        }
    }
    end_record_output(outputs.shx);
    end_record_output(outputs.shp);
    end_record_output(outputs.dbf);
}

static void finish_files(RunState& run, FileSet& files, Operation operation) {
    if (std::fputc(kDbfEndOfFile, files.dbf.stream) == EOF) {
        fatal_error("Write failed for file %s.", files.dbf.name);
    }
    // The records first: a failure to store them is reported as what it is
    // before the header writers move the streams.
    flush_or_fail(files.shx.stream, files.shx.name);
    flush_or_fail(files.shp.stream, files.shp.name);
    flush_or_fail(files.dbf.stream, files.dbf.name);
    finish_main_headers(run.shapes, run.shape_type, run.shp_header, run.shx_header);
    OslDate today = 0;
    int16_t mdy[3] = {};
    if (osl_today(&today) < 0) {
        fatal_error("Error calling osl_today.");
    }
    if (osl_date_split(today, mdy) < 0) {
        fatal_error("Error calling osl_date_split.");
    }
    run.dbf_header.file_code = kDbfVersionByte;
    run.dbf_header.month = mdy[0];
    run.dbf_header.day = mdy[1];
    run.dbf_header.year = mdy[2] - 1900;
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
    const SetFile* failed = close_set_files(files, &failure);
    if (failed != nullptr) {
        fatal_error("%s failed for file %s.", failure, failed->name);
    }
    if (files.log != nullptr && (std::fflush(files.log) != 0 || std::ferror(files.log))) {
        fatal_error("Write failed for file %s.", files.log_name);
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        fatal_error("Write failed for the standard output.");
    }
}

// The end of a run that kept its word: the log closed and the last console
// lines out. The set is in place by now, so a failure here is reported but
// undoes nothing.
[[noreturn]] static void end_run(RunState& run, FileSet& files) {
    free_field_table(run.fields);
    attach_log_stream(nullptr);
    if (files.log != nullptr) {
        bool write_failed = std::ferror(files.log) != 0;
        bool close_failed = std::fclose(files.log) != 0;
        files.log = nullptr;
        if (write_failed || close_failed) {
            fatal_error("%s failed for file %s.", write_failed ? "Write" : "Close", files.log_name);
        }
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        fatal_error("Write failed for the standard output.");
    }
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
    detect_host_byte_order();

    name_files(settings, files);
    form_target(settings, target, sizeof target);
    refuse_database_as_output(files, target);
    open_files(settings, files);
    command_line_summary(settings, run.work_buffer, sizeof run.work_buffer);
    if (settings.log_given) {
        log_note("Information from command line ...\n\n%s", run.work_buffer);
    }

    connect_to_database(settings, target);
    const SpatialColumn geometry = {settings.table_name, settings.column_name};
    fetch_spatial_reference(geometry, run.work_buffer, sizeof run.work_buffer, reference);
    if (settings.operation == Operation::kInit) {
        build_field_table(geometry, run.work_buffer, sizeof run.work_buffer, run.fields,
                          run.dbf_header);
        if (!write_projection_file(files.prj.stream, files.prj.name, reference)) {
            drop_set_file(files.prj);
        }
        write_code_page_file(files.cpg.stream, files.cpg.name);
    } else {
        read_existing_file_set(settings, run, files);
        if (!projection_file_matches(files.prj.name, reference, files.prj.stream)) {
            close_run_files(files);
            commit_file_set(files, settings.operation);  // nothing was written
            end_run(run, files);
        }
    }

    int32_t shape_item = set_up_query(settings, run);
    int64_t dbf_position = position_files(settings, run, files);
    unload_rows(run, files, shape_item, dbf_position);
    if (!run.shape_type_fixed) {
        // No row gave the set a type (none, or null shapes only): it takes
        // the one its column declares, so that readers see what it holds.
        DeclaredGeometry declared = fetch_declared_geometry(geometry);
        run.shape_type = declared_shape_type(declared.type_name, declared.coord_dimension);
    }

    finish_files(run, files, settings.operation);
    report_value_cuts(run.fields, run.row);
    release_query(run);
    // Only a set that is in place is reported as unloaded.
    close_run_files(files);
    commit_file_set(files, settings.operation);
    report_summary(settings, run, files);
    end_run(run, files);
}
