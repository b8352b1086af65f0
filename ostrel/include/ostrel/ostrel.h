// The Ostrel embedded-SQL client library: the one interface between spoolmap
// and a database.
//
// The library mimics a classic embedded-SQL runtime: SQL objects (prepared
// statements, descriptors, the cursor) are named by short text ids, every
// operation leaves a status behind (below 0 a failure, 100 "no row"), and a
// failure leaves diagnostics conditions that the caller turns into its own
// error report. Behind the interface sit two engines: an embedded one over a
// SQLite file (GeoPackage, SpatiaLite or a native database) and one over a
// PostgreSQL/PostGIS server. Nothing here knows shapefiles or dBASE
// beyond the spatial extension's GX_AsShape.
//
// Every SQL operation (connections, statements, descriptors, the cursor)
// returns the status it leaves in osl_status(): 0 on success, 100 for "no row /
// no more rows", below 0 on failure, with diagnostics conditions (osl_diag_*).
// The value helpers at the end (var buffers, time, dates, decimals, text)
// return their own results and leave the status alone.

#ifndef OSTREL_OSTREL_H
#define OSTREL_OSTREL_H

#include <cstddef>
#include <cstdint>

// ---------------------------------------------------------------------------
// Status of the last operation.

constexpr int OSL_OK = 0;
constexpr int OSL_NO_ROW = 100;

// Status of the last library operation (the classic SQLCODE).
int osl_status();

// ---------------------------------------------------------------------------
// Codes shared by the caller and the library.

// SQL type codes as a descriptor reports them in its TYPE item.
enum OslSqlType : int {
    OSL_SQL_CHAR = 0,
    OSL_SQL_SMALLINT = 1,
    OSL_SQL_INTEGER = 2,
    OSL_SQL_FLOAT = 3,
    OSL_SQL_SMALLFLOAT = 4,
    OSL_SQL_DECIMAL = 5,
    OSL_SQL_SERIAL = 6,
    OSL_SQL_DATE = 7,
    OSL_SQL_MONEY = 8,
    OSL_SQL_VARCHAR = 13,
    OSL_SQL_VAR_BINARY = 40,  // what the caller sets the shape item to
    OSL_SQL_BOOLEAN = 45,
    OSL_SQL_GEOMETRY = 41,  // a geometry column, never mapped by spoolmap
    OSL_SQL_UNMAPPED = 99,  // any declared type outside the mapping
};

// The numbers that a caller's formats depend on, each the library's own.
// A DECIMAL without a scale (DECIMAL(p)) is described with this SCALE.
constexpr int OSL_FLOATING_SCALE = 255;
// The most significant digits of a decimal (OslDecimal); a DECIMAL of more
// precision is described as unmapped.
constexpr int OSL_DECIMAL_MAX_DIGITS = 32;
// A 64-bit integer column is described as DECIMAL(OSL_INT64_PRECISION, 0),
// which holds every one of its values exactly.
constexpr int OSL_INT64_PRECISION = 19;
// The code of the spatial extension's conditions (its own SQL states).
constexpr int OSL_EXTENSION_ERROR = -937;
// The most bytes of a condition's message, without its terminator.
constexpr int OSL_MESSAGE_MAX_BYTES = 255;

// Descriptor item codes.
enum OslItemCode : int {
    OSL_ITEM_COUNT = 0,  // header item: number of items
    OSL_ITEM_TYPE = 1,
    OSL_ITEM_LENGTH = 2,
    OSL_ITEM_PRECISION = 3,
    OSL_ITEM_NULLABLE = 4,
    OSL_ITEM_INDICATOR = 5,  // -1 for a null value
    OSL_ITEM_DATA = 6,
    OSL_ITEM_NAME = 7,
    OSL_ITEM_SCALE = 8,
    OSL_ITEM_VAR_BY_LIBRARY = 12,  // set to 1 beside TYPE 40: the library sizes var buffers
};

// Host value codes: what kind of variable the caller hands over.
enum OslHostType : int {
    OSL_HOST_TEXT = 100,         // char buffer, blank-free, NUL-terminated, bounded by size
    OSL_HOST_INT16 = 101,        // int16_t
    OSL_HOST_INT32 = 102,        // int32_t
    OSL_HOST_DOUBLE = 105,       // double
    OSL_HOST_DECIMAL = 107,      // OslDecimal
    OSL_HOST_CSTRING = 109,      // char buffer, NUL-terminated, bounded by size
    OSL_HOST_DATE = 110,         // OslDate
    OSL_HOST_VAR = 121,          // OslVar (var-length binary)
    OSL_HOST_VAR_LOCATED = 124,  // OslVar readied with osl_var_ready
};

// ---------------------------------------------------------------------------
// Value types.

// A date counts days; day 0 is 1899-12-31 (so 1900-01-01 is day 1).
using OslDate = int32_t;

// An exact decimal number: sign, up to 32 significant digits and a power of
// ten. value = sign * 0.d1 d2 ... dn * 10^exponent; zero has digit_count 0.
// Its layout is the library's; callers only pass it back to the library.
struct OslDecimal {
    int8_t sign;         // +1 or -1
    int8_t digit_count;  // 0..OSL_DECIMAL_MAX_DIGITS
    int16_t exponent;
    uint8_t digits[OSL_DECIMAL_MAX_DIGITS];  // each 0..9, most significant first
};

// Date-time qualifiers: (digits << 8) | (first unit << 4) | last unit.
constexpr int OSL_HOUR_TO_SECOND = 1642;
constexpr int OSL_HOUR_TO_FRACTION1 = 1899;  // hour to tenth of a second

// A point in time. The library keeps the whole instant (so a difference across
// midnight stays right); the qualifier only chooses what the text shows.
struct OslDateTime {
    int32_t qualifier;
    int64_t microseconds;  // since 1970-01-01 00:00:00 UTC
    // A steady reading taken with it (0 when there is none): a difference of
    // two steady readings stays right when the wall clock is set back.
    int64_t steady_microseconds;
};

// A span of time, shown hour to tenth of a second.
struct OslInterval {
    int32_t qualifier;
    int64_t microseconds;
};

// A var-length binary buffer. Zero-initialise before first use.
struct OslVar {
    void* data;
    int32_t length;      // bytes of value
    int32_t capacity;    // bytes allocated
    int32_t by_library;  // set by osl_var_ready: the library sizes the buffer
};

// A host variable: its kind, where it lives and how many bytes it has there
// (size is required for texts and ignored for fixed-size kinds).
struct OslHostValue {
    int host_type;  // OslHostType
    void* address;
    size_t size;
};

// One request of osl_get_descriptor_items: which item, into what.
struct OslItemRequest {
    int item;  // OslItemCode
    OslHostValue into;
};

// One setting of osl_set_descriptor_items.
struct OslItemSetting {
    int item;  // OslItemCode
    int value;
};

// ---------------------------------------------------------------------------
// Connections.

// The user-and-password record of a connection; made just before connecting
// and freed right after.
struct OslConnectAuth;
OslConnectAuth* osl_auth_make(const char* user, const char* password);
void osl_auth_free(OslConnectAuth* auth);

// Connects to "db" or "db@server" (see the platform contract for how a target
// resolves); auth may be null. Makes the catalog views spoolmap's SQL names.
int osl_connect(const char* target, const OslConnectAuth* auth);

// Disconnects the current connection.
int osl_disconnect_current();

// Resolves a target to the database file the embedded engine would open,
// without connecting. Returns 0 and the path (bounded by path_size) when the
// target names an existing file, 1 (path empty) when it names a server, and a
// negative status (with diagnostics) when no file would be found.
int osl_resolve_database_file(const char* target, char* path, size_t path_size);

// The server part of a connection target as messages and logs may show it:
// a password inside a postgresql:// address (user:password@host, or a
// password= option) replaced by ********. Returns 0, or -1 (out untouched)
// when out_size bytes cannot hold it.
int osl_server_shown(const char* server, char* out, size_t out_size);

// ---------------------------------------------------------------------------
// Row counts.

// What osl_table_row_count knows of a table's rows.
constexpr int OSL_ROWS_UNKNOWN = 0;   // the database keeps no count of them
constexpr int OSL_ROWS_EXACT = 1;     // a count the database keeps up to date
constexpr int OSL_ROWS_ESTIMATE = 2;  // the server's statistics: about that many

// How many rows table (as the catalog names it, in any letter case) has,
// where the database knows without reading them: the feature count a
// GeoPackage keeps (exact), the server's planner statistics (an estimate).
// Returns 0 with *kind one of the three above (*rows 0 when unknown); a
// table the database keeps no count of, or none of that name, is
// OSL_ROWS_UNKNOWN, not an error. Negative only without a connection. Call it
// while no cursor is open: a server's rows in flight would be cut off.
int osl_table_row_count(const char* table, int64_t* rows, int* kind);
// The table a caller reads.

// A name as a user wrote it: its text without the double quotes around it
// (null when no name was given), and whether it stood in them.
struct OslName {
    const char* text;
    int quoted;
};

// A geometry column's names as the database stores them; schema is empty
// where the database has none to tell.
constexpr size_t OSL_NAME_BYTES = 1024;
struct OslGeometryColumn {
    char schema[OSL_NAME_BYTES];
    char table[OSL_NAME_BYTES];
    char column[OSL_NAME_BYTES];
};

// Finds the geometry column that schema (text null: where the database
// finds an unqualified table), table and column name. A quoted name is
// compared as written, a bare one in lower case; when no geometry column has
// the lower-case name but exactly one matches it ignoring case, that one
// counts. A database whose names ignore case (SQLite) compares every name
// ignoring case. Returns 0 with found filled, 100 when no geometry column
// matches, below 0 when several match (the condition lists them) or the
// lookup fails.
int osl_find_geometry_column(OslName schema, OslName table, OslName column,
                             OslGeometryColumn* found);

// Keeps anyone from emptying or rewriting the table (schema empty or null:
// the database's default) until the session ends, and starts the session's
// read snapshot after that: call it before the first statement that reads
// the table. On a server, the wait for a change already under way ends
// after the session's lock_timeout (60 seconds when it has none) with a
// condition naming the table and the lock; a role without SELECT on the
// table is told so.
int osl_lock_table(const char* schema, const char* table);

// ---------------------------------------------------------------------------
// Statements.

// Prepares text under statement_id (replacing an earlier one of that id).
int osl_prepare(const char* statement_id, const char* text);

// Executes a prepared single-row statement into outputs (one per selected
// item). 100 when it returns no row; more than one row is an error.
int osl_execute_into(const char* statement_id, OslHostValue* outputs, int output_count);

// Executes text directly with its ? markers bound to inputs, into outputs.
int osl_execute_immediate(const char* text, const OslHostValue* inputs, int input_count,
                          OslHostValue* outputs, int output_count);

int osl_free_statement(const char* statement_id);

// The number of parameter markers (?) of a prepared statement, which need
// input values when it runs.
int osl_get_parameter_count(const char* statement_id, int* count);

// ---------------------------------------------------------------------------
// Descriptors.

int osl_allocate_descriptor(const char* descriptor_id, int max_items);
int osl_deallocate_descriptor(const char* descriptor_id);

// Describes a prepared statement into a descriptor: one item per selected
// column, in select order, numbered from 1.
int osl_describe(const char* statement_id, const char* descriptor_id);

// The descriptor's header item COUNT.
int osl_get_descriptor_count(const char* descriptor_id, int* count);

// Reads several items of item number item_number (from 1) in one request.
// After a fetch, INDICATOR and DATA hold the current row's value. A DATA
// value that does not convert to the requested host type is refused with a
// negative status and a diagnostic naming the column and the value.
int osl_get_descriptor_items(const char* descriptor_id, int item_number, OslItemRequest* requests,
                             int request_count);

// Reads item_count items from first_item on, each with requests_per_item
// requests (the first item's first, then the next item's): what as many calls
// of osl_get_descriptor_items would read, in one call, as a row's values are
// read. The first item that fails ends it with that item's status and
// conditions; the items before it have been read.
int osl_get_descriptor_range(const char* descriptor_id, int first_item, int item_count,
                             OslItemRequest* requests, int requests_per_item);

// Sets items of item number item_number (TYPE 40 and 12 = 1 on the shape item).
int osl_set_descriptor_items(const char* descriptor_id, int item_number,
                             const OslItemSetting* settings, int setting_count);

// ---------------------------------------------------------------------------
// The cursor.

int osl_declare_cursor(const char* cursor_id, const char* statement_id);
int osl_open_cursor(const char* cursor_id);
// Fetches the next row into the descriptor; 100 when no row remains.
int osl_fetch(const char* cursor_id, const char* descriptor_id);
int osl_close_cursor(const char* cursor_id);
int osl_free_cursor(const char* cursor_id);

// ---------------------------------------------------------------------------
// Diagnostics of the last failed operation. Reading them changes neither the
// status nor the conditions.

int osl_diag_condition_count();

// Condition number (from 1): its code, SQL state (5 characters and a NUL),
// message text (bounded by message_size, NUL-terminated) and the message's
// length in bytes (at most 255). Returns 0, or a negative value for a number
// outside 1..count.
int osl_diag_condition(int number, int32_t* code, char sqlstate[6], char* message,
                       size_t message_size, int32_t* message_length);

// ---------------------------------------------------------------------------
// Var buffers.

int osl_var_alloc(OslVar* var, int32_t size);     // below 0 on failure
int osl_var_setlen(OslVar* var, int32_t length);  // below 0 on failure
void* osl_var_getdata(const OslVar* var);         // null on failure
int32_t osl_var_getlen(const OslVar* var);        // 0 on failure
int osl_var_dealloc(OslVar* var);                 // below 0 on failure
// Readies an empty handle so that the library allocates room for a value of
// any length when it fills it.
int osl_var_ready(OslVar* var);

// ---------------------------------------------------------------------------
// Time, dates and decimals.

// The current time, with the given qualifier.
int osl_current_datetime(OslDateTime* value, int qualifier);

// The text of a date-time by its qualifier, in local time: "hh:mm:ss" for
// hour to second, "hh:mm:ss.t" for hour to tenth. Bounded by size.
int osl_datetime_to_text(const OslDateTime* value, char* text, size_t size);

// later - earlier, hour to tenth of a second; from the steady readings when
// both have one.
int osl_datetime_subtract(const OslDateTime* later, const OslDateTime* earlier,
                          OslInterval* result);

// "h:mm:ss.t", hours as many digits as needed. Bounded by size.
int osl_interval_to_text(const OslInterval* value, char* text, size_t size);

int osl_today(OslDate* date);

// month, day, year of a date.
int osl_date_split(OslDate date, int16_t mdy[3]);

// Formats a date by a picture ("yyyymmdd"): exactly as many characters as the
// picture, then a NUL; out must hold strlen(picture) + 1 bytes.
int osl_date_format(OslDate date, const char* picture, char* out);

// Formats a decimal by a picture of '-' digit positions with one '.' or a
// final '&': exactly as many characters as the picture, then a NUL; out must
// hold strlen(picture) + 1 bytes. A value that does not fit fills the picture
// with '*' and returns a negative status.
int osl_decimal_format(const OslDecimal* value, const char* picture, char* out);

// below 0 when the decimal has no double value.
int osl_decimal_to_double(const OslDecimal* value, double* result);

// ---------------------------------------------------------------------------
// Text.

// 0 when a and b are equal ignoring ASCII case (as SQL identifiers compare).
int osl_text_compare(const char* a, const char* b);

// A whole decimal integer with an optional sign and nothing else (no blanks,
// no trailing characters) that fits 32 bits: 0 and the value; else -1 and
// *value untouched.
int osl_text_to_int(const char* text, int32_t* value);

#endif
