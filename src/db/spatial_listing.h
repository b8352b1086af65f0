// The spatial columns a database has, as its catalogue registers them: what
// the listing mode (-L) prints, one line per column, and what a run names
// when the column it was given is not among them.

#ifndef SPOOLMAP_DB_SPATIAL_LISTING_H
#define SPOOLMAP_DB_SPATIAL_LISTING_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct ListedColumn {
    std::string schema;  // empty where the database has none to tell
    std::string table;   // as the database stores it
    std::string column;
    std::string geometry_type;  // as the catalogue declares it ("MULTIPOLYGON"); may be empty
    int32_t coord_dimension = 2;
    int32_t srid = 0;
    int rows_kind = 0;  // OSL_ROWS_UNKNOWN, _EXACT or _ESTIMATE
    int64_t rows = 0;
};

// Reads every registered spatial column, ordered by table and column. False,
// with the library's diagnostics left for check_sql, when the catalogue
// cannot be read.
bool read_spatial_columns(std::vector<ListedColumn>& columns);

// Each column's row count where the database keeps one (osl_table_row_count).
void count_listed_rows(std::vector<ListedColumn>& columns);

// How -l names a listed column: "schema.table,column" (or "table,column"
// where the database has no schemas), each name that a bare name could not
// give back in double quotes.
std::string table_switch_value(const ListedColumn& listed);

// The listing's lines, one per column, their fields aligned: the -l value
// (table_switch_value), the shape type it unloads to ("polygon (5)", "any" for a
// generic column, "none (GEOMETRYCOLLECTION)" for a type no shapefile holds),
// the SRID and the rows ("1250 rows", "~48000 rows" for an estimate, "rows
// unknown").
std::vector<std::string> listing_lines(const std::vector<ListedColumn>& columns);

// At most this many columns are named in one sentence.
constexpr int kNamedColumnsMax = 20;

// One sentence naming the database's spatial columns by their -l values, at
// most kNamedColumnsMax of them and then "…", into buffer (replacing what it
// held); "The database has no spatial columns." when it has none, and empty
// when the catalogue cannot be read. Cut short, never overrun, when buffer is
// too small.
void spatial_columns_sentence(char* buffer, size_t size);

#endif
