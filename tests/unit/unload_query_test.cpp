// The unload query text and the spatial-reference query text.

#include "db/unload_query.h"

#include <gtest/gtest.h>

#include <string>

#include "dbf/dbf_header.h"
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
                 "SELECT\n\t\"name\",\n\t\"Lanes\",\n\tGX_AsShape(geom)\nFROM\troads\nWHERE\tlanes "
                 "> 2\n");

    Fields none({});
    unload_query_text(kRoads, nullptr, none.table, buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "SELECT\n\tGX_AsShape(geom)\nFROM\troads\n");
}

TEST(UnloadQuery, IdentifiersAreQuotedSoNoNameChangesTheQuery) {
    Fields fields({"order", "a\"b", "x\" FROM t; --"});
    char buffer[256];
    unload_query_text(kRoads, nullptr, fields.table, buffer, sizeof buffer);
    EXPECT_STREQ(
        buffer,
        "SELECT\n\t\"order\",\n\t\"a\"\"b\",\n\t\"x\"\" FROM t; --\",\n\tGX_AsShape(geom)\n"
        "FROM\troads\n");
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
}

}  // namespace
