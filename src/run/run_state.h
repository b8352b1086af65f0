// The state of one unload run: the file set it writes and the counters,
// headers and buffers that live from start-up to the cleanup.

#ifndef SPOOLMAP_RUN_RUN_STATE_H
#define SPOOLMAP_RUN_RUN_STATE_H

#include <cstdint>
#include <cstdio>

#include "db/client.h"
#include "db/row_values.h"
#include "dbf/code_page_file.h"
#include "dbf/dbf_header.h"
#include "shape/main_header.h"
#include "shape/shape_record.h"

constexpr int kWorkBufferBytes = 32768;
constexpr int kFileNameBytes = 4096;
constexpr int32_t kProgressInterval = 1000;

// One file of the set. An init writes it under part_name ("<name>.part")
// beside the old set and puts it in place only when the whole set is written;
// every message names the file by its final name.
struct SetFile {
    char name[kFileNameBytes] = {};
    char part_name[kFileNameBytes] = {};
    FILE* stream = nullptr;
    // init: the new set has no such file, so the commit removes an old one
    // (the .prj of a column whose coordinate system is UNKNOWN).
    bool dropped = false;
};

struct FileSet {
    SetFile shp;
    SetFile shx;
    SetFile dbf;
    SetFile prj;
    SetFile cpg;
    char directory[kFileNameBytes] = {};  // where the set lies, synced after the commit
    char log_name[kFileNameBytes] = {};
    FILE* log = nullptr;
};

// The files of a set, the .shp first. The commit puts them in place in the
// reverse order, so that the .shp, which readers open first, comes last. A new
// member of the set joins by one line here.
struct SetMember {
    SetFile FileSet::*file;
    const char* extension;
    bool appended;  // append opens it for update; the others an append only reads, if at all
};
constexpr SetMember kSetMembers[] = {
    {&FileSet::shp, ".shp", true},  {&FileSet::shx, ".shx", true},  {&FileSet::dbf, ".dbf", true},
    {&FileSet::prj, ".prj", false}, {&FileSet::cpg, ".cpg", false},
};
constexpr int kSetMemberCount = sizeof kSetMembers / sizeof kSetMembers[0];

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
    SetEncoding encoding;  // of an appended set's text; UTF-8 in an init

    char work_buffer[kWorkBufferBytes] = {};
};

#endif
