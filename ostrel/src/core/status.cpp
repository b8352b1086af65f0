// Status and diagnostics. Every operation starts with status_begin() and
// ends with status_set() or one or more conditions; the conditions stay until
// the next operation starts, so the caller can read them after the failure.
// The library's own error codes live in kErrorTable and nowhere else.

#include "core/status.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "common/utf8.h"
#include "ostrel/ostrel.h"

namespace {

struct ErrorEntry {
    OslError error;
    int32_t code;
    const char* sqlstate;
};

// The library's error codes. Connection errors are in the -400s, statement
// errors from -410, descriptors from -430, the cursor from -440, values from
// -450; the spatial extension's errors carry -937 and states of their own.
constexpr ErrorEntry kErrorTable[] = {
    {OslError::kDatabaseNotFound, -401, "08001"},
    {OslError::kDatabaseOpenFailed, -402, "08001"},
    {OslError::kDatabaseAmbiguous, -403, "08001"},
    {OslError::kUnknownServer, -404, "08001"},
    {OslError::kServerConnectFailed, -409, "08001"},
    {OslError::kNotConnected, -406, "08003"},
    {OslError::kAlreadyConnected, -407, "08002"},
    {OslError::kCatalogFailed, -408, "HY000"},
    {OslError::kSyntax, -411, "42000"},
    {OslError::kUnknownTable, -412, "42S02"},
    {OslError::kUnknownColumn, -413, "42S22"},
    {OslError::kSecondStatement, -414, "42000"},
    {OslError::kEmptyStatement, -415, "42000"},
    {OslError::kEngineError, -416, "HY000"},
    {OslError::kReadOnly, -417, "25006"},
    {OslError::kUnknownStatement, -418, "26000"},
    {OslError::kNotAQuery, -419, "07005"},
    {OslError::kMoreThanOneRow, -420, "21000"},
    {OslError::kValueCountMismatch, -421, "07008"},
    {OslError::kNoPrivilege, -422, "42501"},
    {OslError::kTableLocked, -423, "55P03"},
    {OslError::kAmbiguousName, -424, "42702"},
    {OslError::kUnknownSchema, -425, "3F000"},
    {OslError::kUnknownDescriptor, -431, "33000"},
    {OslError::kDescriptorExists, -432, "33000"},
    {OslError::kBadItemNumber, -433, "07009"},
    {OslError::kBadItemCode, -434, "HY091"},
    {OslError::kDescriptorTooSmall, -435, "07008"},
    {OslError::kNoCurrentRow, -436, "24000"},
    {OslError::kUnknownCursor, -441, "34000"},
    {OslError::kCursorExists, -442, "34000"},
    {OslError::kCursorNotOpen, -443, "24000"},
    {OslError::kHostTypeMismatch, -451, "07006"},
    {OslError::kOutOfRange, -452, "22003"},
    {OslError::kNotANumber, -453, "22018"},
    {OslError::kBadDate, -454, "22007"},
    {OslError::kDecimalOverflow, -455, "22003"},
    {OslError::kNotABoolean, -456, "22018"},
    {OslError::kNotText, -457, "22018"},
    {OslError::kBufferTooSmall, -458, "22001"},
    {OslError::kNullValue, -459, "22002"},
    {OslError::kOutOfMemory, -461, "HY001"},
    {OslError::kBadArgument, -462, "HY009"},
};

constexpr int kMaxConditions = 8;
constexpr size_t kMessageMaxBytes = OSL_MESSAGE_MAX_BYTES;
constexpr size_t kSqlStateChars = 5;

struct Condition {
    int32_t code;
    char sqlstate[kSqlStateChars + 1];
    char message[kMessageMaxBytes + 1];
    int32_t length;
};

Condition conditions[kMaxConditions];
int& last_status = status_state.last_status;
int& condition_count = status_state.condition_count;

const ErrorEntry& entry_of(OslError error) {
    for (const ErrorEntry& entry : kErrorTable) {
        if (entry.error == error) {
            return entry;
        }
    }
    return kErrorTable[0];  // every enumerator has an entry; see the table
}

// Appends a condition; beyond kMaxConditions the later ones are dropped,
// since the first ones say what failed.
void add_condition(int32_t code, const char* sqlstate, const char* message) {
    if (condition_count == 0) {
        last_status = code;
    }
    if (condition_count == kMaxConditions) {
        return;
    }
    Condition& c = conditions[condition_count++];
    c.code = code;
    std::snprintf(c.sqlstate, sizeof c.sqlstate, "%-5.5s", sqlstate);
    size_t length = utf8_whole_prefix(message, std::strlen(message), kMessageMaxBytes);
    std::memcpy(c.message, message, length);
    c.message[length] = '\0';
    c.length = static_cast<int32_t>(length);
}

}  // namespace

StatusState status_state = {0, 0};

// A message is made in full before add_condition cuts it to 255 bytes.
constexpr size_t kFormattedMessageBytes = 1024;

// Adds the condition of error with the formatted message; its SQL state is
// sqlstate when that is five characters long, the error's own otherwise.
static int add_formatted(OslError error, const char* sqlstate, const char* format,
                         va_list arguments) {
    char message[kFormattedMessageBytes];
    std::vsnprintf(message, sizeof message, format, arguments);
    const ErrorEntry& entry = entry_of(error);
    bool server_state = sqlstate != nullptr && std::strlen(sqlstate) == kSqlStateChars;
    add_condition(entry.code, server_state ? sqlstate : entry.sqlstate, message);
    return last_status;
}

int status_error(OslError error, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    int status = add_formatted(error, nullptr, format, arguments);
    va_end(arguments);
    return status;
}

int status_server_error(OslError error, const char* sqlstate, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    int status = add_formatted(error, sqlstate, format, arguments);
    va_end(arguments);
    return status;
}

int status_extension_error(const char* sqlstate, const char* message) {
    add_condition(kExtensionErrorCode, sqlstate, message);
    return last_status;
}

int osl_status() {
    return last_status;
}

int osl_diag_condition_count() {
    return condition_count;
}

int osl_diag_condition(int number, int32_t* code, char sqlstate[6], char* message,
                       size_t message_size, int32_t* message_length) {
    if (number < 1 || number > condition_count) {
        return -1;
    }
    const Condition& c = conditions[number - 1];
    *code = c.code;
    std::memcpy(sqlstate, c.sqlstate, sizeof c.sqlstate);
    if (message_size > 0) {
        size_t length =
            utf8_whole_prefix(c.message, static_cast<size_t>(c.length), message_size - 1);
        std::memcpy(message, c.message, length);
        message[length] = '\0';
    }
    *message_length = c.length;
    return 0;
}
