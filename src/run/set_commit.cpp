// A file set is changed whole or not at all. An init writes every file of the
// set under a temporary name beside the old set and renames the new files
// over the old ones only when the whole set is written and on disk; an append
// writes only past the ends its headers give and rewrites the headers last,
// so it can always go back to the lengths and headers it started from.
//
// What a failed run undoes is kept ready in static storage, so that a signal
// handler can undo it with unlink, ftruncate, pwrite and close alone.

#include "run/set_commit.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cassert>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "dbf/dbf_header.h"
#include "report/interruption.h"
#include "report/messages.h"
#include "report/process_end.h"
#include "run/command_line.h"
#include "text/text_append.h"

namespace {

constexpr char kPartSuffix[] = ".part";
// An old member while the commit replaces it, beside its name.
constexpr char kAsideSuffix[] = ".prev";
// The aside name fits wherever the part name did (name_parts refuses a name
// too long for that), so it is never cut back to the member's own name.
static_assert(sizeof kAsideSuffix <= sizeof kPartSuffix, "an aside name fits as a part name does");
constexpr mode_t kNewFileMode = 0666;  // less the umask, as any new file
constexpr mode_t kPermissionBits = 07777;

constexpr int appended_member_count() {
    int count = 0;
    for (const SetMember& member : kSetMembers) {
        count += member.appended ? 1 : 0;
    }
    return count;
}
constexpr int kAppendedCount = appended_member_count();

// One file an append writes to, as it was before the first new record.
struct RestorePoint {
    int undo_fd = -1;    // the run's own descriptor, open to the process end
    int stream_fd = -1;  // the stream's; -1 once the stream is closed
    off_t length = 0;
    uint8_t* head = nullptr;
    size_t head_bytes = 0;
    uint8_t last_byte = 0;  // the .dbf's end-of-file byte, which the first new record overwrites
};

struct UndoPlan {
    const char* parts[kSetMemberCount] = {};  // init: the part files made so far
    volatile sig_atomic_t part_count = 0;
    RestorePoint appended[kAppendedCount];
};

UndoPlan plan;
uint8_t main_heads[2][kMainHeaderBytes];
uint8_t dbf_head[kDbfMaxLength];

// The failure cleanup. Async-signal-safe, and whole again when run a second
// time after a signal cut it short.
void undo_failed_run() {
    for (sig_atomic_t i = 0; i < plan.part_count; ++i) {
        unlink(plan.parts[i]);
    }
    for (RestorePoint& file : plan.appended) {
        if (file.undo_fd < 0) {
            continue;
        }
        // Nothing is left to do about a failure here: the run is ending with
        // its error already, and a later run cuts what lies past the headers.
        ssize_t ignored = 0;
        if (ftruncate(file.undo_fd, file.length) == 0) {
            ignored += pwrite(file.undo_fd, file.head, file.head_bytes, 0);
            ignored += pwrite(file.undo_fd, &file.last_byte, 1, file.length - 1);
        }
        (void)ignored;
        // What the stream still buffers would otherwise be written past the
        // restored end when the process exits.
        if (file.stream_fd >= 0) {
            close(file.stream_fd);
            file.stream_fd = -1;
        }
        close(file.undo_fd);
        file.undo_fd = -1;
    }
    plan.part_count = 0;
}

// The plan once nothing is left to undo.
void forget_plan() {
    set_failure_cleanup(nullptr);
    plan.part_count = 0;
    for (RestorePoint& file : plan.appended) {
        if (file.undo_fd >= 0) {
            close(file.undo_fd);
        }
        file = RestorePoint{};
    }
}

}  // namespace

void name_parts(FileSet& files) {
    for (const SetMember& member : kSetMembers) {
        SetFile& file = files.*member.file;
        file.part_name[0] = '\0';
        append_or_fail(file.part_name, sizeof file.part_name, "file name", "%s%s", file.name,
                       kPartSuffix);
    }
    const char* name = files.shp.name;
    const char* slash = std::strrchr(name, '/');
    files.directory[0] = '\0';
    if (slash == nullptr) {
        append_or_fail(files.directory, sizeof files.directory, "file name", ".");
    } else {
        int length = slash == name ? 1 : static_cast<int>(slash - name);
        append_or_fail(files.directory, sizeof files.directory, "file name", "%.*s", length, name);
    }
}

void remove_stale_parts(const FileSet& files) {
    for (const SetMember& member : kSetMembers) {
        unlink((files.*member.file).part_name);
    }
}

void create_part_file(SetFile& file) {
    struct stat old;
    bool old_exists = stat(file.name, &old) == 0;
    if (old_exists && S_ISDIR(old.st_mode)) {
        file_error("File open", file.name, EISDIR);
    }
    int fd = open(file.part_name, O_WRONLY | O_CREAT | O_EXCL, kNewFileMode);
    if (fd < 0) {
        file_error("File open", file.name, errno);
    }
    assert(plan.part_count < kSetMemberCount);
    plan.parts[plan.part_count] = file.part_name;
    plan.part_count = plan.part_count + 1;
    set_failure_cleanup(undo_failed_run);
    // The new file takes the old one's place, so it keeps its permissions
    // (where the run may not give them, the new file keeps its own).
    if (old_exists && S_ISREG(old.st_mode)) {
        (void)fchmod(fd, old.st_mode & kPermissionBits);
    }
    file.stream = fdopen(fd, "wb");
    if (file.stream == nullptr) {
        int error = errno;
        close(fd);
        file_error("File open", file.name, error);
    }
}

void drop_set_file(SetFile& file) {
    if (file.stream != nullptr) {
        std::fclose(file.stream);  // empty: nothing of it is kept
        file.stream = nullptr;
    }
    unlink(file.part_name);
    file.dropped = true;
}

void keep_append_restore_point(const FileSet& files, const int64_t (&head_bytes)[3]) {
    static_assert(kAppendedCount == 3, "the .shp, .shx and .dbf are appended");
    uint8_t* heads[kAppendedCount] = {main_heads[0], main_heads[1], dbf_head};
    static_assert(sizeof dbf_head >= kDbfMaxLength, "any .dbf header fits");
    int i = 0;
    for (const SetMember& member : kSetMembers) {
        if (!member.appended) {
            continue;
        }
        const SetFile& file = files.*member.file;
        RestorePoint& point = plan.appended[i];
        struct stat status;
        int fd = fileno(file.stream);
        errno = 0;
        if (std::fflush(file.stream) != 0 || fstat(fd, &status) != 0 || status.st_size < 1) {
            file_error("Read", file.name, errno);
        }
        point.length = status.st_size;
        point.head = heads[i];
        point.head_bytes = static_cast<size_t>(head_bytes[i]);
        errno = 0;
        if (pread(fd, point.head, point.head_bytes, 0) != static_cast<ssize_t>(point.head_bytes) ||
            pread(fd, &point.last_byte, 1, point.length - 1) != 1) {
            file_error("Read", file.name, errno);
        }
        point.undo_fd = dup(fd);
        if (point.undo_fd < 0) {
            file_error("File open", file.name, errno);
        }
        point.stream_fd = fd;
        ++i;
    }
    set_failure_cleanup(undo_failed_run);
}

void sync_set_files(const FileSet& files, Operation operation) {
    for (const SetMember& member : kSetMembers) {
        const SetFile& file = files.*member.file;
        bool written = operation == Operation::kInit || member.appended;
        if (!written || file.stream == nullptr) {
            continue;
        }
        errno = 0;
        if (std::fflush(file.stream) != 0 || std::ferror(file.stream) ||
            fsync(fileno(file.stream)) != 0) {
            file_error("Write", file.name, errno);
        }
    }
}

const SetFile* close_set_files(FileSet& files, const char** failure, int* error) {
    // The restore point forgets the streams' descriptors first: once closed,
    // their numbers may be another file's.
    for (RestorePoint& point : plan.appended) {
        point.stream_fd = -1;
    }
    const SetFile* failed = nullptr;
    for (const SetMember& member : kSetMembers) {
        SetFile& file = files.*member.file;
        if (file.stream == nullptr) {
            continue;
        }
        errno = 0;
        bool write_failed = std::ferror(file.stream) != 0;
        bool close_failed = std::fclose(file.stream) != 0;
        file.stream = nullptr;
        if (failed == nullptr && (write_failed || close_failed)) {
            failed = &file;
            *failure = write_failed ? "Write" : "Close";
            *error = errno;
        }
    }
    return failed;
}

// The renames are what a reader sees change; syncing the directory puts them
// on disk. A file system that cannot sync a directory (EINVAL) has nothing
// more to offer.
static void sync_directory(const char* directory) {
    int fd = open(directory, O_RDONLY | O_DIRECTORY);
    if (fd < 0) {
        return;
    }
    int error = fsync(fd) == 0 ? 0 : errno;
    close(fd);
    if (error != 0 && error != EINVAL) {
        directory_error("Sync", directory, error);
    }
}

namespace {

// What the commit did to one member so far, so that a failed step can put
// the old set back. The old file stays at its name (a second link, or on a
// file system without links, moved) until its new file replaces it.
struct CommitStep {
    const SetFile* file = nullptr;
    bool kept_aside = false;  // the old file is at aside_name
    bool linked = false;      // ... and still at its name too, until the step is done
    bool done = false;        // the new file (or, dropped, no file) is at the name
    char aside_name[kFileNameBytes] = {};
};

// The old file of a member to its aside name. A directory at the final name
// is not a member of the set: nothing is kept, and its rename fails.
bool keep_old_aside(CommitStep& step) {
    struct stat old;
    if (lstat(step.file->name, &old) != 0 || S_ISDIR(old.st_mode)) {
        return true;
    }
    unlink(step.aside_name);  // one a killed commit left
    step.linked = link(step.file->name, step.aside_name) == 0;
    if (!step.linked && rename(step.file->name, step.aside_name) != 0) {
        return false;
    }
    step.kept_aside = true;
    return true;
}

// Back to the old set: every member done so far gets its old file back (or,
// new to the set, is removed), the newest first. Best effort, since the run
// is failing already: what cannot be undone stays under the aside names.
void restore_old_set(CommitStep (&steps)[kSetMemberCount], int count) {
    for (int i = count - 1; i >= 0; --i) {
        CommitStep& step = steps[i];
        if (step.kept_aside && step.linked && !step.done) {
            // The old file never left its name; a rename of one link over
            // the other would do nothing and leave the aside name behind.
            if (unlink(step.aside_name) == 0) {
                step.kept_aside = false;
            }
        } else if (step.kept_aside) {
            if (rename(step.aside_name, step.file->name) == 0) {
                step.kept_aside = false;
            }
        } else if (step.done && !step.file->dropped) {
            unlink(step.file->name);
        }
    }
}

}  // namespace

// init: every member in place, the .shp last since readers open it first.
// Each step keeps the old file aside before its name changes; when a step
// fails, the steps before it are undone, and the run ends with the old set
// whole. The aside files go only once the last rename is done.
static void commit_init_set(const FileSet& files) {
    CommitStep steps[kSetMemberCount];
    int count = 0;
    for (int i = kSetMemberCount - 1; i >= 0; --i, ++count) {
        CommitStep& step = steps[count];
        step.file = &(files.*kSetMembers[i].file);
        const SetFile& file = *step.file;
        std::snprintf(step.aside_name, sizeof step.aside_name, "%s%s", file.name, kAsideSuffix);
        int error = 0;
        const char* failure = file.dropped ? "Remove" : "Rename";
        if (!keep_old_aside(step)) {
            error = errno;
        } else if (file.dropped) {
            if (unlink(file.name) != 0 && errno != ENOENT) {
                error = errno;
            }
        } else if (rename(file.part_name, file.name) != 0) {
            error = errno;
        }
        if (error != 0) {
            restore_old_set(steps, count + 1);
            file_error(failure, file.name, error);
        }
        step.done = true;
    }
    for (CommitStep& step : steps) {
        if (step.kept_aside) {
            unlink(step.aside_name);  // a leftover is harmless: the next init removes it
        }
    }
}

void commit_file_set(FileSet& files, Operation operation) {
    hold_interruptions();
    if (operation == Operation::kInit) {
        commit_init_set(files);
    }
    forget_plan();
    if (operation == Operation::kInit) {
        sync_directory(files.directory);
    }
}
