// The .cpg file beside the .dbf: it names the encoding of the attribute
// table's text. spoolmap writes the UTF-8 bytes the database holds, so a new
// set says "UTF-8", as other writers of the format do; readers that would
// otherwise assume the system's code page then read the text right.

#ifndef SPOOLMAP_DBF_CODE_PAGE_FILE_H
#define SPOOLMAP_DBF_CODE_PAGE_FILE_H

#include <cstddef>
#include <cstdio>

// What a new set's .cpg holds: the name alone, no line end.
constexpr char kCodePageText[] = "UTF-8";

// The longest .cpg text that is read; a longer one names no encoding spoolmap
// knows.
constexpr size_t kCodePageTextBytes = 256;

// init: writes the encoding name into cpg, the new .cpg's stream. A failed
// write ends the run naming cpg_name.
void write_code_page_file(FILE* cpg, const char* cpg_name);

// Whether the bytes of a .cpg declare UTF-8: "UTF-8" or "UTF8" in any letter
// case, or the code page number 65001, with blanks and line ends around it.
// A text that is blank declares nothing, which counts as UTF-8 too: appending
// to it adds no second encoding.
bool declares_utf8(const char* text, size_t length);

// append: the set's own .cpg, if it has one, must declare the encoding the
// run writes; a set without one is appended as it is (its encoding is not the
// run's to declare). Any other encoding ends the run naming the file and what
// it declares, before anything is written: UTF-8 text appended to it would
// mix two encodings in one .dbf.
void check_code_page_file(const char* cpg_name);

#endif
