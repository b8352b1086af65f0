// The column catalogue against real databases: the field of every declared
// type, the warnings and skips, the field names and how an append matches
// them back to columns, and the tables too wide for a .dbf file.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "db/table_columns.h"
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
        {"RATIO", 'F', 24, 16, "ratio"},  {"PRICE", 'N', 10, 2, "price"},
        {"SMALL", 'N', 6, 0, "small"},    {"TINY", 'N', 6, 0, "tiny"},
        {"MEDIUM", 'N', 11, 0, "medium"}, {"I4", 'N', 11, 0, "i4"},
        {"BIG", 'N', 18, 0, "big"},       {"F", 'F', 24, 16, "f"},
        {"D", 'F', 24, 16, "d"},          {"R", 'F', 24, 16, "r"},
        {"SF", 'F', 24, 16, "sf"},        {"BORN", 'D', 8, 0, "born"},
        {"OK", 'L', 1, 0, "ok"},          {"V", 'C', 40, 0, "v"},
        {"T", 'C', 254, 0, "t"},          {"NV", 'C', 12, 0, "nv"},
        {"CH", 'C', 1, 0, "ch"},          {"DEC", 'F', 24, 16, "dec"},
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

TEST(ColumnCatalogue, FieldNamesAndTheColumnsAnAppendMatchesThemTo) {
    ScratchDirectory scratch;
    std::string path = scratch.file("t.db");
    write_native_database(
        path, {"CREATE TABLE census (population_2020 MEDIUMINT, stamp DATETIME, "
               "population_2010 MEDIUMINT, \"Name With Space\" TEXT, code SMALLINT, geom BLOB)",
               "INSERT INTO geometry_columns VALUES ('census', 'geom', 0)",
               "CREATE TABLE clash (popula_7to SMALLINT, population_2010 SMALLINT, "
               "population_2020 SMALLINT, geom BLOB)",
               "INSERT INTO geometry_columns VALUES ('clash', 'geom', 0)"});
    Connection connection(path);
    SpatialColumn settings = settings_for("census");
    auto run = std::make_unique<Catalogue>();
    EndResult result = run_capturing_end([&] { build_fields(settings, *run); });
    ASSERT_FALSE(result.ended) << result.err;
    EXPECT_EQ(fields_of(run->fields),
              (std::vector<Field>{{"POPULA_IT3", 'N', 11, 0, "population_2020"},
                                  {"POPULA_7TO", 'N', 11, 0, "population_2010"},
                                  {"NAME_WITH_", 'C', 254, 0, "Name With Space"},
                                  {"CODE", 'N', 6, 0, "code"}}));
    const char* const kWhy =
        ": .dbf field names are unique and hold at most 10 of the characters A-Z, 0-9 and _.\n";
    EXPECT_EQ(result.out,
              std::string("\nSkipping unload of column 'stamp'.\n") +
                  "\nColumn 'population_2020' is unloaded as field 'POPULA_IT3'" + kWhy +
                  "\nColumn 'population_2010' is unloaded as field 'POPULA_7TO'" + kWhy +
                  "\nColumn 'Name With Space' is unloaded as field 'NAME_WITH_'" + kWhy);
    free_field_table(run->fields);

    // Each field of a file finds its one column, silently, whatever the order;
    // a field that finds none or several, or a column found twice, ends the
    // append before anything is written.
    struct Case {
        std::vector<const char*> fields;
        std::vector<const char*> columns;  // matched, when there is no message
        const char* message;
    };
    const Case cases[] = {
        {{"code", "POPULA_7TO", "name with", "POPULA_IT3"},
         {"code", "population_2010", "Name With Space", "population_2020"},
         ""},
        {{"POPULATION"},
         {},
         "Field 'POPULATION' of file out.dbf matches more than one column of table 'census': "
         "'population_2020', 'population_2010'."},
        {{"CODE", "POPULATI_1"},
         {},
         "Field 'POPULATI_1' of file out.dbf matches no column of "
         "table 'census'."},
        {{"STAMP"}, {}, "Field 'STAMP' of file out.dbf matches no column of table 'census'."},
        {{"POPULA_7TO", "population"},
         {},
         "Field 'population' of file out.dbf matches more than one column of table 'census': "
         "'population_2020', 'population_2010'."},
        {{"Code", "CODE"},
         {},
         "Fields 'Code' and 'CODE' of file out.dbf both match column 'code' "
         "of table 'census'."},
    };
    for (const Case& c : cases) {
        allocate_field_table(run->fields, static_cast<int32_t>(c.fields.size()));
        for (const char* name : c.fields) {
            run->fields.fnam[run->fields.field_count++] = strdup(name);
        }
        result = run_capturing_end([&] {
            map_fields_to_columns(settings, "out.dbf", run->text, sizeof run->text, run->fields);
        });
        EXPECT_EQ(result.out, "");
        if (c.message[0] == '\0') {
            ASSERT_FALSE(result.ended) << result.err;
            for (size_t i = 0; i < c.columns.size(); ++i) {
                EXPECT_STREQ(run->fields.column_name[i], c.columns[i]);
            }
        } else {
            EXPECT_EQ(result.status, 1);
            EXPECT_EQ(result.err, std::string("\n") + c.message + "\n");
        }
        free_field_table(run->fields);
    }

    // Two columns whose names would still be one field end the init.
    result = run_capturing_end([&] { build_fields(settings_for("clash"), *run); });
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err,
              "\nColumns 'popula_7to' and 'population_2010' of table 'clash' would both be field "
              "'POPULA_7TO' of the .dbf file; unload a view that renames one of them.\n");
    free_field_table(run->fields);
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
