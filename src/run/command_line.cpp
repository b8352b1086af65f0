// Parsing the command line into RunSettings, the command-line summary for
// the log, and the file part of a path. Every refusal says in one line what
// is wrong (command_help.cpp shows it with the usage).

#include "run/command_line.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "common/password_mask.h"
#include "db/client.h"
#include "db/server_trace.h"
#include "report/messages.h"
#include "run/switch_values.h"
#include "run/table_switch.h"
#include "shape/shape_layout.h"
#include "text/characters.h"
#include "text/text_append.h"

// The password never reaches the log file in clear; the mask has one length
// whatever the password's, so it gives nothing of it away.

const char* file_part(const char* path) {
    const char* rest = path;
    if (path[0] != '\0' && path[1] == ':') {
        rest = path + 2;
    }
    const char* name = rest;
    for (const char* p = rest; *p != '\0'; ++p) {
        if (*p == '/' || *p == '\\') {
            name = p + 1;
        }
    }
    return name;
}

// Marks a switch as seen; a switch given twice is refused even with the same
// value.
static void mark_given(bool& given, const char* name) {
    if (given) {
        refuse_command_line("Switch '%s' is given twice.", name);
    }
    given = true;
}

// A whole file set may be fixed to any shape type the shape writer knows but
// the null shape, which fits every set.
static bool is_requestable_shape_type(int32_t type) {
    ShapeKind kind;
    return type != kNullShapeType && shape_kind_of(type, kind);
}

static const char kInitWord[] = "init";
static const char kAppendWord[] = "append";

const char* operation_name(Operation operation) {
    return operation == Operation::kAppend ? kAppendWord : kInitWord;
}

// The operation words are compared case-sensitively: "INIT" is no operation.
static Operation parse_operation(const char* word) {
    if (std::strcmp(word, kInitWord) == 0) {
        return Operation::kInit;
    }
    if (std::strcmp(word, kAppendWord) == 0) {
        return Operation::kAppend;
    }
    return Operation::kUnknown;
}

// The switches that take a value, in the order an argument is tested against
// them; -log (optional value) and -trc come after these.
enum class ValueSwitch {
    kOperation,
    kTable,
    kFile,
    kDatabase,
    kServer,
    kUser,
    kPassword,
    kShapeType,
    kWhere,
    kNone
};

static const struct {
    const char* name;
    const char* value;  // as the usage shows it
} kValueSwitches[] = {
    {"-o", "init|append"}, {"-l", "<tabname,colname>"}, {"-f", "<filename>"},
    {"-D", "<database>"},  {"-s", "<server>"},          {"-u", "<username>"},
    {"-p", "<password>"},  {"-t", "<shape_type>"},      {"-w", "<where_clause>"},
};
static_assert(sizeof kValueSwitches / sizeof kValueSwitches[0] ==
                  static_cast<size_t>(ValueSwitch::kNone),
              "one entry per value switch");

static ValueSwitch match_value_switch(const char* argument) {
    for (int i = 0; i < static_cast<int>(ValueSwitch::kNone); ++i) {
        if (std::strcmp(argument, kValueSwitches[i].name) == 0) {
            return static_cast<ValueSwitch>(i);
        }
    }
    return ValueSwitch::kNone;
}

static void take_value(ValueSwitch which, char* value, RunSettings& settings) {
    switch (which) {
        case ValueSwitch::kOperation:
            mark_given(settings.operation_given, "-o");
            settings.operation = parse_operation(value);
            settings.operation_word = value;
            break;
        case ValueSwitch::kTable: {
            mark_given(settings.table_given, "-l");
            // The reasons quote the value as given; the parse splits it in place.
            std::string given = value;
            switch (parse_table_switch(value, settings)) {
                case TableSwitch::kParsed:
                    break;
                case TableSwitch::kUsage:
                    refuse_command_line(
                        "Switch '-l' needs a table and its geometry column, as in -l roads,geom; "
                        "'%s' names %s.",
                        given.c_str(),
                        given.find(',') == std::string::npos ? "no column" : "only one");
                case TableSwitch::kMalformed:
                    refuse_command_line(
                        "Invalid value for command line switch '-l': '%s' has an empty name, a "
                        "double quote left open, or more than a schema before the table.",
                        given.c_str());
            }
            break;
        }
        case ValueSwitch::kFile:
            mark_given(settings.base_name_given, "-f");
            settings.base_name = take_base_name(value);
            break;
        case ValueSwitch::kDatabase:
            mark_given(settings.database_given, "-D");
            settings.database = take_database_name(value);
            break;
        case ValueSwitch::kServer:
            mark_given(settings.server_given, "-s");
            settings.server = take_server(value);
            break;
        case ValueSwitch::kUser:
            mark_given(settings.user_given, "-u");
            settings.user = value;
            break;
        case ValueSwitch::kPassword:
            mark_given(settings.password_given, "-p");
            settings.password = take_password(value);
            break;
        case ValueSwitch::kShapeType:
            mark_given(settings.shape_type_given, "-t");
            if (osl_text_to_int(value, &settings.requested_shape_type) != 0 &&
                !shape_type_by_name(value, settings.requested_shape_type)) {
                refuse_shape_type(value);
            }
            break;
        case ValueSwitch::kWhere:
            mark_given(settings.where_given, "-w");
            settings.where_clause = value;
            break;
        case ValueSwitch::kNone:
            break;
    }
}

static void take_trace(char* value, RunSettings& settings) {
    mark_given(settings.trace_given, "-trc");
    if (!split_pair(value, &settings.trace_file, &settings.trace_level)) {
        refuse_command_line(
            "Switch '-trc' needs a trace file and a level, as in -trc trace.txt,2; not '%s'.",
            value);
    }
    // The trace statement is built in a fixed buffer; a value that would not
    // fit it is refused here rather than cut.
    if (std::strlen(settings.trace_file) + std::strlen(settings.trace_level) >
        kTraceValueMaxChars) {
        refuse_command_line(
            "The trace file and level of switch '-trc' are longer than %zu characters together.",
            kTraceValueMaxChars);
    }
}

// The listing reads the catalogue only: the unload's switches mean nothing
// to it.
static void check_listing(const RunSettings& settings) {
    const struct {
        bool given;
        const char* name;
    } unload_only[] = {
        {settings.operation_given, "-o"}, {settings.table_given, "-l"},
        {settings.base_name_given, "-f"}, {settings.shape_type_given, "-t"},
        {settings.where_given, "-w"},     {settings.log_given, "-log"},
    };
    for (const auto& unload : unload_only) {
        if (unload.given) {
            refuse_command_line(
                "Switch '%s' does not go with -L, which lists the spatial columns and unloads "
                "nothing.",
                unload.name);
        }
    }
    if (!settings.database_given) {
        refuse_command_line("Switch '-D' is missing: -L lists the spatial columns of a database.");
    }
}

// The names an unload needs and, of them, those missing ("-l and -D").
static void check_names(const RunSettings& settings) {
    const struct {
        bool given;
        const char* name;
    } needed[] = {{settings.table_given, "-l"},
                  {settings.base_name_given, "-f"},
                  {settings.database_given, "-D"}};
    char missing[32] = "";
    int count = 0;
    for (const auto& name : needed) {
        if (!name.given) {
            append_or_fail(missing, sizeof missing, "list of switches", "%s'%s'",
                           count++ == 0 ? "" : ", ", name.name);
        }
    }
    if (count > 0) {
        refuse_command_line(
            "Switch%s %s %s missing: -o %s needs -l <tabname,colname>, -f <filename> and -D "
            "<database>.",
            count == 1 ? "" : "es", missing, count == 1 ? "is" : "are",
            operation_name(settings.operation));
    }
}

// The checks after the walk, in their order: which failure a user sees when
// several apply depends on it.
static void check_combination(const RunSettings& settings) {
    if (settings.list_given) {
        check_listing(settings);
    } else if (!settings.operation_given) {
        refuse_command_line(
            "Switch '-o' is missing: give -o init or -o append to unload, or -L to list the "
            "spatial columns.");
    } else if (settings.operation == Operation::kUnknown) {
        refuse_command_line(
            "Invalid value for command line switch '%s'. '%s' is no operation; give %s or %s.",
            "-o", settings.operation_word, kInitWord, kAppendWord);
    } else {
        check_names(settings);
        if (settings.operation == Operation::kAppend && settings.shape_type_given) {
            refuse_command_line(
                "Switch '-t' goes only with -o init: an append keeps the shape type of its set.");
        }
    }
    if (settings.user_given != settings.password_given) {
        refuse_command_line(
            "Switch '%s' goes only with '%s'; without both, the server's own settings "
            "(PGUSER, PGPASSWORD, ~/.pgpass, a service file) apply.",
            settings.user_given ? "-u" : "-p", settings.user_given ? "-p" : "-u");
    }
    if (settings.shape_type_given && !is_requestable_shape_type(settings.requested_shape_type)) {
        char number[16];
        std::snprintf(number, sizeof number, "%d", settings.requested_shape_type);
        refuse_shape_type(number);
    }
}

// No -h: other unload tools take it for the host, and a run that printed
// the help with status 0 instead would pass for one that did its work.
static bool is_help(const char* argument) {
    return std::strcmp(argument, "--help") == 0;
}

static bool is_version(const char* argument) {
    return std::strcmp(argument, "-V") == 0 || std::strcmp(argument, "--version") == 0;
}

void parse_command_line(int argc, char** argv, RunSettings& settings) {
    if (argc == 1) {
        refuse_command_line("No switches given.");
    }
    if (argc == 2 && is_version(argv[1])) {
        show_version();
    }
    for (int i = 1; i < argc; ++i) {
        char* argument = argv[i];
        bool value_follows = i + 1 < argc;
        ValueSwitch which = match_value_switch(argument);
        if (which != ValueSwitch::kNone) {
            if (!value_follows) {
                refuse_command_line("Switch '%s' needs a value: %s %s.", argument, argument,
                                    kValueSwitches[static_cast<int>(which)].value);
            }
            take_value(which, argv[++i], settings);
        } else if (std::strcmp(argument, "-log") == 0) {
            mark_given(settings.log_given, "-log");
            if (value_follows && argv[i + 1][0] != '-') {
                settings.log_directory = argv[++i];
            }
        } else if (std::strcmp(argument, "-trc") == 0) {
            if (!value_follows) {
                refuse_command_line("Switch '-trc' needs a value: -trc <file,level>.");
            }
            take_trace(argv[++i], settings);
        } else if (std::strcmp(argument, "-L") == 0) {
            mark_given(settings.list_given, "-L");
        } else if (is_help(argument)) {
            show_help();
        } else if (is_version(argument)) {
            refuse_command_line("Switch '%s' stands alone: spoolmap %s.", argument, argument);
        } else {
            refuse_unknown_argument(argument);
        }
    }
    check_combination(settings);
}

void command_line_summary(const RunSettings& settings, char* buffer, size_t size) {
    static const char* const kWhat = "command-line summary";
    // A password inside a server address is masked as -p is; an address
    // too long to mask in full is not shown at all.
    constexpr size_t kShownServerBytes = 1024;
    char server[kShownServerBytes] = "";
    if (settings.server_given && osl_server_shown(settings.server, server, sizeof server) != 0) {
        std::strcpy(server, kPasswordMask);
    }
    buffer[0] = '\0';
    append_or_fail(buffer, size, kWhat, "%10s %s", "-o", operation_name(settings.operation));
    if (settings.table_given) {
        append_or_fail(buffer, size, kWhat, "\n%10s ", "-l");
        append_table_switch(buffer, size, kWhat, settings);
    }
    const struct {
        bool given;
        const char* name;
        const char* value;
    } plain[] = {
        {settings.base_name_given, "-f", settings.base_name},
        {settings.database_given, "-D", settings.database},
        {settings.server_given, "-s", server},
        {settings.user_given, "-u", settings.user},
        {settings.password_given, "-p", kPasswordMask},
    };
    for (const auto& line : plain) {
        if (line.given) {
            append_or_fail(buffer, size, kWhat, "\n%10s %s", line.name, line.value);
        }
    }
    if (settings.shape_type_given) {
        append_or_fail(buffer, size, kWhat, "\n%10s %i", "-t", settings.requested_shape_type);
    }
    if (settings.where_given) {
        append_or_fail(buffer, size, kWhat, "\n%10s %s", "-w", settings.where_clause);
    }
    if (settings.log_given) {
        append_or_fail(buffer, size, kWhat, "\n%10s", "-log");
        if (settings.log_directory != nullptr) {
            append_or_fail(buffer, size, kWhat, " %s", settings.log_directory);
        }
    }
    if (settings.trace_given) {
        append_or_fail(buffer, size, kWhat, "\n%10s %s,%s", "-trc", settings.trace_file,
                       settings.trace_level);
    }
}
