// What counts as a blank around a word or a number in the texts spoolmap and
// its client library read (a .cpg, a decimal's text, a statement): space,
// tab, line feed and carriage return. Not the C library's isspace, whose
// answer depends on the locale.

#ifndef COMMON_BLANKS_H
#define COMMON_BLANKS_H

constexpr bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

#endif
