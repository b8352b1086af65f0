// Server tracing (see server_trace.h): the run asks the spatial extension's
// GX_Trace to write a trace file and goes on only when it answers "OK".

#include "db/server_trace.h"

#include "db/client.h"
#include "db/sql_error.h"
#include "run/command_line.h"
#include "run/messages.h"
#include "run/run_state.h"
#include "run/text_append.h"

void start_server_trace(const RunSettings& settings) {
    char statement[kTraceStatementBytes] = "";
    append_or_fail(statement, sizeof statement, "trace statement",
                   "EXECUTE FUNCTION GX_Trace('%s',%s);", settings.trace_file,
                   settings.trace_level);
    if (osl_prepare(kTraceStatement, statement) < 0) {
        check_sql();
    }
    OslVar result = {};
    osl_var_ready(&result);
    OslHostValue output = {OSL_HOST_VAR_LOCATED, &result, sizeof result};
    if (osl_execute_into(kTraceStatement, &output, 1) < 0) {
        check_sql();
    }
    // Only the first two characters count: "OK" followed by anything.
    const char* answer = static_cast<const char*>(osl_var_getdata(&result));
    if (answer == nullptr || osl_var_getlen(&result) < 2 || answer[0] != 'O' || answer[1] != 'K') {
        fatal_error("Call to GX_Trace returned unexpected result");
    }
    note_and_log("Kestrum tracing enabled: file %s, level %s", settings.trace_file,
                 settings.trace_level);
    osl_var_dealloc(&result);
}
