// The one way out of the process. Every end of spoolmap, a completed run and
// every refusal alike, goes through end_process, so that unit tests and fuzz
// targets can put a hook in its place and observe a refusal in-process
// instead of losing the process to it. A failed end first runs the run's
// failure cleanup, which takes back what the run wrote.

#ifndef SPOOLMAP_REPORT_PROCESS_END_H
#define SPOOLMAP_REPORT_PROCESS_END_H

constexpr int kExitCompleted = 0;
constexpr int kExitFailed = 1;

// A hook must not return: it ends the process itself or unwinds (a test hook
// throws). If it returns anyway, the process ends as without a hook.
using ProcessEndHook = void (*)(int status);

// Installs hook (null restores the plain exit) and returns the previous one.
ProcessEndHook set_process_end_hook(ProcessEndHook hook);

// What a failed run undoes on disk. It must be async-signal-safe, since an
// interrupting signal runs it too, and safe to run again after it was cut
// short by one.
using FailureCleanup = void (*)();

// Registers the cleanup that every end with a status other than 0 runs
// before the hook; null when there is nothing to undo (any more).
void set_failure_cleanup(FailureCleanup cleanup);

enum class ProcessEnd {
    kFlushStreams,  // the normal exit: every open stream flushed and closed
    kAtOnce,        // from a signal handler: no stream touched, _exit
};

// Ends the process with status: the failure cleanup (status other than 0),
// the hook, then the exit. Only the kAtOnce end is async-signal-safe.
[[noreturn]] void end_process(int status, ProcessEnd how = ProcessEnd::kFlushStreams);

#endif
