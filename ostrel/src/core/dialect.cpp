// The statement-text dialect: EXECUTE FUNCTION, names in SQL and in
// messages, and the short form of a statement in messages.

#include "core/dialect.h"

#include <strings.h>

#include <cctype>
#include <cstring>

#include "common/blanks.h"

namespace {

constexpr size_t kShownTextChars = 60;  // of an unnamed statement, in a message
constexpr char kTraceFunction[] = "GX_Trace";

bool skip_word(const char*& p, const char* word) {
    size_t length = std::strlen(word);
    if (strncasecmp(p, word, length) != 0 || std::isalnum(static_cast<unsigned char>(p[length])) ||
        p[length] == '_') {
        return false;
    }
    p += length;
    return true;
}

}  // namespace

std::string statement_for_engine(const char* text) {
    const char* p = text;
    while (is_blank(*p)) {
        ++p;
    }
    const char* start = p;
    if (!skip_word(p, "EXECUTE") || !is_blank(*p)) {
        return text;
    }
    while (is_blank(*p)) {
        ++p;
    }
    if (!skip_word(p, "FUNCTION")) {
        return text;
    }
    return std::string(text, static_cast<size_t>(start - text)) + "SELECT" + p;
}

std::string quoted_identifier(const std::string& name) {
    std::string quoted = "\"";
    for (char c : name) {
        quoted += c == '"' ? "\"\"" : std::string(1, c);
    }
    return quoted + "\"";
}

std::string shown_identifier(const std::string& name) {
    bool plain = !name.empty() && !std::isdigit(static_cast<unsigned char>(name[0]));
    for (char c : name) {
        plain &= (c >= 'a' && c <= 'z') || std::isdigit(static_cast<unsigned char>(c)) ||
                 c == '_' || c == '$';
    }
    return plain ? name : quoted_identifier(name);
}

bool names_trace_function(const char* text) {
    for (const char* p = text; *p != '\0'; ++p) {
        if (strncasecmp(p, kTraceFunction, sizeof kTraceFunction - 1) == 0) {
            return true;
        }
    }
    return false;
}

std::string shown_text(const char* text) {
    std::string shown;
    for (const char* p = text; *p != '\0' && shown.size() < kShownTextChars; ++p) {
        bool blank = is_blank(*p);
        if (blank && (shown.empty() || shown.back() == ' ')) {
            continue;
        }
        shown.push_back(blank ? ' ' : *p);
    }
    if (std::strlen(text) > kShownTextChars) {
        shown += "...";
    }
    return shown;
}
