// Attribute records: one output format per field, prepared once before the
// cursor opens, and one fixed-width .dbf record per accepted row, made from
// the row's values in a buffer of the caller's.

#ifndef SPOOLMAP_DBF_DBF_RECORD_H
#define SPOOLMAP_DBF_DBF_RECORD_H

#include <cstddef>
#include <cstdint>

#include "db/client.h"
#include "db/descriptor_items.h"
#include "dbf/code_page_file.h"
#include "dbf/dbf_header.h"
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

// One value of a row; which member holds it follows its field's kind.
struct FieldValue {
    int16_t indicator = 0;  // kNullIndicator for a null value
    union {
        int32_t integer;
        double real;
        OslDecimal decimal;
        OslDate date;
    };
    char* text = nullptr;  // a text or boolean value, NUL-terminated
};

// The values of the current row, one per field, and the kRequestsPerValue
// requests per field (indicator, data) that read_row_values fetches them
// through. Text values each have a place in texts of their field's width (in
// a code page, of the UTF-8 bytes of as many characters), one more UTF-8
// character and a zero byte: a longer value is cut there by the fetch, and
// then to its field's width, which cut_counts counts per field for the run.
struct RowValues {
    int32_t field_count = 0;
    FieldValue* values = nullptr;
    OslItemRequest* requests = nullptr;
    char* texts = nullptr;
    int32_t* cut_counts = nullptr;
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

// Makes each field's format from the column that item i + 1 of descriptor
// describes for field i, and the row values with their requests. A field
// whose column no longer fits it (append) ends the run naming the field and
// the column. Text goes into the code page of encoding when it names one
// (append onto a set declared in one); it stays UTF-8 without it.
void prepare_field_formats(const FieldTable& fields, int32_t record_length, const char* descriptor,
                           RecordFormats& formats, RowValues& row,
                           const SetEncoding* encoding = nullptr);

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

// Ends the run for record record_number, whose value of field i does not fit,
// naming the field, the value and the width (for a text: the column, the
// character and the code page).
[[noreturn]] void refuse_value(const FieldTable& fields, const RecordFormats& formats,
                               const FieldValue* values, int32_t i, int32_t record_number);

// At the end of a run: one warning per text field whose values were cut,
// with their number, the column and the field's width.
void report_value_cuts(const FieldTable& fields, const RowValues& row);

// Releases what prepare_field_formats allocated.
void free_field_formats(RecordFormats& formats, RowValues& row);

#endif
