// Connections: resolving a target "db" or "db@server" to a database, opening
// it read-only, and making the catalog the caller's SQL names. The embedded
// engine never creates a database and never writes to one; a target it cannot
// resolve is refused with every path it tried.

#include <dirent.h>
#include <sys/stat.h>

#include <cstring>
#include <string>

#include "engine.h"
#include "gx_shape.h"
#include "status.h"

struct OslConnectAuth {
    std::string user;
    std::string password;
};

Session engine_state;
static Session& session = engine_state;

bool require_connection(const char* operation) {
    if (session.db == nullptr) {
        status_error(OslError::kNotConnected, "%s: there is no database connection.", operation);
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Target resolution.

// The file names a database name may have, tried in this order.
static const char* const kDatabaseSuffixes[] = {"", ".gpkg", ".sqlite", ".db"};

static bool is_regular_file(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

static bool is_directory(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

static bool equal_ignoring_ascii_case(const char* a, const char* b) {
    return osl_text_compare(a, b) == 0;
}

static bool starts_with(const std::string& text, const char* prefix) {
    return text.compare(0, std::strlen(prefix), prefix) == 0;
}

enum class TargetKind { kFile, kServer, kFailed };

struct ResolvedTarget {
    TargetKind kind = TargetKind::kFailed;
    std::string path;  // the database file (kFile)
};

// The file of database name in directory dir ("" for the working
// directory): the names of kDatabaseSuffixes exactly, then one entry of the
// directory whose name matches one of them ignoring ASCII case. Leaves the
// condition naming every path tried when there is none or more than one.
static ResolvedTarget resolve_in_directory(const std::string& name, const std::string& dir) {
    ResolvedTarget result;
    // A name with a directory part of its own ("data/roads") is looked up in
    // that directory, relative to dir.
    std::string folder = dir;
    std::string base = name;
    size_t slash = name.rfind('/');
    if (slash != std::string::npos) {
        std::string name_dir = name.substr(0, slash + 1);
        folder = (name_dir[0] == '/' || dir.empty()) ? name_dir : dir + "/" + name_dir;
        base = name.substr(slash + 1);
    } else if (!dir.empty()) {
        folder = dir + "/";
    }
    std::string tried;
    for (const char* suffix : kDatabaseSuffixes) {
        std::string path = folder + base + suffix;
        if (is_regular_file(path)) {
            result.kind = TargetKind::kFile;
            result.path = path;
            return result;
        }
        tried += tried.empty() ? "" : ", ";
        tried += "'" + path + "'";
    }

    std::string listed = folder.empty() ? "." : folder;
    std::string found;
    int matches = 0;
    if (!base.empty()) {
        if (DIR* entries = opendir(listed.c_str())) {
            while (struct dirent* entry = readdir(entries)) {
                for (const char* suffix : kDatabaseSuffixes) {
                    std::string candidate = base + suffix;
                    if (equal_ignoring_ascii_case(entry->d_name, candidate.c_str()) &&
                        is_regular_file(folder + entry->d_name)) {
                        if (matches++ == 0) {
                            found = folder + entry->d_name;
                        } else {
                            found += "' and '" + folder + entry->d_name;
                        }
                        break;
                    }
                }
            }
            closedir(entries);
        }
    }
    if (matches == 1) {
        result.kind = TargetKind::kFile;
        result.path = found;
        return result;
    }
    if (matches > 1) {
        status_error(OslError::kDatabaseAmbiguous,
                     "Database '%s' is ambiguous: '%s' match it ignoring case; name one exactly.",
                     name.c_str(), found.c_str());
        return result;
    }
    status_error(OslError::kDatabaseNotFound, "Database '%s' not found in directory '%s'.",
                 name.c_str(), listed.c_str());
    status_error(OslError::kDatabaseNotFound, "Tried %s, and these names in any letter case.",
                 tried.c_str());
    return result;
}

static ResolvedTarget resolve_target(const char* target) {
    std::string text = target != nullptr ? target : "";
    size_t at = text.find('@');
    std::string name = text.substr(0, at);
    ResolvedTarget result;
    if (name.empty()) {
        status_error(OslError::kDatabaseNotFound, "No database name in connection target '%s'.",
                     text.c_str());
        return result;
    }
    if (at == std::string::npos) {
        return resolve_in_directory(name, "");
    }
    std::string server = text.substr(at + 1);
    if (starts_with(server, "postgresql://") || starts_with(server, "postgres://")) {
        result.kind = TargetKind::kServer;
        return result;
    }
    if (!server.empty() && is_directory(server)) {
        return resolve_in_directory(name, server);
    }
    status_error(OslError::kUnknownServer,
                 "Cannot connect to server '%s' for database '%s': it is neither an existing "
                 "directory nor a postgresql:// address.",
                 server.c_str(), name.c_str());
    return result;
}

int osl_resolve_database_file(const char* target, char* path, size_t path_size) {
    status_begin();
    if (path_size > 0) {
        path[0] = '\0';
    }
    ResolvedTarget resolved = resolve_target(target);
    if (resolved.kind == TargetKind::kFailed) {
        return osl_status();
    }
    if (resolved.kind == TargetKind::kServer) {
        return status_set(1);
    }
    if (resolved.path.size() + 1 > path_size) {
        return status_error(OslError::kBadArgument,
                            "The path of database file '%s' does not fit its buffer of %zu bytes.",
                            resolved.path.c_str(), path_size);
    }
    std::memcpy(path, resolved.path.c_str(), resolved.path.size() + 1);
    return status_set(OSL_OK);
}

// ---------------------------------------------------------------------------
// Connect and disconnect.

OslConnectAuth* osl_auth_make(const char* user, const char* password) {
    OslConnectAuth* auth = new OslConnectAuth;
    auth->user = user != nullptr ? user : "";
    auth->password = password != nullptr ? password : "";
    return auth;
}

void osl_auth_free(OslConnectAuth* auth) {
    delete auth;
}

// SQLite reads names beginning "file:" as URIs; a database file of such a
// name is opened through an explicit relative path instead.
static std::string plain_file_name(const std::string& path) {
    return starts_with(path, "file:") ? "./" + path : path;
}

// Closes the database and forgets what was learnt of it; a failed connect
// leaves the session as if it had never begun.
static void close_database() {
    if (session.db != nullptr) {
        sqlite3_close_v2(session.db);
        session.db = nullptr;
    }
    session.geometry_columns.clear();
    session.geometry_columns_loaded = false;
    session.kind = DatabaseKind::kPlain;
    session.target.clear();
    session.path.clear();
}

int osl_connect(const char* target, const OslConnectAuth* auth) {
    status_begin();
    (void)auth;  // a SQLite file has no users; the server engine takes them
    if (session.db != nullptr) {
        return status_error(OslError::kAlreadyConnected,
                            "Cannot connect to '%s': already connected to '%s'.",
                            target != nullptr ? target : "", session.target.c_str());
    }
    ResolvedTarget resolved = resolve_target(target);
    if (resolved.kind == TargetKind::kFailed) {
        return osl_status();
    }
    if (resolved.kind == TargetKind::kServer) {
        const char* at = std::strchr(target, '@');
        return status_error(OslError::kServerEngineMissing,
                            "Cannot connect to server '%s': the server engine is not available "
                            "in this build; use a database file or directory.",
                            at + 1);
    }

    // One thread uses a connection, so SQLite's per-call locking is left out.
    int rc = sqlite3_open_v2(plain_file_name(resolved.path).c_str(), &session.db,
                             SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        status_error(OslError::kDatabaseOpenFailed, "Database file '%s' cannot be opened: %s.",
                     resolved.path.c_str(),
                     session.db != nullptr ? sqlite3_errmsg(session.db) : sqlite3_errstr(rc));
        close_database();
        return osl_status();
    }
    sqlite3_extended_result_codes(session.db, 1);
    session.target = target;
    session.path = resolved.path;
    // SQLite reads the file only on first use: a file that is not a database
    // is found out here, before anything else is made on it.
    rc = sqlite3_exec(session.db, "SELECT count(*) FROM main.sqlite_schema", nullptr, nullptr,
                      nullptr);
    if (rc != SQLITE_OK) {
        status_error(OslError::kDatabaseOpenFailed, "Database file '%s' cannot be opened: %s.",
                     resolved.path.c_str(), sqlite3_errmsg(session.db));
        close_database();
        return osl_status();
    }
    if (!make_catalog(session)) {
        close_database();
        return osl_status();
    }
    register_trace_function(session.db);
    rc = gx_register_asshape(session.db, session.kind == DatabaseKind::kSpatiaLite, trace_gx_call,
                             &session.trace);
    if (rc != SQLITE_OK) {
        status_engine_error(session.db, rc, "The spatial extension cannot be registered");
        close_database();
        return osl_status();
    }
    trace_event("connect", resolved.path.c_str(), target);
    return status_set(OSL_OK);
}

int osl_disconnect_current() {
    status_begin();
    if (!require_connection("Disconnect")) {
        return osl_status();
    }
    trace_event("disconnect", session.path.c_str(), "");
    drop_session_objects();
    close_database();
    trace_close();
    return status_set(OSL_OK);
}
