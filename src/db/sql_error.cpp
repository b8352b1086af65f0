// SQL error reporting (see sql_error.h). The library keeps the conditions of
// the last operation; this file only lays them out for the user.

#include "db/sql_error.h"

#include <cstdio>
#include <cstring>

#include "db/client.h"
#include "report/messages.h"
#include "text/characters.h"

// The code that the spatial extension's errors carry; their SQL state is
// shown beside the message, since it tells which check of the extension
// failed.
static constexpr int kExtensionErrorCode = OSL_EXTENSION_ERROR;

// The library's message texts are at most this long (held with a NUL).
static constexpr size_t kMessageBytes = OSL_MESSAGE_MAX_BYTES + 1;
static constexpr size_t kSqlStateBytes = 5 + 1;

// Appends piece to the text in buffer, cutting it at the buffer's end on a
// UTF-8 character boundary. Returns false once the buffer is full.
static bool append_cut(char* buffer, size_t size, size_t* used, const char* piece) {
    size_t room = size - 1 - *used;
    size_t length = whole_character_prefix(piece, room);
    bool whole = piece[length] == '\0';
    std::memcpy(buffer + *used, piece, length);
    *used += length;
    buffer[*used] = '\0';
    return whole;
}

void sql_error_text(char* buffer, size_t size) {
    if (size == 0) {
        return;
    }
    buffer[0] = '\0';
    size_t used = 0;
    int count = osl_diag_condition_count();
    for (int i = 1; i <= count; ++i) {
        int32_t code = 0;
        char sqlstate[kSqlStateBytes] = "";
        char message[kMessageBytes] = "";
        int32_t message_length = 0;
        if (osl_diag_condition(i, &code, sqlstate, message, sizeof message, &message_length) != 0) {
            break;
        }
        if (message_length >= 0 && static_cast<size_t>(message_length) < sizeof message) {
            message[message_length] = '\0';
        }
        char piece[sizeof message + 64];
        if (code == kExtensionErrorCode) {
            std::snprintf(piece, sizeof piece, "%6d: (%s) - %s", code, sqlstate, message);
        } else {
            std::snprintf(piece, sizeof piece, "%6d: %s", code, message);
        }
        if (!append_cut(buffer, size, &used, piece)) {
            return;
        }
        if (i < count && !append_cut(buffer, size, &used, "\n\n")) {
            return;
        }
    }
}

void check_sql() {
    char text[kSqlErrorTextBytes];
    sql_error_text(text, sizeof text);
    if (attached_log_stream() != nullptr) {
        log_note("EXEC SQL error ...\n\n%s", text);
    }
    fatal_error("EXEC SQL error ...\n\n%s", text);
}
