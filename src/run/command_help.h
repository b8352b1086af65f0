// What the program says about its command line: the usage text, the help
// and version output, and the refusal of a bad command line, which names
// what is wrong in one line and then shows the usage.

#ifndef SPOOLMAP_RUN_COMMAND_HELP_H
#define SPOOLMAP_RUN_COMMAND_HELP_H

#include "report/messages.h"

extern const char* const kProgramName;  // "spoolmap"
extern const char* const kUsageText;    // no final line feed

// The reason (printf-style, one sentence or two, no line feed), an empty
// line and the usage text on the error stream; status 1. A reason longer than
// a line has room for is cut at a whole character.
[[noreturn]] void refuse_command_line(const char* format, ...) SPOOLMAP_PRINTF(1, 2);

// An argument that is no switch: says so, with the switch that was likely
// meant (one in another letter case, or a spelled-out word such as --where),
// then the usage.
[[noreturn]] void refuse_unknown_argument(const char* argument);

// The usage text, the shape types -t takes and where the manual is, on the
// standard output; status 0.
[[noreturn]] void show_help();

// The version and build lines on the standard output; status 0.
[[noreturn]] void show_version();

#endif
