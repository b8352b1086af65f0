// The interrupting signals (see interruption.h). The handler does only what
// is safe in a signal handler: write(2) of a line made in advance, the run's
// failure cleanup (async-signal-safe by its contract) and _exit; no stream is
// touched, since the run may have been inside one when the signal came.

#include "report/interruption.h"

#include <unistd.h>

#include <csignal>
#include <cstring>

#include "report/messages.h"
#include "report/process_end.h"

namespace {

struct Interruption {
    int signal_number;
    const char* line;  // framed by line feeds, as every message is
};

const Interruption kInterruptions[] = {
    {SIGINT, "\nRun interrupted by SIGINT; the file set is left as it was.\n"},
    {SIGTERM, "\nRun interrupted by SIGTERM; the file set is left as it was.\n"},
    {SIGHUP, "\nRun interrupted by SIGHUP; the file set is left as it was.\n"},
};

const int kIgnoredSignals[] = {SIGXFSZ, SIGPIPE};

// The interrupting signals, to block while one is handled or while the set is
// committed.
sigset_t interruption_set() {
    sigset_t set;
    sigemptyset(&set);
    for (const Interruption& interruption : kInterruptions) {
        sigaddset(&set, interruption.signal_number);
    }
    return set;
}

}  // namespace

void end_interrupted_run(int signal_number) {
    for (const Interruption& interruption : kInterruptions) {
        if (interruption.signal_number == signal_number) {
            // Nothing to do about a failed write to the console here. A
            // progress line on the terminal is ended first (its text was
            // flushed when it was written, so the stream holds nothing).
            ssize_t written = 0;
            if (progress_line_open()) {
                written += write(STDOUT_FILENO, "\n", 1);
            }
            written += write(STDERR_FILENO, interruption.line, std::strlen(interruption.line));
            (void)written;
        }
    }
    end_process(kExitFailed, ProcessEnd::kAtOnce);
}

static void handle_interruption(int signal_number) {
    end_interrupted_run(signal_number);
}

void install_interruption_handlers() {
    struct sigaction action = {};
    action.sa_handler = handle_interruption;
    action.sa_mask = interruption_set();  // one cleanup at a time
    for (const Interruption& interruption : kInterruptions) {
        struct sigaction previous = {};
        if (sigaction(interruption.signal_number, nullptr, &previous) == 0 &&
            previous.sa_handler == SIG_IGN) {
            continue;
        }
        sigaction(interruption.signal_number, &action, nullptr);
    }
    for (int signal_number : kIgnoredSignals) {
        std::signal(signal_number, SIG_IGN);
    }
}

void hold_interruptions() {
    sigset_t set = interruption_set();
    sigprocmask(SIG_BLOCK, &set, nullptr);
}
