// The column catalogue against real databases: the field of every declared
// type, the warnings and skips, the 10-character names and how an append maps
// them back, and the tables too wide for a .dbf file.

#include "dbf/column_catalogue.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "dbf_test_database.h"
#include "process_end_capture.h"

namespace {

struct Field {
    std::string name;
    char type;
    int length;
    int decimals;
    std::string column;
    bool operator==(const Field& other) const {
        return name == other.name && type == other.type && length == other.length &&
               decimals == other.decimals && column == other.column;
    }
};

std::ostream& operator<<(std::ostream& out, const Field& f) {
    return out << f.name << " " << f.type << " " << f.length << "." << f.decimals << " <- "
               << f.column;
}

std::vector<Field> fields_of(const FieldTable& fields) {
    std::vector<Field> result;
    for (int32_t i = 0; i < fields.field_count; ++i) {
        result.push_back({fields.fnam[i], fields.ftyp[i], fields.flen[i], fields.fdec[i],
                          fields.column_name[i] != nullptr ? fields.column_name[i] : "(none)"});
    }
    return result;
}

// What the catalogue fills, and the buffer its query text is built in.
struct Catalogue {
    FieldTable fields;
    DbfHeader dbf_header;
    char text[32768] = {};
};

SpatialColumn settings_for(const char* table) {
    return {table, "geom"};
}

void build_fields(const SpatialColumn& table, Catalogue& run) {
    build_field_table(table, run.text, sizeof run.text, run.fields, run.dbf_header);
}

// Builds the field table of table in a fresh database made of sql.
EndResult build(const std::vector<std::string>& sql, const char* table, Catalogue& run) {
    ScratchDirectory scratch;
    std::string path = scratch.file("t.db");
    write_native_database(path, sql);
    Connection connection(path);
    return run_capturing_end([&] { build_fields(settings_for(table), run); });
}

TEST(ColumnCatalogue, FieldOfEveryDeclaredType) {
    auto run = std::make_unique<Catalogue>();
    EndResult result =
        build({"CREATE TABLE parcels (gx_row_id SERIAL, name CHAR(300), code CHAR(254), "
               "area DECIMAL(16,2), whole DECIMAL(10,0), ratio DECIMAL(16), price MONEY(8,2), "
               "geom BLOB, stamp DATETIME, small SMALLINT, tiny TINYINT, medium MEDIUMINT, "
               "i4 INT4, big INTEGER, f FLOAT, d DOUBLE, r REAL, sf SMALLFLOAT, born DATE, "
               "ok BOOLEAN, v VARCHAR(40), t TEXT, nv NVARCHAR(12), ch CHAR, dec DECIMAL, "
               "cash MONEY, wide DECIMAL(40,2), untyped)",
               "INSERT INTO geometry_columns VALUES ('parcels', 'geom', 0)"},
              "parcels", *run);
    ASSERT_FALSE(result.ended) << result.err;
    std::vector<Field> expected = {
        {"NAME", 'C', 254, 0, "name"},    {"CODE", 'C', 254, 0, "code"},
        {"AREA", 'N', 18, 2, "area"},     {"WHOLE", 'N', 12, 0, "whole"},
        {"RATIO", 'N', 20, 255, "ratio"}, {"PRICE", 'N', 10, 2, "price"},
        {"SMALL", 'N', 6, 0, "small"},    {"TINY", 'N', 6, 0, "tiny"},
        {"MEDIUM", 'N', 11, 0, "medium"}, {"I4", 'N', 11, 0, "i4"},
        {"BIG", 'N', 21, 0, "big"},       {"F", 'F', 20, 0, "f"},
        {"D", 'F', 20, 0, "d"},           {"R", 'F', 20, 0, "r"},
        {"SF", 'F', 20, 0, "sf"},         {"BORN", 'D', 8, 0, "born"},
        {"OK", 'L', 1, 0, "ok"},          {"V", 'C', 40, 0, "v"},
        {"T", 'C', 254, 0, "t"},          {"NV", 'C', 12, 0, "nv"},
        {"CH", 'C', 1, 0, "ch"},          {"DEC", 'N', 20, 255, "dec"},
        {"CASH", 'N', 18, 2, "cash"},     {"UNTYPED", 'C', 254, 0, "untyped"},
    };
    EXPECT_EQ(fields_of(run->fields), expected);
    int record_length = 1;
    for (const Field& f : expected) {
        record_length += f.length;
    }
    EXPECT_EQ(run->dbf_header.record_length, record_length);
    EXPECT_EQ(run->dbf_header.header_length, 32 * (24 + 1) + 1);
    // The geometry column and the SERIAL gx_row_id go silently; the DATETIME
    // and the DECIMAL beyond 32 digits are skipped with their message.
    EXPECT_EQ(result.out,
              "\nWarning: The character column 'NAME', which has a length of 300 characters, is "
              "truncated in the .dbf file because the maximum length of character columns in the "
              ".dbf file is 254 characters.\n"
              "\nSkipping unload of column 'stamp'.\n"
              "\nSkipping unload of column 'wide'.\n");
    free_field_table(run->fields);
}

TEST(ColumnCatalogue, RowIdColumnsAndEmptyTables) {
    // gx_row_id of an integer type is the row id: left out, also as a 64-bit
    // INTEGER; only the geometry column is left, so there are no fields.
    for (const char* type : {"INTEGER", "SERIAL", "MEDIUMINT", "BIGINT"}) {
        auto run = std::make_unique<Catalogue>();
        EndResult result =
            build({std::string("CREATE TABLE roads (GX_ROW_ID ") + type + ", Geom BLOB)",
                   "INSERT INTO geometry_columns VALUES ('roads', 'geom', 0)"},
                  "roads", *run);
        ASSERT_FALSE(result.ended) << result.err;
        EXPECT_EQ(run->fields.field_count, 0) << type;
        EXPECT_EQ(run->dbf_header.record_length, 1);
        EXPECT_EQ(run->dbf_header.header_length, 33);
        EXPECT_EQ(result.out, "") << type;
        free_field_table(run->fields);
    }
    // A SMALLINT of that name is an ordinary column.
    auto run = std::make_unique<Catalogue>();
    EndResult result = build({"CREATE TABLE roads (gx_row_id SMALLINT, geom BLOB)",
                              "INSERT INTO geometry_columns VALUES ('roads', 'geom', 0)"},
                             "roads", *run);
    ASSERT_FALSE(result.ended) << result.err;
    EXPECT_EQ(fields_of(run->fields), (std::vector<Field>{{"GX_ROW_ID", 'N', 6, 0, "gx_row_id"}}));
    free_field_table(run->fields);
}

TEST(ColumnCatalogue, LongNamesBecomeUniqueFieldsAndAppendFindsThemAgain) {
    ScratchDirectory scratch;
    std::string path = scratch.file("t.db");
    write_native_database(
        path, {"CREATE TABLE census (population_2020 MEDIUMINT, stamp DATETIME, "
               "population_2021 MEDIUMINT, \"Populati_1\" SMALLINT, name TEXT, geom BLOB)",
               "INSERT INTO geometry_columns VALUES ('census', 'geom', 0)"});
    Connection connection(path);
    SpatialColumn settings = settings_for("census");
    auto run = std::make_unique<Catalogue>();
    EndResult result = run_capturing_end([&] { build_fields(settings, *run); });
    ASSERT_FALSE(result.ended) << result.err;
    EXPECT_EQ(fields_of(run->fields),
              (std::vector<Field>{{"POPULATION", 'N', 11, 0, "population_2020"},
                                  {"POPULATI_1", 'N', 11, 0, "population_2021"},
                                  {"POPULATI_2", 'N', 6, 0, "Populati_1"},
                                  {"NAME", 'C', 254, 0, "name"}}));
    EXPECT_EQ(result.out,
              "\nColumn 'population_2020' is unloaded as field 'POPULATION': .dbf field names are "
              "unique and hold at most 10 characters.\n"
              "\nSkipping unload of column 'stamp'.\n"
              "\nColumn 'population_2021' is unloaded as field 'POPULATI_1': .dbf field names are "
              "unique and hold at most 10 characters.\n"
              "\nColumn 'Populati_1' is unloaded as field 'POPULATI_2': .dbf field names are "
              "unique and hold at most 10 characters.\n");

    // An append reads the names from the file (in any case, in any order) and
    // finds each field's column by the same rule, silently.
    FieldTable appended;
    allocate_field_table(appended, 3);
    for (const char* name : {"NAME", "populati_2", "POPULATION"}) {
        appended.fnam[appended.field_count++] = strdup(name);
    }
    std::swap(run->fields, appended);
    result = run_capturing_end(
        [&] { map_fields_to_columns(settings, run->text, sizeof run->text, run->fields); });
    ASSERT_FALSE(result.ended) << result.err;
    EXPECT_EQ(result.out, "");
    EXPECT_STREQ(run->fields.column_name[0], "name");
    EXPECT_STREQ(run->fields.column_name[1], "Populati_1");
    EXPECT_STREQ(run->fields.column_name[2], "population_2020");
    free_field_table(run->fields);
    free_field_table(appended);

    // A field that is no longer a column (or whose column's type has no
    // field any more) ends the append before anything is written.
    for (const char* name : {"POPULATI_3", "STAMP"}) {
        allocate_field_table(run->fields, 2);
        run->fields.fnam[run->fields.field_count++] = strdup("NAME");
        run->fields.fnam[run->fields.field_count++] = strdup(name);
        result = run_capturing_end(
            [&] { map_fields_to_columns(settings, run->text, sizeof run->text, run->fields); });
        EXPECT_TRUE(result.ended);
        EXPECT_EQ(result.err, std::string("\nField '") + name +
                                  "' of the .dbf file is no longer a column of table 'census'.\n");
        free_field_table(run->fields);
    }
}

TEST(ColumnCatalogue, RefusesTablesTooWideForADbfFile) {
    // 129 columns of 254 characters need 1 + 129 * 254 = 32767 bytes: the
    // largest record there is. One more passes it.
    for (int columns : {129, 130}) {
        std::string create = "CREATE TABLE wide (geom BLOB";
        for (int i = 0; i < columns; ++i) {
            create += ", c" + std::to_string(i) + " CHAR(254)";
        }
        create += ")";
        auto run = std::make_unique<Catalogue>();
        EndResult result = build({create}, "wide", *run);
        if (columns == 129) {
            EXPECT_FALSE(result.ended) << result.err;
            EXPECT_EQ(run->dbf_header.record_length, 32767);
        } else {
            EXPECT_TRUE(result.ended);
            EXPECT_EQ(result.err,
                      "\nThe attribute columns of table 'wide' need 33021 bytes per .dbf record; "
                      "a .dbf record holds at most 32767 bytes.\n");
        }
        free_field_table(run->fields);
    }
    // 1022 fields make a header of 32737 bytes; 1023 would pass 32767.
    for (int columns : {1022, 1023}) {
        std::string create = "CREATE TABLE many (geom BLOB";
        for (int i = 0; i < columns; ++i) {
            create += ", c" + std::to_string(i) + " BOOLEAN";
        }
        create += ")";
        auto run = std::make_unique<Catalogue>();
        EndResult result = build({create}, "many", *run);
        if (columns == 1022) {
            EXPECT_FALSE(result.ended) << result.err;
            EXPECT_EQ(run->dbf_header.header_length, 32737);
        } else {
            EXPECT_TRUE(result.ended);
            EXPECT_EQ(result.err,
                      "\nTable 'many' has 1023 attribute columns; a .dbf file holds at most 1022 "
                      "fields.\n");
        }
        free_field_table(run->fields);
    }
}

}  // namespace
