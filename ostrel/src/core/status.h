// The status of the last operation and its diagnostics conditions: the
// library's own error codes, each with its SQL state, in one table
// (status.cpp), and the helpers every operation reports through.

#ifndef OSTREL_CORE_STATUS_H
#define OSTREL_CORE_STATUS_H

#include <cstdint>

#include "ostrel/ostrel.h"

// The code of every condition the spatial extension raises (GX_AsShape's
// failures), whatever the engine; its SQL states are the extension's own
// ("GXnnn", gx/gx_shape.h).
constexpr int32_t kExtensionErrorCode = OSL_EXTENSION_ERROR;

// The library's errors. Codes and SQL states are in kErrorTable.
enum class OslError {
    kDatabaseNotFound,
    kDatabaseOpenFailed,
    kDatabaseAmbiguous,
    kUnknownServer,
    kServerConnectFailed,
    kNotConnected,
    kAlreadyConnected,
    kCatalogFailed,
    kSyntax,
    kUnknownTable,
    kUnknownColumn,
    kSecondStatement,
    kEmptyStatement,
    kEngineError,
    kReadOnly,
    kUnknownStatement,
    kNotAQuery,
    kMoreThanOneRow,
    kNoPrivilege,
    kTableLocked,
    kAmbiguousName,
    kUnknownSchema,
    kValueCountMismatch,
    kUnknownDescriptor,
    kDescriptorExists,
    kBadItemNumber,
    kBadItemCode,
    kDescriptorTooSmall,
    kNoCurrentRow,
    kUnknownCursor,
    kCursorExists,
    kCursorNotOpen,
    kHostTypeMismatch,
    kOutOfRange,
    kNotANumber,
    kBadDate,
    kDecimalOverflow,
    kNotABoolean,
    kNotText,
    kBufferTooSmall,
    kNullValue,
    kOutOfMemory,
    kBadArgument,
};

// The status of the last operation and its number of conditions; the
// conditions themselves are kept in status.cpp.
struct StatusState {
    int last_status;
    int condition_count;
};
extern StatusState status_state;

// Starts an operation: status 0, no conditions. Inline, since every call of
// the per-row path begins with it.
inline void status_begin() {
    status_state = StatusState{0, 0};
}

// Adds a condition of the library's own (printf-style message, cut at 255
// bytes on a character boundary) and makes its code the status. Returns the
// status, so a failing operation can end with "return status_error(...)".
int status_error(OslError error, const char* format, ...) __attribute__((format(printf, 2, 3)));

// The same with the SQL state a database server reported (five characters;
// the error's own state when sqlstate is null or not five characters long),
// so the server's own words and state reach the caller under the library's
// code for the kind of failure.
int status_server_error(OslError error, const char* sqlstate, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

// Adds a condition of the spatial extension (code -937, its own SQL state
// "GXnnn") and makes it the status, unless an earlier condition of this
// operation already is. Returns the status.
int status_extension_error(const char* sqlstate, const char* message);

// Sets the status of a successful operation (0 or 100).
inline int status_set(int status) {
    status_state.last_status = status;
    return status;
}

#endif
