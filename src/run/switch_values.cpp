// The values of the switches that need more than to be stored: the -l and
// -trc pairs, the base name of -f, the database name of -D, the password of
// -p and the shape type of -t. Each refuses a value it cannot take with the
// usage (refuse_command_line).

#include "run/switch_values.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>

#include "db/client.h"
#include "run/command_help.h"
#include "run/connection.h"
#include "shape/shape_layout.h"
#include "text/characters.h"

static const char kShpSuffix[] = ".shp";
static constexpr size_t kShpSuffixChars = sizeof kShpSuffix - 1;

// The password, kept apart from the arguments so that they can be
// overwritten; it fits the connection's copy of it.
static char kept_password[kCredentialBytes];

// The server address, kept apart for the same reason: a password written in
// it. The target it goes into holds no longer one.
static char kept_server[kTargetBytes];

bool split_pair(char* value, const char** first, const char** second) {
    if (std::strchr(value, ',') == nullptr) {
        return false;
    }
    char* tokens[2] = {nullptr, nullptr};
    char* ends[2] = {nullptr, nullptr};
    int found = 0;
    char* p = value;
    while (found < 2) {
        while (*p == ',') {
            ++p;
        }
        if (*p == '\0') {
            break;
        }
        tokens[found] = p;
        while (*p != ',' && *p != '\0') {
            ++p;
        }
        ends[found++] = p;
    }
    if (found < 2) {
        return false;
    }
    *ends[0] = '\0';
    if (*ends[1] == ',') {
        *ends[1] = '\0';
    }
    *first = tokens[0];
    *second = tokens[1];
    return true;
}

// A -f value that names no file would make hidden files ("out/.shp") or
// files beside a directory the user meant to write into.
const char* take_base_name(char* value) {
    size_t length = std::strlen(value);
    if (length >= kShpSuffixChars &&
        ascii_equal_ignoring_case(value + length - kShpSuffixChars, kShpSuffix)) {
        value[length - kShpSuffixChars] = '\0';
    }
    length = std::strlen(value);
    if (length == 0) {
        refuse_command_line("Switch '-f' needs the base name of the files, as in -f roads.");
    }
    struct stat status;
    bool slash = value[length - 1] == '/';
    if (slash || (stat(value, &status) == 0 && S_ISDIR(status.st_mode))) {
        refuse_command_line(
            "Switch '-f' names the directory '%s'; give the base name of the files in it, as in "
            "-f %s%sroads.",
            value, value, slash ? "" : "/");
    }
    return value;
}

// The directory part of -D is a path and keeps its case; the database's own
// name is matched ignoring case, so it is lower-cased, unless it stands in
// double quotes.
char* take_database_name(char* value) {
    size_t length = std::strlen(value);
    if (length >= 2 && value[0] == '"' && value[length - 1] == '"') {
        value[length - 1] = '\0';
        return value + 1;
    }
    char* slash = std::strrchr(value, '/');
    char* name = slash != nullptr ? slash + 1 : value;
    size_t name_length = std::strlen(name);
    if (name_length >= 2 && name[0] == '"' && name[name_length - 1] == '"') {
        std::memmove(name, name + 1, name_length - 2);
        name[name_length - 2] = '\0';
    } else {
        to_lower_in_place(name);
    }
    return value;
}

// The password is copied out and its argument overwritten at once, so that
// ps and /proc/<pid>/cmdline show nothing of it for the rest of the run.
const char* take_password(char* value) {
    size_t length = std::strlen(value);
    if (length >= sizeof kept_password) {
        std::memset(value, 0, length);
        refuse_command_line("The value of switch '-p' is longer than %zu bytes.",
                            sizeof kept_password - 1);
    }
    std::memcpy(kept_password, value, length + 1);
    std::memset(value, 0, length);
    return kept_password;
}

// The argument is overwritten with the address as messages show it, cut to
// the argument's length: that text holds no byte of any password, whatever
// the lengths, so a cut one does not either. An address whose masked form
// does not fit (it cannot grow to twice its length) leaves only zeros.
const char* take_server(char* value) {
    size_t length = std::strlen(value);
    if (length >= sizeof kept_server) {
        refuse_command_line("The value of switch '-s' is longer than %zu bytes.",
                            sizeof kept_server - 1);
    }
    std::memcpy(kept_server, value, length + 1);
    char shown[2 * kTargetBytes];
    if (osl_server_shown(kept_server, shown, sizeof shown) != 0) {
        shown[0] = '\0';
    }
    size_t kept = std::min(length, std::strlen(shown));
    std::memcpy(value, shown, kept);
    std::memset(value + kept, 0, length - kept);
    return kept_server;
}

void refuse_shape_type(const char* value) {
    char choices[kShapeTypeChoicesBytes];
    shape_type_choices(choices, sizeof choices);
    refuse_command_line(
        "Invalid value for command line switch '%s'. '%s' is no shape type; give one of %s.", "-t",
        value, choices);
}
