// The listing mode (-L): one line per spatial column of the database, so
// that a user can find the table and column to give -l.

#ifndef SPOOLMAP_RUN_LISTING_RUN_H
#define SPOOLMAP_RUN_LISTING_RUN_H

struct RunSettings;

// Connects to target, prints the listing on the standard output and ends
// the process: status 0, or 1 when the catalogue cannot be read.
[[noreturn]] void run_listing(const RunSettings& settings, const char* target);

#endif
