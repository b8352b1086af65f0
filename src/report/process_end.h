// The one way out of the process. Every end of spoolmap, a completed run and
// every refusal alike, goes through end_process, so that unit tests and fuzz
// targets can put a hook in its place and observe a refusal in-process
// instead of losing the process to it.

#ifndef SPOOLMAP_REPORT_PROCESS_END_H
#define SPOOLMAP_REPORT_PROCESS_END_H

constexpr int kExitCompleted = 0;
constexpr int kExitFailed = 1;

// A hook must not return: it ends the process itself or unwinds (a test hook
// throws). If it returns anyway, the process ends as without a hook.
using ProcessEndHook = void (*)(int status);

// Installs hook (null restores the plain exit) and returns the previous one.
ProcessEndHook set_process_end_hook(ProcessEndHook hook);

// Ends the process with status through the normal exit, which flushes and
// closes every open stream.
[[noreturn]] void end_process(int status);

#endif
