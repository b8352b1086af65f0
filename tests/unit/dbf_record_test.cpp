// Attribute records against a real database, byte for byte for every type,
// and the .dbf they make read back by an independent reader (dbfread).

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "db/row_values.h"
#include "db/table_columns.h"
#include "dbf/field_refusals.h"
#include "dbf_test_database.h"
#include "process_end_capture.h"

namespace {

const char kStatement[] = "selstmt2";
const char kDescriptor[] = "seldesc2";
const char kCursor[] = "selcurs";

// What a run keeps for its attribute records, and its text buffer.
struct Attributes {
    FieldTable fields;
    DbfHeader dbf_header;
    RecordFormats formats;
    RowValues row;
    int32_t record_number = 0;
    char text[32768] = {};
};

// The init run's way to the records: the field table, the query of the
// fields' columns, the formats, then one record per row.
std::vector<std::string> unload_records(const SpatialColumn& settings, Attributes& run) {
    std::vector<std::string> records;
    build_field_table(settings, run.text, sizeof run.text, run.fields, run.dbf_header);
    std::string query = "SELECT ";
    for (int32_t i = 0; i < run.fields.field_count; ++i) {
        query += std::string(i > 0 ? ", " : "") + "\"" + run.fields.column_name[i] + "\"";
    }
    query += std::string(run.fields.field_count > 0 ? ", " : "") + settings.column_name + " FROM " +
             settings.table_name + " ORDER BY rowid";
    EXPECT_EQ(osl_prepare(kStatement, query.c_str()), 0) << query;
    EXPECT_EQ(osl_allocate_descriptor(kDescriptor, run.fields.field_count + 1), 0);
    EXPECT_EQ(osl_describe(kStatement, kDescriptor), 0);
    prepare_field_formats(run.fields, run.dbf_header.record_length, kDescriptor, run.formats,
                          run.row);
    EXPECT_EQ(osl_declare_cursor(kCursor, kStatement), 0);
    EXPECT_EQ(osl_open_cursor(kCursor), 0);
    while (osl_fetch(kCursor, kDescriptor) == 0) {
        ++run.record_number;
        fetch_row_values(kDescriptor, run.formats, run.row);
        int32_t unfit =
            format_dbf_record(run.formats, run.row.values, run.text, run.row.cut_counts);
        if (unfit != kAllValuesFit) {
            char shown[kFieldTextBytes];
            shown_value_text(run.formats, run.row, unfit, run.fields.fdec[unfit], shown,
                             sizeof shown);
            refuse_value(run.fields, run.formats, run.row.values[unfit], unfit, run.record_number,
                         shown);
        }
        records.emplace_back(run.text, static_cast<size_t>(run.dbf_header.record_length));
    }
    EXPECT_EQ(osl_status(), OSL_NO_ROW);
    osl_close_cursor(kCursor);
    osl_free_cursor(kCursor);
    osl_free_statement(kStatement);
    osl_deallocate_descriptor(kDescriptor);
    free_field_formats(run.formats, run.row);
    return records;
}

// The whole .dbf file of a run that wrote these records.
void write_dbf_file(const std::string& path, Attributes& run,
                    const std::vector<std::string>& records) {
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fseek(file, run.dbf_header.header_length, SEEK_SET);
    for (const std::string& record : records) {
        std::fwrite(record.data(), 1, record.size(), file);
    }
    std::fputc(kDbfEndOfFile, file);
    run.dbf_header.file_code = kDbfVersionByte;
    run.dbf_header.year = 124;
    run.dbf_header.month = 12;
    run.dbf_header.day = 7;
    run.dbf_header.record_count = static_cast<int32_t>(records.size());
    write_dbf_header(file, path.c_str(), run.dbf_header, run.fields);
    std::fclose(file);
}

std::string run_python(const std::string& script, const std::string& argument) {
    std::string command =
        std::string(SPOOLMAP_TEST_PYTHON) + " -c '" + script + "' '" + argument + "' 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    EXPECT_NE(pipe, nullptr);
    std::string output;
    char chunk[4096];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) {
        output.append(chunk, got);
    }
    EXPECT_EQ(pclose(pipe), 0) << output;
    return output;
}

const char* const kCreateTable =
    "CREATE TABLE t (s SMALLINT, m MEDIUMINT, i4 INT4, big INTEGER, c5 CHAR(5), v3 VARCHAR(3), "
    "after CHAR(2), long CHAR(300), born DATE, ok BOOLEAN, d82 DECIMAL(8,2), m82 MONEY(8,2), "
    "d16 DECIMAL(16), f FLOAT, u TEXT(4), geom BLOB)";

std::string three_hundred() {
    std::string text;
    while (text.size() < 300) {
        text += "0123456789";
    }
    return text;
}

TEST(DbfRecord, EveryTypeByteForByteAndReadBackByDbfread) {
    ScratchDirectory scratch;
    std::string path = scratch.file("t.db");
    std::string long_text = three_hundred();
    write_native_database(
        path,
        {kCreateTable, "INSERT INTO geometry_columns VALUES ('t', 'geom', 0)",
         "INSERT INTO t VALUES (-32768, 42, -2147483648, -99999999999999999, 'ab', 'xyz', "
         "'zz', '" +
             long_text +
             "', '2024-12-07', 1, -12345.678, 0.5, 12345.678, 0.1, "
             "'h\xc3\xa9llo', NULL)",
         "INSERT INTO t VALUES (NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, "
         "NULL, NULL, NULL, NULL, NULL)",
         "INSERT INTO t VALUES (32767, -1, 2147483647, 999999999999999999, 'abcde', '', 'a', "
         "'short', '1900-01-01', 'false', 999999.99, -0.5, -1e-20, -1.5e300, 'ab', NULL)"});
    Connection connection(path);
    SpatialColumn settings = {"t", "geom"};
    auto run = std::make_unique<Attributes>();
    std::vector<std::string> records;
    EndResult result = run_capturing_end([&] { records = unload_records(settings, *run); });
    ASSERT_FALSE(result.ended) << result.err;

    // Field by field: s m i4 big c5 v3 after long born ok d82 m82 d16 f u.
    std::vector<std::string> expected = {
        std::string(" ") + "-32768" + "         42" + "-2147483648" + "-99999999999999999" +
            "ab   " + "xyz" + "zz" + long_text.substr(0, 254) + "20241207" + "T" + " -12345.68" +
            "      0.50" + "  1.2345678000000000e+04" + "  1.0000000000000001e-01" + "h\xc3\xa9l",
        std::string(1 + 6 + 11 + 11 + 18 + 5 + 3 + 2 + 254 + 8, ' ') + "?" +
            std::string(10 + 10 + 24 + 24 + 4, ' '),
        std::string(" ") + " 32767" + "         -1" + " 2147483647" + "999999999999999999" +
            "abcde" + "   " + "a " + "short" + std::string(249, ' ') + "19000101" + "F" +
            " 999999.99" + "     -0.50" + " -9.9999999999999995e-21" + "-1.5000000000000001e+300" +
            "ab  ",
    };
    ASSERT_EQ(records.size(), expected.size());
    for (size_t i = 0; i < records.size(); ++i) {
        EXPECT_EQ(records[i], expected[i]) << "record " << i + 1;
    }
    EXPECT_EQ(run->dbf_header.record_length, static_cast<int>(expected[0].size()));
    EXPECT_EQ(result.out,
              "\nWarning: The character column 'LONG', which has a length of 300 characters, is "
              "truncated in the .dbf file because the maximum length of character columns in the "
              ".dbf file is 254 characters.\n");

    std::string dbf = scratch.file("t.dbf");
    write_dbf_file(dbf, *run, records);
    const char* script =
        "import sys, dbfread\n"
        "t = dbfread.DBF(sys.argv[1], encoding=\"utf-8\")\n"
        "print(t.date)\n"
        "for f in t.fields: print(f.name, f.type, f.length, f.decimal_count)\n"
        "for r in t: print(list(r.values()))\n";
    std::string read = run_python(script, dbf);
    EXPECT_EQ(
        read,
        "2024-12-07\n"
        "S N 6 0\nM N 11 0\nI4 N 11 0\nBIG N 18 0\nC5 C 5 0\nV3 C 3 0\nAFTER C 2 0\n"
        "LONG C 254 0\nBORN D 8 0\nOK L 1 0\nD82 N 10 2\nM82 N 10 2\nD16 F 24 16\n"
        "F F 24 16\nU C 4 0\n"
        "[-32768, 42, -2147483648, -99999999999999999, 'ab', 'xyz', 'zz', '" +
            long_text.substr(0, 254) +
            "', datetime.date(2024, 12, 7), True, -12345.68, 0.5, 12345.678, 0.1, 'h\xc3\xa9l']\n"
            "[None, None, None, None, '', '', '', '', None, None, None, None, None, None, "
            "'']\n"
            "[32767, -1, 2147483647, 999999999999999999, 'abcde', '', 'a', 'short', "
            "datetime.date(1900, 1, 1), False, 999999.99, -0.5, -1e-20, -1.5e+300, 'ab']\n");
    free_field_table(run->fields);
}

TEST(DbfRecord, TableWithoutFieldsAndTextsCutInsideACharacter) {
    ScratchDirectory scratch;
    std::string path = scratch.file("t.db");
    write_native_database(path, {"CREATE TABLE t (gx_row_id SERIAL, geom BLOB)",
                                 "INSERT INTO geometry_columns VALUES ('t', 'geom', 0)",
                                 "INSERT INTO t VALUES (1, NULL)", "INSERT INTO t VALUES (2, NULL)",
                                 "CREATE TABLE u (name VARCHAR(3), next CHAR(1), geom BLOB)",
                                 "INSERT INTO geometry_columns VALUES ('u', 'geom', 0)",
                                 // A three-byte field: the second letter would need bytes 3 and 4.
                                 "INSERT INTO u VALUES ('a\xc3\xa9\xc3\xa9', 'x', NULL)",
                                 "INSERT INTO u VALUES ('\xc3\xa9\xe2\x82\xac', 'y', NULL)"});
    Connection connection(path);
    SpatialColumn settings = {"t", "geom"};
    auto run = std::make_unique<Attributes>();
    std::vector<std::string> records;
    EndResult result = run_capturing_end([&] { records = unload_records(settings, *run); });
    ASSERT_FALSE(result.ended) << result.err;
    EXPECT_EQ(records, (std::vector<std::string>{" ", " "}));
    free_field_table(run->fields);

    settings.table_name = "u";
    run = std::make_unique<Attributes>();
    result = run_capturing_end([&] { records = unload_records(settings, *run); });
    ASSERT_FALSE(result.ended) << result.err;
    EXPECT_EQ(records, (std::vector<std::string>{" a\xc3\xa9x", " \xc3\xa9 y"}));
    free_field_table(run->fields);
}

TEST(DbfRecord, AppendRefusesColumnsOfAnotherKindThanTheirFields) {
    ScratchDirectory scratch;
    std::string path = scratch.file("t.db");
    write_native_database(path, {"CREATE TABLE t (n MEDIUMINT, d DECIMAL(16,2), geom BLOB)",
                                 "INSERT INTO geometry_columns VALUES ('t', 'geom', 0)"});
    Connection connection(path);
    struct Case {
        char n_type;
        int n_length;
        int d_length;
        int d_decimals;
        const char* message;
    };
    const Case cases[] = {
        {'C', 11, 18, 2,
         "\nField 'N' of the .dbf file, of type 'C', cannot hold column 'n' of SQL type 2.\n"},
        {'N', 11, 20, 255,
         "\nField 'D' of the .dbf file, 20 characters wide, cannot have 255 decimals for column "
         "'d'.\n"},
        {'N', 11, 18, 2, ""},
        // Narrower number fields are left to the values.
        {'N', 6, 10, 2, ""},
    };
    for (const Case& c : cases) {
        auto run = std::make_unique<Attributes>();
        allocate_field_table(run->fields, 2);
        run->fields.fnam[0] = strdup("N");
        run->fields.fnam[1] = strdup("D");
        run->fields.column_name[0] = strdup("n");
        run->fields.column_name[1] = strdup("d");
        run->fields.field_count = 2;
        run->fields.ftyp[0] = c.n_type;
        run->fields.flen[0] = c.n_length;
        run->fields.ftyp[1] = 'N';
        run->fields.flen[1] = c.d_length;
        run->fields.fdec[1] = c.d_decimals;
        run->dbf_header.record_length = static_cast<int16_t>(1 + c.n_length + c.d_length);
        ASSERT_EQ(osl_prepare(kStatement, "SELECT n, d, geom FROM t"), 0);
        ASSERT_EQ(osl_allocate_descriptor(kDescriptor, 3), 0);
        ASSERT_EQ(osl_describe(kStatement, kDescriptor), 0);
        EndResult result = run_capturing_end([&] {
            prepare_field_formats(run->fields, run->dbf_header.record_length, kDescriptor,
                                  run->formats, run->row);
        });
        EXPECT_EQ(result.ended, c.message[0] != '\0');
        EXPECT_EQ(result.err, c.message);
        osl_deallocate_descriptor(kDescriptor);
        free_field_formats(run->formats, run->row);
        free_field_table(run->fields);
    }
}

}  // namespace
