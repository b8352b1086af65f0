// Server tracing (see server_trace.h): the run asks the spatial extension's
// GX_Trace to write a trace file and goes on only when it answers "OK".

#include "db/server_trace.h"

#include "db/client.h"
#include "db/sql_error.h"
#include "report/inside_failures.h"
#include "report/messages.h"
#include "text/text_append.h"

static const char kTraceStatement[] = "efstmt";

void start_server_trace(const char* trace_file, const char* trace_level) {
    char statement[kTraceStatementBytes] = "";
    append_or_fail(statement, sizeof statement, "trace statement",
                   "EXECUTE FUNCTION GX_Trace('%s',%s);", trace_file, trace_level);
    if (osl_prepare(kTraceStatement, statement) < 0) {
        check_sql();
    }
    OslVar result = {};
    if (osl_var_ready(&result) < 0) {
        inside_failure(InsideFailure::kVarReady);
    }
    OslHostValue output = {OSL_HOST_VAR_LOCATED, &result, sizeof result};
    if (osl_execute_into(kTraceStatement, &output, 1) < 0) {
        check_sql();
    }
    // Only the first two characters count: "OK" followed by anything.
    const char* answer = static_cast<const char*>(osl_var_getdata(&result));
    if (answer == nullptr || osl_var_getlen(&result) < 2 || answer[0] != 'O' || answer[1] != 'K') {
        fatal_error("Call to GX_Trace returned unexpected result");
    }
    note_and_log("Kestrum tracing enabled: file %s, level %s", trace_file, trace_level);
    if (osl_var_dealloc(&result) < 0) {
        inside_failure(InsideFailure::kVarDealloc);
    }
}
