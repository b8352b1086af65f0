// Message framing, file errors, progress, the log entries and the log
// file's name.

#include "report/messages.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <regex>
#include <string>

#include "process_end_capture.h"
#include "report/progress_meter.h"
#include "run/command_line.h"
#include "run/run_files.h"
#include "text/text_append.h"

namespace {

TEST(Messages, FramingOnTheConsole) {
    EndResult notes = run_capturing_end([] {
        console_note("first %d", 1);
        console_note("100%% sure");
        console_note("two\nlines");
        console_line("a,b  point (1)");
    });
    EXPECT_FALSE(notes.ended);
    EXPECT_EQ(notes.out, "\nfirst 1\n\n100% sure\n\ntwo\nlines\na,b  point (1)\n");

    EndResult fatal = run_capturing_end([] { fatal_error("Unable to determine %s.", "x.geom"); });
    EXPECT_TRUE(fatal.ended);
    EXPECT_EQ(fatal.status, 1);
    EXPECT_EQ(fatal.err, "\nUnable to determine x.geom.\n");
    EXPECT_EQ(fatal.out, "");
}

// Every file error carries the system's reason, one that gave none too.
TEST(Messages, FileErrorsSayWhy) {
    const struct {
        const char* action;
        int error;
        const char* shown;
    } cases[] = {
        {"File open", ENOENT, "\nFile open failed for file ro/x.shp: No such file or directory.\n"},
        {"Write", ENOSPC, "\nWrite failed for file ro/x.shp: No space left on device.\n"},
        {"Read", 0, "\nRead failed for file ro/x.shp: Input/output error.\n"},
    };
    for (const auto& c : cases) {
        EndResult result = run_capturing_end([&] { file_error(c.action, "ro/x.shp", c.error); });
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.err, c.shown);
    }
    EndResult directory = run_capturing_end([] { directory_error("Sync", "ro", EIO); });
    EXPECT_EQ(directory.err, "\nSync failed for directory ro: Input/output error.\n");
}

// Off a terminal the progress lines stand on their own, as in the log; on a
// terminal the log keeps them, and the meter line takes its own place again
// and again instead.
TEST(Messages, ProgressLinesOffATerminalTheMeterOnOne) {
    auto run = [] {
        console_note("start");
        progress_meter_line("Unloaded 900 rows.");
        progress_note_and_log("Unloaded row %i.", 1000);
        progress_meter_line("Unloaded 1900 rows.");
        console_note("Rejecting row with shape type %d.", 3);
        progress_meter_line("Unloaded 2500 rows.");
        fatal_error("Write failed for file %s: %s.", "x.dbf", "No space left on device");
    };
    for (bool terminal : {false, true}) {
        FILE* log = std::tmpfile();
        ASSERT_NE(log, nullptr);
        attach_log_stream(log);
        set_console_is_terminal(terminal);
        EndResult result = run_capturing_end(run);
        set_console_is_terminal(false);
        attach_log_stream(nullptr);
        EXPECT_EQ(result.out,
                  terminal ? "\nstart\n\nUnloaded 900 rows.\r\033[KUnloaded 1900 rows.\n"
                             "\nRejecting row with shape type 3.\n\nUnloaded 2500 rows.\n"
                           : "\nstart\n\nUnloaded row 1000.\n\nRejecting row with shape type 3.\n");
        EXPECT_EQ(result.err, "\nWrite failed for file x.dbf: No space left on device.\n");
        EXPECT_FALSE(progress_line_open());
        std::rewind(log);
        char text[256] = {};
        text[std::fread(text, 1, sizeof text - 1, log)] = '\0';
        std::fclose(log);
        EXPECT_NE(std::string(text).find("  Unloaded row 1000.\n"), std::string::npos) << text;
    }
}

TEST(ProgressMeter, RowsOfTheTotalShareAndRate) {
    const struct {
        int64_t rows, total;
        RowTotal kind;
        int64_t elapsed_microseconds;
        const char* text;
    } cases[] = {
        {1200, 5000, RowTotal::kExact, 2000000, "Unloaded 1200 of 5000 rows (24%), 600 rows/s."},
        {1200, 5000, RowTotal::kEstimate, 500000,
         "Unloaded 1200 of ~5000 rows (24%), 2400 rows/s."},
        {5000, 5000, RowTotal::kExact, 1000000, "Unloaded 5000 of 5000 rows (100%), 5000 rows/s."},
        // An estimate the rows outgrew, and no total at all: rows and rate.
        {5001, 5000, RowTotal::kEstimate, 1000000, "Unloaded 5001 rows, 5001 rows/s."},
        {128, 0, RowTotal::kUnknown, 1000, "Unloaded 128 rows, 128000 rows/s."},
        {128, 900, RowTotal::kExact, 0, "Unloaded 128 of 900 rows (14%)."},
    };
    for (const auto& c : cases) {
        char text[kMeterTextBytes];
        format_progress_meter(c.rows, c.total, c.kind, c.elapsed_microseconds, text, sizeof text);
        EXPECT_STREQ(text, c.text);
    }
}

TEST(Messages, LogEntriesCarryATimeStampOnTheirFirstLineOnly) {
    FILE* log = std::tmpfile();
    ASSERT_NE(log, nullptr);
    attach_log_stream(log);
    EndResult result = run_capturing_end([] {
        log_note("Information from command line ...\n\n%s", "        -o init");
        note_and_log("Unloaded %i row(s).", 3);
    });
    attach_log_stream(nullptr);
    EXPECT_EQ(result.out, "\nUnloaded 3 row(s).\n");
    std::rewind(log);
    char text[512] = {};
    size_t length = std::fread(text, 1, sizeof text - 1, log);
    std::fclose(log);
    std::regex expected(
        "\n[0-2][0-9]:[0-5][0-9]:[0-5][0-9]  Information from command line \\.\\.\\.\n\n"
        "        -o init\n"
        "\n[0-2][0-9]:[0-5][0-9]:[0-5][0-9]  Unloaded 3 row\\(s\\)\\.\n");
    EXPECT_TRUE(std::regex_match(std::string(text, length), expected)) << text;
}

TEST(Messages, LogFileName) {
    RunSettings settings;
    char name[64];
    settings.base_name = "data\\roads";
    settings.log_directory = "C:\\logs";
    form_log_name(settings, name, sizeof name);
    EXPECT_STREQ(name, "C:\\logs/roads.log");
    settings.log_directory = nullptr;
    form_log_name(settings, name, sizeof name);
    EXPECT_STREQ(name, "data\\roads.log");

    settings.base_name = "a-very-long-base-name-that-cannot-fit-in-sixteen-bytes";
    EndResult result = run_capturing_end([&] {
        char small[16];
        form_log_name(settings, small, sizeof small);
    });
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "\nThe log file name does not fit in its buffer of 16 bytes.\n");
}

TEST(TextAppend, NeverCutsSilently) {
    char buffer[8] = "ab";
    EXPECT_TRUE(append_text(buffer, sizeof buffer, "%s", "cde"));
    EXPECT_STREQ(buffer, "abcde");
    EXPECT_FALSE(append_text(buffer, sizeof buffer, "%s", "fgh"));
    EXPECT_STREQ(buffer, "abcde");
    EXPECT_TRUE(append_text(buffer, sizeof buffer, "%s", "fg"));
    EXPECT_STREQ(buffer, "abcdefg");
}

}  // namespace
