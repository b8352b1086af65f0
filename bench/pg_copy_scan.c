/* The floor for unloading from PostgreSQL: the fastest scan libpq offers,
 * COPY (query) TO STDOUT in binary, read with PQgetCopyData, every value's
 * bytes read once, nothing written. bench/pg_compare.sh sets spoolmap's time
 * beside it.
 *
 *   pg_copy_scan CONNINFO QUERY
 *
 * Prints "rows <n> bytes <n> checksum <n>"; the checksum keeps the compiler
 * from dropping the reads. Exit status 1, with libpq's message, on any error.
 */
#include <libpq-fe.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* Binary COPY: an 11-byte signature, 32-bit flags and header-extension
 * length, then per row a 16-bit field count (-1 ends the data) and per field
 * a 32-bit length (-1 is NULL) and the bytes, all big-endian. */
static const char kSignature[] = "PGCOPY\n\377\r\n";
enum { kSignatureBytes = 11, kHeaderBytes = kSignatureBytes + 4 + 4 };
enum { kFieldCountBytes = 2, kFieldLengthBytes = 4, kEndOfData = -1, kNullLength = -1 };

static uint32_t read_u32(const unsigned char* p) {
    return (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3];
}

static int fail(PGconn* conn, const char* what) {
    fprintf(stderr, "pg_copy_scan: %s: %s", what, conn ? PQerrorMessage(conn) : "\n");
    PQfinish(conn);
    return 1;
}

/* Folds every byte of a value into the checksum, eight at a time. */
static uint64_t touch(const unsigned char* p, size_t n, uint64_t sum) {
    uint64_t word;
    for (; n >= sizeof word; p += sizeof word, n -= sizeof word) {
        memcpy(&word, p, sizeof word);
        sum += word;
    }
    for (; n > 0; ++p, --n)
        sum += *p;
    return sum;
}

/* Reads the rows of one CopyData message (the first also carries the
 * header). Returns 1 at the end-of-data marker, 0 for more, -1 when a row
 * does not fit the message. */
static int scan_message(const unsigned char* p, size_t n, long long* rows, uint64_t* sum) {
    const unsigned char* end = p + n;
    while (p < end) {
        if ((size_t)(end - p) < kFieldCountBytes)
            return -1;
        int16_t fields = (int16_t)(p[0] << 8 | p[1]);
        p += kFieldCountBytes;
        if (fields == kEndOfData)
            return 1;
        for (int i = 0; i < fields; ++i) {
            if ((size_t)(end - p) < kFieldLengthBytes)
                return -1;
            int32_t length = (int32_t)read_u32(p);
            p += kFieldLengthBytes;
            if (length == kNullLength)
                continue;
            if (length < 0 || (size_t)(end - p) < (size_t)length)
                return -1;
            *sum = touch(p, (size_t)length, *sum + (uint64_t)length);
            p += length;
        }
        ++*rows;
    }
    return 0;
}

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: pg_copy_scan CONNINFO QUERY\n");
        return 2;
    }
    PGconn* conn = PQconnectdb(argv[1]);
    if (PQstatus(conn) != CONNECTION_OK)
        return fail(conn, "connect");
    char* copy = malloc(strlen(argv[2]) + 64);
    if (!copy)
        return fail(conn, "out of memory");
    sprintf(copy, "COPY (%s) TO STDOUT (FORMAT binary)", argv[2]);
    PGresult* started = PQexec(conn, copy);
    free(copy);
    if (PQresultStatus(started) != PGRES_COPY_OUT) {
        PQclear(started);
        return fail(conn, "COPY");
    }
    PQclear(started);

    long long rows = 0, bytes = 0;
    uint64_t sum = 0;
    int first = 1, ended = 0;
    char* message;
    int length;
    while ((length = PQgetCopyData(conn, &message, 0)) > 0) {
        const unsigned char* p = (const unsigned char*)message;
        size_t n = (size_t)length;
        bytes += length;
        if (first) {
            if (n < kHeaderBytes || memcmp(p, kSignature, kSignatureBytes) != 0) {
                PQfreemem(message);
                return fail(NULL, "not a binary COPY stream");
            }
            uint32_t extension = read_u32(p + kSignatureBytes + 4);
            if (n - kHeaderBytes < extension) {
                PQfreemem(message);
                return fail(NULL, "header extension beyond its message");
            }
            p += kHeaderBytes + extension;
            n -= kHeaderBytes + extension;
            first = 0;
        }
        int state = ended ? -1 : scan_message(p, n, &rows, &sum);
        PQfreemem(message);
        if (state < 0)
            return fail(NULL, "a row that does not fit its message");
        ended = state;
    }
    if (length == -2)
        return fail(conn, "reading the rows");
    PGresult* finished = PQgetResult(conn);
    if (PQresultStatus(finished) != PGRES_COMMAND_OK) {
        PQclear(finished);
        return fail(conn, "end of COPY");
    }
    PQclear(finished);
    if (!ended)
        return fail(NULL, "no end-of-data marker");
    printf("rows %lld bytes %lld checksum %llu\n", rows, bytes, (unsigned long long)sum);
    PQfinish(conn);
    return 0;
}
