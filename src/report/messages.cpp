// Messages and the log file (see messages.h). The reporting operations keep
// no state besides the log stream and, on a terminal, whether a progress line
// stands unended; the log is not flushed per entry, since the process end
// (also a fatal one) flushes it.

#include "report/messages.h"

#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "report/clock.h"
#include "report/process_end.h"

// The time stamp is made in a buffer of this size, as the library's date-time
// texts are.
static constexpr size_t kTimeStampBytes = 512;

static FILE* log_stream = nullptr;

// Whether the standard output is a terminal: -1 until first asked.
static int console_terminal = -1;
// Read by a signal handler, hence sig_atomic_t.
static volatile sig_atomic_t progress_open = 0;

// What clears the terminal's line after a carriage return.
static const char kClearLine[] = "\r\033[K";

void set_console_is_terminal(bool terminal) {
    console_terminal = terminal ? 1 : 0;
}

bool console_is_terminal() {
    if (console_terminal < 0) {
        console_terminal = isatty(STDOUT_FILENO) ? 1 : 0;
    }
    return console_terminal == 1;
}

bool progress_line_open() {
    return progress_open != 0;
}

// Every other message starts below the progress line, framed as usual.
static void end_progress_line() {
    if (progress_open) {
        std::fputc('\n', stdout);
        std::fflush(stdout);
        progress_open = 0;
    }
}

void attach_log_stream(FILE* stream) {
    log_stream = stream;
}

FILE* attached_log_stream() {
    return log_stream;
}

static void write_framed(FILE* stream, const char* format, va_list arguments) {
    end_progress_line();
    std::fputc('\n', stream);
    std::vfprintf(stream, format, arguments);
    std::fputc('\n', stream);
}

void fatal_error(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    write_framed(stderr, format, arguments);
    va_end(arguments);
    end_process(kExitFailed);
}

void file_error(const char* action, const char* name, int error) {
    fatal_error("%s failed for file %s: %s.", action, name,
                std::strerror(error != 0 ? error : EIO));
}

void directory_error(const char* action, const char* name, int error) {
    fatal_error("%s failed for directory %s: %s.", action, name,
                std::strerror(error != 0 ? error : EIO));
}

void console_note(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    write_framed(stdout, format, arguments);
    va_end(arguments);
}

void console_line(const char* format, ...) {
    end_progress_line();
    va_list arguments;
    va_start(arguments, format);
    std::vfprintf(stdout, format, arguments);
    va_end(arguments);
    std::fputc('\n', stdout);
}

void flush_console_or_fail() {
    errno = 0;
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        fatal_error("Write failed for the standard output: %s.",
                    std::strerror(errno != 0 ? errno : EIO));
    }
}

// The time of day that stamps every log entry.
static void time_stamp(char* text, size_t size) {
    if (!time_of_day_text(text, size)) {
        std::snprintf(text, size, "??:??:??");
    }
}

static void log_note_v(const char* format, va_list arguments) {
    char stamp[kTimeStampBytes];
    time_stamp(stamp, sizeof stamp);
    std::fprintf(log_stream, "\n%s  ", stamp);
    std::vfprintf(log_stream, format, arguments);
    std::fputc('\n', log_stream);
}

void log_note(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    log_note_v(format, arguments);
    va_end(arguments);
}

static void note_and_log_v(bool progress, const char* format, va_list arguments) {
    va_list for_log;
    va_copy(for_log, arguments);
    if (!progress || !console_is_terminal()) {
        write_framed(stdout, format, arguments);
    }
    if (log_stream != nullptr) {
        log_note_v(format, for_log);
    }
    va_end(for_log);
}

void note_and_log(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    note_and_log_v(false, format, arguments);
    va_end(arguments);
}

void progress_note_and_log(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    note_and_log_v(true, format, arguments);
    va_end(arguments);
}

void progress_meter_line(const char* text) {
    if (!console_is_terminal()) {
        return;
    }
    std::fputs(progress_open ? kClearLine : "\n", stdout);
    std::fputs(text, stdout);
    std::fflush(stdout);
    progress_open = 1;
}
