// The .prj projection file (see projection_file.h).

#include "srs/projection_file.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "db/client.h"
#include "db/sql_error.h"
#include "report/messages.h"
#include "srs/coordsys_meaning.h"
#include "text/characters.h"
#include "text/text_append.h"

static const char* const kUnknown = "UNKNOWN";
static const char kSrsStatement[] = "srsel";

void srs_query_text(const SpatialColumn& geometry, char* buffer, size_t size) {
    static const char* const kWhat = "spatial-reference query";
    buffer[0] = '\0';
    append_or_fail(buffer, size, kWhat,
                   "SELECT sr.srid, sr.srtext\nFROM   geometry_columns gc, spatial_references "
                   "sr\nWHERE  ");
    append_column_condition(buffer, size, kWhat, geometry, "gc", " AND\n       ");
    append_or_fail(buffer, size, kWhat, " AND\n       gc.srid = sr.srid;\n");
}

void fetch_spatial_reference(const SpatialColumn& geometry, char* work_buffer, size_t work_size,
                             SpatialReference& reference) {
    srs_query_text(geometry, work_buffer, work_size);
    if (attached_log_stream() != nullptr) {
        log_note("Retrieving spatial reference for geometry column ...\n\n%s", work_buffer);
    }
    if (osl_prepare(kSrsStatement, work_buffer) < 0) {
        check_sql();
    }
    OslHostValue outputs[] = {
        {OSL_HOST_INT32, &reference.srid, sizeof reference.srid},
        {OSL_HOST_CSTRING, reference.text, sizeof reference.text},
    };
    int status = osl_execute_into(kSrsStatement, outputs, 2);
    if (status < 0) {
        check_sql();
    }
    if (status == OSL_NO_ROW) {
        refuse_unknown_spatial_column(geometry);
    }
    // The fetch is bounded by the buffer and never splits a UTF-8 character,
    // so a text that filled the buffer to within a character may be cut.
    if (std::strlen(reference.text) + 4 >= sizeof reference.text) {
        fatal_error("The coordinate-system text of column %s.%s is longer than %zu bytes.",
                    geometry.table_name, geometry.column_name, sizeof reference.text - 4);
    }
}

bool write_projection_file(FILE* prj, const char* prj_name, const SpatialReference& reference) {
    if (std::strcmp(reference.text, kUnknown) == 0) {
        return false;
    }
    errno = 0;
    if (!write_text(reference.text, prj)) {
        file_error("Write", prj_name, errno);
    }
    return true;
}

static void print_mismatch_tail(const SpatialReference& reference) {
    console_note("Spatial reference text for SRID %d ... \n\n\t%s", reference.srid, reference.text);
    console_note("Coordinate system mismatch ... exiting.");
}

bool projection_file_matches(const char* prj_name, const SpatialReference& reference, FILE*& prj) {
    prj = std::fopen(prj_name, "rb");
    if (prj == nullptr) {
        // A .prj that is there but cannot be read is no missing one.
        if (errno != ENOENT) {
            file_error("File open", prj_name, errno);
        }
        if (!coordsys_differ(reference.text, kUnknown)) {
            return true;
        }
        console_note("Coordinate system UNKNOWN ... file %s not found.", prj_name);
        print_mismatch_tail(reference);
        return false;
    }
    static char file_text[kProjectionTextBytes + 1];
    if (!read_prj_text(file_text, sizeof file_text, prj)) {
        fatal_error(
            "File %s is longer than %zu bytes; it cannot hold a coordinate system of "
            "this program's.",
            prj_name, kProjectionTextBytes);
    }
    if (std::ferror(prj)) {
        file_error("Read", prj_name, errno);
    }
    if (!coordsys_differ(reference.text, file_text)) {
        return true;
    }
    if (coordsys_meaning(reference.text, file_text) == CoordsysMeaning::kSame) {
        if (attached_log_stream() != nullptr) {
            log_note(
                "The coordinate system of %s is written differently from that of SRID %d but "
                "is the same; appending.",
                prj_name, reference.srid);
        }
        return true;
    }
    console_note("Coordinate system info from %s ... \n\n\t%s", prj_name, file_text);
    print_mismatch_tail(reference);
    return false;
}

bool read_prj_text(char* buffer, size_t size, FILE* stream) {
    size_t count = std::fread(buffer, 1, size - 1, stream);
    if (count == size - 1 && std::fgetc(stream) != EOF) {
        return false;
    }
    // Drop whatever follows the last ']' (a line end, blanks); without any
    // ']' the whole text goes, and an empty text never matches.
    size_t end = count;
    while (end > 0 && buffer[end - 1] != ']') {
        --end;
    }
    buffer[end] = '\0';
    return true;
}

bool write_text(const char* text, FILE* stream) {
    size_t length = std::strlen(text);
    return std::fwrite(text, 1, length, stream) == length;
}

// The blanks of a coordinate-system text: those of every text, and the
// backspace that some writers of .prj files leave.
static bool is_prj_blank(char c) {
    return c == '\t' || c == '\r' || c == '\n' || c == '\b' || c == ' ';
}

char* trim_blanks(char* text) {
    char* start = text;
    while (is_prj_blank(*start)) {
        ++start;
    }
    size_t length = std::strlen(start);
    std::memmove(text, start, length + 1);
    while (length > 0 && is_prj_blank(text[length - 1])) {
        text[--length] = '\0';
    }
    return text;
}

static bool is_delimiter(char c) {
    return c == '[' || c == ']' || c == ',' || c == '"';
}

// Splits a lower-cased copy of text into its trimmed, non-blank tokens.
static std::vector<std::string> coordsys_tokens(const char* text) {
    std::vector<std::string> tokens;
    std::string token;
    for (const char* p = text;; ++p) {
        if (*p == '\0' || is_delimiter(*p)) {
            std::vector<char> copy(token.begin(), token.end());
            copy.push_back('\0');
            trim_blanks(copy.data());
            if (copy[0] != '\0') {
                tokens.emplace_back(copy.data());
            }
            token.clear();
            if (*p == '\0') {
                break;
            }
        } else {
            token.push_back(ascii_lower(*p));
        }
    }
    return tokens;
}

static bool starts_like_number(const std::string& token) {
    char c = token[0];
    return (c >= '0' && c <= '9') || c == '.' || c == '-';
}

static bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// The value of the longest leading part of token that reads as a decimal
// number (sign, digits, point, exponent); 0 when there is none. Hexadecimal
// and the words inf and nan are not decimal numbers here.
static double leading_decimal(const std::string& token) {
    size_t i = 0;
    const size_t n = token.size();
    if (i < n && token[i] == '-') {
        ++i;
    }
    size_t digits = 0;
    while (i < n && is_digit(token[i])) {
        ++i, ++digits;
    }
    if (i < n && token[i] == '.') {
        ++i;
        while (i < n && is_digit(token[i])) {
            ++i, ++digits;
        }
    }
    if (digits == 0) {
        return 0.0;
    }
    if (i < n && (token[i] == 'e' || token[i] == 'E')) {
        size_t j = i + 1;
        if (j < n && (token[j] == '+' || token[j] == '-')) {
            ++j;
        }
        if (j < n && is_digit(token[j])) {
            while (j < n && is_digit(token[j])) {
                ++j;
            }
            i = j;
        }
    }
    return std::strtod(token.substr(0, i).c_str(), nullptr);
}

bool coordsys_differ(const char* a, const char* b) {
    if (a == nullptr || b == nullptr || a[0] == '\0' || b[0] == '\0') {
        return true;
    }
    if (std::strcmp(a, b) == 0) {
        return false;
    }
    std::vector<std::string> ta = coordsys_tokens(a);
    std::vector<std::string> tb = coordsys_tokens(b);
    if (ta.size() != tb.size()) {
        return true;
    }
    for (size_t i = 0; i < ta.size(); ++i) {
        if (ta[i] == tb[i]) {
            continue;
        }
        if (!starts_like_number(ta[i]) || !starts_like_number(tb[i])) {
            return true;
        }
        double x = leading_decimal(ta[i]);
        double y = leading_decimal(tb[i]);
        if (!(std::fabs(x - y) <= 1e-12 * (1.0 + (std::fabs(x) + std::fabs(y)) / 2.0))) {
            return true;
        }
    }
    return false;
}
