// Statement tracing, switched on by the function GX_Trace(file, level).
// Level 1 and up: one time-stamped line per statement prepared, opened or
// executed (and connect, disconnect, cursor close). Level 2 and up: one line
// per GX_AsShape call with the geometry type and the result's size. Level 3
// and up: one line per fetch as well. The file is appended to and flushed at
// every statement event; per-row lines are left to the stream's buffer.

#include "core/trace.h"

#include <sys/time.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

// The levels from which each kind of line is written.
constexpr int kEventLevel = 1;
constexpr int kShapeCallLevel = 2;
constexpr int kFetchLevel = 3;
constexpr int kMaxTraceLevel = 9;
constexpr int kMicrosPerMilli = 1000;

// The session's trace: off while file is null.
struct Trace {
    FILE* file = nullptr;
    int level = 0;
    std::string file_name;
};

Trace session_trace;

}  // namespace

static void write_stamp(FILE* file) {
    struct timeval now;
    gettimeofday(&now, nullptr);
    time_t seconds = now.tv_sec;
    struct tm local;
    localtime_r(&seconds, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    std::fprintf(file, "%s.%03d  ", text, static_cast<int>(now.tv_usec / kMicrosPerMilli));
}

// Statement texts span lines; the trace keeps one line per event.
static void write_one_line(FILE* file, const char* text) {
    const char* end = text + std::strlen(text);
    while (end > text &&
           (end[-1] == '\n' || end[-1] == '\r' || end[-1] == '\t' || end[-1] == ' ')) {
        --end;
    }
    for (const char* p = text; p < end; ++p) {
        std::fputc((*p == '\n' || *p == '\r' || *p == '\t') ? ' ' : *p, file);
    }
}

void trace_event(const char* event, const char* id, const char* what) {
    Trace& trace = session_trace;
    if (trace.file == nullptr || trace.level < kEventLevel) {
        return;
    }
    write_stamp(trace.file);
    std::fprintf(trace.file, "%s %s", event, id);
    if (what != nullptr && what[0] != '\0') {
        std::fputs(": ", trace.file);
        write_one_line(trace.file, what);
    }
    std::fputc('\n', trace.file);
    std::fflush(trace.file);
}

void trace_fetch(const char* cursor_id, int64_t row) {
    Trace& trace = session_trace;
    if (trace.file == nullptr || trace.level < kFetchLevel) {
        return;
    }
    write_stamp(trace.file);
    std::fprintf(trace.file, "fetch %s row %lld\n", cursor_id, static_cast<long long>(row));
}

void trace_gx_call(void*, const char* geometry_type, size_t result_bytes) {
    Trace& trace = session_trace;
    if (trace.file == nullptr || trace.level < kShapeCallLevel) {
        return;
    }
    write_stamp(trace.file);
    std::fprintf(trace.file, "GX_AsShape %s: %zu bytes\n", geometry_type, result_bytes);
}

bool trace_per_row() {
    return session_trace.file != nullptr && session_trace.level >= kShapeCallLevel;
}

void trace_close() {
    Trace& trace = session_trace;
    if (trace.file != nullptr) {
        std::fclose(trace.file);
        trace.file = nullptr;
    }
    trace.level = 0;
    trace.file_name.clear();
}

// The level: one digit, 0 to 9.
static bool trace_level_of(const char* text, int* level) {
    if (text == nullptr || text[0] < '0' || text[0] > '0' + kMaxTraceLevel || text[1] != '\0') {
        return false;
    }
    *level = text[0] - '0';
    return true;
}

std::string trace_switch_on(const char* file_name, const char* level_text) {
    char answer[1024];
    int level = 0;
    if (!trace_level_of(level_text, &level)) {
        std::snprintf(answer, sizeof answer,
                      "ERROR: trace level '%s' is not a whole number from 0 to %d",
                      level_text != nullptr ? level_text : "NULL", kMaxTraceLevel);
        return answer;
    }
    if (file_name == nullptr || file_name[0] == '\0') {
        return "ERROR: no trace file name";
    }
    FILE* file = std::fopen(file_name, "a");
    if (file == nullptr) {
        std::snprintf(answer, sizeof answer, "ERROR: trace file '%s' cannot be opened: %s",
                      file_name, std::strerror(errno));
        return answer;
    }
    trace_close();
    Trace& trace = session_trace;
    trace.file = file;
    trace.level = level;
    trace.file_name = file_name;
    std::snprintf(answer, sizeof answer, "OK: tracing to '%s' at level %d", file_name, level);
    trace_event("trace", file_name, answer + 4);
    return answer;
}
