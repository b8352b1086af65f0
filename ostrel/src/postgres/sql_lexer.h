// PostgreSQL's lexical syntax, as far as the library rewrites statement texts:
// quoted identifiers ("..." and U&"..."), standard strings ('...', with their
// B, X, N and U& prefixes), escape strings (E'...' with backslash escapes),
// dollar-quoted strings ($$...$$, $tag$...$tag$), positional parameters ($1),
// "--" and nested "/* */" comments, and operators as the server reads them
// (the longest run of operator characters). Every rewrite works on these
// tokens, so nothing inside a literal, a quoted name or a comment is ever
// changed, whatever the caller's condition holds.

#ifndef OSTREL_POSTGRES_SQL_LEXER_H
#define OSTREL_POSTGRES_SQL_LEXER_H

#include <cstddef>
#include <string>
#include <vector>

enum class TokenKind {
    kWord,        // a keyword or an unquoted name
    kQuotedName,  // "..." or U&"..."
    kString,      // any kind of string literal
    kNumber,
    kParameter,  // $1, $2, ...
    kOperator,   // a run of operator characters: =, <>, ?|, @>, ...
    kMarker,     // a "?" that marks an input value (see pg_tokens)
    kOpen,
    kClose,
    kComma,
    kSemicolon,
    kDot,
    kOther,  // [, ], ::, : and anything the server alone judges
};

struct Token {
    TokenKind kind;
    size_t begin;
    size_t end;
    int depth;  // parentheses around the token (an opening one counts from after it)
};

// The tokens of text, comments and blanks left out. standard_strings tells
// how the server reads backslashes in '...' (its
// standard_conforming_strings): as themselves when true, as escapes when
// false. A literal, quoted name or comment that is not closed runs to the
// end (the server says what is wrong).
//
// A "?" is the library's input marker where an operand stands: at the start,
// after an operator, "(", "[" or ",", or after a keyword that an expression
// follows (WHERE, AND, SELECT, ...); "x=?" reads as "x = ?". Anywhere else
// (after a name, a literal or ")") it is an operator of the server's, as
// jsonb's "tags ? 'key'", and so is every longer run such as "?|" and "?&".
std::vector<Token> pg_tokens(const std::string& text, bool standard_strings);

// Whether token is the bare word word (lower case), in any letter case.
bool is_word(const std::string& text, const Token& token, const char* word);

// text with every kMarker of tokens numbered "$1", "$2", ... in order.
std::string with_numbered_markers(const std::string& text, const std::vector<Token>& tokens);

#endif
