// Messages and the log file (see messages.h). The three reporting operations
// keep no state besides the log stream; the stream is not flushed per entry,
// since the process end (also a fatal one) flushes it.

#include "report/messages.h"

#include <cstdarg>
#include <cstdio>

#include "db/client.h"
#include "report/process_end.h"

// The time stamp is made in a buffer of this size, as the library's date-time
// texts are.
static constexpr size_t kTimeStampBytes = 512;

static FILE* log_stream = nullptr;

void attach_log_stream(FILE* stream) {
    log_stream = stream;
}

FILE* attached_log_stream() {
    return log_stream;
}

static void write_framed(FILE* stream, const char* format, va_list arguments) {
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

void console_note(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    write_framed(stdout, format, arguments);
    va_end(arguments);
}

// The time of day through the library's hour-to-second date-time, as every
// log entry is stamped.
static void time_stamp(char* text, size_t size) {
    OslDateTime now;
    if (osl_current_datetime(&now, OSL_HOUR_TO_SECOND) != 0 ||
        osl_datetime_to_text(&now, text, size) != 0) {
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

void note_and_log(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    va_list for_log;
    va_copy(for_log, arguments);
    write_framed(stdout, format, arguments);
    if (log_stream != nullptr) {
        log_note_v(format, for_log);
    }
    va_end(for_log);
    va_end(arguments);
}
