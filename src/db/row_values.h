// The row's attribute values as the client library gives them: the places
// each field's value is fetched into, made once before the cursor opens; per
// row the fetch of every value in one request, and a decimal's or a date's
// text made by the library's picture, so that the record formatter finds
// every value in the form it writes.

#ifndef SPOOLMAP_DB_ROW_VALUES_H
#define SPOOLMAP_DB_ROW_VALUES_H

#include <cstddef>
#include <cstdint>

#include "db/client.h"
#include "dbf/code_page_file.h"
#include "dbf/dbf_header.h"
#include "dbf/record_format.h"

// A value in the library's own form, made into its field's form per row.
union LibraryValue {
    OslDecimal decimal;
    OslDate date;
};

// The values of the current row, one per field, and the kRequestsPerValue
// requests per field (indicator, data) that fetch them. Text values each have
// a place in texts of their field's width (in a code page, of the UTF-8 bytes
// of as many characters), one more UTF-8 character and a zero byte: a longer
// value is cut there by the fetch, and then to its field's width, which
// cut_counts counts per field for the run. Decimals and dates arrive in
// library and are made into text (or a double) in their values' places; the
// fields that need it are listed in made.
struct RowValues {
    int32_t field_count = 0;
    FieldValue* values = nullptr;
    OslItemRequest* requests = nullptr;
    char* texts = nullptr;
    int32_t* cut_counts = nullptr;
    LibraryValue* library = nullptr;
    int32_t* made = nullptr;
    int32_t made_count = 0;
};

// Makes each field's format from the column that item i + 1 of descriptor
// describes for field i, and the row values with their requests. A field
// whose column no longer fits it (append) ends the run naming the field and
// the column. Text goes into the code page of encoding when it names one
// (append onto a set declared in one); it stays UTF-8 without it.
void prepare_field_formats(const FieldTable& fields, int32_t record_length, const char* descriptor,
                           RecordFormats& formats, RowValues& row,
                           const SetEncoding* encoding = nullptr);

// The places of row's values and the requests that fill them, for formats
// (prepare_field_formats calls it).
void prepare_row_values(const RecordFormats& formats, RowValues& row);

// The current row's values from items 1 to the field count of descriptor,
// each in the form its field is written in (make_field_texts).
void fetch_row_values(const char* descriptor, const RecordFormats& formats, RowValues& row);

// Each non-null decimal and date of row made from its library value into its
// field's form: a picture's or the date pattern's text (unfit when the
// library cannot write it there), or a double. A decimal without a scale that
// the library cannot make a double ends the run.
void make_field_texts(const RecordFormats& formats, RowValues& row);

// The text of field i's value as a message shows it: the whole value, also
// where it did not fit its field (decimals with the field's fdec decimals).
void shown_value_text(const RecordFormats& formats, const RowValues& row, int32_t i, int32_t fdec,
                      char* text, size_t size);

// Releases what prepare_field_formats allocated.
void free_field_formats(RecordFormats& formats, RowValues& row);

#endif
