// Everything spoolmap tells its user: fatal messages on the error stream,
// notes on the standard output and time-stamped entries in the log file.
// Each message is framed by line feeds, so two messages in a row stand one
// empty line apart and a message of several lines keeps its own line feeds.

#ifndef SPOOLMAP_REPORT_MESSAGES_H
#define SPOOLMAP_REPORT_MESSAGES_H

#include <cstddef>
#include <cstdio>

#define SPOOLMAP_PRINTF(format_index, first_argument) \
    __attribute__((format(printf, format_index, first_argument)))

// Line feed, the message, line feed on stderr; then ends the process with
// status 1 through end_process. Never returns.
[[noreturn]] void fatal_error(const char* format, ...) SPOOLMAP_PRINTF(1, 2);

// A file operation that failed: "<action> failed for file <name>: <the
// system's reason for error>." through fatal_error. action is "File open",
// "Write", "Rename" and the like.
[[noreturn]] void file_error(const char* action, const char* name, int error);

// Line feed, the message, line feed on stdout.
void console_note(const char* format, ...) SPOOLMAP_PRINTF(1, 2);

// Line feed, the time of day "hh:mm:ss", two blanks, the message, line feed on
// the log stream. Only called with -log, once the log is attached.
void log_note(const char* format, ...) SPOOLMAP_PRINTF(1, 2);

// console_note, and with a log attached the same text through log_note: the
// pairing the run uses for its progress and summary lines.
void note_and_log(const char* format, ...) SPOOLMAP_PRINTF(1, 2);

// A progress line: note_and_log, except that on a terminal each progress line
// takes the place of the one before (carriage return, line cleared) instead of
// scrolling a thousand lines past the user. The next other message on the
// terminal first ends the progress line. Off a terminal (a pipe, a file) the
// output is that of note_and_log.
void progress_note_and_log(const char* format, ...) SPOOLMAP_PRINTF(1, 2);

// Whether a progress line stands unended on the terminal; a signal handler
// that writes a line of its own ends it first.
bool progress_line_open();

// Makes the standard output count as a terminal or not, as isatty would tell;
// for tests.
void set_console_is_terminal(bool terminal);

// The log stream that log_note writes to; null detaches it.
void attach_log_stream(FILE* stream);
FILE* attached_log_stream();

#endif
