// The progress meter a terminal shows while the rows come in: the rows done,
// of the total where the database keeps one (exact, or an estimate marked
// "~"), the share done and the rate, redrawn in place at most ten times a
// second. Off a terminal nothing of it is written: a pipe, a file and the log
// get the progress lines of every thousand rows, as ever.

#ifndef SPOOLMAP_REPORT_PROGRESS_METER_H
#define SPOOLMAP_REPORT_PROGRESS_METER_H

#include <cstddef>
#include <cstdint>

// What is known of the number of rows a run will read.
enum class RowTotal { kUnknown, kExact, kEstimate };

// The rows between two looks at the clock: often enough for a slow server,
// rarely enough to cost nothing at a million rows a second.
constexpr int32_t kMeterCheckRows = 128;
// At most ten drawings a second.
constexpr int64_t kMeterIntervalMicroseconds = 100000;

struct ProgressMeter {
    bool on = false;  // the standard output is a terminal
    int64_t total = 0;
    RowTotal total_kind = RowTotal::kUnknown;
    int64_t start_microseconds = 0;
    int64_t drawn_microseconds = 0;
    bool drawn = false;
};

// Room for any meter text.
constexpr size_t kMeterTextBytes = 128;

// The meter's text for rows done after elapsed_microseconds:
// "Unloaded 1200 of 5000 rows (24%), 8500 rows/s.", with "~" before an
// estimated total, or "Unloaded 1200 rows, 8500 rows/s." without a total
// (and where the rows outgrew an estimate). The rate is left out while no
// time has passed.
void format_progress_meter(int64_t rows, int64_t total, RowTotal total_kind,
                           int64_t elapsed_microseconds, char* text, size_t size);

// Starts the meter on a terminal (off one it stays off) with the total the
// run expects.
void start_progress_meter(ProgressMeter& meter, int64_t total, RowTotal total_kind);

// Draws the meter for rows done when it is on and a tenth of a second has
// passed since it was last drawn (at once the first time).
void check_progress_meter(ProgressMeter& meter, int64_t rows);

// Draws the meter a last time with every row of the run, when it was drawn at
// all: the line left on the terminal tells how the run ended.
void finish_progress_meter(ProgressMeter& meter, int64_t rows);

#endif
