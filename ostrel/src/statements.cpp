// Statements: preparing texts under the caller's ids, executing them into
// single values, and executing texts directly with input values. The
// dialect is SQLite's, with "EXECUTE FUNCTION f(args)" run as
// "SELECT f(args)"; a text holds exactly one statement.

#include <cctype>
#include <cstring>
#include <string>

#include "engine.h"
#include "status.h"
#include "values.h"

namespace {

constexpr size_t kShownTextChars = 60;  // of an unnamed statement, in a message

// Removes the objects that refer to statement: its cursors are closed and
// no descriptor keeps reading its row.
void detach_statement(Session& session, Statement* statement) {
    for (auto& cursor : session.cursors) {
        if (cursor->statement == statement) {
            cursor->statement = nullptr;
            cursor->open = false;
        }
    }
    for (auto& descriptor : session.descriptors) {
        if (descriptor->row_source == statement) {
            descriptor->row_source = nullptr;
        }
    }
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

// "EXECUTE FUNCTION f(args)" -> "SELECT f(args)"; other texts unchanged.
std::string rewrite_statement(const char* text) {
    const char* p = text;
    while (std::isspace(static_cast<unsigned char>(*p))) {
        ++p;
    }
    const char* start = p;
    if (!skip_word(p, "EXECUTE")) {
        return text;
    }
    if (!std::isspace(static_cast<unsigned char>(*p))) {
        return text;
    }
    while (std::isspace(static_cast<unsigned char>(*p))) {
        ++p;
    }
    if (!skip_word(p, "FUNCTION")) {
        return text;
    }
    return std::string(text, static_cast<size_t>(start - text)) + "SELECT" + p;
}

// The statement as a message names it when it has no id: its first words.
std::string shown_text(const char* text) {
    std::string shown;
    for (const char* p = text; *p != '\0' && shown.size() < kShownTextChars; ++p) {
        bool blank = std::isspace(static_cast<unsigned char>(*p));
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

// Runs stmt, which must yield at most one row, into outputs. A null value
// goes only into a var buffer (as length 0); for other outputs there is no
// indicator to carry it, so it is refused.
int run_single_row(sqlite3_stmt* stmt, const char* label, OslHostValue* outputs, int output_count) {
    Session& session = engine_session();
    int columns = sqlite3_column_count(stmt);
    if (columns != output_count) {
        return status_error(OslError::kValueCountMismatch,
                            "Statement '%s' returns %d values, but %d output values were given.",
                            label, columns, output_count);
    }
    sqlite3_reset(stmt);
    int rc = sqlite3_step(stmt);
    if (rc == SQLITE_DONE) {
        sqlite3_reset(stmt);
        return status_set(columns == 0 ? OSL_OK : OSL_NO_ROW);
    }
    if (rc != SQLITE_ROW) {
        std::string what = std::string("Statement '") + label + "' failed";
        status_engine_error(session.db, rc, what.c_str());
        sqlite3_reset(stmt);
        return osl_status();
    }
    for (int i = 0; i < output_count; ++i) {
        ColumnDescription d =
            description_for_host(outputs[i].host_type, sqlite3_column_name(stmt, i));
        ValueSource source{stmt, i, &d, label, false, -1};
        bool is_null = false;
        if (read_value(source, outputs[i], &is_null) < 0) {
            sqlite3_reset(stmt);
            return osl_status();
        }
        if (is_null && d.type != OSL_SQL_VAR_BINARY) {
            sqlite3_reset(stmt);
            return status_error(OslError::kNullValue,
                                "Column '%s' of statement '%s' is null, and its output value "
                                "cannot show a null.",
                                d.name.c_str(), label);
        }
    }
    rc = sqlite3_step(stmt);
    sqlite3_reset(stmt);
    if (rc == SQLITE_ROW) {
        return status_error(OslError::kMoreThanOneRow,
                            "Statement '%s' returns more than one row where one was expected.",
                            label);
    }
    if (rc != SQLITE_DONE) {
        std::string what = std::string("Statement '") + label + "' failed";
        return status_engine_error(session.db, rc, what.c_str());
    }
    return status_set(OSL_OK);
}

}  // namespace

Statement* find_statement(const char* id) {
    Session& session = engine_session();
    if (session.last_statement != nullptr && same_id(session.last_statement->id, id)) {
        return session.last_statement;
    }
    for (auto& statement : session.statements) {
        if (same_id(statement->id, id)) {
            session.last_statement = statement.get();
            return statement.get();
        }
    }
    return nullptr;
}

void drop_session_objects() {
    Session& session = engine_session();
    for (auto& statement : session.statements) {
        sqlite3_finalize(statement->stmt);
    }
    session.statements.clear();
    session.descriptors.clear();
    session.cursors.clear();
    session.last_statement = nullptr;
    session.last_descriptor = nullptr;
    session.last_cursor = nullptr;
}

sqlite3_stmt* prepare_one(const char* text, const char* what_for) {
    Session& session = engine_session();
    std::string sql = rewrite_statement(text);
    sqlite3_stmt* stmt = nullptr;
    const char* tail = nullptr;
    int rc = sqlite3_prepare_v3(session.db, sql.c_str(), static_cast<int>(sql.size()),
                                SQLITE_PREPARE_PERSISTENT, &stmt, &tail);
    if (rc != SQLITE_OK) {
        std::string what = std::string(what_for) + " cannot be prepared";
        status_engine_error(session.db, rc, what.c_str());
        return nullptr;
    }
    if (stmt == nullptr) {
        status_error(OslError::kEmptyStatement, "%s is empty.", what_for);
        return nullptr;
    }
    // After the statement (and its semicolon) only blanks, semicolons and
    // comments may follow: anything SQLite would prepare is a second
    // statement, and so is anything it cannot read.
    sqlite3_stmt* second = nullptr;
    rc = sqlite3_prepare_v2(session.db, tail, -1, &second, nullptr);
    if (rc != SQLITE_OK || second != nullptr) {
        sqlite3_finalize(second);
        sqlite3_finalize(stmt);
        status_error(OslError::kSecondStatement,
                     "%s holds a second statement after the first: '%s'. Give one statement.",
                     what_for, shown_text(tail).c_str());
        return nullptr;
    }
    return stmt;
}

int osl_prepare(const char* statement_id, const char* text) {
    status_begin();
    if (!require_connection("Prepare")) {
        return osl_status();
    }
    std::string what = std::string("Statement '") + statement_id + "'";
    trace_event("prepare", statement_id, text);
    sqlite3_stmt* stmt = prepare_one(text, what.c_str());
    if (stmt == nullptr) {
        return osl_status();
    }
    Session& session = engine_session();
    Statement* statement = find_statement(statement_id);
    if (statement != nullptr) {
        detach_statement(session, statement);
        sqlite3_finalize(statement->stmt);
        statement->described = false;
        statement->columns.clear();
    } else {
        session.statements.push_back(std::make_unique<Statement>());
        statement = session.statements.back().get();
        statement->id = statement_id;
    }
    statement->stmt = stmt;
    statement->text = text;
    return status_set(OSL_OK);
}

int osl_execute_into(const char* statement_id, OslHostValue* outputs, int output_count) {
    status_begin();
    if (!require_connection("Execute")) {
        return osl_status();
    }
    Statement* statement = find_statement(statement_id);
    if (statement == nullptr) {
        return status_error(OslError::kUnknownStatement,
                            "Statement '%s' cannot be executed: it is not prepared.", statement_id);
    }
    trace_event("execute", statement_id, "");
    detach_statement(engine_session(), statement);
    return run_single_row(statement->stmt, statement_id, outputs, output_count);
}

int osl_execute_immediate(const char* text, const OslHostValue* inputs, int input_count,
                          OslHostValue* outputs, int output_count) {
    status_begin();
    if (!require_connection("Execute")) {
        return osl_status();
    }
    trace_event("execute immediate", "", text);
    std::string label = shown_text(text);
    std::string what = "Statement '" + label + "'";
    sqlite3_stmt* stmt = prepare_one(text, what.c_str());
    if (stmt == nullptr) {
        return osl_status();
    }
    int parameters = sqlite3_bind_parameter_count(stmt);
    if (parameters != input_count) {
        sqlite3_finalize(stmt);
        return status_error(OslError::kValueCountMismatch,
                            "Statement '%s' has %d input markers, but %d input values were given.",
                            label.c_str(), parameters, input_count);
    }
    for (int i = 0; i < input_count; ++i) {
        if (!bind_value(stmt, i + 1, inputs[i])) {
            sqlite3_finalize(stmt);
            return status_error(OslError::kHostTypeMismatch,
                                "Statement '%s': input value %d of host type %d cannot be bound.",
                                label.c_str(), i + 1, inputs[i].host_type);
        }
    }
    int status = run_single_row(stmt, label.c_str(), outputs, output_count);
    sqlite3_finalize(stmt);
    return status;
}

int osl_get_parameter_count(const char* statement_id, int* count) {
    status_begin();
    if (!require_connection("Count parameters")) {
        return osl_status();
    }
    Statement* statement = find_statement(statement_id);
    if (statement == nullptr) {
        return status_error(OslError::kUnknownStatement,
                            "Statement '%s' has no parameters to count: it is not prepared.",
                            statement_id);
    }
    *count = sqlite3_bind_parameter_count(statement->stmt);
    return status_set(OSL_OK);
}

int osl_free_statement(const char* statement_id) {
    status_begin();
    if (!require_connection("Free")) {
        return osl_status();
    }
    Session& session = engine_session();
    Statement* statement = find_statement(statement_id);
    if (statement == nullptr) {
        return status_error(OslError::kUnknownStatement,
                            "Statement '%s' cannot be freed: it is not prepared.", statement_id);
    }
    trace_event("free", statement_id, "");
    detach_statement(session, statement);
    sqlite3_finalize(statement->stmt);
    session.last_statement = nullptr;
    for (size_t i = 0; i < session.statements.size(); ++i) {
        if (session.statements[i].get() == statement) {
            session.statements.erase(session.statements.begin() + static_cast<long>(i));
            break;
        }
    }
    return status_set(OSL_OK);
}
