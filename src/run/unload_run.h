// The unload run: one process, one run from the command line to the exit.

#ifndef SPOOLMAP_RUN_UNLOAD_RUN_H
#define SPOOLMAP_RUN_UNLOAD_RUN_H

// Performs the whole unload and ends the process: status 0 for a completed
// run (or an append refused for a coordinate-system mismatch), 1 otherwise.
[[noreturn]] void run_unload(int argc, char** argv);

#endif
