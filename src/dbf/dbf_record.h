// Attribute records: one output format per field, prepared once before the
// cursor opens, and one fixed-width .dbf record per accepted row built from
// the row's values in the run's work buffer.

#ifndef SPOOLMAP_DBF_DBF_RECORD_H
#define SPOOLMAP_DBF_DBF_RECORD_H

#include <cstddef>
#include <cstdint>

#include "dbf/dbf_header.h"

struct RunState;

// How a field's value is fetched and written, chosen once from the SQL type of
// its query column.
enum class FieldKind {
    kText,             // CHAR, VARCHAR: left-aligned, cut to the field
    kBoolean,          // "T" or "F", "?" for null
    kInteger,          // SMALLINT, INTEGER, SERIAL: right-aligned decimal
    kFloat,            // FLOAT, SMALLFLOAT: exponent form
    kFloatingDecimal,  // DECIMAL without a scale: as a double, exponent form
    kDecimalPicture,   // DECIMAL with a scale, MONEY: the library's picture
    kDate,             // DATE: yyyymmdd
};

// Room for the text of the widest field a descriptor's length byte can state
// (other writers go to 255), and a zero byte.
constexpr int kFieldTextBytes = UINT8_MAX + 1;

// A field's format: where it lies in the record, its width, and the printf
// format, picture or date pattern that fills it (a picture is exactly as long
// as its field).
struct FieldFormat {
    FieldKind kind = FieldKind::kText;
    int32_t offset = 0;  // from the start of the record (byte 0 is the deletion flag)
    int32_t width = 0;   // flen
    char text[kFieldTextBytes] = {};
};

// What a descriptor says of a query column.
struct ItemDescription {
    int32_t type = 0;
    int32_t length = 0;
    int32_t precision = 0;
    int32_t scale = 0;
};

// Why a column cannot fill a field of an existing .dbf file.
enum class FormatProblem {
    kNone,
    kUnsupportedType,  // the SQL type has no format
    kWrongType,        // the field's type letter cannot hold the column's values
    kTooNarrow,        // the column's text is wider than the field
    kBadDecimals,      // the picture's '.' would fall before the field's start
};

// The picture of a decimal field of width flen with fdec decimals: flen '-'
// with a '.' fdec places from the end, or a final '&' when fdec is 0. The
// caller has checked 0 <= fdec < flen.
void make_decimal_picture(int32_t flen, int32_t fdec, char* picture);

// Chooses the format of a field (type letter ftyp, width flen, decimals fdec)
// for a query column described by item. On a problem, needed_width holds the
// width the column's values need (for kTooNarrow).
FormatProblem make_field_format(const ItemDescription& item, char ftyp, int32_t flen, int32_t fdec,
                                FieldFormat& format, int32_t& needed_width);

// Copies text into a field of width bytes that already holds blanks; a longer
// text is cut at the last whole UTF-8 character that fits.
void write_text_field(char* field, int32_t width, const char* text);

// Allocates run.cdata and run.field_formats and makes each field's format from
// the SQL type of its item in seldesc2. A field whose column no longer fits it
// (append) ends the run naming the field and the column.
void prepare_field_formats(RunState& run);

// Builds the current row's record in the first record_length bytes of
// run.work_buffer: a blank deletion flag, then each field's text, a null value
// leaving its field blank (a null BOOLEAN is "?"). No zero byte is written.
void format_dbf_record(RunState& run);

// Releases run.cdata and run.field_formats.
void free_field_formats(RunState& run);

#endif
