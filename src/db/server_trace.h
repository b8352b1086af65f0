// Server tracing: with -trc the run asks the spatial extension's GX_Trace to
// write a trace file, and goes on only when it answers "OK".

#ifndef SPOOLMAP_DB_SERVER_TRACE_H
#define SPOOLMAP_DB_SERVER_TRACE_H

#include <cstddef>

// The trace statement "EXECUTE FUNCTION GX_Trace('%s',%s);" is built in a
// buffer of this size; without its two values it takes 31 characters and the
// terminator, which leaves the rest for the file name and the level.
constexpr size_t kTraceStatementBytes = 512;
constexpr size_t kTraceStatementFixedChars = 31;
constexpr size_t kTraceValueMaxChars = kTraceStatementBytes - kTraceStatementFixedChars - 1;

// Switches tracing on right after connecting (only with -trc), asking for
// trace_file at trace_level (as typed); returns when tracing is on, ends the
// run otherwise.
void start_server_trace(const char* trace_file, const char* trace_level);

#endif
