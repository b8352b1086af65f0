// The usage, help and version output and the refusals of a bad command line
// (see command_help.h).

#include "run/command_help.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "report/process_end.h"
#include "shape/shape_layout.h"
#include "spoolmap_version.h"
#include "text/characters.h"

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
    "spoolmap -L -D <database> [ -s <server> ] [ -u <username> -p <password> ] \n"
    "\n"
    "spoolmap -V";

// A reason is one line; user values in it are cut to keep it one.
constexpr size_t kReasonBytes = 2048;

void refuse_command_line(const char* format, ...) {
    char reason[kReasonBytes];
    va_list arguments;
    va_start(arguments, format);
    int length = std::vsnprintf(reason, sizeof reason, format, arguments);
    va_end(arguments);
    if (length >= static_cast<int>(sizeof reason)) {
        reason[whole_character_prefix(reason, sizeof reason - 1)] = '\0';
    }
    fatal_error("%s\n\n%s", reason, kUsageText);
}

// The switches as a user might spell them out: "--where" means -w.
static const struct {
    const char* word;
    const char* name;
} kSpelledOut[] = {
    {"operation", "-o"}, {"table", "-l"},    {"layer", "-l"},  {"file", "-f"},
    {"output", "-f"},    {"database", "-D"}, {"server", "-s"}, {"host", "-s"},
    {"user", "-u"},      {"password", "-p"}, {"type", "-t"},   {"where", "-w"},
    {"log", "-log"},     {"trace", "-trc"},  {"trc", "-trc"},  {"list", "-L"},
};

static const char* const kSwitchNames[] = {"-o", "-l", "-f", "-D",   "-s",   "-u", "-p",
                                           "-t", "-w", "-L", "-log", "-trc", "-V"};

void refuse_unknown_argument(const char* argument) {
    if (argument[0] != '-') {
        refuse_command_line(
            "Unexpected argument '%s': each value follows its switch, and a value with blanks "
            "goes in quotes.",
            argument);
    }
    if (std::strcmp(argument, "-h") == 0) {
        refuse_command_line("Unknown switch '-h'; a server goes in -s, and --help shows the help.");
    }
    for (const char* name : kSwitchNames) {
        if (ascii_equal_ignoring_case(argument, name)) {
            refuse_command_line(
                "Unknown switch '%s'; switches are case-sensitive: did you mean '%s'?", argument,
                name);
        }
    }
    if (argument[1] == '-') {
        for (const auto& spelled : kSpelledOut) {
            if (ascii_equal_ignoring_case(argument + 2, spelled.word)) {
                refuse_command_line("Unknown switch '%s'; did you mean '%s'?", argument,
                                    spelled.name);
            }
        }
    }
    refuse_command_line("Unknown switch '%s'.", argument);
}

void show_help() {
    char choices[kShapeTypeChoicesBytes];
    shape_type_choices(choices, sizeof choices);
    console_note("%s", kUsageText);
    console_note("Shape types for -t, by number or name: %s.", choices);
    console_note("Every switch, the files written and what an append checks: man spoolmap");
    end_process(kExitCompleted);
}

void show_version() {
    console_note("Spatial Kestrum Module %s utility, version %s", kProgramName,
                 SPOOLMAP_VERSION_TEXT);
    console_note("Built %s with %s", SPOOLMAP_BUILD_DATE, SPOOLMAP_BUILD_TOOLKIT);
    end_process(kExitCompleted);
}
