// Statements: preparing texts under the caller's ids, executing them into
// single values, and executing texts directly with input values. The engine
// prepares and runs them; a text holds exactly one statement.

#include <cstring>
#include <string>
#include <utility>

#include "core/dialect.h"
#include "core/status.h"
#include "core/trace.h"
#include "front/connection.h"
#include "front/sql_objects.h"
#include "values/values.h"

namespace {

// Removes the objects that refer to statement: its cursors are closed and
// no descriptor keeps reading its row.
void detach_statement(SqlObjects& objects, Statement* statement) {
    for (auto& cursor : objects.cursors) {
        if (cursor->statement == statement) {
            cursor->statement = nullptr;
            cursor->open = false;
        }
    }
    for (auto& descriptor : objects.descriptors) {
        if (descriptor->row_source == statement) {
            descriptor->row_source = nullptr;
        }
    }
}

// Prepares text (in the caller's dialect) with the engine. Leaves a
// condition naming what_for.
bool prepare_text(const char* text, const char* what_for, EnginePrepared* prepared) {
    Connection& connection = session_connection();
    std::string sql = statement_for_engine(text);
    return connection.engine->prepare(connection.database, sql.c_str(), what_for, prepared);
}

// Makes prepared (of text) the engine statement of statement, releasing its
// earlier one.
void install_prepared(Statement& statement, const char* text, EnginePrepared& prepared) {
    release_statement(statement);
    RowStepper& stepper = statement.stepper;
    stepper.engine = session_connection().engine;
    stepper.statement = prepared.statement;
    stepper.column_count = prepared.column_count;
    shape_fetch_columns(stepper.shapes, prepared.shape_columns, prepared.column_count);
    statement.switches_trace = names_trace_function(text);
    statement.parameter_count = prepared.parameter_count;
    statement.column_names = std::move(prepared.column_names);
    statement.described = false;
    statement.columns.clear();
}

int fail_step(Statement& statement, const char* label) {
    std::string what = std::string("Statement '") + label + "' failed";
    return report_step_error(statement, what.c_str());
}

// Runs statement, which must yield at most one row, into outputs. A null
// value goes only into a var buffer (as length 0); for other outputs there
// is no indicator to carry it, so it is refused.
int run_single_row(Statement& statement, const char* label, OslHostValue* outputs,
                   int output_count) {
    int columns = statement.stepper.column_count;
    if (columns != output_count) {
        return status_error(OslError::kValueCountMismatch,
                            "Statement '%s' returns %d values, but %d output values were given.",
                            label, columns, output_count);
    }
    reset_statement(statement);
    StepResult result = step_statement(statement);
    if (result == StepResult::kDone) {
        reset_statement(statement);
        return status_set(columns == 0 ? OSL_OK : OSL_NO_ROW);
    }
    if (result == StepResult::kError) {
        return fail_step(statement, label);
    }
    for (int i = 0; i < output_count; ++i) {
        ColumnDescription d = description_for_host(
            outputs[i].host_type, statement.column_names[static_cast<size_t>(i)].c_str());
        ValueSource source{&statement.row[i], &d, label, false};
        bool is_null = false;
        if (read_value(source, outputs[i], &is_null) < 0) {
            reset_statement(statement);
            return osl_status();
        }
        if (is_null && d.type != OSL_SQL_VAR_BINARY) {
            reset_statement(statement);
            return status_error(OslError::kNullValue,
                                "Column '%s' of statement '%s' is null, and its output value "
                                "cannot show a null.",
                                d.name.c_str(), label);
        }
    }
    result = step_statement(statement);
    if (result == StepResult::kError) {
        return fail_step(statement, label);
    }
    reset_statement(statement);
    if (result == StepResult::kRow) {
        return status_error(OslError::kMoreThanOneRow,
                            "Statement '%s' returns more than one row where one was expected.",
                            label);
    }
    return status_set(OSL_OK);
}

}  // namespace

int osl_prepare(const char* statement_id, const char* text) {
    status_begin();
    if (!require_connection("Prepare")) {
        return osl_status();
    }
    std::string what = std::string("Statement '") + statement_id + "'";
    trace_event("prepare", statement_id, text);
    EnginePrepared prepared;
    if (!prepare_text(text, what.c_str(), &prepared)) {
        return osl_status();
    }
    SqlObjects& objects = sql_objects();
    Statement* statement = find_statement(statement_id);
    if (statement != nullptr) {
        detach_statement(objects, statement);
    } else {
        objects.statements.push_back(std::make_unique<Statement>());
        statement = objects.statements.back().get();
        statement->id = statement_id;
    }
    install_prepared(*statement, text, prepared);
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
    detach_statement(sql_objects(), statement);
    return run_single_row(*statement, statement_id, outputs, output_count);
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
    EnginePrepared prepared;
    if (!prepare_text(text, what.c_str(), &prepared)) {
        return osl_status();
    }
    // An unnamed statement of its own, released when this call ends.
    Statement statement;
    install_prepared(statement, text, prepared);
    int status = 0;
    if (statement.parameter_count != input_count) {
        status = status_error(OslError::kValueCountMismatch,
                              "Statement '%s' has %d input markers, but %d input values were "
                              "given.",
                              label.c_str(), statement.parameter_count, input_count);
    }
    const EngineOps& engine = *statement.stepper.engine;
    for (int i = 0; status == 0 && i < input_count; ++i) {
        HostCell input;
        if (!cell_from_host(inputs[i], &input) ||
            !engine.bind(statement.stepper.statement, i + 1, input.cell)) {
            status = status_error(OslError::kHostTypeMismatch,
                                  "Statement '%s': input value %d of host type %d cannot be bound.",
                                  label.c_str(), i + 1, inputs[i].host_type);
        }
    }
    if (status == 0) {
        status = run_single_row(statement, label.c_str(), outputs, output_count);
    }
    release_statement(statement);
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
    *count = statement->parameter_count;
    return status_set(OSL_OK);
}

int osl_free_statement(const char* statement_id) {
    status_begin();
    if (!require_connection("Free")) {
        return osl_status();
    }
    SqlObjects& objects = sql_objects();
    Statement* statement = find_statement(statement_id);
    if (statement == nullptr) {
        return status_error(OslError::kUnknownStatement,
                            "Statement '%s' cannot be freed: it is not prepared.", statement_id);
    }
    trace_event("free", statement_id, "");
    detach_statement(objects, statement);
    release_statement(*statement);
    objects.last_statement = nullptr;
    for (size_t i = 0; i < objects.statements.size(); ++i) {
        if (objects.statements[i].get() == statement) {
            objects.statements.erase(objects.statements.begin() + static_cast<long>(i));
            break;
        }
    }
    return status_set(OSL_OK);
}
