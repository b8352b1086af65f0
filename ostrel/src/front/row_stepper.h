// Stepping a statement's rows: one indirect call into the engine per row,
// with the shape columns converted on fetch (values/shape_fetch.h). The
// stepper is all of a statement that its rows need, and all that a reader
// thread is handed (front/row_reader.h): nothing of the session, of its
// trace or of what the caller's thread changes meanwhile.

#ifndef OSTREL_FRONT_ROW_STEPPER_H
#define OSTREL_FRONT_ROW_STEPPER_H

#include "engine/engine.h"
#include "values/shape_fetch.h"

struct RowStepper {
    const EngineOps* engine = nullptr;
    EngineStatement* statement = nullptr;  // null until prepared
    int column_count = 0;
    ShapeFetch shapes;
};

// Steps to the next row: kRow with *row pointing at it (its shape columns
// converted, each conversion reported to trace when it is not null), kDone,
// or kError, after which stepper_report_error leaves the conditions.
inline StepResult stepper_step(RowStepper& stepper, const Cell** row, GxTraceCall trace) {
    StepResult result = stepper.engine->step(stepper.statement, row);
    if (result == StepResult::kRow && !stepper.shapes.columns.empty()) {
        *row = shape_fetch_row(stepper.shapes, *row, stepper.column_count, trace);
        result = *row != nullptr ? StepResult::kRow : StepResult::kError;
    }
    return result;
}

// Readies the statement to run from its first row.
void stepper_reset(RowStepper& stepper);

// Finalizes the engine statement, if there is one.
void stepper_release(RowStepper& stepper);

// The conditions of the failed step (the engine's, or the converter's for a
// shape column), what naming the operation; resets the statement. Returns
// the status.
int stepper_report_error(RowStepper& stepper, const char* what);

#endif
