// The statement-text dialect the caller writes in, whatever the engine:
// "EXECUTE FUNCTION f(args)" runs as "SELECT f(args)", and input values are
// marked with "?". Engines whose own dialect differs rewrite from here.

#ifndef OSTREL_FRONT_DIALECT_H
#define OSTREL_FRONT_DIALECT_H

#include <string>

// "EXECUTE FUNCTION f(args)" -> "SELECT f(args)"; other texts unchanged.
std::string statement_for_engine(const char* text);

// Each "?" marker outside quotes and comments numbered as "$1", "$2", ...
// in order, as a server that numbers its parameters wants them. Quotes are
// SQL's: '...' and "..." with their doubled-quote escapes; comments "--" to
// the end of the line and "/* ... */".
std::string numbered_markers(const std::string& text);

// Where the quoted text or comment that starts at text[at] ends (the index
// after it); at itself when none starts there. An unclosed one runs to the
// end. Quotes and comments as numbered_markers reads them.
size_t skip_quoted_or_comment(const std::string& text, size_t at);

// The statement as a message names it when it has no id: its first words,
// blanks collapsed, "..." when cut.
std::string shown_text(const char* text);

#endif
