// The encodings an append writes in: what a .cpg text and a language-driver
// byte declare, and text converted into a code page's field, cut at whole
// characters, with the character a code page cannot hold found for the
// message.

#include "dbf/text_encoding.h"

#include <gtest/gtest.h>

#include <string>

#include "dbf/code_page_file.h"

namespace {

TEST(TextEncoding, SpellingsOfACodePageFile) {
    struct Case {
        const char* text;
        DeclaredEncoding declared;
        const char* code_page;
    };
    const Case cases[] = {
        {"UTF-8", DeclaredEncoding::kUtf8, ""},
        {" utf8\r\n", DeclaredEncoding::kUtf8, ""},
        {"65001", DeclaredEncoding::kUtf8, ""},
        {"\n", DeclaredEncoding::kUtf8, ""},
        {"1252", DeclaredEncoding::kCodePage, "CP1252"},
        {"CP1252\n", DeclaredEncoding::kCodePage, "CP1252"},
        {"windows-1252", DeclaredEncoding::kCodePage, "CP1252"},
        {"ANSI 1251", DeclaredEncoding::kCodePage, "CP1251"},
        {"IBM850", DeclaredEncoding::kCodePage, "CP850"},
        {"ISO-8859-1", DeclaredEncoding::kCodePage, "ISO-8859-1"},
        {"iso_8859_15", DeclaredEncoding::kCodePage, "ISO-8859-15"},
        {"88591", DeclaredEncoding::kCodePage, "ISO-8859-1"},
        {"8859-2", DeclaredEncoding::kCodePage, "ISO-8859-2"},
        {"LATIN1", DeclaredEncoding::kCodePage, "LATIN1"},
        {"Latin-1", DeclaredEncoding::kCodePage, "LATIN1"},
        {"UTF-16", DeclaredEncoding::kUnknown, ""},
        {"1253x", DeclaredEncoding::kUnknown, ""},
        {"CP1234", DeclaredEncoding::kUnknown, ""},
        {"ISO-8859-99", DeclaredEncoding::kUnknown, ""},
        {"LATIN11", DeclaredEncoding::kUnknown, ""},
    };
    for (const Case& c : cases) {
        char code_page[kCodePageNameBytes] = "";
        EXPECT_EQ(encoding_of_code_page_text(c.text, std::string(c.text).size(), code_page,
                                             sizeof code_page),
                  c.declared)
            << c.text;
        EXPECT_STREQ(code_page, c.code_page) << c.text;
    }
}

TEST(TextEncoding, LanguageDriverBytes) {
    struct Case {
        uint8_t driver;
        DeclaredEncoding declared;
        const char* code_page;
    };
    const Case cases[] = {
        {0x00, DeclaredEncoding::kUtf8, ""},
        {0x57, DeclaredEncoding::kCodePage, "ISO-8859-1"},
        {0x03, DeclaredEncoding::kCodePage, "CP1252"},
        {0x01, DeclaredEncoding::kCodePage, "CP437"},
        {0xC9, DeclaredEncoding::kCodePage, "CP1251"},
        {0x7B, DeclaredEncoding::kCodePage, "CP932"},
        {0x05, DeclaredEncoding::kUnknown, ""},
        {0xFF, DeclaredEncoding::kUnknown, ""},
    };
    for (const Case& c : cases) {
        char code_page[kCodePageNameBytes] = "";
        EXPECT_EQ(encoding_of_language_driver(c.driver, code_page, sizeof code_page), c.declared)
            << int(c.driver);
        EXPECT_STREQ(code_page, c.code_page) << int(c.driver);
    }
}

// Fields of a single-byte and of a double-byte code page: whole texts, cuts
// that never split a character, and characters neither can hold.
TEST(TextEncoding, FieldsInACodePage) {
    struct Case {
        const char* code_page;
        const char* text;
        int32_t width;
        EncodedText encoded;
        std::string field;
        const char* refused;  // the character refused, and its code point
        uint32_t code_point;
    };
    const Case cases[] = {
        {"ISO-8859-1", "M\xc3\xbcller", 8, EncodedText::kWhole, "M\xfcller  ", nullptr, 0},
        {"ISO-8859-1", "M\xc3\xbcller", 3, EncodedText::kCut, "M\xfcl", nullptr, 0},
        {"ISO-8859-1", "5 \xe2\x82\xac", 8, EncodedText::kUnencodable, "", "\xe2\x82\xac", 0x20AC},
        {"CP1252", "5 \xe2\x82\xac", 4, EncodedText::kWhole, "5 \x80 ", nullptr, 0},
        // Shift-JIS: two bytes a kanji; a field of three holds one and a blank.
        {"CP932", "\xe6\x97\xa5\xe6\x9c\xac", 3, EncodedText::kCut, "\x93\xfa ", nullptr, 0},
        {"CP932", "a\xf0\x9f\x98\x80", 4, EncodedText::kUnencodable, "", "\xf0\x9f\x98\x80",
         0x1F600},
    };
    for (const Case& c : cases) {
        TextEncoder encoder;
        ASSERT_TRUE(open_text_encoder(c.code_page, encoder)) << c.code_page;
        std::string record(static_cast<size_t>(c.width) + 1, ' ');
        record.back() = '|';
        EXPECT_EQ(encode_text_field(encoder, &record[0], c.width, c.text), c.encoded) << c.text;
        EXPECT_EQ(record.back(), '|');  // nothing past the field
        if (c.encoded != EncodedText::kUnencodable) {
            EXPECT_EQ(record.substr(0, static_cast<size_t>(c.width)), c.field) << c.text;
        }
        char character[kMaxUtf8CharBytes + 1] = "";
        uint32_t code_point = 0;
        EXPECT_EQ(first_unencodable_character(encoder, c.text, character, code_point),
                  c.refused != nullptr);
        if (c.refused != nullptr) {
            EXPECT_STREQ(character, c.refused);
            EXPECT_EQ(code_point, c.code_point);
        }
        close_text_encoder(encoder);
    }
}

}  // namespace
