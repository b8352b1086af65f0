// The run's connection (see connection.h).

#include "run/connection.h"

#include <cstring>

#include "db/client.h"
#include "db/server_trace.h"
#include "db/sql_error.h"
#include "run/command_line.h"
#include "text/text_append.h"

void form_target(const RunSettings& settings, char* target, size_t size) {
    target[0] = '\0';
    if (settings.server_given) {
        append_or_fail(target, size, "connection target", "%s@%s", settings.database,
                       settings.server);
    } else {
        append_or_fail(target, size, "connection target", "%s", settings.database);
    }
}

void connect_to_database(const RunSettings& settings, const char* target) {
    int status = 0;
    if (settings.user_given && settings.password_given) {
        char user[kCredentialBytes] = {};
        char password[kCredentialBytes] = {};
        append_or_fail(user, sizeof user, "user name", "%s", settings.user);
        append_or_fail(password, sizeof password, "password", "%s", settings.password);
        OslConnectAuth* auth = osl_auth_make(user, password);
        status = osl_connect(target, auth);
        osl_auth_free(auth);
        std::memset(password, 0, sizeof password);
    } else {
        status = osl_connect(target, nullptr);
    }
    if (status < 0) {
        check_sql();
    }
    if (settings.trace_given) {
        start_server_trace(settings.trace_file, settings.trace_level);
    }
}
