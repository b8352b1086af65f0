// Statement texts as the server takes them. The caller writes one statement
// in the library's dialect; the server gets it with its "?" markers numbered
// ($1, $2, ...), and each GX_AsShape(geometry) of the select list asking
// for the geometry's WKB instead (PostGIS's ST_AsBinary, a geography
// through geometry), under a placeholder name by which the engine finds the
// column again to have the front convert it on fetch with the library's own
// converter. GX_Trace(file, level) the library answers itself.
//
// Only a whole item of the select list can be converted on fetch, so
// GX_AsShape anywhere else is refused rather than answered with WKB.

#include <strings.h>

#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "front/dialect.h"
#include "postgres/postgres_internal.h"

namespace {

enum class TokenKind { kWord, kQuotedName, kString, kOpen, kClose, kComma, kSemicolon, kOther };

struct Token {
    TokenKind kind;
    size_t begin;
    size_t end;
    int depth;  // parentheses around the token (an opening one counts from after it)
};

bool is_word_start(char c) {
    unsigned char u = static_cast<unsigned char>(c);
    return std::isalpha(u) || c == '_' || u >= 0x80;
}

bool is_word_char(char c) {
    return is_word_start(c) || std::isdigit(static_cast<unsigned char>(c)) || c == '$';
}

// The statement's tokens; quotes and comments as the dialect reads them,
// comments left out.
std::vector<Token> tokenize(const std::string& text) {
    std::vector<Token> tokens;
    int depth = 0;
    size_t at = 0;
    while (at < text.size()) {
        char c = text[at];
        if (std::isspace(static_cast<unsigned char>(c))) {
            ++at;
            continue;
        }
        size_t skipped = skip_quoted_or_comment(text, at);
        if (skipped > at) {
            if (c == '"' || c == '\'') {
                tokens.push_back(
                    {c == '"' ? TokenKind::kQuotedName : TokenKind::kString, at, skipped, depth});
            }
            at = skipped;
            continue;
        }
        Token token{TokenKind::kOther, at, at + 1, depth};
        if (is_word_start(c) || std::isdigit(static_cast<unsigned char>(c))) {
            token.kind =
                std::isdigit(static_cast<unsigned char>(c)) ? TokenKind::kOther : TokenKind::kWord;
            while (token.end < text.size() && is_word_char(text[token.end])) {
                ++token.end;
            }
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
        }
        tokens.push_back(token);
        at = token.end;
    }
    return tokens;
}

bool is_word(const std::string& text, const Token& token, const char* word) {
    size_t length = token.end - token.begin;
    return token.kind == TokenKind::kWord && length == std::strlen(word) &&
           strncasecmp(text.c_str() + token.begin, word, length) == 0;
}

// The closing parenthesis that matches the opening one at tokens[open];
// tokens.size() when there is none.
size_t matching_close(const std::vector<Token>& tokens, size_t open) {
    for (size_t i = open + 1; i < tokens.size(); ++i) {
        if (tokens[i].kind == TokenKind::kClose && tokens[i].depth == tokens[open].depth) {
            return i;
        }
    }
    return tokens.size();
}

// A name as written: a quoted one without its quotes, "" read as ".
std::string name_as_written(const std::string& text, const Token& token) {
    std::string name = text.substr(token.begin, token.end - token.begin);
    if (token.kind != TokenKind::kQuotedName) {
        return name;
    }
    std::string unquoted;
    for (size_t i = 1; i + 1 < name.size(); ++i) {
        unquoted += name[i];
        if (name[i] == '"') {
            ++i;
        }
    }
    return unquoted;
}

// The words after which a select item has ended.
constexpr const char* kItemEnds[] = {"from",   "where",  "group", "having",    "order",
                                     "limit",  "offset", "union", "intersect", "except",
                                     "window", "fetch",  "for",   "into"};

bool ends_item(const std::string& text, const std::vector<Token>& tokens, size_t i) {
    if (i == tokens.size() || (tokens[i].kind == TokenKind::kComma && tokens[i].depth == 0)) {
        return true;
    }
    for (const char* word : kItemEnds) {
        if (is_word(text, tokens[i], word)) {
            return true;
        }
    }
    return false;
}

// Whether tokens[i] begins an item of the outermost select list.
bool starts_select_item(const std::string& text, const std::vector<Token>& tokens, size_t i) {
    if (i == 0 || tokens[i].depth != 0) {
        return false;
    }
    const Token& before = tokens[i - 1];
    if (!(before.kind == TokenKind::kComma || is_word(text, before, "select") ||
          is_word(text, before, "distinct") || is_word(text, before, "all"))) {
        return false;
    }
    bool in_list = false;
    for (size_t k = 0; k < i; ++k) {
        if (tokens[k].depth == 0 && is_word(text, tokens[k], "select")) {
            in_list = true;
        } else if (tokens[k].depth == 0 && is_word(text, tokens[k], "from")) {
            in_list = false;
        }
    }
    return in_list;
}

// GX_Trace('file', level) alone in a SELECT: the file's text and the level
// as written (a quoted level without its quotes).
bool read_trace_call(const std::string& text, const std::vector<Token>& tokens, ServerText* out) {
    constexpr size_t kCallTokens = 7;  // SELECT GX_Trace ( 'file' , level )
    if (tokens.size() != kCallTokens || !is_word(text, tokens[0], "select") ||
        !is_word(text, tokens[1], "gx_trace") || tokens[2].kind != TokenKind::kOpen ||
        tokens[3].kind != TokenKind::kString || tokens[4].kind != TokenKind::kComma ||
        tokens[6].kind != TokenKind::kClose) {
        return false;
    }
    auto literal = [&](const Token& token) {
        std::string value;
        for (size_t i = token.begin + 1; i + 1 < token.end; ++i) {
            value += text[i];
            if (text[i] == '\'') {
                ++i;
            }
        }
        return value;
    };
    out->is_trace = true;
    out->trace_file = literal(tokens[3]);
    out->trace_level = tokens[5].kind == TokenKind::kString
                           ? literal(tokens[5])
                           : text.substr(tokens[5].begin, tokens[5].end - tokens[5].begin);
    out->trace_name = text.substr(tokens[1].begin, tokens[6].end - tokens[1].begin);
    return true;
}

}  // namespace

bool server_text(const char* caller_text, const char* what, const Postgis& postgis,
                 ServerText* out) {
    std::string text = caller_text;
    std::vector<Token> tokens = tokenize(text);
    size_t statement_end = 0;
    while (statement_end < tokens.size() && tokens[statement_end].kind != TokenKind::kSemicolon) {
        ++statement_end;
    }
    if (statement_end == 0) {
        status_error(OslError::kEmptyStatement, "%s is empty.", what);
        return false;
    }
    for (size_t i = statement_end; i < tokens.size(); ++i) {
        if (tokens[i].kind != TokenKind::kSemicolon) {
            status_error(OslError::kSecondStatement,
                         "%s holds a second statement after the first: '%s'. Give one statement.",
                         what, shown_text(text.c_str() + tokens[statement_end].end).c_str());
            return false;
        }
    }
    if (statement_end < tokens.size()) {
        text.erase(tokens[statement_end].begin);
    }
    tokens.resize(statement_end);
    if (read_trace_call(text, tokens, out)) {
        return true;
    }

    // Right to left, so the offsets of the calls still to do stay true.
    int shapes = 0;
    for (size_t i = 0; i + 1 < tokens.size(); ++i) {
        shapes += is_word(text, tokens[i], "gx_asshape") && tokens[i + 1].kind == TokenKind::kOpen;
    }
    std::string result = text;
    int number = shapes;
    for (size_t i = tokens.size(); i-- > 0;) {
        if (!is_word(text, tokens[i], "gx_asshape") || i + 1 == tokens.size() ||
            tokens[i + 1].kind != TokenKind::kOpen) {
            continue;
        }
        size_t close = matching_close(tokens, i + 1);
        if (close == tokens.size()) {
            continue;  // unbalanced: the server says what is wrong
        }
        size_t after = close + 1;
        size_t alias = tokens.size();
        if (after < tokens.size() && is_word(text, tokens[after], "as")) {
            alias = after + 1;
        } else if (after < tokens.size() && !ends_item(text, tokens, after)) {
            alias = after;
        }
        bool has_alias = alias < tokens.size() && (tokens[alias].kind == TokenKind::kWord ||
                                                   tokens[alias].kind == TokenKind::kQuotedName);
        size_t item_end = has_alias ? alias + 1 : after;
        if (!starts_select_item(text, tokens, i) || (alias < tokens.size() && !has_alias) ||
            !ends_item(text, tokens, item_end)) {
            status_error(OslError::kSyntax,
                         "%s cannot be prepared: GX_AsShape is answered on a PostgreSQL server "
                         "only as a whole item of the select list.",
                         what);
            return false;
        }
        ShapeItem item;
        item.placeholder = "ostrel.shape." + std::to_string(number--);
        item.shown_name = has_alias
                              ? name_as_written(text, tokens[alias])
                              : text.substr(tokens[i].begin, tokens[close].end - tokens[i].begin);
        std::string argument =
            text.substr(tokens[i + 1].end, tokens[close].begin - tokens[i + 1].end);
        std::string wkb = postgis.schema + ".st_asbinary((" + argument + ")::" + postgis.schema +
                          ".geometry) AS \"" + item.placeholder + "\"";
        size_t replaced_end = has_alias ? tokens[alias].end : tokens[close].end;
        result.replace(tokens[i].begin, replaced_end - tokens[i].begin, wkb);
        out->shapes.insert(out->shapes.begin(), item);
    }
    out->text = numbered_markers(result);
    return true;
}

std::string text_cast_query(const std::string& query, const std::vector<PgColumn>& columns) {
    std::string items;
    std::string names;
    for (size_t i = 0; i < columns.size(); ++i) {
        std::string name = "\"" + std::to_string(i + 1) + "\"";
        items += (i > 0 ? ", ostrel_q." : "ostrel_q.") + name +
                 (columns[i].decoder == Decoder::kCastToText ? "::text" : "");
        names += (i > 0 ? ", " : "") + name;
    }
    return "SELECT " + items + " FROM (" + query + ") AS ostrel_q (" + names + ")";
}
