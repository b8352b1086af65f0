// Statement texts as the server engine rewrites them, without a server: the
// "?" markers numbered, GX_AsShape and GX_Srid asked of PostGIS and the
// catalog defined, each only outside literals, quoted names and comments as
// PostgreSQL's lexer reads them; a second statement refused by the same
// lexer.

#include <gtest/gtest.h>

#include <string>

#include "ostrel_test_support.h"
#include "postgres/statement_text.h"

namespace {

PgDatabase rewriting_database() {
    PgDatabase database;
    database.postgis.schema = "gis";
    database.catalog = {{"systables", "systables (tabid) AS (SELECT 1)"}};
    return database;
}

std::string rewritten(const PgDatabase& database, const char* text) {
    ServerText server;
    EXPECT_TRUE(server_text(text, "Statement 's'", database, &server)) << text;
    return server.text;
}

TEST(PostgresStatementText, RewritesOnlyOutsideLiteralsNamesAndComments) {
    PgDatabase database = rewriting_database();
    const std::pair<const char*, const char*> cases[] = {
        {"a = ? AND b = ?", "a = $1 AND b = $2"},
        {"'?', 'it''s ?', ?", "'?', 'it''s ?', $1"},
        {"\"a?\"\"b\" = ?", "\"a?\"\"b\" = $1"},
        {"-- ?\n? /* ? /* ? */ ? */ + ?", "-- ?\n$1 /* ? /* ? */ ? */ + $2"},
        {"name = $$what?$$ OR n = ?", "name = $$what?$$ OR n = $1"},
        {"name = $t$ a ? $$ ; $t$ OR n = ?", "name = $t$ a ? $$ ; $t$ OR n = $1"},
        {"name = E'it\\'s ok?' OR n = ?", "name = E'it\\'s ok?' OR n = $1"},
        {"name = U&'d\\0061t?' OR n = ?", "name = U&'d\\0061t?' OR n = $1"},
        {"? 'unclosed ?", "$1 'unclosed ?"},
        {"a - ? / ?", "a - $1 / $2"},
        {"x=? AND y<>?", "x=$1 AND y<>$2"},
        {"SELECT ?, f(?)", "SELECT $1, f($2)"},
        {"x IN (?, ?) AND n = $1", "x IN ($1, $2) AND n = $1"},
        {"n LIKE ?||'%' AND m > ?-1 AND k = ?*2", "n LIKE $1||'%' AND m > $2-1 AND k = $3*2"},
        // The server's operators of "?": jsonb's, jsonpath's, geometry's.
        {"tags ? 'key' AND n = ?", "tags ? 'key' AND n = $1"},
        {"tags ?| array['a'] AND tags ?& array[?]", "tags ?| array['a'] AND tags ?& array[$1]"},
        {"(t.tags) ? 'k' OR '{}'::jsonb ? 'k'", "(t.tags) ? 'k' OR '{}'::jsonb ? 'k'"},
        {"doc @? '$.a' OR l ?-| m", "doc @? '$.a' OR l ?-| m"},
        // GX_AsShape and GX_Srid asked of PostGIS, not inside a literal.
        {"SELECT 'GX_AsShape(g)', GX_Srid(g), GX_AsShape(g) FROM t",
         "SELECT 'GX_AsShape(g)', gis.st_srid((g)::gis.geometry), "
         "gis.st_asbinary((g)::gis.geometry) AS \"ostrel.shape.1\" FROM t"},
        // ... also inside one another.
        {"SELECT GX_AsShape(f(g, GX_Srid(GX_Srid(h)))) AS s, GX_Srid(k) FROM t",
         "SELECT gis.st_asbinary((f(g, gis.st_srid((gis.st_srid((h)::gis.geometry))::gis."
         "geometry)))::gis.geometry) AS \"ostrel.shape.1\", gis.st_srid((k)::gis.geometry) FROM t"},
        // The catalog defined where a statement names it.
        {"SELECT * FROM systables", "WITH systables (tabid) AS (SELECT 1) SELECT * FROM systables"},
        {"WITH x AS (SELECT 2) SELECT * FROM systables, x",
         "WITH systables (tabid) AS (SELECT 1), x AS (SELECT 2) SELECT * FROM systables, x"},
        {"SELECT 'systables' FROM public.systables", "SELECT 'systables' FROM public.systables"},
        {"SELECT ';'; -- ;\n;", "SELECT ';'"},
        {"SELECT $$;$$ ;", "SELECT $$;$$ "},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(rewritten(database, text), expected) << text;
    }
    // Where the server reads backslashes as escapes in every string.
    database.standard_strings = false;
    EXPECT_EQ(rewritten(database, "n = 'it\\'s ?' OR n = ?"), "n = 'it\\'s ?' OR n = $1");
}

TEST(PostgresStatementText, ASecondStatementIsRefused) {
    PgDatabase database = rewriting_database();
    for (const char* text :
         {"SELECT 1; SELECT 2", "SELECT $$a$$; DELETE FROM t", "SELECT E'\\';'; x"}) {
        ServerText server;
        EXPECT_FALSE(server_text(text, "Statement 's'", database, &server)) << text;
        EXPECT_EQ(conditions()[0].code, -414) << text;
    }
}

}  // namespace
