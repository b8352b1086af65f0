// Statement texts as the server takes them. The caller writes one statement
// in the library's dialect; the server gets it with its "?" markers numbered
// ($1, $2, ...), each GX_AsShape(geometry) of the select list asking for the
// geometry's WKB instead (PostGIS's ST_AsBinary, a geography through
// geometry), under a placeholder name by which the engine finds the column
// again to have the front convert it on fetch with the library's own
// converter, GX_Srid(geometry) as PostGIS's ST_SRID, and the library's
// catalog relations it names defined in the statement itself (catalog.cpp).
// GX_Trace(file, level) the library answers itself. Every rewrite reads the
// text through the server's own lexical rules (sql_lexer.h): nothing inside
// a literal, a quoted name or a comment is touched.
//
// Only a whole item of the select list can be converted on fetch, so
// GX_AsShape anywhere else is refused rather than answered with WKB.

#include "postgres/statement_text.h"

#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "core/dialect.h"
#include "postgres/catalog.h"
#include "postgres/postgres_internal.h"
#include "postgres/sql_lexer.h"

namespace {

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

// A '...' literal without a prefix: its text is what stands between the
// quotes, a doubled quote read as one.
bool is_plain_string(const std::string& text, const Token& token) {
    return token.kind == TokenKind::kString && text[token.begin] == '\'';
}

// GX_Trace('file', level) alone in a SELECT: the file's text and the level
// as written (a quoted level without its quotes).
bool read_trace_call(const std::string& text, const std::vector<Token>& tokens, ServerText* out) {
    constexpr size_t kCallTokens = 7;  // SELECT GX_Trace ( 'file' , level )
    if (tokens.size() != kCallTokens || !is_word(text, tokens[0], "select") ||
        !is_word(text, tokens[1], "gx_trace") || tokens[2].kind != TokenKind::kOpen ||
        !is_plain_string(text, tokens[3]) || tokens[4].kind != TokenKind::kComma ||
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
    out->trace_level = is_plain_string(text, tokens[5])
                           ? literal(tokens[5])
                           : text.substr(tokens[5].begin, tokens[5].end - tokens[5].begin);
    out->trace_name = text.substr(tokens[1].begin, tokens[6].end - tokens[1].begin);
    return true;
}

// The GX_AsShape call at tokens[i] as a select item asking for the
// geometry's EWKB under a placeholder name, replaced in result, where the
// calls rewritten inside it moved its end by shift; false with the condition
// left when it is not a whole item of the select list.
bool rewrite_shape_item(const std::string& text, const std::vector<Token>& tokens, size_t i,
                        size_t close, std::ptrdiff_t shift, int number, const char* what,
                        const Postgis& postgis, std::string& result, ServerText* out) {
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
    item.placeholder = "ostrel.shape." + std::to_string(number);
    item.shown_name = has_alias ? name_as_written(text, tokens[alias])
                                : text.substr(tokens[i].begin, tokens[close].end - tokens[i].begin);
    size_t argument_end = tokens[close].begin + shift;
    std::string argument = result.substr(tokens[i + 1].end, argument_end - tokens[i + 1].end);
    std::string wkb = postgis.schema + ".st_asbinary((" + argument + ")::" + postgis.schema +
                      ".geometry) AS \"" + item.placeholder + "\"";
    size_t replaced_end = (has_alias ? tokens[alias].end : tokens[close].end) + shift;
    result.replace(tokens[i].begin, replaced_end - tokens[i].begin, wkb);
    out->shapes.insert(out->shapes.begin(), item);
    return true;
}

}  // namespace

bool server_text(const char* caller_text, const char* what, const PgDatabase& database,
                 ServerText* out) {
    const Postgis& postgis = database.postgis;
    std::string text = caller_text;
    std::vector<Token> tokens = pg_tokens(text, database.standard_strings);
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

    // Right to left, so the offsets of the calls still to do stay true up to
    // their closing parenthesis; what the calls inside one (GX_Srid within
    // GX_AsShape, say) added before it is counted into its end.
    struct Rewrite {
        size_t begin;
        std::ptrdiff_t added;
    };
    std::vector<Rewrite> rewrites;
    auto shift_before = [&](size_t end) {
        std::ptrdiff_t shift = 0;
        for (const Rewrite& rewrite : rewrites) {
            shift += rewrite.begin < end ? rewrite.added : 0;
        }
        return shift;
    };
    int shapes = 0;
    for (size_t i = 0; i + 1 < tokens.size(); ++i) {
        shapes += is_word(text, tokens[i], "gx_asshape") && tokens[i + 1].kind == TokenKind::kOpen;
    }
    std::string result = text;
    int number = shapes;
    for (size_t i = tokens.size(); i-- > 0;) {
        bool shape = is_word(text, tokens[i], "gx_asshape");
        if (!(shape || is_word(text, tokens[i], "gx_srid")) || i + 1 == tokens.size() ||
            tokens[i + 1].kind != TokenKind::kOpen) {
            continue;
        }
        size_t close = matching_close(tokens, i + 1);
        if (close == tokens.size()) {
            continue;  // unbalanced: the server says what is wrong
        }
        std::ptrdiff_t shift = shift_before(tokens[close].end);
        std::ptrdiff_t length_before = static_cast<std::ptrdiff_t>(result.size());
        if (shape) {
            if (!rewrite_shape_item(text, tokens, i, close, shift, number--, what, postgis, result,
                                    out)) {
                return false;
            }
        } else {
            // GX_Srid(geometry): the SRID the value carries, NULL for NULL.
            size_t argument_end = tokens[close].begin + shift;
            std::string argument =
                result.substr(tokens[i + 1].end, argument_end - tokens[i + 1].end);
            result.replace(
                tokens[i].begin, tokens[close].end + shift - tokens[i].begin,
                postgis.schema + ".st_srid((" + argument + ")::" + postgis.schema + ".geometry)");
        }
        rewrites.push_back(
            {tokens[i].begin, static_cast<std::ptrdiff_t>(result.size()) - length_before});
    }
    if (result != text) {
        tokens = pg_tokens(result, database.standard_strings);
    }
    std::string full = with_catalog(database, result, tokens);
    if (full != result) {
        tokens = pg_tokens(full, database.standard_strings);
    }
    out->text = with_numbered_markers(full, tokens);
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
