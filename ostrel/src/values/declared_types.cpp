// Declared types to SQL type codes: the names of the mapping (upper case,
// words one blank apart) with an optional "(n)" or "(p,s)".

#include "values/declared_types.h"

#include <cctype>
#include <cstdlib>
#include <string>

#include "values/decimal.h"

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

bool decimal_arguments_valid(int precision, int scale) {
    return precision >= 1 && precision <= kDecimalMaxDigits && scale >= 0 && scale <= precision;
}

}  // namespace

void describe_type(ColumnDescription* d, int type, int size, int scale) {
    int length = 0;
    int precision = 0;
    switch (type) {
        case OSL_SQL_CHAR:
        case OSL_SQL_VARCHAR:
            length = size;
            scale = 0;
            break;
        case OSL_SQL_SMALLINT:
            length = kInt16Bytes;
            break;
        case OSL_SQL_INTEGER:
        case OSL_SQL_SERIAL:
            length = kInt32Bytes;
            break;
        case OSL_SQL_FLOAT:
            length = kDoubleBytes;
            break;
        case OSL_SQL_SMALLFLOAT:
            length = kFloatBytes;
            break;
        case OSL_SQL_DECIMAL:
        case OSL_SQL_MONEY:
            length = sizeof(OslDecimal);
            precision = size;
            break;
        case OSL_SQL_DATE:
            length = kDateBytes;
            break;
        case OSL_SQL_BOOLEAN:
            length = kBooleanBytes;
            break;
        default:
            break;
    }
    if (type != OSL_SQL_DECIMAL && type != OSL_SQL_MONEY) {
        scale = 0;
    }
    d->type = type;
    d->length = length;
    d->precision = precision;
    d->scale = scale;
}

void map_declared_type(const char* declared, ColumnDescription* d) {
    describe_type(d, OSL_SQL_UNMAPPED);
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
        describe_type(d, OSL_SQL_VARCHAR, kDefaultTextLength);  // no declared type
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
                describe_type(d, OSL_SQL_CHAR, count == 0 ? 1 : arguments[0]);
            }
            break;
        case TypeKind::kVarchar:
            if (count <= 1 && (count == 0 || arguments[0] >= 1)) {
                describe_type(d, OSL_SQL_VARCHAR, count == 0 ? kDefaultTextLength : arguments[0]);
            }
            break;
        // Integer and float types ignore a display width ("INT(11)").
        case TypeKind::kSmallInt:
            describe_type(d, OSL_SQL_SMALLINT);
            break;
        case TypeKind::kMediumInt:
            describe_type(d, OSL_SQL_INTEGER);
            break;
        case TypeKind::kSerial:
            describe_type(d, OSL_SQL_SERIAL);
            break;
        case TypeKind::kBigInt:
            describe_type(d, OSL_SQL_DECIMAL, kBigIntPrecision, 0);
            break;
        case TypeKind::kFloat:
            describe_type(d, OSL_SQL_FLOAT);
            break;
        case TypeKind::kSmallFloat:
            describe_type(d, OSL_SQL_SMALLFLOAT);
            break;
        case TypeKind::kDecimal: {
            int precision = count >= 1 ? arguments[0] : kDefaultDecimalPrecision;
            int scale = count == 2 ? arguments[1] : kFloatingScale;
            if (decimal_arguments_valid(precision, count == 2 ? scale : 0)) {
                describe_type(d, OSL_SQL_DECIMAL, precision, scale);
            }
            break;
        }
        case TypeKind::kMoney: {
            int precision = count >= 1 ? arguments[0] : kDefaultMoneyPrecision;
            int scale = count == 2 ? arguments[1] : kDefaultMoneyScale;
            if (decimal_arguments_valid(precision, scale)) {
                describe_type(d, OSL_SQL_MONEY, precision, scale);
            }
            break;
        }
        case TypeKind::kDate:
            describe_type(d, OSL_SQL_DATE);
            break;
        case TypeKind::kBoolean:
            describe_type(d, OSL_SQL_BOOLEAN);
            break;
    }
}
