// The single exit of the program (see process_end.h for why it is replaceable).

#include "report/process_end.h"

#include <cstdlib>

static ProcessEndHook current_hook = nullptr;

ProcessEndHook set_process_end_hook(ProcessEndHook hook) {
    ProcessEndHook previous = current_hook;
    current_hook = hook;
    return previous;
}

void end_process(int status) {
    if (current_hook != nullptr) {
        current_hook(status);
    }
    std::exit(status);
}
