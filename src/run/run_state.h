// The state of one unload run: the file set it writes and the counters,
// headers and buffers that live from start-up to the cleanup.

#ifndef SPOOLMAP_RUN_RUN_STATE_H
#define SPOOLMAP_RUN_RUN_STATE_H

#include <cstdint>
#include <cstdio>

#include "db/client.h"
#include "dbf/dbf_header.h"
#include "dbf/dbf_record.h"
#include "shape/main_header.h"

constexpr int kWorkBufferBytes = 32768;
constexpr int kFileNameBytes = 4096;
constexpr int32_t kProgressInterval = 1000;
// Offsets in the formats are 32-bit signed: no file of the set may pass this.
constexpr int64_t kLargestFileBytes = INT32_MAX;

// SQL object ids.
extern const char* const kSrsStatement;      // "srsel"
extern const char* const kFieldStatement;    // "selstmt1"
extern const char* const kFieldDescriptor;   // "seldesc1"
extern const char* const kUnloadStatement;   // "selstmt2"
extern const char* const kUnloadDescriptor;  // "seldesc2"
extern const char* const kUnloadCursor;      // "selcurs"
extern const char* const kTraceStatement;    // "efstmt"

struct FileSet {
    char shp_name[kFileNameBytes] = {};
    char shx_name[kFileNameBytes] = {};
    char dbf_name[kFileNameBytes] = {};
    char prj_name[kFileNameBytes] = {};
    char log_name[kFileNameBytes] = {};
    FILE* shp = nullptr;
    FILE* shx = nullptr;
    FILE* dbf = nullptr;
    FILE* prj = nullptr;
    FILE* log = nullptr;
    bool prj_open = false;
};

struct RunState {
    OslDateTime start_time = {};
    int32_t shp_offset = 0;     // bytes: where the next .shp record starts
    int32_t record_number = 0;  // the last record written, from 1
    int32_t fetched_rows = 0;
    int32_t rejected_rows = 0;
    int32_t rows_since_progress = 0;
    int32_t shape_type = 0;
    bool shape_type_fixed = false;
    // Whether a non-null shape has set the extent yet: the first one sets it,
    // later ones widen it, so an extent never covers the origin by accident.
    bool extent_set = false;

    ShapeFileHeader shp_header;
    ShapeFileHeader shx_header;
    DbfHeader dbf_header;
    FieldTable fields;

    char work_buffer[kWorkBufferBytes] = {};
    char* cdata = nullptr;  // character host buffer of the record formatter
    int32_t cdata_bytes = 0;
    FieldFormat* field_formats = nullptr;  // one format per field
};

#endif
