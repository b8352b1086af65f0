// spoolmap: unloads one spatial table into a shapefile set.

#include "run/unload_run.h"

int main(int argc, char** argv) {
    run_unload(argc, argv);
}
