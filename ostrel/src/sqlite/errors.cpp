// SQLite's errors as the library's conditions: the kind of failure a user
// can act on (syntax, unknown table or column, a read-only database) by its
// own code and state, the extension's "GXnnn|message" errors as the
// extension's condition, anything else as an engine error with SQLite's
// words, and a fault of the database file itself naming the file.

#include "sqlite/errors.h"

#include <cstdio>
#include <cstring>

#include "core/status.h"

namespace {

constexpr size_t kSqlStateChars = 5;

// "GXnnn|message" as the extension's functions raise it.
bool split_extension_error(const char* text, char sqlstate[kSqlStateChars + 1],
                           const char** message) {
    if (std::strncmp(text, "GX", 2) != 0 || std::strlen(text) < kSqlStateChars + 1 ||
        text[kSqlStateChars] != '|') {
        return false;
    }
    std::memcpy(sqlstate, text, kSqlStateChars);
    sqlstate[kSqlStateChars] = '\0';
    *message = text + kSqlStateChars + 1;
    return true;
}

OslError classify(int sqlite_code, const char* text) {
    if ((sqlite_code & 0xff) == SQLITE_READONLY) {
        return OslError::kReadOnly;
    }
    if (std::strstr(text, "syntax error") != nullptr ||
        std::strstr(text, "incomplete input") != nullptr ||
        std::strstr(text, "unrecognized token") != nullptr) {
        return OslError::kSyntax;
    }
    if (std::strncmp(text, "no such table", 13) == 0) {
        return OslError::kUnknownTable;
    }
    if (std::strncmp(text, "no such column", 14) == 0) {
        return OslError::kUnknownColumn;
    }
    return OslError::kEngineError;
}

// Faults of the database file itself rather than of the statement: the
// user has to know which file.
bool is_file_fault(int sqlite_code) {
    switch (sqlite_code & 0xff) {
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB:
        case SQLITE_IOERR:
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
        case SQLITE_CANTOPEN:
        case SQLITE_PROTOCOL:
            return true;
        default:
            return false;
    }
}

}  // namespace

int report_sqlite_error(int sqlite_code, const char* text, const char* what,
                        const SqliteDatabase& database) {
    if (text == nullptr) {
        text = sqlite3_errstr(sqlite_code);
    }
    char sqlstate[kSqlStateChars + 1];
    const char* extension_message = nullptr;
    if (split_extension_error(text, sqlstate, &extension_message)) {
        // The extension's own words first; the library's condition after it
        // says where it happened.
        status_extension_error(sqlstate, extension_message);
        return status_error(OslError::kEngineError, "%s.", what);
    }
    if (is_file_fault(sqlite_code)) {
        return status_error(classify(sqlite_code, text), "%s: %s (database file '%s').", what, text,
                            database.path.c_str());
    }
    return status_error(classify(sqlite_code, text), "%s: %s.", what, text);
}
