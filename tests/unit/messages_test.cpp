// Message framing, the log entries and the log file's name.

#include "report/messages.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "process_end_capture.h"
#include "run/command_line.h"
#include "run/run_files.h"
#include "text/text_append.h"

namespace {

TEST(Messages, FramingOnTheConsole) {
    EndResult notes = run_capturing_end([] {
        console_note("first %d", 1);
        console_note("100%% sure");
        console_note("two\nlines");
    });
    EXPECT_FALSE(notes.ended);
    EXPECT_EQ(notes.out, "\nfirst 1\n\n100% sure\n\ntwo\nlines\n");

    EndResult fatal =
        run_capturing_end([] { fatal_error("File open failed for file %s.", "x.shp"); });
    EXPECT_TRUE(fatal.ended);
    EXPECT_EQ(fatal.status, 1);
    EXPECT_EQ(fatal.err, "\nFile open failed for file x.shp.\n");
    EXPECT_EQ(fatal.out, "");
}

TEST(Messages, ProgressOverwritesItselfOnlyOnATerminal) {
    auto run = [] {
        console_note("start");
        progress_note_and_log("Unloaded row %i.", 1000);
        progress_note_and_log("Unloaded row %i.", 2000);
        console_note("Unloaded %i row(s).", 2500);
        progress_note_and_log("Unloaded row %i.", 3000);
        fatal_error("Write failed for file %s.", "x.dbf");
    };
    set_console_is_terminal(false);
    EndResult piped = run_capturing_end(run);
    EXPECT_EQ(piped.out,
              "\nstart\n\nUnloaded row 1000.\n\nUnloaded row 2000.\n\nUnloaded 2500 row(s).\n"
              "\nUnloaded row 3000.\n");

    set_console_is_terminal(true);
    EndResult terminal = run_capturing_end(run);
    set_console_is_terminal(false);
    EXPECT_EQ(terminal.out,
              "\nstart\n\nUnloaded row 1000.\r\033[KUnloaded row 2000.\n\nUnloaded 2500 row(s).\n"
              "\nUnloaded row 3000.\n");
    EXPECT_EQ(terminal.err, "\nWrite failed for file x.dbf.\n");
    EXPECT_FALSE(progress_line_open());
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
