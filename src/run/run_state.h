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
#include "shape/shape_record.h"

constexpr int kWorkBufferBytes = 32768;
constexpr int kFileNameBytes = 4096;
constexpr int32_t kProgressInterval = 1000;

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
    bool start_time_known = false;  // the clock could be read at start-up
    int32_t fetched_rows = 0;
    int32_t rejected_rows = 0;
    int32_t rows_since_progress = 0;
    int32_t shape_type = 0;
    bool shape_type_fixed = false;
    // The records written so far: the next .shp offset, the last record
    // number and the extent.
    ShapeTally shapes;

    ShapeFileHeader shp_header;
    ShapeFileHeader shx_header;
    DbfHeader dbf_header;
    FieldTable fields;
    RecordFormats record_formats;
    RowValues row;

    char work_buffer[kWorkBufferBytes] = {};
};

#endif
