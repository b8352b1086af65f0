// The unload run (being built: for now it parses the command line).

#include "run/unload_run.h"

#include "run/command_line.h"
#include "run/messages.h"
#include "run/process_end.h"

void run_unload(int argc, char** argv) {
    static RunSettings settings;
    parse_command_line(argc, argv, settings);
    fatal_error("The unload run is not built yet.");
}
