// Rows read ahead: while a cursor is fetched, a reader thread steps its
// statement (and so runs the engine's per-row work, GX_AsShape included) into
// a bounded ring of row blocks, and the fetches take the rows from there in
// order. The caller formats and writes one row while the next ones are read,
// on a second processor. The rows, their order, the counts and the errors are
// those of stepping the statement in the caller's thread: an error on row N
// is met by the fetch of row N, after rows 1 to N - 1 were delivered, with
// the engine's own conditions.
//
// The reader thread borrows the connection while it runs
// (front/connection.h) and is handed the statement's stepper and nothing
// else. Every other use of the connection takes it back first
// (take_back_connection): the thread stops after its current row, and the
// rows it has read are still fetched before the cursor steps its statement
// itself.

#ifndef OSTREL_FRONT_ROW_READER_H
#define OSTREL_FRONT_ROW_READER_H

#include <memory>

#include "engine/engine.h"
#include "front/row_stepper.h"

struct RowReader;

// Whether cursors read ahead: by the machine (when it has two processors or
// more, and the trace does not write a line per row), never, or always
// (the last two for tests, so that both ways are covered on any machine).
// A statement that switches the trace is never read ahead (cursor.cpp).
enum class ReadAhead { kByMachine, kOff, kOn };
void set_read_ahead(ReadAhead mode);

// Whether a cursor opened now should read ahead.
bool read_ahead_wanted();

// Starts a reader thread that steps stepper from where it stands; the
// session's connection is the thread's until it ends or is taken back. Null
// when no thread can be started: the caller then steps the statement itself.
// The thread reports no shape conversion to the trace: it only reads ahead
// while the trace writes no line per row.
RowReader* reader_start(RowStepper& stepper);

// The next row of the reader's statement: kRow with *row pointing at it
// (valid until the next call), kDone, or kError, after which
// stepper_report_error says what failed, as after stepper_step. Once a
// reader has been stopped and its rows are fetched, it steps the statement
// itself.
StepResult reader_next(RowReader& reader, const Cell** row);

// Stops the reader's thread (if it still runs) and frees the reader with the
// rows it holds.
void reader_free(RowReader* reader);

struct RowReaderFree {
    void operator()(RowReader* reader) const { reader_free(reader); }
};
using RowReaderPointer = std::unique_ptr<RowReader, RowReaderFree>;

#endif
