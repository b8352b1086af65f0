// Rows read ahead (see row_reader.h). The reader thread fills blocks of rows
// in a ring of kRingBlocks; each block holds up to kBlockRows rows, their
// cells copied and their texts and blobs copied into the block's own bytes,
// since an engine's cells last only until its next step. A full block is
// handed to the fetches under the mutex, so the two threads meet once per
// block, not once per row. The ring is allocated when the reader starts and
// never grows: a row too large for a block is left in the engine, the thread
// ends, and the fetch that reaches it takes it from there.
//
// The thread only steps the statement and copies rows; it leaves no status
// and no conditions. Its end (the statement done or failed, or the thread
// stopped) is recorded with the rows, and the fetch that reaches it does
// what a fetch stepping the statement itself would have done then.

#include "front/row_reader.h"

#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

#include "core/trace.h"
#include "front/connection.h"

namespace {

constexpr int kRingBlocks = 4;
constexpr int kBlockRows = 256;
constexpr size_t kBlockBytes = size_t{256} << 10;

ReadAhead read_ahead_mode = ReadAhead::kByMachine;

// Why the reader thread ended.
enum class ReadEnd {
    kReading,      // it has not
    kDone,         // the statement has no more rows
    kFailed,       // the step failed: the statement holds what failed
    kStopped,      // the connection was taken back
    kRowInEngine,  // as kStopped, with one more row stepped but not copied
                   // (too large for a block, or no block was free): it waits
                   // in the engine as row_in_engine
    kThreadAbsent  // no thread could be started
};

// A cache line: what one thread writes often is kept off the lines the
// other reads.
constexpr size_t kCacheLineBytes = 64;

// How many rows ahead of the fetches their cells are prefetched.
constexpr int kPrefetchRows = 4;

struct alignas(kCacheLineBytes) RowBlock {
    Cell* cells = nullptr;     // kBlockRows rows of column_count cells
    uint8_t* bytes = nullptr;  // kBlockBytes: the rows' texts and blobs
    size_t bytes_used = 0;
    int rows = 0;
};

}  // namespace

struct RowReader {
    RowStepper* stepper = nullptr;
    int columns = 0;
    RowBlock blocks[kRingBlocks];

    // Shared by the two threads, under mutex. Blocks are filled and fetched
    // in ring order: block published % kRingBlocks is the next to fill,
    // released % kRingBlocks the next to fetch from.
    alignas(kCacheLineBytes) std::mutex mutex;
    std::condition_variable block_ready;  // published grew, or the thread ended
    std::condition_variable block_free;   // released grew, or stop was asked
    long published = 0;
    long released = 0;
    ReadEnd end = ReadEnd::kReading;
    const Cell* row_in_engine = nullptr;
    std::atomic<bool> stop{false};

    // A row the thread stopped holding, kept here when the connection is
    // taken back: the operation that takes it may free the engine's copy.
    std::vector<Cell> kept_cells;
    std::vector<uint8_t> kept_bytes;

    pthread_t thread{};
    bool thread_running = false;  // started and not yet joined

    // The fetching side's own.
    alignas(kCacheLineBytes) const RowBlock* current = nullptr;  // the block fetched from
    int next_row = 0;
    bool stepping_itself = false;  // no thread: the fetches step the statement
};

namespace {

int available_processors() {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0) {
        return CPU_COUNT(&set);
    }
    long online = sysconf(_SC_NPROCESSORS_ONLN);
    return online > 0 ? static_cast<int>(online) : 1;
}

// The bytes of a row's texts and blobs.
size_t row_bytes(const Cell* row, int columns) {
    size_t bytes = 0;
    for (int i = 0; i < columns; ++i) {
        if (row[i].kind == CellKind::kText || row[i].kind == CellKind::kBlob) {
            bytes += row[i].length;
        }
    }
    return bytes;
}

// Copies the cells of row to out and their texts and blobs to bytes, which
// has room for row_bytes of it; returns the bytes used.
size_t copy_cells(const Cell* row, int columns, Cell* out, uint8_t* bytes) {
    size_t used = 0;
    for (int i = 0; i < columns; ++i) {
        out[i] = row[i];
        if ((row[i].kind == CellKind::kText || row[i].kind == CellKind::kBlob) &&
            row[i].length > 0) {
            std::memcpy(bytes + used, row[i].blob, row[i].length);
            out[i].blob = bytes + used;  // text and blob share the pointer
            used += row[i].length;
        }
    }
    return used;
}

// Copies row into the next place of block; false when its bytes no longer
// fit (needed is row_bytes of it).
bool copy_row(RowBlock& block, const Cell* row, int columns, size_t needed) {
    if (block.bytes_used + needed > kBlockBytes) {
        return false;
    }
    Cell* out = block.cells + static_cast<size_t>(block.rows) * static_cast<size_t>(columns);
    block.bytes_used += copy_cells(row, columns, out, block.bytes + block.bytes_used);
    ++block.rows;
    return true;
}

// The next block to fill, once the fetches have released it; null when the
// thread is asked to stop.
RowBlock* free_block(RowReader& reader) {
    std::unique_lock<std::mutex> lock(reader.mutex);
    reader.block_free.wait(lock, [&reader] {
        return reader.stop.load(std::memory_order_relaxed) ||
               reader.published - reader.released < kRingBlocks;
    });
    if (reader.stop.load(std::memory_order_relaxed)) {
        return nullptr;
    }
    return &reader.blocks[reader.published % kRingBlocks];
}

// Hands a filled block to the fetches (unless it is empty) and, when the
// thread ends, records why.
void publish(RowReader& reader, const RowBlock* block, ReadEnd end, const Cell* row_in_engine) {
    {
        std::lock_guard<std::mutex> lock(reader.mutex);
        if (block != nullptr && block->rows > 0) {
            ++reader.published;
        }
        reader.end = end;
        reader.row_in_engine = row_in_engine;
    }
    reader.block_ready.notify_one();
}

// Fills block with the statement's next rows, starting with carried (a row
// stepped for the block before, which it had no room for) unless it is null.
// Returns kReading when the block is full, or why the reading ends; carried
// then holds a row that did not fit, or (kRowInEngine) one too large for
// any block.
ReadEnd fill_block(RowReader& reader, RowBlock& block, const Cell*& carried) {
    block.rows = 0;
    block.bytes_used = 0;
    int columns = reader.columns;
    while (block.rows < kBlockRows) {
        const Cell* row = carried;
        carried = nullptr;
        if (row == nullptr) {
            if (reader.stop.load(std::memory_order_relaxed)) {
                return ReadEnd::kStopped;
            }
            StepResult result = stepper_step(*reader.stepper, &row, nullptr);
            if (result != StepResult::kRow) {
                return result == StepResult::kDone ? ReadEnd::kDone : ReadEnd::kFailed;
            }
        }
        size_t needed = row_bytes(row, columns);
        if (needed > kBlockBytes) {
            carried = row;
            return ReadEnd::kRowInEngine;
        }
        if (!copy_row(block, row, columns, needed)) {
            carried = row;
            return ReadEnd::kReading;
        }
    }
    return ReadEnd::kReading;
}

void* read_rows(void* argument) {
    RowReader& reader = *static_cast<RowReader*>(argument);
    const Cell* carried = nullptr;
    ReadEnd end = ReadEnd::kReading;
    while (end == ReadEnd::kReading) {
        RowBlock* block = free_block(reader);
        if (block == nullptr) {
            // Asked to stop while waiting: a row carried over is fetched
            // from the engine, as a large row is.
            end = carried != nullptr ? ReadEnd::kRowInEngine : ReadEnd::kStopped;
            publish(reader, nullptr, end, carried);
            break;
        }
        end = fill_block(reader, *block, carried);
        publish(reader, block, end, end == ReadEnd::kRowInEngine ? carried : nullptr);
    }
    return nullptr;
}

void stop_thread(RowReader& reader);

// The row the stopped thread left in the engine, copied into the reader's
// own storage: the fetch that hands it out comes after the operation that
// took the connection back.
void keep_row_in_engine(RowReader& reader) {
    if (reader.end != ReadEnd::kRowInEngine || reader.row_in_engine == nullptr) {
        return;
    }
    const Cell* row = reader.row_in_engine;
    reader.kept_cells.resize(static_cast<size_t>(reader.columns));
    reader.kept_bytes.resize(row_bytes(row, reader.columns));
    copy_cells(row, reader.columns, reader.kept_cells.data(), reader.kept_bytes.data());
    reader.row_in_engine = reader.kept_cells.data();
}

void give_back(void* holder) {
    RowReader& reader = *static_cast<RowReader*>(holder);
    stop_thread(reader);
    keep_row_in_engine(reader);
}

// Starts (or starts again) the reader's thread, taking the connection from
// any other; false when it cannot be started.
bool start_thread(RowReader& reader) {
    take_back_connection();
    reader.end = ReadEnd::kReading;
    reader.stop.store(false, std::memory_order_relaxed);
    if (pthread_create(&reader.thread, nullptr, read_rows, &reader) != 0) {
        reader.end = ReadEnd::kThreadAbsent;
        return false;
    }
    reader.thread_running = true;
    lend_connection(give_back, &reader);
    return true;
}

// Waits for the thread to end (after stop, or once its end is recorded).
void join_thread(RowReader& reader) {
    if (reader.thread_running) {
        pthread_join(reader.thread, nullptr);
        reader.thread_running = false;
    }
    end_loan(&reader);
}

void stop_thread(RowReader& reader) {
    {
        std::lock_guard<std::mutex> lock(reader.mutex);
        reader.stop.store(true, std::memory_order_relaxed);
    }
    reader.block_free.notify_one();
    join_thread(reader);
}

// The next row of the current block; null when it is used up.
const Cell* next_in_block(RowReader& reader) {
    const RowBlock* block = reader.current;
    if (block == nullptr || reader.next_row >= block->rows) {
        return nullptr;
    }
    size_t row_cells = static_cast<size_t>(reader.columns);
    const Cell* row = block->cells + static_cast<size_t>(reader.next_row++) * row_cells;
    // The rows were written on the other processor: their cells are asked
    // for a few rows before they are read, so that the fetch does not wait
    // for them to cross.
    if (reader.next_row + kPrefetchRows < block->rows) {
        const char* ahead = reinterpret_cast<const char*>(row + kPrefetchRows * row_cells);
        for (size_t offset = 0; offset < row_cells * sizeof(Cell); offset += kCacheLineBytes) {
            __builtin_prefetch(ahead + offset);
        }
    }
    return row;
}

}  // namespace

void set_read_ahead(ReadAhead mode) {
    read_ahead_mode = mode;
}

bool read_ahead_wanted() {
    static const int processors = available_processors();
    bool per_row_trace = trace_per_row();
    switch (read_ahead_mode) {
        case ReadAhead::kOff:
            return false;
        case ReadAhead::kOn:
            return !per_row_trace;
        case ReadAhead::kByMachine:
            break;
    }
    return processors >= 2 && !per_row_trace;
}

RowReader* reader_start(RowStepper& stepper) {
    RowReader* reader = new (std::nothrow) RowReader;
    if (reader == nullptr) {
        return nullptr;
    }
    reader->stepper = &stepper;
    reader->columns = stepper.column_count;
    size_t cells = static_cast<size_t>(kBlockRows) * static_cast<size_t>(stepper.column_count);
    for (RowBlock& block : reader->blocks) {
        block.cells = new (std::nothrow) Cell[cells];
        block.bytes = new (std::nothrow) uint8_t[kBlockBytes];
        if (block.cells == nullptr || block.bytes == nullptr) {
            reader_free(reader);
            return nullptr;
        }
    }
    if (!start_thread(*reader)) {
        reader_free(reader);
        return nullptr;
    }
    return reader;
}

StepResult reader_next(RowReader& reader, const Cell** row) {
    for (;;) {
        if (reader.stepping_itself) {
            return stepper_step(*reader.stepper, row, trace_gx_call);
        }
        const Cell* next = next_in_block(reader);
        if (next != nullptr) {
            *row = next;
            return StepResult::kRow;
        }
        ReadEnd end;
        {
            std::unique_lock<std::mutex> lock(reader.mutex);
            if (reader.current != nullptr) {
                reader.current = nullptr;
                ++reader.released;
                reader.block_free.notify_one();
            }
            reader.block_ready.wait(lock, [&reader] {
                return reader.published > reader.released || reader.end != ReadEnd::kReading;
            });
            if (reader.published > reader.released) {
                reader.current = &reader.blocks[reader.released % kRingBlocks];
                reader.next_row = 0;
                continue;
            }
            end = reader.end;
        }
        // Every row the thread read has been fetched; what comes next is
        // what ended it.
        join_thread(reader);
        switch (end) {
            case ReadEnd::kDone:
                return StepResult::kDone;
            case ReadEnd::kFailed:
                return StepResult::kError;
            case ReadEnd::kRowInEngine:
                // The thread starts again for the rows after it, at the next
                // fetch.
                *row = reader.row_in_engine;
                reader.row_in_engine = nullptr;
                reader.end = ReadEnd::kStopped;
                return StepResult::kRow;
            case ReadEnd::kStopped:
            case ReadEnd::kThreadAbsent:
            case ReadEnd::kReading:
                if (!read_ahead_wanted() || !start_thread(reader)) {
                    reader.stepping_itself = true;
                }
                break;
        }
    }
}

void reader_free(RowReader* reader) {
    if (reader == nullptr) {
        return;
    }
    stop_thread(*reader);
    for (RowBlock& block : reader->blocks) {
        delete[] block.cells;
        delete[] block.bytes;
    }
    delete reader;
}
