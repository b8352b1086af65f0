// Text fields of a set declared in a code page other than UTF-8: the UTF-8
// text the database gives, converted with iconv into the field, cut at the
// last whole character that fits; and the character a code page cannot hold,
// for the message that refuses it.

#ifndef SPOOLMAP_DBF_TEXT_ENCODING_H
#define SPOOLMAP_DBF_TEXT_ENCODING_H

#include <cstddef>
#include <cstdint>

// A UTF-8 character takes at most this many bytes, and every character of a
// code page at least one: a field of width bytes holds at most width
// characters, which the UTF-8 text gives in at most this times width bytes.
constexpr int32_t kMaxUtf8CharBytes = 4;

// An open conversion from UTF-8 into a code page; null when the run writes
// UTF-8.
struct TextEncoder {
    void* converter = nullptr;  // iconv_t
    const char* code_page = nullptr;
};

// Opens the conversion into code_page (as iconv names it); false when iconv
// does not know it.
bool open_text_encoder(const char* code_page, TextEncoder& encoder);
void close_text_encoder(TextEncoder& encoder);

enum class EncodedText {
    kWhole,        // the whole text is in the field
    kCut,          // the field holds the characters that fit
    kUnencodable,  // a character the code page cannot hold (the field is not whole)
};

// Converts the NUL-terminated UTF-8 text into field, width bytes that hold
// blanks; never writes past them, and never part of a character.
EncodedText encode_text_field(const TextEncoder& encoder, char* field, int32_t width,
                              const char* text);

// The first character of text that the code page cannot hold: its UTF-8
// bytes (a zero byte after them, in character, of at least
// kMaxUtf8CharBytes + 1 bytes) and its code point, or false when there is
// none.
bool first_unencodable_character(const TextEncoder& encoder, const char* text, char* character,
                                 uint32_t& code_point);

#endif
