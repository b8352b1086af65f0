// Connections: resolving a target "db" or "db@server" to a database and the
// engine that reads it, and connecting through that engine. A file is read
// by the embedded engine, which never creates a database and never writes to
// one; a target that resolves to no file is refused with every path tried.

#include <dirent.h>
#include <sys/stat.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/password_mask.h"
#include "core/status.h"
#include "core/trace.h"
#include "front/connection.h"
#include "front/engine_registry.h"
#include "front/sql_objects.h"

static Connection& connection = connection_state;

// ---------------------------------------------------------------------------
// Server addresses as messages, logs and the trace show them.

// Where the password of a postgresql:// address's user part lies: from
// after the user's ':' to the user part's last '@' ([*begin, *end); false
// when the address has none). libpq ends the user part at the first '@' or
// '/', so a password holding either would be read in pieces and the pieces
// shown in its messages; the last '@' takes the whole password, and
// unreadable_password refuses such an address before libpq sees it. That
// '@' comes before the options, which may hold '@'s of their own
// ("?user=alice@corp"); they begin at the first '?' after a '/', as a '?'
// of the password comes before any '/' of the path.
static bool password_span(const std::string& server, size_t* begin, size_t* end) {
    size_t scheme_end = server.find("://");
    if (scheme_end == std::string::npos) {
        return false;
    }
    size_t host = scheme_end + 3;
    size_t slash = server.find('/', host);
    size_t options = slash == std::string::npos ? std::string::npos : server.find('?', slash);
    size_t at = server.rfind('@', options);
    size_t colon = server.find(':', host);
    if (at == std::string::npos || at < host || colon >= at) {
        return false;
    }
    *begin = colon + 1;
    *end = at;
    return true;
}

// A postgresql:// address with its passwords masked: the one of the user
// part ("alice:secret@") and every "password=" of the options after '?'.
// The passwords as written go to *passwords when it is not null.
static std::string server_shown(const std::string& server,
                                std::vector<std::string>* passwords = nullptr) {
    std::string shown = server;
    auto mask = [&](size_t from, size_t length) {
        if (passwords != nullptr && length > 0) {
            passwords->push_back(shown.substr(from, length));
        }
        shown.replace(from, length, kPasswordMask);
    };
    size_t scheme_end = shown.find("://");
    if (scheme_end == std::string::npos) {
        return shown;
    }
    size_t begin = 0;
    size_t end = 0;
    if (password_span(shown, &begin, &end)) {
        mask(begin, end - begin);
    }
    // The mask took any '?' of the password with it.
    size_t options = shown.find('?', scheme_end);
    for (size_t key = options; key != std::string::npos; key = shown.find('&', key + 1)) {
        static const std::string kPasswordKey = "password=";
        if (shown.compare(key + 1, kPasswordKey.size(), kPasswordKey) == 0) {
            size_t value = key + 1 + kPasswordKey.size();
            size_t value_end = shown.find('&', value);
            value_end = value_end == std::string::npos ? shown.size() : value_end;
            mask(value, value_end - value);
        }
    }
    return shown;
}

// Whether libpq would read the address's password in pieces: one that
// holds a '/' or an '@', which end the user part for libpq.
static bool unreadable_password(const std::string& server) {
    size_t begin = 0;
    size_t end = 0;
    return password_span(server, &begin, &end) && server.find_first_of("/@", begin) < end;
}

int osl_server_shown(const char* server, char* out, size_t out_size) {
    std::string shown = server_shown(server != nullptr ? server : "");
    if (shown.size() + 1 > out_size) {
        return -1;
    }
    std::memcpy(out, shown.c_str(), shown.size() + 1);
    return 0;
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
    std::string path;    // the database file (kFile)
    std::string name;    // the database name (kServer)
    std::string server;  // the server's address (kServer)
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
        if (unreadable_password(server)) {
            status_error(OslError::kUnknownServer,
                         "Cannot connect to database '%s' on server '%s': the password of the "
                         "address holds a '/' or an '@', which end its user part; write them as "
                         "%%2F and %%40.",
                         name.c_str(), server_shown(server).c_str());
            return result;
        }
        result.kind = TargetKind::kServer;
        result.name = name;
        result.server = server;
        return result;
    }
    if (!server.empty() && is_directory(server)) {
        return resolve_in_directory(name, server);
    }
    status_error(OslError::kUnknownServer,
                 "Cannot connect to server '%s' for database '%s': it is neither an existing "
                 "directory nor a postgresql:// address.",
                 server_shown(server).c_str(), name.c_str());
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

// Closes the database and forgets the connection; a failed connect leaves
// the session as if it had never begun.
static void close_database() {
    if (connection.database != nullptr) {
        connection.engine->close(connection.database);
    }
    connection.database = nullptr;
    connection.engine = nullptr;
    connection.target.clear();
    connection.path.clear();
}

int osl_connect(const char* target, const OslConnectAuth* auth) {
    status_begin();
    if (connection.database != nullptr) {
        return status_error(
            OslError::kAlreadyConnected, "Cannot connect to '%s': already connected to '%s'.",
            server_shown(target != nullptr ? target : "").c_str(), connection.target.c_str());
    }
    ResolvedTarget resolved = resolve_target(target);
    if (resolved.kind == TargetKind::kFailed) {
        return osl_status();
    }
    bool is_file = resolved.kind == TargetKind::kFile;
    const EngineOps* engine = is_file ? &file_engine() : &server_engine();
    std::vector<std::string> passwords;
    std::string shown = server_shown(resolved.server, &passwords);
    EngineTarget where{is_file ? resolved.path.c_str() : resolved.name.c_str(),
                       resolved.server.c_str(), shown.c_str(), &passwords, auth};
    EngineDatabase* database = engine->open(where);
    if (database == nullptr) {
        return osl_status();
    }
    connection.engine = engine;
    connection.database = database;
    // Neither the trace nor a message shows a password of the address.
    connection.target = server_shown(target);
    connection.path = is_file ? resolved.path : shown;
    trace_event("connect", connection.path.c_str(), connection.target.c_str());
    return status_set(OSL_OK);
}

int osl_disconnect_current() {
    status_begin();
    if (!require_connection("Disconnect")) {
        return osl_status();
    }
    trace_event("disconnect", connection.path.c_str(), "");
    drop_session_objects();
    close_database();
    trace_close();
    return status_set(OSL_OK);
}
