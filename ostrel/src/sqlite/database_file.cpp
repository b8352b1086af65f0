// Opening a database file for a session and closing it. The file is opened
// read-only and never created. A writer's lock is waited out for a bounded
// time and then reported. The session reads in one transaction, from connect
// to disconnect, so that every statement of it sees one snapshot of the
// database, whatever a writer commits meanwhile. A WAL database in a
// directory where this process may not make files (a read-only mount, or a
// directory of someone else's it may only read), where SQLite cannot make
// its -shm and -wal files, and whose -wal holds nothing, is opened as an
// unchangeable file: it is all there is of the database.

#include "sqlite/database_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "core/status.h"

namespace {

// A writer's commit holds the file for milliseconds; a writer that holds it
// for longer than this is reported as holding it.
constexpr int kBusyTimeoutMilliseconds = 5000;

// The database header's read and write versions, at bytes 18 and 19: 2 in a
// WAL database.
constexpr int kHeaderVersionOffset = 18;
constexpr unsigned char kWalVersion = 2;

constexpr int kReadOnlyFlags = SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX;

// SQLite reads names beginning "file:" as URIs; a database file of such a
// name is opened through an explicit relative path instead.
std::string plain_file_name(const std::string& path) {
    return path.compare(0, 5, "file:") == 0 ? "./" + path : path;
}

bool is_uri_unreserved(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~' || c == '/';
}

// The URI that opens path as an unchangeable file. Every byte but the
// unreserved ones is %-escaped, so that no name (one beginning "file:", or
// holding '?', '#' or '%') reads as anything but the path it is; an absolute
// path gets the empty authority, so that one beginning "//" is no host.
std::string immutable_uri(const std::string& path) {
    std::string uri = path[0] == '/' ? "file://" : "file:";
    for (char c : path) {
        if (is_uri_unreserved(c)) {
            uri += c;
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", static_cast<unsigned char>(c));
            uri += escaped;
        }
    }
    return uri + "?immutable=1";
}

// A WAL database whose -wal file is missing or empty: the database file holds
// every committed transaction.
bool is_whole_wal_database(const std::string& path) {
    unsigned char versions[2] = {};
    FILE* file = std::fopen(path.c_str(), "rb");
    bool wal = file != nullptr && std::fseek(file, kHeaderVersionOffset, SEEK_SET) == 0 &&
               std::fread(versions, 1, 2, file) == 2 && versions[0] == kWalVersion &&
               versions[1] == kWalVersion;
    if (file != nullptr) {
        std::fclose(file);
    }
    struct stat wal_file;
    return wal && (stat((path + "-wal").c_str(), &wal_file) != 0 || wal_file.st_size == 0);
}

// Whether this process may make files in the directory path lies in, as its
// effective user: a read-only mount and missing permissions alike say no.
bool may_write_beside(const std::string& path) {
    size_t slash = path.rfind('/');
    std::string directory = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    return faccessat(AT_FDCWD, directory.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

// What SQLite answers when it cannot make the -shm or -wal file of a WAL
// database: "unable to open" on a read-only mount, "attempt to write a
// readonly database" where the directory's permissions forbid it.
bool is_refused_wal_access(int rc) {
    return (rc & 0xff) == SQLITE_CANTOPEN || (rc & 0xff) == SQLITE_READONLY;
}

// Opens name (a path, or a URI with SQLITE_OPEN_URI among flags) and begins
// the session's read transaction; its first read takes the snapshot, and
// finds out a file that is not a database. Returns SQLite's result.
int open_and_begin(SqliteDatabase& database, const char* name, int flags, bool* opened) {
    int rc = sqlite3_open_v2(name, &database.db, flags, nullptr);
    *opened = rc == SQLITE_OK;
    if (rc != SQLITE_OK) {
        return rc;
    }
    sqlite3_extended_result_codes(database.db, 1);
    sqlite3_busy_timeout(database.db, kBusyTimeoutMilliseconds);
    rc = sqlite3_exec(database.db, "BEGIN", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) {
        rc = sqlite3_exec(database.db, "SELECT count(*) FROM main.sqlite_schema", nullptr, nullptr,
                          nullptr);
    }
    return rc;
}

}  // namespace

bool open_database_file(SqliteDatabase& database) {
    const std::string& path = database.path;
    bool opened = false;
    int rc = open_and_begin(database, plain_file_name(path).c_str(), kReadOnlyFlags, &opened);
    if (opened && is_refused_wal_access(rc) && is_whole_wal_database(path) &&
        !may_write_beside(path)) {
        sqlite3_close_v2(database.db);
        database.db = nullptr;
        rc = open_and_begin(database, immutable_uri(path).c_str(), kReadOnlyFlags | SQLITE_OPEN_URI,
                            &opened);
    }
    if (rc == SQLITE_OK) {
        return true;
    }
    if ((rc & 0xff) == SQLITE_BUSY) {
        status_error(OslError::kDatabaseOpenFailed,
                     "Database file '%s' is locked by another process; waited %d seconds for it.",
                     path.c_str(), kBusyTimeoutMilliseconds / 1000);
    } else {
        status_error(OslError::kDatabaseOpenFailed, "Database file '%s' cannot be opened: %s.",
                     path.c_str(),
                     database.db != nullptr ? sqlite3_errmsg(database.db) : sqlite3_errstr(rc));
    }
    return false;
}

void close_database_file(SqliteDatabase& database) {
    if (database.db != nullptr) {
        // Ends the read transaction, which releases the snapshot whether or
        // not a statement is still about.
        sqlite3_exec(database.db, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close_v2(database.db);
        database.db = nullptr;
    }
}
