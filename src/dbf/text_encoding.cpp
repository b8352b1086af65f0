// Text in a code page (see text_encoding.h). glibc's iconv stops before a
// character that the code page has no byte for (EILSEQ), which is then
// refused rather than replaced; a text longer than its field is converted a
// character at a time, so that a cut never ends inside a character of a
// multibyte code page.

#include "dbf/text_encoding.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>

#include "text/characters.h"

static iconv_t converter_of(const TextEncoder& encoder) {
    return static_cast<iconv_t>(encoder.converter);
}

bool open_text_encoder(const char* code_page, TextEncoder& encoder) {
    iconv_t converter = iconv_open(code_page, "UTF-8");
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        return false;
    }
    encoder.converter = converter;
    encoder.code_page = code_page;
    return true;
}

void close_text_encoder(TextEncoder& encoder) {
    if (encoder.converter != nullptr) {
        iconv_close(converter_of(encoder));
    }
    encoder = TextEncoder{};
}

// Converts length bytes of text into at most size bytes at out. Returns
// iconv's errno for a conversion that stopped (E2BIG, EILSEQ, EINVAL), else
// 0; in and out are left where it stopped.
static int convert(const TextEncoder& encoder, const char*& in, size_t length, char*& out,
                   size_t size) {
    iconv_t converter = converter_of(encoder);
    iconv(converter, nullptr, nullptr, nullptr, nullptr);  // the initial state
    char* input = const_cast<char*>(in);
    size_t in_left = length;
    size_t out_left = size;
    size_t done = iconv(converter, &input, &in_left, &out, &out_left);
    in = input;
    return done == static_cast<size_t>(-1) ? errno : 0;
}

// The length of the UTF-8 character at text (1 for a byte that starts none).
static size_t character_length(const char* text) {
    size_t length = 1;
    while (length < kMaxUtf8CharBytes && text[length] != '\0' &&
           is_utf8_continuation(text[length])) {
        ++length;
    }
    return length;
}

// Room for a text that a whole field's fetch can hold, converted: no code
// page takes more bytes for a character than UTF-8 does.
constexpr size_t kScratchBytes = 4 * 256 + 16;

EncodedText encode_text_field(const TextEncoder& encoder, char* field, int32_t width,
                              const char* text) {
    // The whole text at once, the usual case: it converts and fits.
    size_t length = std::strlen(text);
    char scratch[kScratchBytes];
    const char* in = text;
    char* out = scratch;
    if (length < sizeof scratch && convert(encoder, in, length, out, sizeof scratch) == 0 &&
        out - scratch <= width) {
        std::memcpy(field, scratch, static_cast<size_t>(out - scratch));
        return EncodedText::kWhole;
    }
    // Character by character up to the field's end: iconv may leave part of
    // a multibyte character in a full output, so each goes in only whole.
    int32_t used = 0;
    for (const char* at = text; *at != '\0';) {
        size_t bytes = character_length(at);
        in = at;
        out = scratch;
        if (convert(encoder, in, bytes, out, sizeof scratch) == EILSEQ) {
            return EncodedText::kUnencodable;
        }
        int32_t converted = static_cast<int32_t>(out - scratch);
        if (used + converted > width) {
            return EncodedText::kCut;
        }
        std::memcpy(field + used, scratch, static_cast<size_t>(converted));
        used += converted;
        at += bytes;
    }
    return EncodedText::kWhole;
}

// The code point of the UTF-8 character of length bytes at text.
static uint32_t code_point_of(const unsigned char* text, size_t length) {
    static const unsigned char kLeadBits[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
    uint32_t value = text[0] & kLeadBits[length];
    for (size_t i = 1; i < length; ++i) {
        value = (value << 6) | (text[i] & 0x3F);
    }
    return value;
}

bool first_unencodable_character(const TextEncoder& encoder, const char* text, char* character,
                                 uint32_t& code_point) {
    // Character by character, each into a scratch buffer that any
    // character of any code page fits.
    const char* at = text;
    while (*at != '\0') {
        size_t length = character_length(at);
        char scratch[4 * kMaxUtf8CharBytes];
        const char* in = at;
        char* out = scratch;
        if (convert(encoder, in, length, out, sizeof scratch) == EILSEQ) {
            std::memcpy(character, at, length);
            character[length] = '\0';
            code_point = code_point_of(reinterpret_cast<const unsigned char*>(at), length);
            return true;
        }
        at += length;
    }
    return false;
}
