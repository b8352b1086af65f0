// Value conversions. SQLite stores values loosely (a SMALLINT column may hold
// 70000, a DATE column any text), so every value is checked against the SQL
// type the column is described with before it reaches the caller, and
// whatever does not convert is refused with the column and the value named:
// never a silent zero, never a wrapped integer. The per-row path allocates
// nothing: texts are copied into the caller's buffer, numbers formatted on
// the stack.

#include "values.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "dates.h"
#include "decimal.h"
#include "status.h"
#include "text_bounds.h"
#include "var_buffer.h"

namespace {

constexpr size_t kShownValueBytes = 60;  // of a text value, in a message

bool is_text_host(int host_type) {
    return host_type == OSL_HOST_TEXT || host_type == OSL_HOST_CSTRING;
}

bool is_var_host(int host_type) {
    return host_type == OSL_HOST_VAR || host_type == OSL_HOST_VAR_LOCATED;
}

// The value as a message shows it: numbers as they are, texts quoted and cut.
void value_for_message(sqlite3_stmt* stmt, int column, char* out, size_t size) {
    switch (sqlite3_column_type(stmt, column)) {
        case SQLITE_INTEGER:
            std::snprintf(out, size, "%lld",
                          static_cast<long long>(sqlite3_column_int64(stmt, column)));
            break;
        case SQLITE_FLOAT: {
            char text[32];
            shortest_double_text(sqlite3_column_double(stmt, column), text);
            std::snprintf(out, size, "%s", text);
            break;
        }
        case SQLITE_TEXT: {
            const char* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
            size_t length = static_cast<size_t>(sqlite3_column_bytes(stmt, column));
            size_t shown = utf8_prefix_length(text, length, kShownValueBytes);
            std::snprintf(out, size, "'%.*s%s'", static_cast<int>(shown), text,
                          shown < length ? "..." : "");
            break;
        }
        case SQLITE_BLOB:
            std::snprintf(out, size, "of %d bytes of binary data",
                          sqlite3_column_bytes(stmt, column));
            break;
        default:
            std::snprintf(out, size, "NULL");
            break;
    }
}

int refuse(OslError error, const ValueSource& source, const char* problem) {
    char value[kShownValueBytes + 16];
    value_for_message(source.stmt, source.column, value, sizeof value);
    return status_error(error, "Value %s of column '%s' (statement '%s') %s", value,
                        source.description->name.c_str(), source.statement_id, problem);
}

int refuse_host_type(const ValueSource& source, int host_type) {
    return status_error(OslError::kHostTypeMismatch,
                        "Column '%s' (statement '%s') of SQL type %d cannot be read into a host "
                        "variable of type %d.",
                        source.description->name.c_str(), source.statement_id,
                        source.description->type, host_type);
}

// Well-formed UTF-8 without NUL bytes: what a binary value must be to pass
// as text.
bool is_clean_utf8(const unsigned char* p, size_t length) {
    size_t i = 0;
    while (i < length) {
        unsigned char c = p[i];
        size_t extra;
        if (c == 0) {
            return false;
        } else if (c < 0x80) {
            extra = 0;
        } else if ((c & 0xE0) == 0xC0 && c >= 0xC2) {
            extra = 1;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
        } else if ((c & 0xF8) == 0xF0 && c <= 0xF4) {
            extra = 3;
        } else {
            return false;
        }
        if (extra > length - i - 1) {
            return false;
        }
        for (size_t k = 1; k <= extra; ++k) {
            if ((p[i + k] & 0xC0) != 0x80) {
                return false;
            }
        }
        i += extra + 1;
    }
    return true;
}

// Copies length bytes of text into the caller's buffer of size bytes, cut
// on a character boundary, NUL-terminated.
void copy_bounded(const char* text, size_t length, const OslHostValue& host) {
    size_t copied = utf8_prefix_length(text, length, host.size - 1);
    char* out = static_cast<char*>(host.address);
    std::memcpy(out, text, copied);
    out[copied] = '\0';
}

int read_text(const ValueSource& s, const OslHostValue& host, int storage) {
    char number[32];
    switch (storage) {
        case SQLITE_TEXT:
            copy_bounded(reinterpret_cast<const char*>(sqlite3_column_text(s.stmt, s.column)),
                         static_cast<size_t>(sqlite3_column_bytes(s.stmt, s.column)), host);
            return 0;
        case SQLITE_INTEGER: {
            char* end = std::to_chars(number, number + sizeof number,
                                      sqlite3_column_int64(s.stmt, s.column))
                            .ptr;
            copy_bounded(number, static_cast<size_t>(end - number), host);
            return 0;
        }
        case SQLITE_FLOAT:
            copy_bounded(number,
                         shortest_double_text(sqlite3_column_double(s.stmt, s.column), number),
                         host);
            return 0;
        default: {  // SQLITE_BLOB
            const void* blob = sqlite3_column_blob(s.stmt, s.column);
            size_t length = static_cast<size_t>(sqlite3_column_bytes(s.stmt, s.column));
            if (!is_clean_utf8(static_cast<const unsigned char*>(blob), length)) {
                return refuse(OslError::kNotText, s, "is binary data, not text.");
            }
            copy_bounded(static_cast<const char*>(blob), length, host);
            return 0;
        }
    }
}

// BOOLEAN: 0/1 or true/false/t/f in any case, as the one-character text T/F.
int read_boolean(const ValueSource& s, const OslHostValue& host, int storage) {
    int truth = -1;
    if (storage == SQLITE_INTEGER || storage == SQLITE_FLOAT) {
        double value = sqlite3_column_double(s.stmt, s.column);
        truth = value == 0.0 ? 0 : value == 1.0 ? 1 : -1;
    } else if (storage == SQLITE_TEXT) {
        const char* text = reinterpret_cast<const char*>(sqlite3_column_text(s.stmt, s.column));
        for (const char* word : {"t", "true", "1"}) {
            if (osl_text_compare(text, word) == 0) {
                truth = 1;
            }
        }
        for (const char* word : {"f", "false", "0"}) {
            if (osl_text_compare(text, word) == 0) {
                truth = 0;
            }
        }
    }
    if (truth < 0) {
        return refuse(OslError::kNotABoolean, s, "is not a boolean (0, 1, true, false, t or f).");
    }
    if (host.size < 2) {
        return status_error(OslError::kBufferTooSmall,
                            "Column '%s' (statement '%s'): a text buffer of %zu bytes cannot hold "
                            "a boolean.",
                            s.description->name.c_str(), s.statement_id, host.size);
    }
    char* out = static_cast<char*>(host.address);
    out[0] = truth != 0 ? 'T' : 'F';
    out[1] = '\0';
    return 0;
}

// An integer text: blanks, a sign, digits, blanks; false on overflow.
bool parse_integer_text(const char* text, int64_t* value) {
    while (*text == ' ' || *text == '\t') {
        ++text;
    }
    const char* end = text + std::strlen(text);
    while (end > text && (end[-1] == ' ' || end[-1] == '\t')) {
        --end;
    }
    // from_chars takes a '-' but not a '+'; after a '+' only digits may come.
    bool plus = *text == '+';
    const char* digits = text + (plus ? 1 : 0);
    auto result = std::from_chars(digits, end, *value);
    return result.ec == std::errc() && result.ptr == end && digits < end &&
           ((*digits == '-' && !plus) || (*digits >= '0' && *digits <= '9'));
}

int read_integer(const ValueSource& s, const OslHostValue& host, int storage, int64_t min,
                 int64_t max) {
    if (host.host_type == OSL_HOST_INT16) {
        min = min > INT16_MIN ? min : INT16_MIN;
        max = max < INT16_MAX ? max : INT16_MAX;
    }
    int64_t value = 0;
    if (storage == SQLITE_INTEGER) {
        value = sqlite3_column_int64(s.stmt, s.column);
    } else if (storage == SQLITE_FLOAT) {
        double d = sqlite3_column_double(s.stmt, s.column);
        if (!std::isfinite(d) || d != std::floor(d)) {
            return refuse(OslError::kNotANumber, s, "is not a whole number.");
        }
        if (d < static_cast<double>(min) || d > static_cast<double>(max)) {
            value = d < 0 ? INT64_MIN : INT64_MAX;  // refused just below
        } else {
            value = static_cast<int64_t>(d);
        }
    } else if (storage == SQLITE_TEXT) {
        const char* text = reinterpret_cast<const char*>(sqlite3_column_text(s.stmt, s.column));
        if (!parse_integer_text(text, &value)) {
            return refuse(OslError::kNotANumber, s, "is not a whole number.");
        }
    } else {
        return refuse(OslError::kNotANumber, s, "is not a whole number.");
    }
    if (value < min || value > max) {
        char problem[128];
        std::snprintf(problem, sizeof problem, "is outside the range %lld to %lld of %s.",
                      static_cast<long long>(min), static_cast<long long>(max),
                      max == INT16_MAX ? "a 16-bit integer" : "a 32-bit integer");
        return refuse(OslError::kOutOfRange, s, problem);
    }
    if (host.host_type == OSL_HOST_INT16) {
        *static_cast<int16_t*>(host.address) = static_cast<int16_t>(value);
    } else {
        *static_cast<int32_t*>(host.address) = static_cast<int32_t>(value);
    }
    return 0;
}

// A number text, checked for decimal syntax first: strtod alone would take
// "inf", "nan" and hexadecimal.
bool parse_number_text(const char* text, size_t length, double* value) {
    OslDecimal ignored;
    if (!decimal_from_text(text, length, &ignored)) {
        return false;
    }
    *value = std::strtod(text, nullptr);
    return std::isfinite(*value);
}

int read_double(const ValueSource& s, const OslHostValue& host, int storage) {
    double value = 0.0;
    if (storage == SQLITE_INTEGER) {
        value = static_cast<double>(sqlite3_column_int64(s.stmt, s.column));
    } else if (storage == SQLITE_FLOAT) {
        value = sqlite3_column_double(s.stmt, s.column);
        if (!std::isfinite(value)) {
            return refuse(OslError::kNotANumber, s, "is not a finite number.");
        }
    } else if (storage == SQLITE_TEXT) {
        const char* text = reinterpret_cast<const char*>(sqlite3_column_text(s.stmt, s.column));
        if (!parse_number_text(text, static_cast<size_t>(sqlite3_column_bytes(s.stmt, s.column)),
                               &value)) {
            return refuse(OslError::kNotANumber, s, "is not a number.");
        }
    } else {
        return refuse(OslError::kNotANumber, s, "is not a number.");
    }
    *static_cast<double*>(host.address) = value;
    return 0;
}

int read_decimal(const ValueSource& s, const OslHostValue& host, int storage) {
    OslDecimal value;
    bool ok = false;
    if (storage == SQLITE_INTEGER) {
        decimal_from_int64(sqlite3_column_int64(s.stmt, s.column), &value);
        ok = true;
    } else if (storage == SQLITE_FLOAT) {
        double number = sqlite3_column_double(s.stmt, s.column);
        ok = (s.description->scale != kFloatingScale &&
              decimal_from_double_at_scale(number, s.description->scale, &value)) ||
             decimal_from_double(number, &value);
    } else if (storage == SQLITE_TEXT) {
        ok = decimal_from_text(reinterpret_cast<const char*>(sqlite3_column_text(s.stmt, s.column)),
                               static_cast<size_t>(sqlite3_column_bytes(s.stmt, s.column)), &value);
    }
    if (!ok) {
        return refuse(OslError::kNotANumber, s, "is not a number.");
    }
    const ColumnDescription& d = *s.description;
    if (!decimal_fit(&value, d.precision, d.scale)) {
        char problem[128];
        std::snprintf(problem, sizeof problem,
                      "has more than %d digits before the decimal point for %s(%d,%d).",
                      d.precision - d.scale, d.type == OSL_SQL_MONEY ? "MONEY" : "DECIMAL",
                      d.precision, d.scale);
        return refuse(OslError::kDecimalOverflow, s, problem);
    }
    *static_cast<OslDecimal*>(host.address) = value;
    return 0;
}

int read_date(const ValueSource& s, const OslHostValue& host, int storage) {
    OslDate date = 0;
    if (storage != SQLITE_TEXT ||
        !date_from_text(reinterpret_cast<const char*>(sqlite3_column_text(s.stmt, s.column)),
                        static_cast<size_t>(sqlite3_column_bytes(s.stmt, s.column)), &date)) {
        return refuse(OslError::kBadDate, s, "is not a date of the form YYYY-MM-DD.");
    }
    *static_cast<OslDate*>(host.address) = date;
    return 0;
}

int read_var(const ValueSource& s, const OslHostValue& host, int storage) {
    OslVar* var = static_cast<OslVar*>(host.address);
    if (storage != SQLITE_BLOB && storage != SQLITE_TEXT) {
        return refuse(OslError::kHostTypeMismatch, s, "is not binary data or text.");
    }
    const void* data = storage == SQLITE_BLOB ? sqlite3_column_blob(s.stmt, s.column)
                                              : sqlite3_column_text(s.stmt, s.column);
    int32_t length = sqlite3_column_bytes(s.stmt, s.column);
    bool by_library = var->by_library != 0 || s.var_by_library;
    if (!var_fill(var, data, length, by_library)) {
        if (by_library) {
            return status_error(OslError::kOutOfMemory,
                                "Column '%s' (statement '%s'): no memory for a value of %d bytes.",
                                s.description->name.c_str(), s.statement_id, length);
        }
        return status_error(OslError::kBufferTooSmall,
                            "Column '%s' (statement '%s'): a value of %d bytes does not fit the "
                            "var buffer of %d bytes.",
                            s.description->name.c_str(), s.statement_id, length, var->capacity);
    }
    return 0;
}

// The zero value a null leaves in the host variable.
void write_null(const OslHostValue& host) {
    switch (host.host_type) {
        case OSL_HOST_TEXT:
        case OSL_HOST_CSTRING:
            static_cast<char*>(host.address)[0] = '\0';
            break;
        case OSL_HOST_INT16:
            *static_cast<int16_t*>(host.address) = 0;
            break;
        case OSL_HOST_INT32:
            *static_cast<int32_t*>(host.address) = 0;
            break;
        case OSL_HOST_DOUBLE:
            *static_cast<double*>(host.address) = 0.0;
            break;
        case OSL_HOST_DECIMAL:
            *static_cast<OslDecimal*>(host.address) = OslDecimal{1, 0, 0, {}};
            break;
        case OSL_HOST_DATE:
            *static_cast<OslDate*>(host.address) = 0;
            break;
        case OSL_HOST_VAR:
        case OSL_HOST_VAR_LOCATED:
            static_cast<OslVar*>(host.address)->length = 0;
            break;
        default:
            break;
    }
}

// Which host types a SQL type is read into.
bool host_fits_type(int type, int host_type) {
    switch (type) {
        case OSL_SQL_CHAR:
        case OSL_SQL_VARCHAR:
        case OSL_SQL_BOOLEAN:
            return is_text_host(host_type);
        case OSL_SQL_SMALLINT:
            return host_type == OSL_HOST_INT32 || host_type == OSL_HOST_INT16;
        case OSL_SQL_INTEGER:
        case OSL_SQL_SERIAL:
            return host_type == OSL_HOST_INT32;
        case OSL_SQL_FLOAT:
        case OSL_SQL_SMALLFLOAT:
            return host_type == OSL_HOST_DOUBLE;
        case OSL_SQL_DECIMAL:
        case OSL_SQL_MONEY:
            return host_type == OSL_HOST_DECIMAL;
        case OSL_SQL_DATE:
            return host_type == OSL_HOST_DATE;
        case OSL_SQL_VAR_BINARY:
            return is_var_host(host_type);
        default:
            return false;
    }
}

}  // namespace

int read_value(const ValueSource& s, const OslHostValue& host, bool* is_null) {
    int type = s.description->type;
    if (!host_fits_type(type, host.host_type)) {
        return refuse_host_type(s, host.host_type);
    }
    if (is_text_host(host.host_type) && host.size == 0) {
        return status_error(OslError::kBadArgument,
                            "Column '%s' (statement '%s'): the text buffer has no room.",
                            s.description->name.c_str(), s.statement_id);
    }
    int storage = s.storage >= 0 ? s.storage : sqlite3_column_type(s.stmt, s.column);
    *is_null = storage == SQLITE_NULL;
    if (*is_null) {
        write_null(host);
        return 0;
    }
    switch (type) {
        case OSL_SQL_CHAR:
        case OSL_SQL_VARCHAR:
            return read_text(s, host, storage);
        case OSL_SQL_BOOLEAN:
            return read_boolean(s, host, storage);
        case OSL_SQL_SMALLINT:
            return read_integer(s, host, storage, INT16_MIN, INT16_MAX);
        case OSL_SQL_INTEGER:
        case OSL_SQL_SERIAL:
            return read_integer(s, host, storage, INT32_MIN, INT32_MAX);
        case OSL_SQL_FLOAT:
        case OSL_SQL_SMALLFLOAT:
            return read_double(s, host, storage);
        case OSL_SQL_DECIMAL:
        case OSL_SQL_MONEY:
            return read_decimal(s, host, storage);
        case OSL_SQL_DATE:
            return read_date(s, host, storage);
        default:  // OSL_SQL_VAR_BINARY, as host_fits_type allows no other
            return read_var(s, host, storage);
    }
}
