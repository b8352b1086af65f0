// The progress meter (see progress_meter.h). Its clock is the steady one, so
// that the rate stays right when the wall clock is set.

#include "report/progress_meter.h"

#include <time.h>

#include <cstdio>

#include "report/messages.h"

constexpr int64_t kMicrosecondsPerSecond = 1000000;
constexpr int64_t kNanosecondsPerMicrosecond = 1000;
constexpr int64_t kWholePercent = 100;

static int64_t steady_microseconds() {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * kMicrosecondsPerSecond +
           now.tv_nsec / kNanosecondsPerMicrosecond;
}

void format_progress_meter(int64_t rows, int64_t total, RowTotal total_kind,
                           int64_t elapsed_microseconds, char* text, size_t size) {
    // An estimate may fall short of the rows there are; then it says nothing.
    bool with_total = total_kind != RowTotal::kUnknown && total > 0 && rows <= total;
    int length = 0;
    if (with_total) {
        length = std::snprintf(
            text, size, "Unloaded %lld of %s%lld rows (%lld%%)", static_cast<long long>(rows),
            total_kind == RowTotal::kEstimate ? "~" : "", static_cast<long long>(total),
            static_cast<long long>(rows * kWholePercent / total));
    } else {
        length = std::snprintf(text, size, "Unloaded %lld rows", static_cast<long long>(rows));
    }
    if (length < 0 || static_cast<size_t>(length) >= size) {
        return;  // cut by snprintf; no meter text is longer than kMeterTextBytes
    }
    if (elapsed_microseconds > 0) {
        long long rate = static_cast<long long>(static_cast<double>(rows) * kMicrosecondsPerSecond /
                                                static_cast<double>(elapsed_microseconds));
        std::snprintf(text + length, size - static_cast<size_t>(length), ", %lld rows/s.", rate);
    } else {
        std::snprintf(text + length, size - static_cast<size_t>(length), ".");
    }
}

static void draw(ProgressMeter& meter, int64_t rows, int64_t now) {
    char text[kMeterTextBytes];
    format_progress_meter(rows, meter.total, meter.total_kind, now - meter.start_microseconds, text,
                          sizeof text);
    progress_meter_line(text);
    meter.drawn_microseconds = now;
    meter.drawn = true;
}

void start_progress_meter(ProgressMeter& meter, int64_t total, RowTotal total_kind) {
    meter = ProgressMeter{};
    meter.on = console_is_terminal();
    meter.total = total;
    meter.total_kind = total_kind;
    meter.start_microseconds = steady_microseconds();
}

void check_progress_meter(ProgressMeter& meter, int64_t rows) {
    if (!meter.on) {
        return;
    }
    int64_t now = steady_microseconds();
    if (!meter.drawn || now - meter.drawn_microseconds >= kMeterIntervalMicroseconds) {
        draw(meter, rows, now);
    }
}

void finish_progress_meter(ProgressMeter& meter, int64_t rows) {
    if (meter.on && meter.drawn) {
        draw(meter, rows, steady_microseconds());
    }
}
