// Attribute records: one output format per field, chosen once before the
// cursor opens, and one fixed-width .dbf record per accepted row, made from
// the row's values in a buffer of the caller's. Knows nothing of where the
// values come from: the fetch (db/row_values.h) puts them where FieldValue
// says.

#ifndef SPOOLMAP_DBF_RECORD_FORMAT_H
#define SPOOLMAP_DBF_RECORD_FORMAT_H

#include <cstddef>
#include <cstdint>

#include "dbf/field_rules.h"
#include "dbf/text_encoding.h"

// Room for the text of the widest field a descriptor's length byte can state
// (other writers go to 255), and a zero byte.
constexpr int kFieldTextBytes = UINT8_MAX + 1;

// A field's format: what kind of value fills it, where it lies in the record,
// its width, and the picture or date pattern that the library writes a
// decimal or a date by (a picture is exactly as long as its field; texts and
// numbers need none).
struct FieldFormat {
    ValueKind kind = ValueKind::kText;
    int32_t offset = 0;       // from the start of the record (byte 0 is the deletion flag)
    int32_t width = 0;        // flen
    int fraction_digits = 0;  // of a floating value's exponent form
    char text[kFieldTextBytes] = {};
};

// The formats of a record's fields, in field order, and the conversion of
// their text into the set's code page (none for UTF-8).
struct RecordFormats {
    int32_t field_count = 0;
    int32_t record_length = 0;
    FieldFormat* fields = nullptr;
    TextEncoder encoder;
    const char* declaration = nullptr;  // what declared the code page, for messages
};

// One value of a row, where its field's kind puts it.
struct FieldValue {
    int16_t indicator = 0;  // negative for a null value
    int32_t integer = 0;    // kInteger
    double real = 0;        // kFloat, kFloatingDecimal
    // kText, kBoolean: the value, NUL-terminated. kDecimalPicture, kDate: its
    // text by the field's picture or date pattern, exactly the field's width,
    // or unfit when it has none there.
    char* text = nullptr;
    bool unfit = false;
};

// Why a column cannot fill a field of an existing .dbf file.
enum class FormatProblem {
    kNone,
    kUnsupportedType,  // the SQL type has no field rule
    kWrongType,        // the field's type letter cannot hold the column's values
    kTooNarrow,        // no value of the column has a text as narrow as the field
    kBadDecimals,      // the picture's '.' would fall before the field's start
};

// The picture of a decimal field of width flen with fdec decimals: flen '-'
// with a '.' fdec places from the end, or a final '&' when fdec is 0. The
// caller has checked 0 <= fdec < flen.
void make_decimal_picture(int32_t flen, int32_t fdec, char* picture);

// Chooses the format of a field (type letter ftyp, width flen, decimals fdec)
// for a query column described by column, by the rule of its SQL type. A
// number field narrower than the column's full width is accepted: whether a
// value fits is decided as it is written. On a problem, needed_width holds
// the narrowest width any of the column's values could have (for kTooNarrow).
FormatProblem make_field_format(const DescribedColumn& column, char ftyp, int32_t flen,
                                int32_t fdec, FieldFormat& format, int32_t& needed_width);

// Copies text into a field of width bytes that already holds blanks; a longer
// text is cut at the last whole UTF-8 character that fits. Returns whether it
// was cut.
bool write_text_field(char* field, int32_t width, const char* text);

// Builds a record of formats.record_length bytes at record from values (one
// per field): a blank deletion flag, then each field's text, a null value
// leaving its field blank (a null BOOLEAN is "?"). No zero byte is written. A
// text longer than its field is cut and counted in cut_counts (one per
// field). Returns kAllValuesFit, or the number (from 0) of the first field
// whose value does not fit it (a text: holds a character the set's code page
// cannot); the record is then not whole.
constexpr int32_t kAllValuesFit = -1;
int32_t format_dbf_record(const RecordFormats& formats, const FieldValue* values, char* record,
                          int32_t* cut_counts);

// Opens the conversion of text fields into code_page, which declaration
// names (for messages). False when it cannot be written.
bool encode_text_into(RecordFormats& formats, const char* code_page, const char* declaration);

// Releases what the formats hold.
void free_record_formats(RecordFormats& formats);

#endif
