// Statement tracing of the session, switched on by GX_Trace(file, level):
// whichever engine runs the statement, the library writes the trace where
// the caller runs.

#ifndef OSTREL_FRONT_TRACE_H
#define OSTREL_FRONT_TRACE_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

// The session's trace: off while file is null.
struct Trace {
    FILE* file = nullptr;
    int level = 0;
    std::string file_name;
};

// One time-stamped line per event at level 1 and up; what is the event's
// text (newlines and tabs shown as blanks).
void trace_event(const char* event, const char* id, const char* what);

// One line per fetched row at level 3 and up.
void trace_fetch(const char* cursor_id, int64_t row);

// One line per GX_AsShape conversion at level 2 and up; context is the
// session's Trace (a GxTraceCall).
void trace_gx_call(void* context, const char* geometry_type, size_t result_bytes);
void* trace_gx_context();

// Ends tracing and closes the trace file.
void trace_close();

// GX_Trace(file, level), with its arguments as texts (null for NULL): opens
// file for appending and traces at level from then on. Returns the answer,
// "OK: ..." when tracing is on, an "ERROR: ..." text (tracing unchanged)
// for a level that is not a whole number 0 to 9 or a file that does not open.
std::string trace_switch_on(const char* file_name, const char* level);

#endif
