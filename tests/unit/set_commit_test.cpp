// A file set changes whole or not at all: an init's parts go when it fails or
// is interrupted and replace the old set only at the commit; a failed append
// goes back to the bytes it started from, whatever its streams still buffer.

#include "run/set_commit.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "dbf_test_database.h"
#include "process_end_capture.h"
#include "report/interruption.h"
#include "report/messages.h"
#include "run/command_line.h"

namespace {

std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return in ? bytes.str() : "<none>";
}

void put(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

bool exists(const std::string& path) {
    struct stat status;
    return stat(path.c_str(), &status) == 0;
}

// A set named dir/out.* whose old files hold "old <extension>".
FileSet old_set(const ScratchDirectory& scratch) {
    FileSet files;
    for (const SetMember& member : kSetMembers) {
        SetFile& file = files.*member.file;
        std::snprintf(file.name, sizeof file.name, "%s/out%s", scratch.path.c_str(),
                      member.extension);
        put(file.name, std::string("old ") + member.extension);
    }
    name_parts(files);
    return files;
}

void unblock_interruptions() {
    sigset_t set;
    sigemptyset(&set);
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
        sigaddset(&set, signal_number);
    }
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
}

TEST(SetCommit, InitPartsGoOnAnInterruptionAndReplaceTheOldSetOnlyAtTheCommit) {
    ScratchDirectory scratch;
    FileSet files = old_set(scratch);
    EXPECT_EQ(files.directory, scratch.path);
    put(files.dbf.part_name, "stale part of a killed run");
    ASSERT_EQ(chmod(files.shp.name, 0640), 0);

    auto write_parts = [&](const char* text) {
        remove_stale_parts(files);
        for (const SetMember& member : kSetMembers) {
            create_part_file(files.*member.file);
            std::fputs(text, (files.*member.file).stream);
        }
    };
    write_parts("new");
    EndResult interrupted = run_capturing_end([] { end_interrupted_run(SIGINT); });
    EXPECT_TRUE(interrupted.ended);
    EXPECT_EQ(interrupted.status, 1);
    EXPECT_EQ(interrupted.err, "\nRun interrupted by SIGINT; the file set is left as it was.\n");
    for (const SetMember& member : kSetMembers) {
        const SetFile& file = files.*member.file;
        std::fclose(file.stream);
        EXPECT_FALSE(exists(file.part_name)) << file.part_name;
        EXPECT_EQ(contents(file.name), std::string("old ") + member.extension);
    }

    // The run that completes: the dropped .prj goes, the rest is replaced and
    // keeps the old files' permissions.
    write_parts("new");
    drop_set_file(files.prj);
    sync_set_files(files, Operation::kInit);
    const char* failure = nullptr;
    int error = 0;
    EXPECT_EQ(close_set_files(files, &failure, &error), nullptr);
    EXPECT_EQ(contents(files.shp.name), "old .shp");
    commit_file_set(files, Operation::kInit);
    unblock_interruptions();
    for (const SetMember& member : kSetMembers) {
        const SetFile& file = files.*member.file;
        EXPECT_FALSE(exists(file.part_name)) << file.part_name;
        EXPECT_FALSE(exists(std::string(file.name) + ".prev")) << file.name;
    }
    EXPECT_EQ(contents(files.shp.name), "new");
    EXPECT_EQ(contents(files.dbf.name), "new");
    EXPECT_FALSE(exists(files.prj.name));
    struct stat status;
    ASSERT_EQ(stat(files.shp.name, &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0640u);

    // A directory where a file of the set belongs is refused before a part
    // is made.
    ASSERT_EQ(mkdir(files.prj.name, 0755), 0);
    EndResult refused = run_capturing_end([&] { create_part_file(files.prj); });
    EXPECT_EQ(refused.err,
              "\nFile open failed for file " + std::string(files.prj.name) + ": Is a directory.\n");
    EXPECT_FALSE(exists(files.prj.part_name));
}

// A rename that fails half-way through the commit puts back every member
// renamed or removed before it: the old set stays whole, and nothing of the
// new one or of the commit's own is left beside it. The .shp, renamed last,
// fails: its name became a non-empty directory after the checks, or its part
// went (the old .shp, kept aside by then, must not stay so).
TEST(SetCommit, ARenameThatFailsPutsTheOldSetBackWhole) {
    for (bool directory : {true, false}) {
        SCOPED_TRACE(directory ? "a directory at the name" : "the part gone");
        ScratchDirectory scratch;
        FileSet files = old_set(scratch);
        for (const SetMember& member : kSetMembers) {
            create_part_file(files.*member.file);
            std::fputs("new", (files.*member.file).stream);
        }
        drop_set_file(files.prj);
        sync_set_files(files, Operation::kInit);
        const char* failure = nullptr;
        int error = 0;
        ASSERT_EQ(close_set_files(files, &failure, &error), nullptr);
        if (directory) {
            ASSERT_EQ(unlink(files.shp.name), 0);
            ASSERT_EQ(mkdir(files.shp.name, 0755), 0);
            put(std::string(files.shp.name) + "/inside", "x");
        } else {
            ASSERT_EQ(unlink(files.shp.part_name), 0);
        }

        EndResult result = run_capturing_end([&] { commit_file_set(files, Operation::kInit); });
        unblock_interruptions();
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.err, "\nRename failed for file " + std::string(files.shp.name) + ": " +
                                  (directory ? "Is a directory" : "No such file or directory") +
                                  ".\n");
        for (const SetMember& member : kSetMembers) {
            const SetFile& file = files.*member.file;
            EXPECT_FALSE(exists(file.part_name)) << file.part_name;
            EXPECT_FALSE(exists(std::string(file.name) + ".prev")) << file.name;
            if (&file != &files.shp || !directory) {
                EXPECT_EQ(contents(file.name), std::string("old ") + member.extension);
            }
        }
        if (directory) {
            EXPECT_EQ(contents(std::string(files.shp.name) + "/inside"), "x");
        }
    }
}

TEST(SetCommit, AFailedAppendGoesBackToItsBytesWhateverItsStreamsStillHold) {
    ScratchDirectory scratch;
    FileSet files = old_set(scratch);
    std::string before[kSetMemberCount];
    for (int i = 0; i < kSetMemberCount; ++i) {
        const SetMember& member = kSetMembers[i];
        SetFile& file = files.*member.file;
        put(file.name, std::string("HEAD") + member.extension + "\x1a");
        before[i] = contents(file.name);
        if (member.appended) {
            file.stream = std::fopen(file.name, "rb+");
            ASSERT_NE(file.stream, nullptr);
        }
    }
    keep_append_restore_point(files, {4, 4, 4});
    // New records over the end-of-file byte, one flushed, the rest buffered,
    // and a header rewritten; then the failure.
    EndResult result = run_capturing_end([&] {
        for (const SetMember& member : kSetMembers) {
            if (member.appended) {
                FILE* stream = (files.*member.file).stream;
                std::fseek(stream, -1, SEEK_END);
                std::fputs("record", stream);
                std::fflush(stream);
                std::fputs(" buffered", stream);
                std::fseek(stream, 0, SEEK_SET);
                std::fputs("NEW!", stream);
                std::fflush(stream);
                std::fseek(stream, 0, SEEK_END);
                std::fputs(" more", stream);
            }
        }
        fatal_error("Write failed for file out.dbf.");
    });
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "\nWrite failed for file out.dbf.\n");
    for (int i = 0; i < kSetMemberCount; ++i) {
        SetFile& file = files.*kSetMembers[i].file;
        if (file.stream != nullptr) {
            std::fclose(file.stream);  // what it buffered finds its descriptor closed
        }
        EXPECT_EQ(contents(file.name), before[i]) << file.name;
    }
}

}  // namespace
