// The run's files (see run_files.cpp).

#ifndef SPOOLMAP_RUN_RUN_FILES_H
#define SPOOLMAP_RUN_RUN_FILES_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "db/spatial_column.h"
#include "run/run_state.h"

struct RunSettings;

// The names of the set's files (final and part) from the base name, and the
// log's name with -log.
void name_files(const RunSettings& settings, FileSet& files);

// The log file's name: "<log_directory>/<file part of base>.log" with a log
// directory, "<base>.log" without one. Fails the run when it does not fit.
void form_log_name(const RunSettings& settings, char* name, size_t size);

// The run opens its outputs for writing before it connects: an output name
// that is the database file itself would destroy the data it is about to
// read, so it is refused before anything is opened.
void refuse_database_as_output(const FileSet& files, const char* target);

// Removes the part files a killed run left; then creates the part file of
// every member of the set (init) or opens .shp, .shx and .dbf for update
// (append); with -log, opens the log with its banner entry.
void open_files(const RunSettings& settings, FileSet& files);

// append: reads the three headers, refuses a set whose files disagree, and
// maps the .dbf fields back to the columns of geometry's table.
void read_existing_file_set(const SpatialColumn& geometry, RunState& run, FileSet& files);

// Places each stream where its first new record goes and sets the run's
// starting state; in append, cuts off bytes past the headers' lengths first
// and keeps the set as it is then for a failed run to go back to. Returns the
// .dbf position.
int64_t position_files(const RunSettings& settings, RunState& run, FileSet& files);

// Flushes a stream (when open) and ends the run if any write to it failed.
void flush_or_fail(FILE* stream, const char* name);

#endif
