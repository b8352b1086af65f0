// Number texts of .dbf fields (see number_text.h). Each text is made in a
// small stack buffer by std::to_chars and then placed right-aligned in the
// field, so a text that does not fit never touches the record.

#include "dbf/number_text.h"

#include <charconv>
#include <cstring>

// The longest texts: "-9223372036854775808" (20 characters) and
// "-1.797693134862e+308" (20); both buffers leave room to spare.
constexpr int kIntegerTextBytes = 24;
constexpr int kExponentTextBytes = 32;

// Blanks before the text, then the text: the field as "%<width>..." leaves it.
static int32_t place_right_aligned(char* field, int32_t width, const char* text, int32_t length) {
    if (length > width) {
        return length;
    }
    std::memset(field, ' ', static_cast<size_t>(width - length));
    std::memcpy(field + (width - length), text, static_cast<size_t>(length));
    return width;
}

int32_t write_integer_text(char* field, int32_t width, int64_t value) {
    char text[kIntegerTextBytes];
    char* end = std::to_chars(text, text + sizeof text, value).ptr;
    return place_right_aligned(field, width, text, static_cast<int32_t>(end - text));
}

int32_t write_exponent_text(char* field, int32_t width, double value) {
    char text[kExponentTextBytes];
    char* end = std::to_chars(text, text + sizeof text, value, std::chars_format::scientific,
                              kExponentFractionDigits)
                    .ptr;
    return place_right_aligned(field, width, text, static_cast<int32_t>(end - text));
}
