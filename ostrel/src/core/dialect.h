// The statement-text dialect the caller writes in, whatever the engine:
// "EXECUTE FUNCTION f(args)" runs as "SELECT f(args)", and input values are
// marked with "?". Engines whose own dialect differs rewrite from here (the
// server engine on its own lexer, postgres/sql_lexer.h). Names as SQL and
// messages write them.

#ifndef OSTREL_CORE_DIALECT_H
#define OSTREL_CORE_DIALECT_H

#include <string>

// "EXECUTE FUNCTION f(args)" -> "SELECT f(args)"; other texts unchanged.
std::string statement_for_engine(const char* text);

// name as an SQL identifier in double quotes, a quote in it doubled.
std::string quoted_identifier(const std::string& name);

// name as a message shows it: bare when it is a plain lower-case identifier
// (letters, digits, '_', '$', not starting with a digit), else in double
// quotes, so that a name whose case counts is seen to be one.
std::string shown_identifier(const std::string& name);

// Whether text may call GX_Trace(file, level), which switches the session's
// trace: the function's name anywhere in it, in any letter case. A literal
// or a comment that holds the name is taken for a call, which costs nothing
// but the read-ahead of its rows.
bool names_trace_function(const char* text);

// The statement as a message names it when it has no id: its first words,
// blanks collapsed, "..." when cut.
std::string shown_text(const char* text);

#endif
