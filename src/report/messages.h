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
// system's reason for error>." through fatal_error; every file of the set and
// the log is reported so. action is "File open", "Read", "Write", "Seek",
// "Rename" and the like; error the errno the failed call left. 0, a failure
// the system gave no reason for (a short write, an error flag found set
// later), reads as EIO.
[[noreturn]] void file_error(const char* action, const char* name, int error);

// The same for a directory: "<action> failed for directory <name>: <reason>."
[[noreturn]] void directory_error(const char* action, const char* name, int error);

// Line feed, the message, line feed on stdout.
void console_note(const char* format, ...) SPOOLMAP_PRINTF(1, 2);

// The message and a line feed on stdout, unframed: a line of data, such as
// one of the listing's, that a script may read line by line.
void console_line(const char* format, ...) SPOOLMAP_PRINTF(1, 2);

// Flushes the standard output; when a line of the run did not reach it, ends
// the run with "Write failed for the standard output: <reason>.".
void flush_console_or_fail();

// Line feed, the time of day "hh:mm:ss", two blanks, the message, line feed on
// the log stream. Only called with -log, once the log is attached.
void log_note(const char* format, ...) SPOOLMAP_PRINTF(1, 2);

// console_note, and with a log attached the same text through log_note: the
// pairing the run uses for its progress and summary lines.
void note_and_log(const char* format, ...) SPOOLMAP_PRINTF(1, 2);

// A progress line every so many rows: off a terminal (a pipe, a file) the
// output of note_and_log; on a terminal it goes to the log only, since the
// terminal shows the progress meter (progress_meter_line) in its place.
void progress_note_and_log(const char* format, ...) SPOOLMAP_PRINTF(1, 2);

// On a terminal: text takes the place of the meter line before it (carriage
// return, line cleared) instead of scrolling past the user; the first one
// starts one empty line below the last message, as any message does, and the
// next other message first ends it. Off a terminal it writes nothing.
void progress_meter_line(const char* text);

// Whether a progress line stands unended on the terminal; a signal handler
// that writes a line of its own ends it first.
bool progress_line_open();

// Whether the standard output is a terminal, as isatty tells at first asking.
bool console_is_terminal();

// Makes the standard output count as a terminal or not; for tests.
void set_console_is_terminal(bool terminal);

// The log stream that log_note writes to; null detaches it.
void attach_log_stream(FILE* stream);
FILE* attached_log_stream();

#endif
