// The value of -l (see table_switch.h).

#include "run/table_switch.h"

#include <cstddef>
#include <cstring>

#include "run/command_line.h"
#include "text/characters.h"
#include "text/text_append.h"

static constexpr char kQuote = '"';

// The end of the segment of text that starts at p: the first separator
// outside double quotes, or the text's end.
static char* segment_end(char* p, char separator) {
    bool quoted = false;
    for (; *p != '\0'; ++p) {
        if (*p == kQuote) {
            quoted = !quoted;
        } else if (*p == separator && !quoted) {
            break;
        }
    }
    return p;
}

// One name, in place: a quoted one without its quotes (a doubled quote read
// as one), a bare one lower-cased. False for an empty name, a quote left
// open, text after the closing quote, or a quote inside a bare name.
static bool take_name(char* name, bool& quoted) {
    quoted = name[0] == kQuote;
    if (!quoted) {
        to_lower_in_place(name);
        return name[0] != '\0' && std::strchr(name, kQuote) == nullptr;
    }
    char* out = name;
    for (char* p = name + 1;; ++p) {
        if (*p == '\0') {
            return false;  // never closed
        }
        if (*p == kQuote) {
            if (p[1] != kQuote) {
                *out = '\0';
                return p[1] == '\0' && out != name;
            }
            ++p;
        }
        *out++ = *p;
    }
}

TableSwitch parse_table_switch(char* value, RunSettings& settings) {
    // A quote left open would take every comma after it.
    size_t quotes = 0;
    for (const char* p = value; *p != '\0'; ++p) {
        quotes += *p == kQuote;
    }
    if (quotes % 2 != 0) {
        return TableSwitch::kMalformed;
    }
    // Two names are found only past a comma.
    char* names[2] = {nullptr, nullptr};
    int found = 0;
    for (char* p = value; found < 2 && *p != '\0';) {
        char* end = segment_end(p, ',');
        bool more = *end == ',';
        *end = '\0';
        if (end != p) {
            names[found++] = p;
        }
        p = more ? end + 1 : end;
    }
    if (found < 2) {
        return TableSwitch::kUsage;
    }
    char* table = names[0];
    char* dot = segment_end(table, '.');
    settings.schema_name = nullptr;
    if (*dot == '.') {
        char* schema = table;
        *dot = '\0';
        table = dot + 1;
        if (*segment_end(table, '.') != '\0' || !take_name(schema, settings.schema_quoted)) {
            return TableSwitch::kMalformed;
        }
        settings.schema_name = schema;
    }
    // The column is one name; a bare one is taken whole, dots and all.
    if (!take_name(table, settings.table_quoted) || !take_name(names[1], settings.column_quoted)) {
        return TableSwitch::kMalformed;
    }
    settings.table_name = table;
    settings.column_name = names[1];
    return TableSwitch::kParsed;
}

static void append_name(char* buffer, size_t size, const char* what, const char* name,
                        bool quoted) {
    if (!quoted) {
        append_or_fail(buffer, size, what, "%s", name);
        return;
    }
    append_or_fail(buffer, size, what, "\"");
    for (const char* p = name; *p != '\0'; ++p) {
        append_or_fail(buffer, size, what, *p == kQuote ? "\"\"" : "%c", *p);
    }
    append_or_fail(buffer, size, what, "\"");
}

void append_table_switch(char* buffer, size_t size, const char* what, const RunSettings& settings) {
    if (settings.schema_name != nullptr) {
        append_name(buffer, size, what, settings.schema_name, settings.schema_quoted);
        append_or_fail(buffer, size, what, ".");
    }
    append_name(buffer, size, what, settings.table_name, settings.table_quoted);
    append_or_fail(buffer, size, what, ",");
    append_name(buffer, size, what, settings.column_name, settings.column_quoted);
}
