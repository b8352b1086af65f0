// Signals that would end the run halfway. Ctrl-C, a kill and a closed
// terminal end it as an error does: the run's failure cleanup, one line saying
// it was interrupted, status 1. A file-size limit or a closed pipe does not
// kill it either: those signals are ignored, so the write that meets the limit
// fails and is reported like any failed write.

#ifndef SPOOLMAP_REPORT_INTERRUPTION_H
#define SPOOLMAP_REPORT_INTERRUPTION_H

// Installs the handlers (SIGINT, SIGTERM, SIGHUP) and ignores SIGXFSZ and
// SIGPIPE. A signal that the process was started with ignored (nohup, a
// background job) stays ignored.
void install_interruption_handlers();

// Holds the interrupting signals back until the process ends: the commit that
// puts a finished set in place is not to be cut halfway. One that comes in
// the meantime is lost with the process.
void hold_interruptions();

// The handler: writes the line, then ends the process at once (status 1)
// through end_process, which runs the failure cleanup. Async-signal-safe.
[[noreturn]] void end_interrupted_run(int signal_number);

#endif
