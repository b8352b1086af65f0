// The encoding of a set's attribute text: the .cpg file beside the .dbf that
// names it, and for a set without one the language-driver byte of the .dbf
// header. spoolmap writes the UTF-8 bytes the database holds, so a new set
// says "UTF-8", as other writers of the format do; an append writes text in
// the encoding the set declares.

#ifndef SPOOLMAP_DBF_CODE_PAGE_FILE_H
#define SPOOLMAP_DBF_CODE_PAGE_FILE_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

// What a new set's .cpg holds: the name alone, no line end.
constexpr char kCodePageText[] = "UTF-8";

// The longest .cpg text that is read; a longer one names no encoding spoolmap
// knows.
constexpr size_t kCodePageTextBytes = 256;

// Room for the name of a code page as iconv knows it ("CP1252",
// "ISO-8859-1") and as a message shows what declared it.
constexpr size_t kCodePageNameBytes = 32;
constexpr size_t kDeclarationBytes = 96;

// init: writes the encoding name into cpg, the new .cpg's stream. A failed
// write ends the run naming cpg_name.
void write_code_page_file(FILE* cpg, const char* cpg_name);

enum class DeclaredEncoding {
    kUtf8,      // UTF-8, or nothing declared
    kCodePage,  // a code page, named in code_page as iconv knows it
    kUnknown,   // an encoding this program does not write
};

// What the bytes of a .cpg declare: UTF-8 for "UTF-8", "UTF8" or 65001 in any
// letter case, with blanks and line ends around it, and for a blank text (it
// declares nothing); a code page for its usual spellings: a Windows or DOS
// code page number alone or after "CP", "WINDOWS-", "ANSI " or "IBM"
// ("1252", "CP1252", "Windows-1252", "ANSI 1252"), ISO-8859 parts
// ("ISO-8859-1", "ISO8859_1", "8859-1", "88591") and "LATIN1" to "LATIN10";
// anything else is unknown, UTF-16 among them (no field could hold it).
DeclaredEncoding encoding_of_code_page_text(const char* text, size_t length, char* code_page,
                                            size_t size);

// What a .dbf's language-driver byte declares: 0 nothing (UTF-8 as today); a
// byte of the table of drivers its code page. 0x57, the Windows ANSI driver
// that GDAL's default sets carry, is read by GDAL as ISO-8859-1 and by others
// as Windows-1252: it gets ISO-8859-1, whose printable characters both share,
// so every reader gets the text back.
DeclaredEncoding encoding_of_language_driver(uint8_t driver, char* code_page, size_t size);

// The encoding an append writes the set's text in.
struct SetEncoding {
    bool utf8 = true;
    char code_page[kCodePageNameBytes] = {};   // when not UTF-8, as iconv knows it
    char declaration[kDeclarationBytes] = {};  // what declared it, for messages
};

// append: the set's own .cpg, if it has one, else the .dbf's language-driver
// byte, gives the encoding. An encoding this program does not write (or
// that iconv does not know) ends the run naming the file and what it
// declares, before anything is written: UTF-8 text appended to it would mix
// two encodings in one .dbf.
SetEncoding find_set_encoding(const char* cpg_name, const char* dbf_name, uint8_t language_driver);

#endif
