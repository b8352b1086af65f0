// Stepping a statement's rows, and what is left when a step fails.

#include "front/row_stepper.h"

#include "core/status.h"

void stepper_reset(RowStepper& stepper) {
    stepper.engine->reset(stepper.statement);
}

void stepper_release(RowStepper& stepper) {
    if (stepper.statement != nullptr) {
        stepper.engine->finalize(stepper.statement);
        stepper.statement = nullptr;
    }
}

int stepper_report_error(RowStepper& stepper, const char* what) {
    int status = 0;
    ShapeFetch& shapes = stepper.shapes;
    if (shapes.failed) {
        // The converter's own words first; the library's condition after
        // them says where it happened, as for the embedded GX_AsShape.
        shapes.failed = false;
        status_extension_error(shapes.error.sql_state, shapes.error.message);
        status = status_error(OslError::kEngineError, "%s.", what);
    } else {
        status = stepper.engine->report_error(stepper.statement, what);
    }
    stepper_reset(stepper);
    return status;
}
