// The engine-blind front on its own: the statement dialect every engine
// reads the caller's texts in, and shapes made on fetch from the geometry
// bytes an engine hands out (through an engine made up for the test).

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/dialect.h"
#include "core/status.h"
#include "front/connection.h"
#include "gx_test_bytes.h"
#include "ostrel_test_support.h"
#include "values/shape_fetch.h"

namespace {

TEST(OslDialect, ExecuteFunctionAndShownTexts) {
    const std::pair<const char*, const char*> statements[] = {
        {"  execute   function upper('x');", "  SELECT upper('x');"},
        {"EXECUTE\nFUNCTION GX_Trace('t', 2)", "SELECT GX_Trace('t', 2)"},
        {"EXECUTE FUNCTIONS f()", "EXECUTE FUNCTIONS f()"},
        {"EXECUTEFUNCTION f()", "EXECUTEFUNCTION f()"},
        {"SELECT 'EXECUTE FUNCTION'", "SELECT 'EXECUTE FUNCTION'"},
    };
    for (const auto& [text, expected] : statements) {
        EXPECT_EQ(statement_for_engine(text), expected);
    }
    EXPECT_EQ(shown_text("SELECT\n\t a,\n b FROM t"), "SELECT a, b FROM t");
    EXPECT_EQ(shown_text(std::string(70, 'x').c_str()), std::string(60, 'x') + "...");
    const std::pair<const char*, const char*> names[] = {
        {"roads", "roads"},     {"Roads", "\"Roads\""},           {"my roads", "\"my roads\""},
        {"a\"b", "\"a\"\"b\""}, {"2020_roads", "\"2020_roads\""}, {"r_2$", "r_2$"},
    };
    for (const auto& [name, shown] : names) {
        EXPECT_EQ(shown_identifier(name), shown);
    }
}

Cell cell_of(const Bytes& bytes) {
    return cell_blob(bytes.data(), static_cast<uint32_t>(bytes.size()));
}

// An engine that cannot run GX_AsShape: it hands out the geometry's bytes
// in column 1 (its shape column) and the front converts them on fetch.
struct FakeStatement {
    std::vector<std::vector<Cell>> rows;
    size_t next = 0;
};

FakeStatement& fake(EngineStatement* statement) {
    return *reinterpret_cast<FakeStatement*>(statement);
}

FakeStatement fake_statement;

const EngineOps kFakeEngine = {
    [](const EngineTarget&) -> EngineDatabase* { return nullptr; },
    [](EngineDatabase*) {},
    [](EngineDatabase*, const char*, const char*, EnginePrepared* prepared) {
        prepared->statement = reinterpret_cast<EngineStatement*>(&fake_statement);
        prepared->column_count = 2;
        prepared->column_names = {"id", "GX_AsShape(geom)"};
        prepared->shape_columns = {1};
        return true;
    },
    [](EngineStatement*) {},
    [](EngineStatement*, std::vector<ColumnDescription>* columns) {
        columns->assign(2, ColumnDescription{});
        (*columns)[0].type = OSL_SQL_INTEGER;
        (*columns)[1].type = OSL_SQL_VAR_BINARY;
        return true;
    },
    [](EngineStatement*, int, const Cell&) { return false; },
    [](EngineStatement* statement, const Cell** row) {
        FakeStatement& rows = fake(statement);
        if (rows.next == rows.rows.size()) {
            return StepResult::kDone;
        }
        *row = rows.rows[rows.next++].data();
        return StepResult::kRow;
    },
    [](EngineStatement* statement) { fake(statement).next = 0; },
    [](EngineStatement*, const char*) { return -1; },
    [](EngineDatabase*, const char*) { return RowCount{}; },
    false,
    [](EngineDatabase*, const char*, const char*, const char*, std::vector<EngineFoundColumn>*) {
        return false;
    },
    [](EngineDatabase*, const char*, const char*) { return false; },
};

// Through the API as a caller reads a row: a geometry becomes its shape, a
// null stays null, and one that does not convert fails the fetch with the
// converter's condition and where it happened, as the embedded GX_AsShape
// does.
TEST_F(OstrelTest, ShapesMadeOnFetch) {
    Bytes point, truncated, shape;
    le(point).u8(1).u32(1).f64s({1, 2});
    truncated.assign(point.begin(), point.end() - 1);
    le(shape).u32(1).f64s({1, 2});
    fake_statement.rows = {{cell_integer(7), cell_of(point)},
                           {cell_integer(8), Cell{}},
                           {cell_integer(9), cell_of(truncated)}};
    session_connection().engine = &kFakeEngine;
    session_connection().database = reinterpret_cast<EngineDatabase*>(&fake_statement);

    ASSERT_EQ(osl_prepare("s", "SELECT id, GX_AsShape(geom) FROM t"), 0);
    ASSERT_EQ(osl_allocate_descriptor("d", 2), 0);
    ASSERT_EQ(osl_describe("s", "d"), 0);
    ASSERT_EQ(osl_declare_cursor("c", "s"), 0);
    ASSERT_EQ(osl_open_cursor("c"), 0);
    ASSERT_EQ(osl_fetch("c", "d"), 0) << first_message();
    int32_t id = 0;
    OslVar var = {};
    osl_var_ready(&var);
    int16_t indicator = 0;
    OslItemRequest read_id = {OSL_ITEM_DATA, host_int32(&id)};
    OslItemRequest read_shape[] = {{OSL_ITEM_INDICATOR, host_int16(&indicator)},
                                   {OSL_ITEM_DATA, host_var(&var)}};
    ASSERT_EQ(osl_get_descriptor_items("d", 1, &read_id, 1), 0);
    EXPECT_EQ(id, 7);
    ASSERT_EQ(osl_get_descriptor_items("d", 2, read_shape, 2), 0) << first_message();
    const uint8_t* data = static_cast<const uint8_t*>(osl_var_getdata(&var));
    EXPECT_EQ(Bytes(data, data + osl_var_getlen(&var)), shape);

    ASSERT_EQ(osl_fetch("c", "d"), 0) << first_message();
    ASSERT_EQ(osl_get_descriptor_items("d", 2, read_shape, 2), 0) << first_message();
    EXPECT_EQ(indicator, -1);

    EXPECT_EQ(osl_fetch("c", "d"), kExtensionErrorCode);
    std::vector<Condition> all = conditions();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].sqlstate, kGxTruncated);
    EXPECT_EQ(all[1].message, "Fetch from cursor 'c' (statement 's') failed at row 3.");
    EXPECT_EQ(osl_fetch("c", "d"), -443);
    osl_var_dealloc(&var);
    EXPECT_EQ(osl_disconnect_current(), 0);
}

// A shape past the engine's value limit, and a value that is no geometry.
TEST(OslShapeFetch, RefusalsOfTheConverter) {
    Bytes point;
    le(point).u8(1).u32(1).f64s({1, 2});
    GxBuffer out;
    GxError error;
    EXPECT_EQ(
        shape_from_cell(cell_of(point), GxBlobFormats::kStandard, 19, out, error, nullptr, nullptr),
        ShapeResult::kFailed);
    EXPECT_STREQ(error.message,
                 "The shape of 20 bytes passes the database's value limit of 19 bytes.");
    EXPECT_EQ(shape_from_cell(cell_text("x", 1), GxBlobFormats::kStandard, 19, out, error, nullptr,
                              nullptr),
              ShapeResult::kFailed);
    EXPECT_STREQ(error.message, "GX_AsShape takes a geometry BLOB, not a TEXT value.");
    gx_buffer_free(out);
}

}  // namespace
