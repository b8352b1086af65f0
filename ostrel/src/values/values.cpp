// Value conversions. An engine may store values loosely (a SQLite SMALLINT
// column may hold 70000, a DATE column any text), so every cell is checked
// against the SQL type the column is described with before it reaches the
// caller, and whatever does not convert is refused with the column and the
// value named: never a silent zero, never a wrapped integer. The per-row path
// allocates nothing: texts are copied into the caller's buffer, numbers
// formatted on the stack.

#include "values/values.h"

#include <strings.h>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/utf8.h"
#include "core/status.h"
#include "values/dates.h"
#include "values/decimal.h"
#include "values/var_buffer.h"

namespace {

constexpr size_t kShownValueBytes = 60;  // of a text value, in a message

bool is_text_host(int host_type) {
    return host_type == OSL_HOST_TEXT || host_type == OSL_HOST_CSTRING;
}

bool is_var_host(int host_type) {
    return host_type == OSL_HOST_VAR || host_type == OSL_HOST_VAR_LOCATED;
}

// The value as a message shows it: numbers as they are, texts quoted and cut.
void value_for_message(const Cell& cell, char* out, size_t size) {
    switch (cell.kind) {
        case CellKind::kInteger:
            std::snprintf(out, size, "%lld", static_cast<long long>(cell.integer));
            break;
        case CellKind::kReal: {
            char text[32];
            shortest_double_text(cell.real, text);
            std::snprintf(out, size, "%s", text);
            break;
        }
        case CellKind::kText: {
            size_t shown = utf8_whole_prefix(cell.text, cell.length, kShownValueBytes);
            std::snprintf(out, size, "'%.*s%s'", static_cast<int>(shown), cell.text,
                          shown < cell.length ? "..." : "");
            break;
        }
        case CellKind::kBlob:
            std::snprintf(out, size, "of %u bytes of binary data", cell.length);
            break;
        default:
            std::snprintf(out, size, "NULL");
            break;
    }
}

int refuse(OslError error, const ValueSource& source, const char* problem) {
    char value[kShownValueBytes + 16];
    value_for_message(*source.cell, value, sizeof value);
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
    size_t copied = utf8_whole_prefix(text, length, host.size - 1);
    char* out = static_cast<char*>(host.address);
    std::memcpy(out, text, copied);
    out[copied] = '\0';
}

int read_text(const ValueSource& s, const OslHostValue& host) {
    const Cell& cell = *s.cell;
    char number[32];
    switch (cell.kind) {
        case CellKind::kText:
            copy_bounded(cell.text, cell.length, host);
            return 0;
        case CellKind::kInteger: {
            char* end = std::to_chars(number, number + sizeof number, cell.integer).ptr;
            copy_bounded(number, static_cast<size_t>(end - number), host);
            return 0;
        }
        case CellKind::kReal:
            copy_bounded(number, shortest_double_text(cell.real, number), host);
            return 0;
        default:  // kBlob
            if (!is_clean_utf8(cell.blob, cell.length)) {
                return refuse(OslError::kNotText, s, "is binary data, not text.");
            }
            copy_bounded(reinterpret_cast<const char*>(cell.blob), cell.length, host);
            return 0;
    }
}

// A text cell equal to word ignoring ASCII case.
bool text_is(const Cell& cell, const char* word) {
    return std::strlen(word) == cell.length && strncasecmp(cell.text, word, cell.length) == 0;
}

// BOOLEAN: 0/1 or true/false/t/f in any case, as the one-character text T/F.
int read_boolean(const ValueSource& s, const OslHostValue& host) {
    const Cell& cell = *s.cell;
    int truth = -1;
    if (cell.kind == CellKind::kInteger || cell.kind == CellKind::kReal) {
        double value =
            cell.kind == CellKind::kInteger ? static_cast<double>(cell.integer) : cell.real;
        truth = value == 0.0 ? 0 : value == 1.0 ? 1 : -1;
    } else if (cell.kind == CellKind::kText) {
        for (const char* word : {"t", "true", "1"}) {
            if (text_is(cell, word)) {
                truth = 1;
            }
        }
        for (const char* word : {"f", "false", "0"}) {
            if (text_is(cell, word)) {
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
bool parse_integer_text(const char* text, size_t length, int64_t* value) {
    const char* end = text + length;
    while (text < end && (*text == ' ' || *text == '\t')) {
        ++text;
    }
    while (end > text && (end[-1] == ' ' || end[-1] == '\t')) {
        --end;
    }
    // from_chars takes a '-' but not a '+'; after a '+' only digits may come.
    bool plus = text < end && *text == '+';
    const char* digits = text + (plus ? 1 : 0);
    auto result = std::from_chars(digits, end, *value);
    return result.ec == std::errc() && result.ptr == end && digits < end &&
           ((*digits == '-' && !plus) || (*digits >= '0' && *digits <= '9'));
}

int read_integer(const ValueSource& s, const OslHostValue& host, int64_t min, int64_t max) {
    const Cell& cell = *s.cell;
    if (host.host_type == OSL_HOST_INT16) {
        min = min > INT16_MIN ? min : INT16_MIN;
        max = max < INT16_MAX ? max : INT16_MAX;
    }
    int64_t value = 0;
    if (cell.kind == CellKind::kInteger) {
        value = cell.integer;
    } else if (cell.kind == CellKind::kReal) {
        double d = cell.real;
        if (!std::isfinite(d) || d != std::floor(d)) {
            return refuse(OslError::kNotANumber, s, "is not a whole number.");
        }
        if (d < static_cast<double>(min) || d > static_cast<double>(max)) {
            value = d < 0 ? INT64_MIN : INT64_MAX;  // refused just below
        } else {
            value = static_cast<int64_t>(d);
        }
    } else if (cell.kind == CellKind::kText) {
        if (!parse_integer_text(cell.text, cell.length, &value)) {
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
// "inf", "nan" and hexadecimal. strtod wants a NUL after the text, which a
// cell need not have: the text is copied, onto the stack when it is short.
bool parse_number_text(const char* text, size_t length, double* value) {
    OslDecimal ignored;
    if (!decimal_from_text(text, length, &ignored)) {
        return false;
    }
    constexpr size_t kShortNumberBytes = 64;
    char short_copy[kShortNumberBytes];
    std::string long_copy;
    const char* terminated = short_copy;
    if (length < kShortNumberBytes) {
        std::memcpy(short_copy, text, length);
        short_copy[length] = '\0';
    } else {
        long_copy.assign(text, length);
        terminated = long_copy.c_str();
    }
    *value = std::strtod(terminated, nullptr);
    return std::isfinite(*value);
}

int read_double(const ValueSource& s, const OslHostValue& host) {
    const Cell& cell = *s.cell;
    double value = 0.0;
    if (cell.kind == CellKind::kInteger) {
        value = static_cast<double>(cell.integer);
    } else if (cell.kind == CellKind::kReal) {
        value = cell.real;
        if (!std::isfinite(value)) {
            return refuse(OslError::kNotANumber, s, "is not a finite number.");
        }
    } else if (cell.kind == CellKind::kText) {
        if (!parse_number_text(cell.text, cell.length, &value)) {
            return refuse(OslError::kNotANumber, s, "is not a number.");
        }
    } else {
        return refuse(OslError::kNotANumber, s, "is not a number.");
    }
    *static_cast<double*>(host.address) = value;
    return 0;
}

int read_decimal(const ValueSource& s, const OslHostValue& host) {
    const Cell& cell = *s.cell;
    OslDecimal value;
    bool ok = false;
    if (cell.kind == CellKind::kInteger) {
        decimal_from_int64(cell.integer, &value);
        ok = true;
    } else if (cell.kind == CellKind::kReal) {
        double number = cell.real;
        ok = (s.description->scale != kFloatingScale &&
              decimal_from_double_at_scale(number, s.description->scale, &value)) ||
             decimal_from_double(number, &value);
    } else if (cell.kind == CellKind::kText) {
        ok = decimal_from_text(cell.text, cell.length, &value);
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

int read_date(const ValueSource& s, const OslHostValue& host) {
    const Cell& cell = *s.cell;
    OslDate date = 0;
    if (cell.kind != CellKind::kText || !date_from_text(cell.text, cell.length, &date)) {
        return refuse(OslError::kBadDate, s, "is not a date of the form YYYY-MM-DD.");
    }
    *static_cast<OslDate*>(host.address) = date;
    return 0;
}

int read_var(const ValueSource& s, const OslHostValue& host) {
    const Cell& cell = *s.cell;
    OslVar* var = static_cast<OslVar*>(host.address);
    if (cell.kind != CellKind::kBlob && cell.kind != CellKind::kText) {
        return refuse(OslError::kHostTypeMismatch, s, "is not binary data or text.");
    }
    const void* data = cell.kind == CellKind::kBlob ? static_cast<const void*>(cell.blob)
                                                    : static_cast<const void*>(cell.text);
    int32_t length = static_cast<int32_t>(cell.length);
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
    *is_null = s.cell->kind == CellKind::kNull;
    if (*is_null) {
        write_null(host);
        return 0;
    }
    switch (type) {
        case OSL_SQL_CHAR:
        case OSL_SQL_VARCHAR:
            return read_text(s, host);
        case OSL_SQL_BOOLEAN:
            return read_boolean(s, host);
        case OSL_SQL_SMALLINT:
            return read_integer(s, host, INT16_MIN, INT16_MAX);
        case OSL_SQL_INTEGER:
        case OSL_SQL_SERIAL:
            return read_integer(s, host, INT32_MIN, INT32_MAX);
        case OSL_SQL_FLOAT:
        case OSL_SQL_SMALLFLOAT:
            return read_double(s, host);
        case OSL_SQL_DECIMAL:
        case OSL_SQL_MONEY:
            return read_decimal(s, host);
        case OSL_SQL_DATE:
            return read_date(s, host);
        default:  // OSL_SQL_VAR_BINARY, as host_fits_type allows no other
            return read_var(s, host);
    }
}
