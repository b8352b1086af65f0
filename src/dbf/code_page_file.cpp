// The .cpg file: written in init, checked in append.

#include "dbf/code_page_file.h"

#include <cerrno>
#include <cstring>

#include "report/messages.h"
#include "text/characters.h"

void write_code_page_file(FILE* cpg, const char* cpg_name) {
    size_t length = sizeof kCodePageText - 1;
    errno = 0;
    if (std::fwrite(kCodePageText, 1, length, cpg) != length) {
        file_error("Write", cpg_name, errno);
    }
}

static bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
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

static bool same_ignoring_case(const char* text, size_t length, const char* name) {
    size_t name_length = std::strlen(name);
    if (length != name_length) {
        return false;
    }
    for (size_t i = 0; i < length; ++i) {
        if (ascii_upper(text[i]) != name[i]) {
            return false;
        }
    }
    return true;
}

bool declares_utf8(const char* text, size_t length) {
    trim(text, length);
    return length == 0 || same_ignoring_case(text, length, "UTF-8") ||
           same_ignoring_case(text, length, "UTF8") || same_ignoring_case(text, length, "65001");
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

void check_code_page_file(const char* cpg_name) {
    FILE* cpg = std::fopen(cpg_name, "rb");
    if (cpg == nullptr) {
        if (errno == ENOENT) {
            return;
        }
        file_error("File open", cpg_name, errno);
    }
    char text[kCodePageTextBytes + 1];
    errno = 0;
    size_t length = std::fread(text, 1, sizeof text, cpg);
    bool failed = std::ferror(cpg) != 0;
    int error = errno;  // before the close may change it
    std::fclose(cpg);
    if (failed) {
        file_error("Read", cpg_name, error);
    }
    if (length <= kCodePageTextBytes && declares_utf8(text, length)) {
        return;
    }
    char shown[64];
    shown_encoding(text, length, shown, sizeof shown);
    fatal_error(
        "File %s declares the encoding '%s'; appending UTF-8 text would mix two encodings in "
        "one .dbf.",
        cpg_name, shown);
}
