// The run's files: naming and opening the file set, taking over an existing
// one for an append (and refusing one whose files disagree), placing each
// stream where its next record goes, and checking that what was written
// reached the file.

#include "run/run_files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>

#include "common/byte_order.h"
#include "db/client.h"
#include "db/table_columns.h"
#include "dbf/code_page_file.h"
#include "dbf/dbf_header.h"
#include "report/messages.h"
#include "run/command_line.h"
#include "run/set_commit.h"
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
    for (const SetMember& member : kSetMembers) {
        SetFile& file = files.*member.file;
        append_or_fail(file.name, sizeof file.name, "file name", "%s%s", settings.base_name,
                       member.extension);
    }
    name_parts(files);
    if (settings.log_given) {
        form_log_name(settings, files.log_name, sizeof files.log_name);
    }
}

// The run opens its outputs for writing before it connects: an output name
// that is the database file itself would destroy the data it is about to
// read, so it is refused before anything is opened (or removed: a stale part
// file is removed at the start).
void refuse_database_as_output(const FileSet& files, const char* target) {
    char database_path[kFileNameBytes];
    if (osl_resolve_database_file(target, database_path, sizeof database_path) != 0) {
        return;  // a server, or no file: the connect reports what is wrong
    }
    struct stat database;
    if (stat(database_path, &database) != 0) {
        return;
    }
    auto refuse_if_database = [&](const char* name) {
        struct stat output;
        if (name[0] != '\0' && stat(name, &output) == 0 && output.st_dev == database.st_dev &&
            output.st_ino == database.st_ino) {
            fatal_error("Output file %s is the database %s itself.", name, database_path);
        }
    };
    for (const SetMember& member : kSetMembers) {
        refuse_if_database((files.*member.file).name);
        refuse_if_database((files.*member.file).part_name);
    }
    refuse_if_database(files.log_name);
}

void open_files(const RunSettings& settings, FileSet& files) {
    remove_stale_parts(files);
    for (const SetMember& member : kSetMembers) {
        SetFile& file = files.*member.file;
        if (settings.operation == Operation::kInit) {
            create_part_file(file);
        } else if (member.appended) {
            file.stream = std::fopen(file.name, "rb+");
            if (file.stream == nullptr) {
                file_error("File open", file.name, errno);
            }
        }
    }
    if (settings.log_given) {
        files.log = std::fopen(files.log_name, "w");
        if (files.log == nullptr) {
            file_error("File open", files.log_name, errno);
        }
        attach_log_stream(files.log);
        log_note("Spatial Kestrum Module %s utility, version %s", kProgramName,
                 SPOOLMAP_VERSION_TEXT);
    }
}

// ---------------------------------------------------------------------------
// An existing file set (append)

// Appending continues what the headers describe; a set whose files disagree
// would be corrupted further, so it is refused before anything is written.
void read_existing_file_set(const SpatialColumn& geometry, RunState& run, FileSet& files) {
    read_main_header(files.shp.stream, files.shp.name, run.shp_header);
    read_main_header(files.shx.stream, files.shx.name, run.shx_header);
    read_dbf_header(files.dbf.stream, files.dbf.name, run.dbf_header, run.fields);
    run.encoding =
        find_set_encoding(files.cpg.name, files.dbf.name, run.dbf_header.language_driver);
    int64_t index_bytes = 2 * static_cast<int64_t>(run.shx_header.file_length) - kMainHeaderBytes;
    if (index_bytes % kIndexEntryBytes != 0 ||
        index_bytes / kIndexEntryBytes != run.dbf_header.record_count) {
        fatal_error("File %s indexes %lld records but file %s holds %d.", files.shx.name,
                    static_cast<long long>(index_bytes / kIndexEntryBytes), files.dbf.name,
                    run.dbf_header.record_count);
    }
    map_fields_to_columns(geometry, files.dbf.name, run.work_buffer, sizeof run.work_buffer,
                          run.fields);
}

// Bytes past the lengths the headers give were left by an interrupted append;
// cutting them off makes the finished set end where its headers say.
static void cut_to_length(const SetFile& file, int64_t length) {
    errno = 0;
    if (std::fflush(file.stream) != 0 ||
        ftruncate(fileno(file.stream), static_cast<off_t>(length)) != 0) {
        file_error("Write", file.name, errno);
    }
}

static void seek_or_fail(const SetFile& file, int64_t position) {
    if (fseeko(file.stream, static_cast<off_t>(position), SEEK_SET) != 0) {
        file_error("Seek", file.name, errno);
    }
}

// Whether any of the first records entries of the .shx (at its start) is
// that of a shape rather than a null shape: a null shape's content is 2
// words long. Stops at the first shape it finds.
static bool index_holds_a_shape(const SetFile& shx, int32_t records) {
    constexpr int kEntriesPerRead = 4096;
    constexpr int32_t kNullShapeWords = kNullShapeBytes / 2;
    static uint8_t entries[kEntriesPerRead * kIndexEntryBytes];
    seek_or_fail(shx, kMainHeaderBytes);
    for (int32_t done = 0; done < records;) {
        int32_t count = records - done < kEntriesPerRead ? records - done : kEntriesPerRead;
        size_t bytes = static_cast<size_t>(count) * kIndexEntryBytes;
        errno = 0;
        if (std::fread(entries, 1, bytes, shx.stream) != bytes) {
            file_error("Read", shx.name, errno);
        }
        for (int32_t i = 0; i < count; ++i) {
            if (load_be_int32(entries, static_cast<size_t>(i) * kIndexEntryBytes + 4) !=
                kNullShapeWords) {
                return true;
            }
        }
        done += count;
    }
    return false;
}

// Whether the extent of the existing header is that of shapes. A set whose
// records are all null shapes (it may still have a type, its column's) has
// none: its first new shape sets the extent, which then does not cover the
// origin by accident. Only an all-zero extent can be such a set's, so only
// then is the index read.
static bool extent_of_shapes(const RunState& run, const SetFile& shx) {
    const Extent& extent = run.shp_header.extent;
    if (run.shp_header.shape_type == 0 || run.dbf_header.record_count == 0) {
        return false;
    }
    bool all_zero = extent.xmin == 0 && extent.ymin == 0 && extent.xmax == 0 && extent.ymax == 0;
    return !all_zero || index_holds_a_shape(shx, run.dbf_header.record_count);
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
        seek_or_fail(files.shp, kMainHeaderBytes);
        seek_or_fail(files.shx, kMainHeaderBytes);
    } else {
        int64_t shp_end = 2 * static_cast<int64_t>(run.shp_header.file_length);
        int64_t shx_end = 2 * static_cast<int64_t>(run.shx_header.file_length);
        dbf_position +=
            static_cast<int64_t>(run.dbf_header.record_length) * run.dbf_header.record_count;
        cut_to_length(files.shp, shp_end);
        cut_to_length(files.shx, shx_end);
        cut_to_length(files.dbf, dbf_position);
        // The old end-of-file byte goes back at once: this is the set a
        // failed run goes back to.
        seek_or_fail(files.dbf, dbf_position);
        if (std::fputc(kDbfEndOfFile, files.dbf.stream) == EOF) {
            file_error("Write", files.dbf.name, errno);
        }
        flush_or_fail(files.dbf.stream, files.dbf.name);
        keep_append_restore_point(
            files, {kMainHeaderBytes, kMainHeaderBytes, run.dbf_header.header_length});
        shapes.shp_offset = static_cast<int32_t>(shp_end);
        shapes.record_number = run.dbf_header.record_count;
        // A set of null shapes only may have no shape type yet: its first
        // non-null row fixes the type and sets the extent, as in an init.
        run.shape_type = run.shp_header.shape_type;
        run.shape_type_fixed = run.shape_type != 0;
        shapes.extent_set = extent_of_shapes(run, files.shx);
        shapes.extent = run.shp_header.extent;
        seek_or_fail(files.shp, shp_end);
        seek_or_fail(files.shx, shx_end);
    }
    seek_or_fail(files.dbf, dbf_position);
    return dbf_position;
}

// ---------------------------------------------------------------------------
// The headers and the end

// Flushes a stream and checks it: a write that failed in the buffer (a full
// disk, a lost device) shows only here.
void flush_or_fail(FILE* stream, const char* name) {
    errno = 0;
    if (stream != nullptr && (std::fflush(stream) != 0 || std::ferror(stream))) {
        file_error("Write", name, errno);
    }
}
