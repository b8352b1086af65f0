// PostgreSQL's lexical syntax (see sql_lexer.h), read the way the server's
// own scanner reads it.

#include "postgres/sql_lexer.h"

#include <strings.h>

#include <cctype>
#include <cstring>

namespace {

// The characters the server builds operators of.
constexpr const char kOperatorChars[] = "~!@#^&|`?+-*/%<>=";
// In an operator of these alone a trailing + or - is not part of it
// ("=-1" is "=" and "-1"), as the server reads it.
constexpr const char kTrailingSignKeepers[] = "~!@#^&|`?%";
// "x=?" reads as "x = ?": these comparisons glued to a marker.
constexpr const char* kMarkerComparisons[] = {"=", "<>", "!=", "<", ">", "<=", ">="};

// The keywords after which an operand stands, so that a "?" there is a
// marker. Most are reserved in PostgreSQL; "between", "by" and "escape" are
// not, so a bare column of one of those names followed by jsonb's "?" reads
// as a marker (quoting the name keeps the operator), the price of markers
// where the grammar wants them.
constexpr const char* kOperandKeywords[] = {
    "all",   "and",    "any",    "array", "between", "by",        "case",   "distinct",
    "else",  "escape", "for",    "from",  "having",  "ilike",     "in",     "like",
    "limit", "not",    "offset", "on",    "or",      "returning", "select", "some",
    "then",  "to",     "using",  "when",  "where",   "with"};

bool is_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

bool is_ident_start(char c) {
    unsigned char u = static_cast<unsigned char>(c);
    return (u < 0x80 && std::isalpha(u)) || c == '_' || u >= 0x80;
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

bool is_ident_char(char c) {
    return is_ident_start(c) || is_digit(c) || c == '$';
}

bool is_operator_char(char c) {
    return c != '\0' && std::strchr(kOperatorChars, c) != nullptr;
}

bool starts(const std::string& text, size_t at, const char* prefix) {
    return text.compare(at, std::strlen(prefix), prefix) == 0;
}

// Where the comment that starts at text[at] ends; at when none starts there.
// Block comments nest.
size_t comment_end(const std::string& text, size_t at) {
    if (starts(text, at, "--")) {
        size_t end = text.find('\n', at);
        return end == std::string::npos ? text.size() : end;
    }
    if (!starts(text, at, "/*")) {
        return at;
    }
    int nesting = 0;
    size_t p = at;
    while (p < text.size()) {
        if (starts(text, p, "/*")) {
            ++nesting;
            p += 2;
        } else if (starts(text, p, "*/")) {
            p += 2;
            if (--nesting == 0) {
                return p;
            }
        } else {
            ++p;
        }
    }
    return text.size();
}

// The end of the quoted run whose opening quote is text[at]: a doubled quote
// stands for one; with backslashes, a backslash takes the next character.
size_t quoted_end(const std::string& text, size_t at, bool backslashes) {
    char quote = text[at];
    size_t p = at + 1;
    while (p < text.size()) {
        char c = text[p];
        if (backslashes && c == '\\') {
            p += 2;
            continue;
        }
        if (c == quote) {
            if (p + 1 < text.size() && text[p + 1] == quote) {
                p += 2;
                continue;
            }
            return p + 1;
        }
        ++p;
    }
    return text.size();
}

// The length of the dollar-quote delimiter ("$$" or "$tag$") at text[at]; 0
// when none starts there.
size_t dollar_delimiter(const std::string& text, size_t at) {
    size_t p = at + 1;
    if (p < text.size() && text[p] == '$') {
        return 2;
    }
    if (p >= text.size() || !is_ident_start(text[p])) {
        return 0;
    }
    while (p < text.size() && (is_ident_start(text[p]) || is_digit(text[p]))) {
        ++p;
    }
    return p < text.size() && text[p] == '$' ? p + 1 - at : 0;
}

// The end of the string literal with a prefix at text[at] (E'', B'', X'',
// N'', U&''), or at when none starts there.
size_t prefixed_string_end(const std::string& text, size_t at, bool standard_strings) {
    char c = static_cast<char>(std::tolower(static_cast<unsigned char>(text[at])));
    if (at + 1 < text.size() && text[at + 1] == '\'' && std::strchr("ebxn", c) != nullptr) {
        return quoted_end(text, at + 1, c == 'e' || !standard_strings);
    }
    if (c == 'u' && at + 2 < text.size() && text[at + 1] == '&' && text[at + 2] == '\'') {
        return quoted_end(text, at + 2, false);
    }
    return at;
}

size_t number_end(const std::string& text, size_t at) {
    size_t p = at;
    bool point = false;
    while (p < text.size()) {
        char c = text[p];
        if (c == '.' && !point && !starts(text, p, "..")) {
            point = true;
            ++p;
        } else if ((c == 'e' || c == 'E') && p + 2 < text.size() &&
                   (text[p + 1] == '+' || text[p + 1] == '-') && is_digit(text[p + 2])) {
            p += 3;
        } else if (std::isalnum(static_cast<unsigned char>(c)) || c == '_') {
            ++p;
        } else {
            break;
        }
    }
    return p;
}

// The end of the operator at text[at], as the server cuts it: the longest
// run of operator characters that starts no comment, less a trailing sign
// where the server drops it.
size_t operator_end(const std::string& text, size_t at) {
    size_t p = at;
    while (p < text.size() && is_operator_char(text[p]) &&
           (p == at || (!starts(text, p, "--") && !starts(text, p, "/*")))) {
        ++p;
    }
    if (p - at > 1 && (text[p - 1] == '+' || text[p - 1] == '-')) {
        bool keeps = false;
        for (size_t i = at; i < p; ++i) {
            keeps |= std::strchr(kTrailingSignKeepers, text[i]) != nullptr;
        }
        while (!keeps && p - at > 1 && (text[p - 1] == '+' || text[p - 1] == '-')) {
            --p;
        }
    }
    return p;
}

bool is_operand_keyword(const std::string& text, const Token& token) {
    for (const char* keyword : kOperandKeywords) {
        if (is_word(text, token, keyword)) {
            return true;
        }
    }
    return false;
}

// Whether an operand is what comes after the tokens so far.
bool operand_expected(const std::string& text, const std::vector<Token>& tokens) {
    if (tokens.empty()) {
        return true;
    }
    const Token& last = tokens.back();
    switch (last.kind) {
        case TokenKind::kOperator:
        case TokenKind::kOpen:
        case TokenKind::kComma:
        case TokenKind::kSemicolon:
            return true;
        case TokenKind::kOther:
            return text[last.begin] == '[';
        case TokenKind::kWord:
            return is_operand_keyword(text, last);
        default:
            return false;
    }
}

// Adds the operator at [begin, end), split where it is a comparison glued
// to a marker, and tells a "?" marker from the server's operator. Where an
// operand is expected no operator of the server's can begin with "?" (they
// all want one on their left), so a "?" there is a marker, whatever follows
// it ("?||'%'"); the rest is lexed after it.
void add_operator(const std::string& text, size_t begin, size_t end, int depth,
                  std::vector<Token>& tokens) {
    std::string op = text.substr(begin, end - begin);
    if (op.size() > 1 && op[0] == '?' && operand_expected(text, tokens)) {
        tokens.push_back({TokenKind::kMarker, begin, begin + 1, depth});
        return;
    }
    for (const char* comparison : kMarkerComparisons) {
        if (op.size() == std::strlen(comparison) + 1 && op.back() == '?' &&
            op.compare(0, op.size() - 1, comparison) == 0) {
            tokens.push_back({TokenKind::kOperator, begin, end - 1, depth});
            tokens.push_back({TokenKind::kMarker, end - 1, end, depth});
            return;
        }
    }
    bool marker = op == "?" && operand_expected(text, tokens);
    tokens.push_back({marker ? TokenKind::kMarker : TokenKind::kOperator, begin, end, depth});
}

}  // namespace

bool is_word(const std::string& text, const Token& token, const char* word) {
    size_t length = token.end - token.begin;
    return token.kind == TokenKind::kWord && length == std::strlen(word) &&
           strncasecmp(text.c_str() + token.begin, word, length) == 0;
}

std::vector<Token> pg_tokens(const std::string& text, bool standard_strings) {
    std::vector<Token> tokens;
    int depth = 0;
    size_t at = 0;
    while (at < text.size()) {
        char c = text[at];
        if (is_space(c)) {
            ++at;
            continue;
        }
        size_t end = comment_end(text, at);
        if (end > at) {
            at = end;
            continue;
        }
        Token token{TokenKind::kOther, at, at + 1, depth};
        if (c == '\'') {
            token.kind = TokenKind::kString;
            token.end = quoted_end(text, at, !standard_strings);
        } else if (c == '"') {
            token.kind = TokenKind::kQuotedName;
            token.end = quoted_end(text, at, false);
        } else if ((end = prefixed_string_end(text, at, standard_strings)) > at) {
            token.kind = TokenKind::kString;
            token.end = end;
        } else if ((c == 'u' || c == 'U') && starts(text, at + 1, "&\"")) {
            token.kind = TokenKind::kQuotedName;
            token.end = quoted_end(text, at + 2, false);
        } else if (is_ident_start(c)) {
            token.kind = TokenKind::kWord;
            while (token.end < text.size() && is_ident_char(text[token.end])) {
                ++token.end;
            }
        } else if (is_digit(c) || (c == '.' && at + 1 < text.size() && is_digit(text[at + 1]))) {
            token.kind = TokenKind::kNumber;
            token.end = number_end(text, at);
        } else if (c == '$' && at + 1 < text.size() && is_digit(text[at + 1])) {
            token.kind = TokenKind::kParameter;
            while (token.end < text.size() && is_digit(text[token.end])) {
                ++token.end;
            }
        } else if (c == '$' && dollar_delimiter(text, at) > 0) {
            size_t length = dollar_delimiter(text, at);
            size_t close = text.find(text.substr(at, length), at + length);
            token.kind = TokenKind::kString;
            token.end = close == std::string::npos ? text.size() : close + length;
        } else if (is_operator_char(c)) {
            add_operator(text, at, operator_end(text, at), depth, tokens);
            at = tokens.back().end;
            continue;
        } else if (c == '(') {
            token.kind = TokenKind::kOpen;
            ++depth;
        } else if (c == ')') {
            depth = depth > 0 ? depth - 1 : 0;
            token.kind = TokenKind::kClose;
            token.depth = depth;
        } else if (c == ',') {
            token.kind = TokenKind::kComma;
        } else if (c == ';') {
            token.kind = TokenKind::kSemicolon;
        } else if (c == '.') {
            token.kind = TokenKind::kDot;
        } else if (c == ':' && at + 1 < text.size() && text[at + 1] == ':') {
            token.end = at + 2;
        }
        tokens.push_back(token);
        at = token.end;
    }
    return tokens;
}

std::string with_numbered_markers(const std::string& text, const std::vector<Token>& tokens) {
    std::string result;
    result.reserve(text.size() + 8);
    size_t copied = 0;
    int number = 0;
    for (const Token& token : tokens) {
        if (token.kind == TokenKind::kMarker) {
            result.append(text, copied, token.begin - copied);
            result += "$" + std::to_string(++number);
            copied = token.end;
        }
    }
    result.append(text, copied, std::string::npos);
    return result;
}
