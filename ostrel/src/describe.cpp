// Describing a statement's columns. A column of a table is described by its
// declared type (SQLite keeps it as CREATE TABLE wrote it), except a
// registered geometry column, which is always the geometry type whatever it
// was declared as. An expression is described by what it returns: the
// extension's functions by name, anything else by the first row's value.

#include "describe.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>

#include "decimal.h"
#include "status.h"

namespace {

enum class TypeKind {
    kChar,
    kVarchar,
    kSmallInt,
    kMediumInt,
    kSerial,
    kBigInt,
    kFloat,
    kSmallFloat,
    kDecimal,
    kMoney,
    kDate,
    kBoolean,
};

struct TypeName {
    const char* name;  // upper case, words one blank apart
    TypeKind kind;
};

constexpr TypeName kTypeNames[] = {
    {"CHAR", TypeKind::kChar},
    {"CHARACTER", TypeKind::kChar},
    {"NCHAR", TypeKind::kChar},
    {"VARCHAR", TypeKind::kVarchar},
    {"NVARCHAR", TypeKind::kVarchar},
    {"CHARACTER VARYING", TypeKind::kVarchar},
    {"TEXT", TypeKind::kVarchar},
    {"CLOB", TypeKind::kVarchar},
    {"SMALLINT", TypeKind::kSmallInt},
    {"INT2", TypeKind::kSmallInt},
    {"TINYINT", TypeKind::kSmallInt},
    {"MEDIUMINT", TypeKind::kMediumInt},
    {"INT4", TypeKind::kMediumInt},
    {"SERIAL", TypeKind::kSerial},
    {"INT", TypeKind::kBigInt},
    {"INTEGER", TypeKind::kBigInt},
    {"BIGINT", TypeKind::kBigInt},
    {"INT8", TypeKind::kBigInt},
    {"SERIAL8", TypeKind::kBigInt},
    {"BIGSERIAL", TypeKind::kBigInt},
    {"FLOAT", TypeKind::kFloat},
    {"DOUBLE", TypeKind::kFloat},
    {"DOUBLE PRECISION", TypeKind::kFloat},
    {"REAL", TypeKind::kFloat},
    {"SMALLFLOAT", TypeKind::kSmallFloat},
    {"DECIMAL", TypeKind::kDecimal},
    {"NUMERIC", TypeKind::kDecimal},
    {"DEC", TypeKind::kDecimal},
    {"MONEY", TypeKind::kMoney},
    {"DATE", TypeKind::kDate},
    {"BOOLEAN", TypeKind::kBoolean},
    {"BOOL", TypeKind::kBoolean},
};

// Text columns without a length, and expressions that return text.
constexpr int kDefaultTextLength = 254;
// A 64-bit integer carried whole as a decimal: 19 digits.
constexpr int kBigIntPrecision = 19;
constexpr int kDefaultDecimalPrecision = 16;
constexpr int kDefaultMoneyPrecision = 16;
constexpr int kDefaultMoneyScale = 2;

// The host sizes in bytes, reported as LENGTH of the non-character types.
constexpr int kInt16Bytes = 2;
constexpr int kInt32Bytes = 4;
constexpr int kDoubleBytes = 8;
constexpr int kFloatBytes = 4;
constexpr int kDateBytes = 4;
constexpr int kBooleanBytes = 1;

// "character  varying (20)" -> name "CHARACTER VARYING", arguments {20}.
// False when the text is not a name with an optional "(n)" or "(p,s)".
bool split_declared_type(const char* declared, std::string* name, int arguments[2],
                         int* argument_count) {
    const char* p = declared;
    *argument_count = 0;
    bool pending_blank = false;
    for (; *p != '\0' && *p != '('; ++p) {
        if (std::isspace(static_cast<unsigned char>(*p))) {
            pending_blank = !name->empty();
            continue;
        }
        if (pending_blank) {
            name->push_back(' ');
            pending_blank = false;
        }
        name->push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(*p))));
    }
    if (*p != '(') {
        return true;
    }
    ++p;
    for (;;) {
        while (std::isspace(static_cast<unsigned char>(*p))) {
            ++p;
        }
        char* end = nullptr;
        long value = std::strtol(p, &end, 10);
        if (end == p || *argument_count == 2 || value < -1000000 || value > 1000000000) {
            return false;
        }
        arguments[(*argument_count)++] = static_cast<int>(value);
        p = end;
        while (std::isspace(static_cast<unsigned char>(*p))) {
            ++p;
        }
        if (*p == ',') {
            ++p;
            continue;
        }
        if (*p != ')') {
            return false;
        }
        ++p;
        break;
    }
    while (std::isspace(static_cast<unsigned char>(*p))) {
        ++p;
    }
    return *p == '\0';
}

void set_type(ColumnDescription* d, int type, int length, int precision, int scale) {
    d->type = type;
    d->length = length;
    d->precision = precision;
    d->scale = scale;
}

bool decimal_arguments_valid(int precision, int scale) {
    return precision >= 1 && precision <= kDecimalMaxDigits && scale >= 0 && scale <= precision;
}

bool starts_with_call(const char* text, const char* function) {
    while (std::isspace(static_cast<unsigned char>(*text))) {
        ++text;
    }
    size_t length = std::strlen(function);
    if (strncasecmp(text, function, length) != 0) {
        return false;
    }
    text += length;
    while (std::isspace(static_cast<unsigned char>(*text))) {
        ++text;
    }
    return *text == '(';
}

// The type of an expression column by the value it holds in the first row:
// the statement is stepped once and reset. A statement with parameters, a
// busy one, or one without rows describes its expressions as text.
void describe_by_first_row(Statement& statement, const std::vector<int>& expressions) {
    sqlite3_stmt* stmt = statement.stmt;
    bool peek = sqlite3_bind_parameter_count(stmt) == 0 && !sqlite3_stmt_busy(stmt) &&
                sqlite3_step(stmt) == SQLITE_ROW;
    for (int column : expressions) {
        ColumnDescription& d = statement.columns[static_cast<size_t>(column)];
        switch (peek ? sqlite3_column_type(stmt, column) : SQLITE_NULL) {
            case SQLITE_INTEGER:
                set_type(&d, OSL_SQL_DECIMAL, sizeof(OslDecimal), kBigIntPrecision, 0);
                break;
            case SQLITE_FLOAT:
                set_type(&d, OSL_SQL_FLOAT, kDoubleBytes, 0, 0);
                break;
            case SQLITE_BLOB:
                set_type(&d, OSL_SQL_VAR_BINARY, 0, 0, 0);
                break;
            default:
                set_type(&d, OSL_SQL_VARCHAR, kDefaultTextLength, 0, 0);
                break;
        }
    }
    sqlite3_reset(stmt);
}

}  // namespace

void map_declared_type(const char* declared, ColumnDescription* d) {
    set_type(d, OSL_SQL_UNMAPPED, 0, 0, 0);
    std::string name;
    int arguments[2] = {0, 0};
    int count = 0;
    if (declared == nullptr) {
        declared = "";
    }
    if (!split_declared_type(declared, &name, arguments, &count)) {
        return;
    }
    if (name.empty() && count == 0) {
        set_type(d, OSL_SQL_VARCHAR, kDefaultTextLength, 0, 0);  // no declared type
        return;
    }
    const TypeName* found = nullptr;
    for (const TypeName& entry : kTypeNames) {
        if (name == entry.name) {
            found = &entry;
        }
    }
    if (found == nullptr) {
        return;
    }
    switch (found->kind) {
        case TypeKind::kChar:
            if (count <= 1 && (count == 0 || arguments[0] >= 1)) {
                set_type(d, OSL_SQL_CHAR, count == 0 ? 1 : arguments[0], 0, 0);
            }
            break;
        case TypeKind::kVarchar:
            if (count <= 1 && (count == 0 || arguments[0] >= 1)) {
                set_type(d, OSL_SQL_VARCHAR, count == 0 ? kDefaultTextLength : arguments[0], 0, 0);
            }
            break;
        // Integer and float types ignore a display width ("INT(11)").
        case TypeKind::kSmallInt:
            set_type(d, OSL_SQL_SMALLINT, kInt16Bytes, 0, 0);
            break;
        case TypeKind::kMediumInt:
            set_type(d, OSL_SQL_INTEGER, kInt32Bytes, 0, 0);
            break;
        case TypeKind::kSerial:
            set_type(d, OSL_SQL_SERIAL, kInt32Bytes, 0, 0);
            break;
        case TypeKind::kBigInt:
            set_type(d, OSL_SQL_DECIMAL, sizeof(OslDecimal), kBigIntPrecision, 0);
            break;
        case TypeKind::kFloat:
            set_type(d, OSL_SQL_FLOAT, kDoubleBytes, 0, 0);
            break;
        case TypeKind::kSmallFloat:
            set_type(d, OSL_SQL_SMALLFLOAT, kFloatBytes, 0, 0);
            break;
        case TypeKind::kDecimal: {
            int precision = count >= 1 ? arguments[0] : kDefaultDecimalPrecision;
            int scale = count == 2 ? arguments[1] : kFloatingScale;
            if (decimal_arguments_valid(precision, count == 2 ? scale : 0)) {
                set_type(d, OSL_SQL_DECIMAL, sizeof(OslDecimal), precision, scale);
            }
            break;
        }
        case TypeKind::kMoney: {
            int precision = count >= 1 ? arguments[0] : kDefaultMoneyPrecision;
            int scale = count == 2 ? arguments[1] : kDefaultMoneyScale;
            if (decimal_arguments_valid(precision, scale)) {
                set_type(d, OSL_SQL_MONEY, sizeof(OslDecimal), precision, scale);
            }
            break;
        }
        case TypeKind::kDate:
            set_type(d, OSL_SQL_DATE, kDateBytes, 0, 0);
            break;
        case TypeKind::kBoolean:
            set_type(d, OSL_SQL_BOOLEAN, kBooleanBytes, 0, 0);
            break;
    }
}

bool describe_statement(Statement& statement) {
    if (statement.described) {
        return true;
    }
    Session& session = engine_session();
    sqlite3_stmt* stmt = statement.stmt;
    int count = sqlite3_column_count(stmt);
    statement.columns.assign(static_cast<size_t>(count), ColumnDescription{});
    std::vector<int> expressions;
    for (int i = 0; i < count; ++i) {
        ColumnDescription& d = statement.columns[static_cast<size_t>(i)];
        const char* name = sqlite3_column_name(stmt, i);
        const char* origin = sqlite3_column_origin_name(stmt, i);
        const char* table = sqlite3_column_table_name(stmt, i);
        d.name = name != nullptr ? name : "";
        if (origin == nullptr || table == nullptr) {
            d.nullable = 1;
            if (starts_with_call(d.name.c_str(), "GX_AsShape")) {
                set_type(&d, OSL_SQL_VAR_BINARY, 0, 0, 0);
            } else if (starts_with_call(d.name.c_str(), "GX_Trace")) {
                set_type(&d, OSL_SQL_VARCHAR, kDefaultTextLength, 0, 0);
            } else {
                expressions.push_back(i);
            }
            continue;
        }
        // A column selected by its own name reports it as stored, its case
        // kept; an alias stays as the statement wrote it.
        if (osl_text_compare(d.name.c_str(), origin) == 0) {
            d.name = origin;
        }
        if (is_geometry_column(session, table, origin)) {
            set_type(&d, OSL_SQL_GEOMETRY, 0, 0, 0);
        } else {
            map_declared_type(sqlite3_column_decltype(stmt, i), &d);
        }
        int not_null = 0;
        if (sqlite3_table_column_metadata(session.db, sqlite3_column_database_name(stmt, i), table,
                                          origin, nullptr, nullptr, &not_null, nullptr,
                                          nullptr) == SQLITE_OK) {
            d.nullable = not_null ? 0 : 1;
        }
    }
    if (!expressions.empty()) {
        describe_by_first_row(statement, expressions);
    }
    statement.described = true;
    return true;
}
