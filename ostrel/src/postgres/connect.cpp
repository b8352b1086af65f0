// Connecting to a PostgreSQL server: the connection parameters from the
// target (the server's URI with its host, port and options, the database
// from -D over any path in the URI, -u and -p over the URI's user and
// password, libpq's own conventions for whatever is not given: PGUSER,
// PGPASSWORD, ~/.pgpass, PGSERVICE), then the session's one read snapshot
// and its catalog. A connection that fails says why in the server's words
// and state, naming the server but never a password.

#include "postgres/connect.h"

#include <errno.h>
#include <poll.h>

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "common/password_mask.h"
#include "postgres/catalog.h"
#include "postgres/connection.h"
#include "postgres/errors.h"
#include "postgres/postgres_internal.h"

namespace {

// libpq takes connect_timeout values of 1 as 2 seconds; 0 waits for ever.
constexpr int kShortestConnectTimeoutSeconds = 2;
// Where libpq's verbose connection message puts the server's SQL state:
// "FATAL:  28P01: password authentication failed ...".
constexpr size_t kSqlStateChars = 5;
// The state of a connection that never reached a server able to answer.
constexpr const char* kUnableToConnect = "08001";

using Clock = std::chrono::steady_clock;

// The connect_timeout libpq settled on (from the URI, PGCONNECT_TIMEOUT or
// a service file), in seconds; 0 for none.
int connect_timeout_seconds(PGconn* conn) {
    int seconds = 0;
    PQconninfoOption* options = PQconninfo(conn);
    for (PQconninfoOption* option = options; option != nullptr && option->keyword != nullptr;
         ++option) {
        if (std::strcmp(option->keyword, "connect_timeout") == 0 && option->val != nullptr) {
            seconds = std::atoi(option->val);
        }
    }
    PQconninfoFree(options);
    if (seconds <= 0) {
        return 0;
    }
    return seconds < kShortestConnectTimeoutSeconds ? kShortestConnectTimeoutSeconds : seconds;
}

// Drives a connection started with PQconnectStartParams to its end. The
// asynchronous start is what lets the error verbosity be set before the
// server answers (so its SQL state reaches the message); libpq leaves
// connect_timeout to whoever polls, so it is kept here. False when it
// failed; *timed_out tells a timeout from the failures libpq reports.
bool finish_connect(PGconn* conn, bool* timed_out) {
    *timed_out = false;
    if (PQstatus(conn) == CONNECTION_BAD) {
        return false;
    }
    int timeout_seconds = connect_timeout_seconds(conn);
    Clock::time_point deadline = Clock::now() + std::chrono::seconds(timeout_seconds);
    PostgresPollingStatusType state = PGRES_POLLING_WRITING;
    for (;;) {
        if (state == PGRES_POLLING_OK) {
            return true;
        }
        if (state == PGRES_POLLING_FAILED) {
            return false;
        }
        int wait_ms = -1;
        if (timeout_seconds > 0) {
            auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0) {
                *timed_out = true;
                return false;
            }
            wait_ms = static_cast<int>(left.count());
        }
        struct pollfd socket = {
            PQsocket(conn), static_cast<short>(state == PGRES_POLLING_READING ? POLLIN : POLLOUT),
            0};
        int ready = ::poll(&socket, 1, wait_ms);
        if (ready < 0 && errno != EINTR) {
            return false;
        }
        if (ready > 0) {
            state = PQconnectPoll(conn);
        }
    }
}

// The server's SQL state and words in libpq's message of a failed
// connection, or (when no server answered) libpq's own words and 08001.
// Only the first line counts; libpq's "connection to server at ... failed: "
// is left out, since the caller's message names the server already.
void split_connection_message(const char* message, std::string* sqlstate, std::string* words) {
    std::string text = message != nullptr ? message : "";
    std::string line = text.substr(0, text.find('\n'));
    *sqlstate = kUnableToConnect;
    // "SEVERITY:  XXXXX: words" as libpq writes a server's error verbosely.
    for (size_t at = line.find(":  "); at != std::string::npos; at = line.find(":  ", at + 1)) {
        size_t state_at = at + 3;
        if (line.size() < state_at + kSqlStateChars + 2 ||
            line.compare(state_at + kSqlStateChars, 2, ": ") != 0) {
            continue;
        }
        bool is_state = true;
        for (size_t i = 0; i < kSqlStateChars; ++i) {
            char c = line[state_at + i];
            is_state &= std::isdigit(static_cast<unsigned char>(c)) ||
                        std::isupper(static_cast<unsigned char>(c));
        }
        if (is_state) {
            *sqlstate = line.substr(state_at, kSqlStateChars);
            *words = line.substr(state_at + kSqlStateChars + 2);
            return;
        }
    }
    size_t failed = line.find(" failed: ");
    *words = failed != std::string::npos ? line.substr(failed + 9) : line;
    while (!words->empty() && (words->back() == '.' || words->back() == ' ')) {
        words->pop_back();
    }
}

void ignore_notice(void*, const char*) {}

// The parameters libpq connects with, in its order of precedence: a later
// keyword wins over an earlier one, and only the first dbname is read as
// the URI.
struct ConnectParameters {
    std::vector<const char*> keywords;
    std::vector<const char*> values;

    void add(const char* keyword, const char* value) {
        keywords.push_back(keyword);
        values.push_back(value);
    }
};

EngineDatabase* fail_open(std::unique_ptr<PgDatabase> database) {
    PQfinish(database->connection.conn);
    return nullptr;
}

// The state of a server that has no database of the name asked for
// (invalid_catalog_name).
constexpr const char* kNoSuchDatabase = "3D000";
// The databases every cluster has, to ask which databases there are.
constexpr const char* kMaintenanceDatabases[] = {"postgres", "template1"};
// The databases whose names equal the one given ignoring case; lower() is a
// superset of that, checked again by name_matches.
constexpr const char* kDatabasesNamed =
    "SELECT datname FROM pg_catalog.pg_database WHERE datallowconn "
    "AND pg_catalog.lower(datname) = pg_catalog.lower($1) ORDER BY 1";

// A connection to dbname with the target's address and credentials, driven
// to its end; null only without memory. On failure *sqlstate and *words say
// why, with no password in them.
PGconn* connect_to(const EngineTarget& target, const char* dbname, std::string* sqlstate,
                   std::string* words) {
    ConnectParameters parameters;
    parameters.add("dbname", target.server);
    parameters.add("dbname", dbname);
    if (target.auth != nullptr) {
        parameters.add("user", target.auth->user.c_str());
        parameters.add("password", target.auth->password.c_str());
    }
    // Cells hand out UTF-8, whatever the database's encoding.
    parameters.add("client_encoding", "UTF8");
    parameters.add("fallback_application_name", program_invocation_short_name);
    parameters.add(nullptr, nullptr);
    PGconn* conn = PQconnectStartParams(parameters.keywords.data(), parameters.values.data(), 1);
    if (conn == nullptr) {
        return nullptr;
    }
    PQsetErrorVerbosity(conn, PQERRORS_VERBOSE);
    bool timed_out = false;
    if (finish_connect(conn, &timed_out)) {
        PQsetErrorVerbosity(conn, PQERRORS_DEFAULT);
        return conn;
    }
    *sqlstate = kUnableToConnect;
    *words = "no answer within the connect_timeout";
    if (!timed_out) {
        split_connection_message(PQerrorMessage(conn), sqlstate, words);
    }
    // libpq repeats a part of the address it cannot read, which may be a
    // password.
    std::vector<std::string> passwords = *target.passwords;
    if (target.auth != nullptr) {
        passwords.push_back(target.auth->password);
    }
    mask_passwords(*words, passwords);
    return conn;
}

bool has_upper_case(const std::string& name) {
    for (char c : name) {
        if (c >= 'A' && c <= 'Z') {
            return true;
        }
    }
    return false;
}

// The databases of the server whose names match name ignoring ASCII case,
// asked through a maintenance database; empty when none can be reached.
std::vector<std::string> databases_named(const EngineTarget& target, const std::string& name) {
    std::vector<std::string> names;
    for (const char* maintenance : kMaintenanceDatabases) {
        std::string sqlstate;
        std::string words;
        PGconn* conn = connect_to(target, maintenance, &sqlstate, &words);
        if (conn == nullptr || PQstatus(conn) != CONNECTION_OK) {
            PQfinish(conn);
            continue;
        }
        const char* values[] = {name.c_str()};
        PGresult* result =
            PQexecParams(conn, kDatabasesNamed, 1, nullptr, values, nullptr, nullptr, 0);
        for (int row = 0; PQresultStatus(result) == PGRES_TUPLES_OK && row < PQntuples(result);
             ++row) {
            if (osl_text_compare(PQgetvalue(result, row, 0), name.c_str()) == 0) {
                names.push_back(PQgetvalue(result, row, 0));
            }
        }
        PQclear(result);
        PQfinish(conn);
        break;
    }
    return names;
}

}  // namespace

EngineDatabase* open_server_database(const EngineTarget& target) {
    auto database = std::make_unique<PgDatabase>();
    database->name = target.database;
    database->server = target.server_shown;

    std::string sqlstate;
    std::string words;
    database->connection.conn = connect_to(target, target.database, &sqlstate, &words);
    // A database name without capitals finds the one database whose name
    // matches it ignoring case, as a bare name in SQL would if the server
    // folded it; a name with capitals was meant as written.
    if (database->connection.conn != nullptr &&
        PQstatus(database->connection.conn) != CONNECTION_OK && sqlstate == kNoSuchDatabase &&
        !has_upper_case(database->name)) {
        std::vector<std::string> names = databases_named(target, database->name);
        if (names.size() == 1) {
            PQfinish(database->connection.conn);
            database->name = names[0];
            database->connection.conn = connect_to(target, names[0].c_str(), &sqlstate, &words);
        } else if (names.size() > 1) {
            std::string listed;
            for (const std::string& name : names) {
                listed += (listed.empty() ? "'" : ", '") + name + "'";
            }
            status_error(OslError::kDatabaseAmbiguous,
                         "Database '%s' on server '%s' is ambiguous: %s match it ignoring case; "
                         "name one exactly, in double quotes.",
                         database->name.c_str(), database->server.c_str(), listed.c_str());
            return fail_open(std::move(database));
        }
    }
    if (database->connection.conn == nullptr) {
        status_error(OslError::kOutOfMemory,
                     "No memory to connect to database '%s' on server '%s'.",
                     database->name.c_str(), database->server.c_str());
        return nullptr;
    }
    if (PQstatus(database->connection.conn) != CONNECTION_OK) {
        status_server_error(OslError::kServerConnectFailed, sqlstate.c_str(),
                            "Cannot connect to database '%s' on server '%s': %s.",
                            database->name.c_str(), database->server.c_str(), words.c_str());
        return fail_open(std::move(database));
    }
    PQsetNoticeProcessor(database->connection.conn, ignore_notice, nullptr);

    // The snapshot is taken by the first query after BEGIN, that of the
    // facts, before anything of the caller's runs; lock_table begins anew.
    if (!begin_read_transaction(database->connection) || !read_server_facts(*database) ||
        !set_savepoint(database->connection)) {
        return fail_open(std::move(database));
    }
    return as_engine(database.release());
}

void close_server_database(EngineDatabase* engine_database) {
    PgDatabase* database = &as_pg(engine_database);
    // Ending the session ends its transaction, rows in flight and views.
    PQfinish(database->connection.conn);
    delete database;
}
