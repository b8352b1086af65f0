// The statement-text dialect: EXECUTE FUNCTION, "?" markers, and the short
// form of a statement in messages.

#include "front/dialect.h"

#include <strings.h>

#include <cctype>
#include <cstring>

namespace {

constexpr size_t kShownTextChars = 60;  // of an unnamed statement, in a message

bool is_blank(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

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

size_t skip_quoted_or_comment(const std::string& text, size_t at) {
    char c = text[at];
    if (c == '\'' || c == '"') {
        size_t p = at + 1;
        while (p < text.size()) {
            if (text[p] == c) {
                if (p + 1 < text.size() && text[p + 1] == c) {
                    p += 2;  // a doubled quote stands for one
                    continue;
                }
                return p + 1;
            }
            ++p;
        }
        return text.size();
    }
    if (c == '-' && text.compare(at, 2, "--") == 0) {
        size_t end = text.find('\n', at);
        return end == std::string::npos ? text.size() : end;
    }
    if (c == '/' && text.compare(at, 2, "/*") == 0) {
        size_t end = text.find("*/", at + 2);
        return end == std::string::npos ? text.size() : end + 2;
    }
    return at;
}

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

std::string numbered_markers(const std::string& text) {
    std::string result;
    result.reserve(text.size() + 8);
    int number = 0;
    size_t at = 0;
    while (at < text.size()) {
        size_t skipped = skip_quoted_or_comment(text, at);
        if (skipped > at) {
            result.append(text, at, skipped - at);
            at = skipped;
        } else if (text[at] == '?') {
            result += "$" + std::to_string(++number);
            ++at;
        } else {
            result += text[at++];
        }
    }
    return result;
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
