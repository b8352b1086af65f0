// Statement tracing of the session, switched on by GX_Trace(file, level):
// whichever engine runs the statement, the library writes the trace where
// the caller runs. The trace is the session's one (it lives in trace.cpp)
// and is only switched by the thread that owns the connection: a reader
// thread never runs a statement that calls GX_Trace (front/cursor.cpp).

#ifndef OSTREL_CORE_TRACE_H
#define OSTREL_CORE_TRACE_H

#include <cstddef>
#include <cstdint>
#include <string>

// One time-stamped line per event at level 1 and up; what is the event's
// text (newlines and tabs shown as blanks).
void trace_event(const char* event, const char* id, const char* what);

// One line per fetched row at level 3 and up.
void trace_fetch(const char* cursor_id, int64_t row);

// One line per GX_AsShape conversion at level 2 and up: the GxTraceCall of
// the session's trace, which needs no context.
void trace_gx_call(void* context, const char* geometry_type, size_t result_bytes);

// Whether the trace writes a line per row (from level 2), which would no
// longer come in their order if another thread wrote some of them.
bool trace_per_row();

// Ends tracing and closes the trace file.
void trace_close();

// GX_Trace(file, level), with its arguments as texts (null for NULL): opens
// file for appending and traces at level from then on. Returns the answer,
// "OK: ..." when tracing is on, an "ERROR: ..." text (tracing unchanged)
// for a level that is not a whole number 0 to 9 or a file that does not open.
std::string trace_switch_on(const char* file_name, const char* level);

#endif
