// Parsing the command line into RunSettings, the usage and version output,
// the command-line summary for the log, and the file part of a path.

#include "run/command_line.h"

#include <cstring>

#include "db/client.h"
#include "db/server_trace.h"
#include "report/messages.h"
#include "report/process_end.h"
#include "run/table_switch.h"
#include "shape/shape_layout.h"
#include "spoolmap_version.h"
#include "text/characters.h"
#include "text/text_append.h"

const char* const kProgramName = "spoolmap";

const char* const kUsageText =
    "Usage:\n"
    "\n"
    "spoolmap -o init -l <tabname,colname> -f <filename> \n"
    "          -D <database> [ -s <server> ] [ -u <username> -p <password> ] \n"
    "          [ -t <shape_type> ] \n"
    "          [ -w <where_clause> ] \n"
    "          [ -log [ <directory> ] ] \n"
    "\n"
    "spoolmap -o append -l <tabname,colname> -f <filename> \n"
    "          -D <database> [ -s <server> ] [ -u <username> -p <password> ] \n"
    "          [ -w <where_clause> ] \n"
    "          [ -log [ <directory> ] ] \n"
    "\n"
    "spoolmap -V";

// The password never reaches the log file in clear; the mask has one length
// whatever the password's, so it gives nothing of it away.
static const char* const kPasswordMask = "********";

static const char kShpSuffix[] = ".shp";
static constexpr size_t kShpSuffixChars = sizeof kShpSuffix - 1;

void show_usage() {
    fatal_error("%s", kUsageText);
}

void show_version() {
    console_note("Spatial Kestrum Module %s utility, version %s", kProgramName,
                 SPOOLMAP_VERSION_TEXT);
    console_note("Built %s with %s", SPOOLMAP_BUILD_DATE, SPOOLMAP_BUILD_TOOLKIT);
    end_process(kExitCompleted);
}

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

// Splits value at commas into its first two non-empty tokens, ending each in
// place. False when there are fewer than two (a value without a comma
// included); later tokens are ignored.
static bool split_pair(char* value, const char** first, const char** second) {
    if (std::strchr(value, ',') == nullptr) {
        return false;
    }
    char* tokens[2] = {nullptr, nullptr};
    int found = 0;
    char* p = value;
    while (found < 2) {
        while (*p == ',') {
            ++p;
        }
        if (*p == '\0') {
            break;
        }
        tokens[found++] = p;
        while (*p != ',' && *p != '\0') {
            ++p;
        }
        if (*p == ',') {
            *p++ = '\0';
        }
    }
    if (found < 2) {
        return false;
    }
    *first = tokens[0];
    *second = tokens[1];
    return true;
}

// Marks a switch as seen; a switch given twice is refused even with the same
// value.
static void mark_given(bool& given) {
    if (given) {
        show_usage();
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

static ValueSwitch match_value_switch(const char* argument) {
    static const char* const kNames[] = {"-o", "-l", "-f", "-D", "-s", "-u", "-p", "-t", "-w"};
    for (int i = 0; i < static_cast<int>(ValueSwitch::kNone); ++i) {
        if (std::strcmp(argument, kNames[i]) == 0) {
            return static_cast<ValueSwitch>(i);
        }
    }
    return ValueSwitch::kNone;
}

static void take_value(ValueSwitch which, char* value, RunSettings& settings) {
    switch (which) {
        case ValueSwitch::kOperation:
            mark_given(settings.operation_given);
            settings.operation = parse_operation(value);
            break;
        case ValueSwitch::kTable:
            mark_given(settings.table_given);
            switch (parse_table_switch(value, settings)) {
                case TableSwitch::kParsed:
                    break;
                case TableSwitch::kUsage:
                    show_usage();
                case TableSwitch::kMalformed:
                    fatal_error("Invalid value for command line switch '%s'.", "-l");
            }
            break;
        case ValueSwitch::kFile: {
            mark_given(settings.base_name_given);
            size_t length = std::strlen(value);
            if (length >= kShpSuffixChars &&
                std::strcmp(value + length - kShpSuffixChars, kShpSuffix) == 0) {
                value[length - kShpSuffixChars] = '\0';
            }
            settings.base_name = value;
            break;
        }
        case ValueSwitch::kDatabase:
            mark_given(settings.database_given);
            settings.database = to_lower_in_place(value);
            break;
        case ValueSwitch::kServer:
            mark_given(settings.server_given);
            settings.server = value;
            break;
        case ValueSwitch::kUser:
            mark_given(settings.user_given);
            settings.user = value;
            break;
        case ValueSwitch::kPassword:
            mark_given(settings.password_given);
            settings.password = value;
            break;
        case ValueSwitch::kShapeType:
            mark_given(settings.shape_type_given);
            if (osl_text_to_int(value, &settings.requested_shape_type) != 0) {
                fatal_error("Invalid value for command line switch '%s'.", "-t");
            }
            break;
        case ValueSwitch::kWhere:
            mark_given(settings.where_given);
            settings.where_clause = value;
            break;
        case ValueSwitch::kNone:
            show_usage();
    }
}

static void take_trace(char* value, RunSettings& settings) {
    mark_given(settings.trace_given);
    if (!split_pair(value, &settings.trace_file, &settings.trace_level)) {
        show_usage();
    }
    // The trace statement is built in a fixed buffer; a value that would not
    // fit it is refused here rather than cut.
    if (std::strlen(settings.trace_file) + std::strlen(settings.trace_level) >
        kTraceValueMaxChars) {
        show_usage();
    }
}

// The checks after the walk, in their order: which failure a user sees when
// several apply depends on it.
static void check_combination(const RunSettings& settings) {
    if (!settings.operation_given) {
        show_usage();
    }
    bool names_given = settings.database_given && settings.table_given && settings.base_name_given;
    switch (settings.operation) {
        case Operation::kInit:
            if (!names_given) {
                show_usage();
            }
            break;
        case Operation::kAppend:
            if (!names_given || settings.shape_type_given) {
                show_usage();
            }
            break;
        case Operation::kUnknown:
            fatal_error("Invalid value for command line switch '%s'.", "-o");
    }
    if (settings.user_given != settings.password_given) {
        show_usage();
    }
    if (settings.shape_type_given && !is_requestable_shape_type(settings.requested_shape_type)) {
        fatal_error("Invalid value for command line switch '%s'.", "-t");
    }
}

void parse_command_line(int argc, char** argv, RunSettings& settings) {
    if (argc == 2 && std::strcmp(argv[1], "-V") == 0) {
        show_version();
    }
    for (int i = 1; i < argc; ++i) {
        char* argument = argv[i];
        bool value_follows = i + 1 < argc;
        ValueSwitch which = value_follows ? match_value_switch(argument) : ValueSwitch::kNone;
        if (which != ValueSwitch::kNone) {
            take_value(which, argv[++i], settings);
        } else if (std::strcmp(argument, "-log") == 0) {
            mark_given(settings.log_given);
            if (value_follows && argv[i + 1][0] != '-') {
                settings.log_directory = argv[++i];
            }
        } else if (value_follows && std::strcmp(argument, "-trc") == 0) {
            take_trace(argv[++i], settings);
        } else {
            show_usage();
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
