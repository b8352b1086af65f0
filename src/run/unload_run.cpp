// The unload run: one process, one run. Read top to bottom it follows the
// data: command line, files, connection, coordinate system and fields, the
// query, the rows, the headers, the summary. Every failure ends the process
// where it is met (fatal_error, check_sql); the headers are written only
// after the last row, so an interrupted init leaves files whose zero headers
// never pass for a whole shapefile set.

#include "run/unload_run.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "db/client.h"
#include "db/server_trace.h"
#include "db/sql_error.h"
#include "db/unload_query.h"
#include "dbf/column_catalogue.h"
#include "dbf/dbf_header.h"
#include "dbf/dbf_record.h"
#include "run/command_line.h"
#include "run/messages.h"
#include "run/process_end.h"
#include "run/run_state.h"
#include "run/text_append.h"
#include "shape/byte_order.h"
#include "shape/main_header.h"
#include "shape/shape_record.h"
#include "spoolmap_version.h"
#include "srs/projection_file.h"

// The connection target ("db" or "db@server") and the user and password
// copies are held in buffers of these sizes; longer texts are refused.
static constexpr size_t kTargetBytes = 4096;
static constexpr size_t kCredentialBytes = 256;

// The formats' offsets are 32-bit signed: no file of the set may pass this.
static constexpr int64_t kLargestFileBytes = INT32_MAX;

static const char kVersionText[] = SPOOLMAP_VERSION_TEXT;

// Ends the run with the engine's diagnostics when an SQL operation failed.
static int checked(int status) {
    if (status < 0) {
        check_sql();
    }
    return status;
}

static bool is_init(const RunSettings& settings) {
    return std::strcmp(settings.operation, "init") == 0;
}

// ---------------------------------------------------------------------------
// Files

static void name_files(const RunSettings& settings, FileSet& files) {
    static const char* const kWhat = "file name";
    append_or_fail(files.shp_name, sizeof files.shp_name, kWhat, "%s.shp", settings.base_name);
    append_or_fail(files.shx_name, sizeof files.shx_name, kWhat, "%s.shx", settings.base_name);
    append_or_fail(files.dbf_name, sizeof files.dbf_name, kWhat, "%s.dbf", settings.base_name);
    append_or_fail(files.prj_name, sizeof files.prj_name, kWhat, "%s.prj", settings.base_name);
    if (settings.log_given) {
        form_log_name(settings, files.log_name, sizeof files.log_name);
    }
}

static void form_target(const RunSettings& settings, char* target, size_t size) {
    target[0] = '\0';
    if (settings.server_given) {
        append_or_fail(target, size, "connection target", "%s@%s", settings.database,
                       settings.server);
    } else {
        append_or_fail(target, size, "connection target", "%s", settings.database);
    }
}

// The run opens its outputs for writing before it connects: an output name
// that is the database file itself would destroy the data it is about to
// read, so it is refused before anything is opened.
static void refuse_database_as_output(const FileSet& files, const char* target) {
    char database_path[kFileNameBytes];
    if (osl_resolve_database_file(target, database_path, sizeof database_path) != 0) {
        return;  // a server, or no file: the connect reports what is wrong
    }
    struct stat database;
    if (stat(database_path, &database) != 0) {
        return;
    }
    const char* outputs[] = {files.shp_name, files.shx_name, files.dbf_name, files.prj_name,
                             files.log_name};
    for (const char* name : outputs) {
        struct stat output;
        if (name[0] != '\0' && stat(name, &output) == 0 && output.st_dev == database.st_dev &&
            output.st_ino == database.st_ino) {
            fatal_error("Output file %s is the database %s itself.", name, database_path);
        }
    }
}

static FILE* open_or_fail(const char* name, const char* mode) {
    FILE* stream = std::fopen(name, mode);
    if (stream == nullptr) {
        fatal_error("File open failed for file %s.", name);
    }
    return stream;
}

static void open_files(const RunSettings& settings, FileSet& files) {
    const char* mode = is_init(settings) ? "wb" : "rb+";
    files.shp = open_or_fail(files.shp_name, mode);
    files.shx = open_or_fail(files.shx_name, mode);
    files.dbf = open_or_fail(files.dbf_name, mode);
    if (settings.log_given) {
        files.log = open_or_fail(files.log_name, "w");
        attach_log_stream(files.log);
        log_note("Spatial Kestrum Module %s utility, version %s", kProgramName, kVersionText);
    }
}

static int64_t file_size(FILE* stream) {
    struct stat status;
    if (std::fflush(stream) != 0 || fstat(fileno(stream), &status) != 0) {
        return -1;
    }
    return status.st_size;
}

// ---------------------------------------------------------------------------
// Connection

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
        start_server_trace(settings);
    }
}

// ---------------------------------------------------------------------------
// An existing file set (append)

static void read_shape_header(FILE* stream, const char* name, ShapeFileHeader& header) {
    if (!read_main_header(stream, header)) {
        fatal_error("File %s is too short to hold a shapefile header.", name);
    }
    if (header.file_code != kShapeFileCode) {
        fatal_error("File %s is not a shapefile: its file code is %d, not %d.", name,
                    header.file_code, kShapeFileCode);
    }
    int64_t claimed = 2 * static_cast<int64_t>(header.file_length);
    int64_t actual = file_size(stream);
    if (claimed < kMainHeaderBytes || claimed > kLargestFileBytes || actual < claimed) {
        fatal_error("File %s is %lld bytes long but its header says %lld.", name,
                    static_cast<long long>(actual), static_cast<long long>(claimed));
    }
}

// Appending continues what the headers describe; a set whose files disagree
// would be corrupted further, so it is refused before anything is written.
static void read_existing_file_set(const RunSettings& settings, RunState& run, FileSet& files) {
    read_shape_header(files.shp, files.shp_name, run.shp_header);
    read_shape_header(files.shx, files.shx_name, run.shx_header);
    read_dbf_header(files.dbf, files.dbf_name, run.dbf_header, run.fields);
    int64_t index_bytes = 2 * static_cast<int64_t>(run.shx_header.file_length) - kMainHeaderBytes;
    if (index_bytes % kIndexEntryBytes != 0 ||
        index_bytes / kIndexEntryBytes != run.dbf_header.record_count) {
        fatal_error("File %s indexes %lld records but file %s holds %d.", files.shx_name,
                    static_cast<long long>(index_bytes / kIndexEntryBytes), files.dbf_name,
                    run.dbf_header.record_count);
    }
    map_fields_to_columns(settings, run);
}

// Bytes past the lengths the headers give were left by an interrupted append;
// cutting them off makes the finished set end where its headers say.
static void cut_to_length(FILE* stream, const char* name, int64_t length) {
    if (std::fflush(stream) != 0 || ftruncate(fileno(stream), static_cast<off_t>(length)) != 0) {
        fatal_error("Write failed for file %s.", name);
    }
}

// ---------------------------------------------------------------------------
// The query

static int32_t set_up_query(const RunSettings& settings, RunState& run) {
    unload_query_text(settings, run.fields, run.work_buffer, sizeof run.work_buffer);
    if (settings.log_given) {
        log_note("SELECT statement ...\n\n%s", run.work_buffer);
    }
    checked(osl_prepare(kUnloadStatement, run.work_buffer));
    checked(osl_allocate_descriptor(kUnloadDescriptor, run.fields.field_count + 1));
    checked(osl_describe(kUnloadStatement, kUnloadDescriptor));
    int shape_item = 0;
    checked(osl_get_descriptor_count(kUnloadDescriptor, &shape_item));
    const OslItemSetting shape_settings[] = {{OSL_ITEM_TYPE, OSL_SQL_VAR_BINARY},
                                             {OSL_ITEM_VAR_BY_LIBRARY, 1}};
    checked(osl_set_descriptor_items(kUnloadDescriptor, shape_item, shape_settings, 2));
    prepare_field_formats(run);
    return shape_item;
}

static void seek_or_fail(FILE* stream, const char* name, int64_t position) {
    if (fseeko(stream, static_cast<off_t>(position), SEEK_SET) != 0) {
        fatal_error("Seek failed in file %s.", name);
    }
}

// Where the first new record of each file goes, and the run's starting state.
static int64_t position_files(const RunSettings& settings, RunState& run, FileSet& files) {
    int64_t dbf_position = run.dbf_header.header_length;
    if (is_init(settings)) {
        run.shp_offset = kMainHeaderBytes;
        run.record_number = 0;
        run.shape_type = settings.shape_type_given ? settings.requested_shape_type : 0;
        run.shape_type_fixed = settings.shape_type_given;
        run.extent_set = false;
        seek_or_fail(files.shp, files.shp_name, kMainHeaderBytes);
        seek_or_fail(files.shx, files.shx_name, kMainHeaderBytes);
    } else {
        int64_t shp_end = 2 * static_cast<int64_t>(run.shp_header.file_length);
        int64_t shx_end = 2 * static_cast<int64_t>(run.shx_header.file_length);
        dbf_position +=
            static_cast<int64_t>(run.dbf_header.record_length) * run.dbf_header.record_count;
        cut_to_length(files.shp, files.shp_name, shp_end);
        cut_to_length(files.shx, files.shx_name, shx_end);
        cut_to_length(files.dbf, files.dbf_name, dbf_position);
        run.shp_offset = static_cast<int32_t>(shp_end);
        run.record_number = run.dbf_header.record_count;
        // A set of null shapes only has no shape type yet: its first non-null
        // row fixes the type and sets the extent, as in an init.
        run.shape_type = run.shp_header.shape_type;
        run.shape_type_fixed = run.shape_type != 0;
        run.extent_set = run.shape_type != 0 && run.record_number > 0;
        seek_or_fail(files.shp, files.shp_name, shp_end);
        seek_or_fail(files.shx, files.shx_name, shx_end);
    }
    seek_or_fail(files.dbf, files.dbf_name, dbf_position);
    return dbf_position;
}

// ---------------------------------------------------------------------------
// The rows

// Reads the current row's shape into var: the 4-byte null shape for a null
// geometry, else the bytes as the database returns them.
static ShapeBuffer read_row_shape(int32_t shape_item, OslVar& var) {
    int16_t indicator = 0;
    OslItemRequest indicator_request = {OSL_ITEM_INDICATOR,
                                        {OSL_HOST_INT16, &indicator, sizeof indicator}};
    checked(osl_get_descriptor_items(kUnloadDescriptor, shape_item, &indicator_request, 1));
    if (indicator == -1) {
        if (osl_var_alloc(&var, kNullShapeBytes) < 0) {
            fatal_error("Error calling osl_var_alloc.");
        }
        if (osl_var_setlen(&var, kNullShapeBytes) < 0) {
            fatal_error("Error calling osl_var_setlen.");
        }
        void* data = osl_var_getdata(&var);
        if (data == nullptr) {
            fatal_error("Error calling osl_var_getdata.");
        }
        std::memset(data, 0, kNullShapeBytes);
        return ShapeBuffer{static_cast<const uint8_t*>(data), kNullShapeBytes};
    }
    osl_var_ready(&var);
    OslItemRequest data_request = {OSL_ITEM_DATA, {OSL_HOST_VAR_LOCATED, &var, sizeof var}};
    checked(osl_get_descriptor_items(kUnloadDescriptor, shape_item, &data_request, 1));
    int32_t length = osl_var_getlen(&var);
    if (length == 0) {
        fatal_error("Error calling osl_var_getlen.");
    }
    void* data = osl_var_getdata(&var);
    if (data == nullptr) {
        fatal_error("Error calling osl_var_getdata.");
    }
    return ShapeBuffer{static_cast<const uint8_t*>(data), length};
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

static void write_dbf_record(RunState& run, FileSet& files, int64_t& dbf_position) {
    format_dbf_record(run);
    int64_t length = run.dbf_header.record_length;
    // The end-of-file byte follows the last record, so it must fit as well.
    if (dbf_position + length + 1 > kLargestFileBytes) {
        fatal_error(
            "Record %d would take file %s past the 2 GB limit of the format; split the "
            "table with -w.",
            run.record_number, files.dbf_name);
    }
    if (std::fwrite(run.work_buffer, 1, static_cast<size_t>(length), files.dbf) !=
        static_cast<size_t>(length)) {
        fatal_error("Write failed for file %s.", files.dbf_name);
    }
    dbf_position += length;
}

static void unload_rows(RunState& run, FileSet& files, int32_t shape_item, int64_t& dbf_position) {
    run.fetched_rows = 0;
    run.rejected_rows = 0;
    run.rows_since_progress = 0;
    checked(osl_declare_cursor(kUnloadCursor, kUnloadStatement));
    checked(osl_open_cursor(kUnloadCursor));
    OslVar var = {};
    while (checked(osl_fetch(kUnloadCursor, kUnloadDescriptor)) != OSL_NO_ROW) {
        ++run.fetched_rows;
        ShapeBuffer shape = read_row_shape(shape_item, var);
        if (shape.length < kNullShapeBytes) {
            fatal_error("Record %d: the shape of %d bytes is too short to hold a shape type.",
                        run.record_number + 1, shape.length);
        }
        int32_t type = shape_type_of(shape);
        if (!accept_shape_type(run, type)) {
            note_and_log("Rejecting row with shape type %d.", type);
            ++run.rejected_rows;
        } else {
            ++run.rows_since_progress;
            write_shape_record(run, files, shape);
            write_dbf_record(run, files, dbf_position);
            if (run.rows_since_progress == kProgressInterval) {
                note_and_log("Unloaded row %i.", run.record_number);
                run.rows_since_progress = 0;
            }
        }
        if (osl_var_dealloc(&var) < 0) {
            fatal_error("Error calling osl_var_dealloc.");
        }
    }
}

// ---------------------------------------------------------------------------
// The headers and the end

// Flushes a stream and checks it: a write that failed in the buffer (a full
// disk, a lost device) shows only here.
static void flush_or_fail(FILE* stream, const char* name) {
    if (stream != nullptr && (std::fflush(stream) != 0 || std::ferror(stream))) {
        fatal_error("Write failed for file %s.", name);
    }
}

static void finish_files(RunState& run, FileSet& files) {
    if (std::fputc(kDbfEndOfFile, files.dbf) == EOF) {
        fatal_error("Write failed for file %s.", files.dbf_name);
    }
    // The records first: a failure to store them is reported as what it is
    // before the header writers move the streams.
    flush_or_fail(files.shx, files.shx_name);
    flush_or_fail(files.shp, files.shp_name);
    flush_or_fail(files.dbf, files.dbf_name);
    finish_main_headers(run);
    OslDate today = 0;
    int16_t mdy[3] = {};
    osl_today(&today);
    osl_date_split(today, mdy);
    run.dbf_header.file_code = kDbfVersionByte;
    run.dbf_header.month = mdy[0];
    run.dbf_header.day = mdy[1];
    run.dbf_header.year = mdy[2] - 1900;
    run.dbf_header.record_count = run.record_number;
    write_dbf_header(files.dbf, files.dbf_name, run.dbf_header, run.fields);
    write_main_header(files.shp, files.shp_name, run.shp_header);
    write_main_header(files.shx, files.shx_name, run.shx_header);
    // A run that reports success must have every byte on its way to disk.
    const struct {
        FILE* stream;
        const char* name;
    } written[] = {{files.dbf, files.dbf_name},
                   {files.shp, files.shp_name},
                   {files.shx, files.shx_name},
                   {files.prj, files.prj_name}};
    for (const auto& file : written) {
        flush_or_fail(file.stream, file.name);
    }
}

static void release_query(RunState& run) {
    checked(osl_close_cursor(kUnloadCursor));
    checked(osl_free_cursor(kUnloadCursor));
    checked(osl_free_statement(kUnloadStatement));
    checked(osl_deallocate_descriptor(kUnloadDescriptor));
    free_field_formats(run);
    checked(osl_disconnect_current());
}

static void report_summary(const RunSettings& settings, RunState& run, const FileSet& files) {
    note_and_log("Unloaded %i row(s).", run.fetched_rows - run.rejected_rows);
    note_and_log("Rejected %i row(s).", run.rejected_rows);
    OslDateTime end;
    OslInterval elapsed;
    char elapsed_text[64] = "?";
    if (osl_current_datetime(&end, OSL_HOUR_TO_FRACTION1) == 0 &&
        osl_datetime_subtract(&end, &run.start_time, &elapsed) == 0) {
        osl_interval_to_text(&elapsed, elapsed_text, sizeof elapsed_text);
    }
    note_and_log("Elapsed time %s", elapsed_text);
    if (settings.log_given) {
        dbf_header_dump(run.dbf_header, run.fields, run.work_buffer, sizeof run.work_buffer);
        log_note("Header info from %s ...\n\n%s", files.dbf_name, run.work_buffer);
        format_main_header(run.shp_header, run.work_buffer, sizeof run.work_buffer);
        log_note("Header info from %s ...\n\n%s", files.shp_name, run.work_buffer);
        format_main_header(run.shx_header, run.work_buffer, sizeof run.work_buffer);
        log_note("Header info from %s ...\n\n%s", files.shx_name, run.work_buffer);
    }
}

// Closes every stream, also after a failed close, and ends the process: a
// close that fails means bytes that never reached the file.
[[noreturn]] static void clean_up(RunState& run, FileSet& files) {
    free_field_table(run.fields);
    attach_log_stream(nullptr);
    const struct {
        FILE* stream;
        const char* name;
    } streams[] = {{files.shp, files.shp_name},
                   {files.shx, files.shx_name},
                   {files.dbf, files.dbf_name},
                   {files.log, files.log_name},
                   {files.prj_open ? files.prj : nullptr, files.prj_name}};
    const char* failed = nullptr;
    for (const auto& file : streams) {
        if (file.stream != nullptr && std::fclose(file.stream) != 0 && failed == nullptr) {
            failed = file.name;
        }
    }
    files = FileSet{};
    if (failed != nullptr) {
        fatal_error("Close failed for file %s.", failed);
    }
    end_process(kExitCompleted);
}

void run_unload(int argc, char** argv) {
    static RunSettings settings;
    static RunState run;
    static FileSet files;
    static SpatialReference reference;
    static char target[kTargetBytes];

    osl_current_datetime(&run.start_time, OSL_HOUR_TO_FRACTION1);
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
    fetch_spatial_reference(settings, run.work_buffer, sizeof run.work_buffer, reference);
    if (is_init(settings)) {
        build_field_table(settings, run);
        write_projection_file(files, reference);
    } else {
        read_existing_file_set(settings, run, files);
        if (!projection_file_matches(files, reference)) {
            clean_up(run, files);
        }
    }

    int32_t shape_item = set_up_query(settings, run);
    int64_t dbf_position = position_files(settings, run, files);
    unload_rows(run, files, shape_item, dbf_position);

    finish_files(run, files);
    release_query(run);
    report_summary(settings, run, files);
    clean_up(run, files);
}
