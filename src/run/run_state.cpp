// The fixed ids of the run's SQL objects.

#include "run/run_state.h"

const char* const kSrsStatement = "srsel";
const char* const kFieldStatement = "selstmt1";
const char* const kFieldDescriptor = "seldesc1";
const char* const kUnloadStatement = "selstmt2";
const char* const kUnloadDescriptor = "seldesc2";
const char* const kUnloadCursor = "selcurs";
const char* const kTraceStatement = "efstmt";
