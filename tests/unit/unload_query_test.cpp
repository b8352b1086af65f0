// The unload query text and the spatial-reference query text.

#include "db/unload_query.h"

#include <gtest/gtest.h>

#include <string>

#include "dbf/dbf_header.h"
#include "dbf_test_database.h"
#include "process_end_capture.h"
#include "srs/projection_file.h"

namespace {

const SpatialColumn kRoads = {"roads", "geom"};

struct Fields {
    std::vector<std::string> columns;
    std::vector<char*> pointers;
    FieldTable table;
    explicit Fields(std::vector<std::string> names) : columns(std::move(names)) {
        for (auto& c : columns)
            pointers.push_back(c.data());
        table.field_count = static_cast<int32_t>(columns.size());
        table.column_name = pointers.data();
        table.fnam = pointers.data();
    }
};

TEST(UnloadQuery, FieldsInOrderThenTheShapeThenTableAndCondition) {
    Fields fields({"name", "Lanes"});
    char buffer[32768];
    unload_query_text(kRoads, "lanes > 2", fields.table, buffer, sizeof buffer);
    EXPECT_STREQ(buffer,
                 "SELECT\n\t\"name\",\n\t\"Lanes\",\n\tGX_AsShape(\"geom\")\nFROM\t\"roads\"\n"
                 "WHERE\tlanes > 2\n");

    Fields none({});
    unload_query_text(kRoads, nullptr, none.table, buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "SELECT\n\tGX_AsShape(\"geom\")\nFROM\t\"roads\"\n");

    // A table in a schema; the rows' SRID asked for just before the shape.
    unload_query_text({"Depots", "geom", "other"}, nullptr, fields.table, buffer, sizeof buffer,
                      SridItem::kAsked);
    EXPECT_STREQ(buffer,
                 "SELECT\n\t\"name\",\n\t\"Lanes\",\n\tGX_Srid(\"geom\"),\n\tGX_AsShape(\"geom\")\n"
                 "FROM\t\"other\".\"Depots\"\n");
}

TEST(UnloadQuery, IdentifiersAreQuotedSoNoNameChangesTheQuery) {
    Fields fields({"order", "a\"b", "x\" FROM t; --"});
    char buffer[256];
    unload_query_text({"my parcels", "the \"geom\""}, nullptr, fields.table, buffer, sizeof buffer);
    EXPECT_STREQ(buffer,
                 "SELECT\n\t\"order\",\n\t\"a\"\"b\",\n\t\"x\"\" FROM t; --\",\n"
                 "\tGX_AsShape(\"the \"\"geom\"\"\")\nFROM\t\"my parcels\"\n");
}

TEST(UnloadQuery, ATextThatWouldNotFitEndsTheRun) {
    Fields fields({std::string(100, 'c')});
    for (size_t size : {size_t{20}, size_t{110}, size_t{140}}) {
        char buffer[140];
        EndResult result = run_capturing_end(
            [&] { unload_query_text(kRoads, nullptr, fields.table, buffer, size); });
        EXPECT_EQ(result.status, 1) << size;
        EXPECT_EQ(result.err, "\nThe unload query does not fit in its buffer of " +
                                  std::to_string(size) + " bytes.\n");
    }
}

// A marker would be run without a value and match nothing; one inside a
// string literal is just a character.
TEST(UnloadQuery, AConditionWithAParameterMarkerIsRefused) {
    ScratchDirectory scratch;
    std::string path = scratch.file("t.db");
    write_native_database(path, {"CREATE TABLE t (name TEXT, geom BLOB)"});
    Connection connection(path);
    struct Case {
        const char* condition;
        bool refused;
    };
    const Case cases[] = {
        {"name = ?", true},    {"name = ?1", true},     {"name = :name", true},
        {"name = '?'", false}, {"name = \"?\"", false}, {nullptr, false},
    };
    for (const Case& c : cases) {
        std::string query = "SELECT name FROM t";
        if (c.condition != nullptr) {
            query += std::string(" WHERE ") + c.condition;
        }
        ASSERT_EQ(osl_prepare("selstmt2", query.c_str()), 0) << query;
        EndResult result =
            run_capturing_end([&] { refuse_parameter_markers("selstmt2", c.condition); });
        EXPECT_EQ(result.ended, c.refused) << query;
        if (c.refused) {
            EXPECT_EQ(result.err, std::string("\nThe condition '") + c.condition +
                                      "' of -w has a parameter marker, which needs a value; "
                                      "write the value into the condition.\n");
        }
    }
}

TEST(SrsQuery, NamesGoBetweenQuotesWithTheirQuotesDoubled) {
    char buffer[1024];
    srs_query_text(kRoads, buffer, sizeof buffer);
    EXPECT_STREQ(buffer,
                 "SELECT sr.srid, sr.srtext\nFROM   geometry_columns gc, spatial_references sr\n"
                 "WHERE  gc.f_table_name = 'roads' AND\n       gc.f_geometry_column = 'geom' AND\n"
                 "       gc.srid = sr.srid;\n");
    srs_query_text({"o'brien", "g' OR '1'='1"}, buffer, sizeof buffer);
    EXPECT_NE(std::string(buffer).find("gc.f_table_name = 'o''brien' AND"), std::string::npos);
    EXPECT_NE(std::string(buffer).find("gc.f_geometry_column = 'g'' OR ''1''=''1' AND"),
              std::string::npos);
    srs_query_text({"Depots", "geom", "o'ther"}, buffer, sizeof buffer);
    EXPECT_NE(std::string(buffer).find("WHERE  gc.f_table_schema = 'o''ther' AND\n       "
                                       "gc.f_table_name = 'Depots' AND"),
              std::string::npos)
        << buffer;
}

}  // namespace
