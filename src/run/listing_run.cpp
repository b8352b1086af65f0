// The listing mode (see listing_run.h). The database is only read; nothing
// is written but the standard output.

#include "run/listing_run.h"

#include <string>
#include <vector>

#include "db/client.h"
#include "db/spatial_listing.h"
#include "db/sql_error.h"
#include "report/messages.h"
#include "report/process_end.h"
#include "run/command_line.h"
#include "run/connection.h"

void run_listing(const RunSettings& settings, const char* target) {
    connect_to_database(settings, target);
    std::vector<ListedColumn> columns;
    if (!read_spatial_columns(columns)) {
        check_sql();
    }
    count_listed_rows(columns);
    if (osl_disconnect_current() < 0) {
        check_sql();
    }
    if (columns.empty()) {
        console_line("No spatial columns in database '%s'.", settings.database);
    }
    for (const std::string& line : listing_lines(columns)) {
        console_line("%s", line.c_str());
    }
    flush_console_or_fail();
    end_process(kExitCompleted);
}
