// The .cpg file and the language-driver byte: written in init, read in
// append (see code_page_file.h).

#include "dbf/code_page_file.h"

#include <iconv.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "common/blanks.h"
#include "report/messages.h"
#include "text/characters.h"

void write_code_page_file(FILE* cpg, const char* cpg_name) {
    size_t length = sizeof kCodePageText - 1;
    errno = 0;
    if (std::fwrite(kCodePageText, 1, length, cpg) != length) {
        file_error("Write", cpg_name, errno);
    }
}

// The text between leading and trailing blanks.
static void trim(const char*& text, size_t& length) {
    while (length > 0 && is_blank(text[0])) {
        ++text;
        --length;
    }
    while (length > 0 && is_blank(text[length - 1])) {
        --length;
    }
}

// The Windows and DOS code pages a .cpg may name by number, and the ones the
// language drivers stand for.
static const int kCodePageNumbers[] = {437,  737,  775,  850,  852,  855,  857,  860,  861, 862,
                                       863,  864,  865,  866,  869,  874,  932,  936,  949, 950,
                                       1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258};
constexpr int kUtf8CodePage = 65001;
constexpr int kLastIsoPart = 16;
constexpr int kLastLatin = 10;

// The whole of text as a number from 1 to 99999; 0 when it is not one.
static int whole_number(const char* text) {
    int value = 0;
    int digits = 0;
    for (; *text >= '0' && *text <= '9' && digits < 5; ++text, ++digits) {
        value = 10 * value + (*text - '0');
    }
    return *text == '\0' && digits > 0 ? value : 0;
}

static bool starts_with(const char* text, const char* prefix, const char** rest) {
    size_t length = std::strlen(prefix);
    if (std::strncmp(text, prefix, length) != 0) {
        return false;
    }
    *rest = text + length;
    return true;
}

DeclaredEncoding encoding_of_code_page_text(const char* text, size_t length, char* code_page,
                                            size_t size) {
    trim(text, length);
    if (length == 0) {
        return DeclaredEncoding::kUtf8;
    }
    // Upper case without the separators spellings differ by: "ISO 8859-1",
    // "iso_8859_1" and "ISO88591" are one name.
    char name[kCodePageNameBytes];
    size_t used = 0;
    for (size_t i = 0; i < length; ++i) {
        if (text[i] == '-' || text[i] == '_' || text[i] == ' ') {
            continue;
        }
        if (used + 1 >= sizeof name) {
            return DeclaredEncoding::kUnknown;
        }
        name[used++] = ascii_upper(text[i]);
    }
    name[used] = '\0';
    if (std::strcmp(name, "UTF8") == 0 || whole_number(name) == kUtf8CodePage) {
        return DeclaredEncoding::kUtf8;
    }
    const char* rest = nullptr;
    if (starts_with(name, "ISO8859", &rest) || starts_with(name, "8859", &rest)) {
        int part = whole_number(rest);
        if (part >= 1 && part <= kLastIsoPart) {
            std::snprintf(code_page, size, "ISO-8859-%d", part);
            return DeclaredEncoding::kCodePage;
        }
        return DeclaredEncoding::kUnknown;
    }
    if (starts_with(name, "LATIN", &rest)) {
        int part = whole_number(rest);
        if (part >= 1 && part <= kLastLatin) {
            std::snprintf(code_page, size, "LATIN%d", part);
            return DeclaredEncoding::kCodePage;
        }
        return DeclaredEncoding::kUnknown;
    }
    rest = name;
    for (const char* prefix : {"CP", "WINDOWS", "ANSI", "IBM"}) {
        if (starts_with(name, prefix, &rest)) {
            break;
        }
    }
    int number = whole_number(rest);
    for (int known : kCodePageNumbers) {
        if (known == number) {
            std::snprintf(code_page, size, "CP%d", number);
            return DeclaredEncoding::kCodePage;
        }
    }
    return DeclaredEncoding::kUnknown;
}

// Language-driver bytes and the code pages they stand for; 0 for 0x57, which
// is ISO-8859-1 (see code_page_file.h).
struct LanguageDriver {
    uint8_t driver;
    int code_page;
};

constexpr uint8_t kWindowsAnsiDriver = 0x57;

// clang-format off
static const LanguageDriver kLanguageDrivers[] = {
    {0x01, 437},  {0x02, 850},  {0x03, 1252}, {0x08, 865},  {0x09, 437},  {0x0A, 850},
    {0x0B, 437},  {0x0D, 437},  {0x0E, 850},  {0x0F, 437},  {0x10, 850},  {0x11, 437},
    {0x12, 850},  {0x13, 932},  {0x14, 850},  {0x15, 437},  {0x16, 850},  {0x17, 865},
    {0x18, 437},  {0x19, 437},  {0x1A, 850},  {0x1B, 437},  {0x1C, 863},  {0x1D, 850},
    {0x1F, 852},  {0x22, 852},  {0x23, 852},  {0x24, 860},  {0x25, 850},  {0x26, 866},
    {0x37, 850},  {0x40, 852},  {0x4D, 936},  {0x4E, 949},  {0x4F, 950},  {0x50, 874},
    {0x57, 0},    {0x58, 1252}, {0x59, 1252}, {0x64, 852},  {0x65, 866},  {0x66, 865},
    {0x67, 861},  {0x6A, 737},  {0x6B, 857},  {0x6C, 863},  {0x78, 950},  {0x79, 949},
    {0x7A, 936},  {0x7B, 932},  {0x7C, 874},  {0x86, 737},  {0x87, 852},  {0x88, 857},
    {0xC8, 1250}, {0xC9, 1251}, {0xCA, 1254}, {0xCB, 1253}, {0xCC, 1257},
};
// clang-format on

DeclaredEncoding encoding_of_language_driver(uint8_t driver, char* code_page, size_t size) {
    if (driver == 0) {
        return DeclaredEncoding::kUtf8;
    }
    for (const LanguageDriver& known : kLanguageDrivers) {
        if (known.driver != driver) {
            continue;
        }
        if (driver == kWindowsAnsiDriver) {
            std::snprintf(code_page, size, "ISO-8859-1");
        } else {
            std::snprintf(code_page, size, "CP%d", known.code_page);
        }
        return DeclaredEncoding::kCodePage;
    }
    return DeclaredEncoding::kUnknown;
}

// What a .cpg declares, shown in a message: its printable ASCII, the rest as
// '?', so that a binary file cannot garble the line.
static void shown_encoding(const char* text, size_t length, char* shown, size_t size) {
    trim(text, length);
    size_t n = 0;
    for (; n < length && n + 1 < size; ++n) {
        unsigned char c = static_cast<unsigned char>(text[n]);
        shown[n] = c >= 0x20 && c < 0x7f ? static_cast<char>(c) : '?';
    }
    shown[n] = '\0';
}

// Whether iconv can write the code page from UTF-8.
static bool iconv_knows(const char* code_page) {
    iconv_t converter = iconv_open(code_page, "UTF-8");
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        return false;
    }
    iconv_close(converter);
    return true;
}

// The .cpg's text; false when the set has none.
static bool read_code_page_text(const char* cpg_name, char* text, size_t size, size_t& length) {
    FILE* cpg = std::fopen(cpg_name, "rb");
    if (cpg == nullptr) {
        if (errno == ENOENT) {
            return false;
        }
        file_error("File open", cpg_name, errno);
    }
    errno = 0;
    length = std::fread(text, 1, size, cpg);
    bool failed = std::ferror(cpg) != 0;
    int error = errno;  // before the close may change it
    std::fclose(cpg);
    if (failed) {
        file_error("Read", cpg_name, error);
    }
    return true;
}

SetEncoding find_set_encoding(const char* cpg_name, const char* dbf_name, uint8_t language_driver) {
    SetEncoding encoding;
    char text[kCodePageTextBytes + 1];
    size_t length = 0;
    DeclaredEncoding declared = DeclaredEncoding::kUtf8;
    char shown[64];
    const char* declaring_file = cpg_name;
    if (read_code_page_text(cpg_name, text, sizeof text, length)) {
        declared = length > kCodePageTextBytes
                       ? DeclaredEncoding::kUnknown
                       : encoding_of_code_page_text(text, length, encoding.code_page,
                                                    sizeof encoding.code_page);
        shown_encoding(text, length, shown, sizeof shown);
        std::snprintf(encoding.declaration, sizeof encoding.declaration, "%s", cpg_name);
    } else {
        declared = encoding_of_language_driver(language_driver, encoding.code_page,
                                               sizeof encoding.code_page);
        declaring_file = dbf_name;
        std::snprintf(shown, sizeof shown, "language driver 0x%02X", language_driver);
        std::snprintf(encoding.declaration, sizeof encoding.declaration,
                      "the language driver of %s", dbf_name);
    }
    if (declared == DeclaredEncoding::kCodePage && !iconv_knows(encoding.code_page)) {
        declared = DeclaredEncoding::kUnknown;
    }
    switch (declared) {
        case DeclaredEncoding::kUtf8:
            encoding = SetEncoding{};
            return encoding;
        case DeclaredEncoding::kCodePage:
            encoding.utf8 = false;
            return encoding;
        case DeclaredEncoding::kUnknown:
            break;
    }
    fatal_error(
        "File %s declares the encoding '%s'; appending UTF-8 text would mix two encodings in "
        "one .dbf.",
        declaring_file, shown);
}
