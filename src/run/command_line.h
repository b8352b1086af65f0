// The command line: the program's only input besides the database. It is
// parsed once, first thing, into the one RunSettings record of the process;
// a bad command line ends the process before anything is opened.

#ifndef SPOOLMAP_RUN_COMMAND_LINE_H
#define SPOOLMAP_RUN_COMMAND_LINE_H

#include <cstddef>
#include <cstdint>

#include "run/command_help.h"

// The operation -o asks for; kUnknown until a known word is given.
enum class Operation { kUnknown, kInit, kAppend };

// The parsed command line. The texts point into the argument strings, which
// the parser changes in place: it splits the -l and -trc values at their
// comma, lower-cases the -l names not in double quotes (see table_switch.h)
// and the database's own name in -D, and cuts ".shp" off the -f value. The
// password is kept apart, and its argument overwritten, so that no other
// process reads it off the command line.
struct RunSettings {
    Operation operation = Operation::kUnknown;  // -o
    const char* operation_word = nullptr;       // -o as given
    const char* table_name = nullptr;           // -l, first part, lower case
    const char* column_name = nullptr;          // -l, second part, lower case: the geometry column
    const char* schema_name = nullptr;          // -l, the schema before the table's '.', if any
    bool schema_quoted = false;                 // -l names given in double quotes: case kept
    bool table_quoted = false;
    bool column_quoted = false;
    const char* base_name = nullptr;      // -f, without a trailing ".shp"
    const char* database = nullptr;       // -D, its last component lower case
    const char* server = nullptr;         // -s
    const char* user = nullptr;           // -u
    const char* password = nullptr;       // -p
    int32_t requested_shape_type = 0;     // -t
    const char* where_clause = nullptr;   // -w
    const char* log_directory = nullptr;  // the optional directory after -log
    const char* trace_file = nullptr;     // -trc, first part
    const char* trace_level = nullptr;    // -trc, second part, as typed

    bool operation_given = false;
    bool table_given = false;
    bool base_name_given = false;
    bool database_given = false;
    bool server_given = false;
    bool user_given = false;
    bool password_given = false;
    bool shape_type_given = false;
    bool where_given = false;
    bool log_given = false;
    bool trace_given = false;
    bool list_given = false;  // -L: list the spatial columns instead of unloading
};

// The word of -o that names operation: "init" or "append".
const char* operation_name(Operation operation);

// Fills settings from the arguments (argv[0] is the program's own name).
// Ends the process on a bad command line with one line that says what is
// wrong and the usage text (status 1), and with status 0 after -V, --version
// and --help.
void parse_command_line(int argc, char** argv, RunSettings& settings);

// The summary of the command line, one line per switch given, in a fixed
// order, with the password masked. Fails the run when it does not fit.
void command_line_summary(const RunSettings& settings, char* buffer, size_t size);

// The part of a path that names the file: what follows the last '/' or '\',
// after a two-character drive prefix such as "C:".
const char* file_part(const char* path);

#endif
