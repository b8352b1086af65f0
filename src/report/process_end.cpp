// The single exit of the program (see process_end.h for why it is replaceable).

#include "report/process_end.h"

#include <unistd.h>

#include <cstdlib>

static ProcessEndHook current_hook = nullptr;

// Read by a signal handler: a pointer-sized store is atomic on the targets
// this program builds for, and volatile keeps the compiler from caching it.
static FailureCleanup volatile current_cleanup = nullptr;

ProcessEndHook set_process_end_hook(ProcessEndHook hook) {
    ProcessEndHook previous = current_hook;
    current_hook = hook;
    return previous;
}

void set_failure_cleanup(FailureCleanup cleanup) {
    current_cleanup = cleanup;
}

void end_process(int status, ProcessEnd how) {
    if (status != kExitCompleted) {
        // Cleared only once it has run to its end: a signal that cuts it
        // short runs it again, whole.
        FailureCleanup cleanup = current_cleanup;
        if (cleanup != nullptr) {
            cleanup();
            current_cleanup = nullptr;
        }
    }
    if (current_hook != nullptr) {
        current_hook(status);
    }
    if (how == ProcessEnd::kAtOnce) {
        _exit(status);
    }
    std::exit(status);
}
