// The run's files: naming and opening the file set, taking over an existing
// one for an append (and refusing one whose files disagree), placing each
// stream where its next record goes, and checking that what was written
// reached the file.

#include "run/run_files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>

#include "db/client.h"
#include "dbf/column_catalogue.h"
#include "dbf/dbf_header.h"
#include "report/messages.h"
#include "run/command_line.h"
#include "shape/main_header.h"
#include "shape/shape_record.h"
#include "spoolmap_version.h"
#include "text/text_append.h"

void form_log_name(const RunSettings& settings, char* name, size_t size) {
    name[0] = '\0';
    if (settings.log_directory != nullptr) {
        append_or_fail(name, size, "log file name", "%s/%s.log", settings.log_directory,
                       file_part(settings.base_name));
    } else {
        append_or_fail(name, size, "log file name", "%s.log", settings.base_name);
    }
}

void name_files(const RunSettings& settings, FileSet& files) {
    static const char* const kWhat = "file name";
    append_or_fail(files.shp_name, sizeof files.shp_name, kWhat, "%s.shp", settings.base_name);
    append_or_fail(files.shx_name, sizeof files.shx_name, kWhat, "%s.shx", settings.base_name);
    append_or_fail(files.dbf_name, sizeof files.dbf_name, kWhat, "%s.dbf", settings.base_name);
    append_or_fail(files.prj_name, sizeof files.prj_name, kWhat, "%s.prj", settings.base_name);
    if (settings.log_given) {
        form_log_name(settings, files.log_name, sizeof files.log_name);
    }
}

// The run opens its outputs for writing before it connects: an output name
// that is the database file itself would destroy the data it is about to
// read, so it is refused before anything is opened.
void refuse_database_as_output(const FileSet& files, const char* target) {
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

void open_files(const RunSettings& settings, FileSet& files) {
    const char* mode = settings.operation == Operation::kInit ? "wb" : "rb+";
    files.shp = open_or_fail(files.shp_name, mode);
    files.shx = open_or_fail(files.shx_name, mode);
    files.dbf = open_or_fail(files.dbf_name, mode);
    if (settings.log_given) {
        files.log = open_or_fail(files.log_name, "w");
        attach_log_stream(files.log);
        log_note("Spatial Kestrum Module %s utility, version %s", kProgramName,
                 SPOOLMAP_VERSION_TEXT);
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
    if (claimed < kMainHeaderBytes || claimed > kMaxShapeFileBytes || actual < claimed) {
        fatal_error("File %s is %lld bytes long but its header says %lld.", name,
                    static_cast<long long>(actual), static_cast<long long>(claimed));
    }
}

// Appending continues what the headers describe; a set whose files disagree
// would be corrupted further, so it is refused before anything is written.
void read_existing_file_set(const RunSettings& settings, RunState& run, FileSet& files) {
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
    map_fields_to_columns({settings.table_name, settings.column_name}, files.dbf_name,
                          run.work_buffer, sizeof run.work_buffer, run.fields);
}

// Bytes past the lengths the headers give were left by an interrupted append;
// cutting them off makes the finished set end where its headers say.
static void cut_to_length(FILE* stream, const char* name, int64_t length) {
    if (std::fflush(stream) != 0 || ftruncate(fileno(stream), static_cast<off_t>(length)) != 0) {
        fatal_error("Write failed for file %s.", name);
    }
}

static void seek_or_fail(FILE* stream, const char* name, int64_t position) {
    if (fseeko(stream, static_cast<off_t>(position), SEEK_SET) != 0) {
        fatal_error("Seek failed in file %s.", name);
    }
}

// Where the first new record of each file goes, and the run's starting state.
int64_t position_files(const RunSettings& settings, RunState& run, FileSet& files) {
    int64_t dbf_position = run.dbf_header.header_length;
    ShapeTally& shapes = run.shapes;
    if (settings.operation == Operation::kInit) {
        shapes = ShapeTally{};
        shapes.shp_offset = kMainHeaderBytes;
        run.shape_type = settings.shape_type_given ? settings.requested_shape_type : 0;
        run.shape_type_fixed = settings.shape_type_given;
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
        // The old end-of-file byte goes back at once: a run that fails before
        // its finish leaves the old records as a whole .dbf behind.
        seek_or_fail(files.dbf, files.dbf_name, dbf_position);
        if (std::fputc(kDbfEndOfFile, files.dbf) == EOF) {
            fatal_error("Write failed for file %s.", files.dbf_name);
        }
        flush_or_fail(files.dbf, files.dbf_name);
        shapes.shp_offset = static_cast<int32_t>(shp_end);
        shapes.record_number = run.dbf_header.record_count;
        // A set of null shapes only has no shape type yet: its first non-null
        // row fixes the type and sets the extent, as in an init.
        run.shape_type = run.shp_header.shape_type;
        run.shape_type_fixed = run.shape_type != 0;
        shapes.extent_set = run.shape_type != 0 && shapes.record_number > 0;
        shapes.extent = run.shp_header.extent;
        seek_or_fail(files.shp, files.shp_name, shp_end);
        seek_or_fail(files.shx, files.shx_name, shx_end);
    }
    seek_or_fail(files.dbf, files.dbf_name, dbf_position);
    return dbf_position;
}

// ---------------------------------------------------------------------------
// The headers and the end

// Flushes a stream and checks it: a write that failed in the buffer (a full
// disk, a lost device) shows only here.
void flush_or_fail(FILE* stream, const char* name) {
    if (stream != nullptr && (std::fflush(stream) != 0 || std::ferror(stream))) {
        fatal_error("Write failed for file %s.", name);
    }
}
