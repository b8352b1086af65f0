// Lets a test observe a refusal in-process: while a CapturedEnd is alive, the
// process end throws ProcessEnded instead of ending the test binary.

#ifndef SPOOLMAP_TESTS_PROCESS_END_CAPTURE_H
#define SPOOLMAP_TESTS_PROCESS_END_CAPTURE_H

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "report/process_end.h"

struct ProcessEnded {
    int status;
};

[[noreturn]] inline void throw_process_ended(int status) {
    throw ProcessEnded{status};
}

// What a piece of code did when run to its end: whether it ended the process,
// with which status, and what it printed.
struct EndResult {
    bool ended = false;
    int status = -1;
    std::string out;
    std::string err;
};

inline EndResult run_capturing_end(const std::function<void()>& body) {
    EndResult result;
    ProcessEndHook previous = set_process_end_hook(throw_process_ended);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    try {
        body();
    } catch (const ProcessEnded& ended) {
        result.ended = true;
        result.status = ended.status;
    }
    std::fflush(stdout);
    std::fflush(stderr);
    result.out = testing::internal::GetCapturedStdout();
    result.err = testing::internal::GetCapturedStderr();
    set_process_end_hook(previous);
    return result;
}

#endif
