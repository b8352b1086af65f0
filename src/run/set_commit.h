// A file set is changed whole or not at all (see set_commit.cpp).

#ifndef SPOOLMAP_RUN_SET_COMMIT_H
#define SPOOLMAP_RUN_SET_COMMIT_H

#include <cstdint>

#include "run/run_state.h"

enum class Operation;

// The part name of every member ("<name>.part") and the directory the set
// lies in, from the final names.
void name_parts(FileSet& files);

// Removes the part files a killed run left beside the set. Best effort: one
// that cannot be removed makes the init's own create fail, naming the file.
void remove_stale_parts(const FileSet& files);

// init: creates the member's part file, new (never through a link left at its
// name), with the permissions of the old file of that name when there is one,
// and opens its stream. A directory at the final name, or a part that cannot
// be made, ends the run naming the final file. From the first part on, a
// failed run removes every part it made.
void create_part_file(SetFile& file);

// init: the new set has no such file: its part goes now, an old file of that
// name at the commit.
void drop_set_file(SetFile& file);

// append, once the files are cut to what their headers give: from here on a
// failed run takes the three appended files back to their lengths, headers
// and last bytes as they are now. head_bytes are the bytes of each header
// (the .shp's, the .shx's, the .dbf's).
void keep_append_restore_point(const FileSet& files, const int64_t (&head_bytes)[3]);

// Flushes every stream of the set the run wrote and syncs it to disk; ends the
// run naming the file when that fails.
void sync_set_files(const FileSet& files, Operation operation);

// Closes every stream of the set. Returns the first member whose last writes
// or close failed (null when none did), in failure "Write" or "Close", and in
// error the system's reason (0 when it gave none).
const SetFile* close_set_files(FileSet& files, const char** failure, int* error);

// Puts the finished set in place, after every check of the run has passed
// and every stream is closed. init: member by member, the .shp last, each old
// file kept aside ("<name>.prev") until the last rename is done, a dropped
// member's old file removed in its turn; a step that fails puts the old set
// back whole and ends the run naming the file and the reason. Then the
// directory is synced. append: the restore point given up. Interrupting
// signals are held from here to the exit.
void commit_file_set(FileSet& files, Operation operation);

#endif
