// The spatial columns of the database (see spatial_listing.h), read through
// the catalogue view every engine makes, geometry_columns.

#include "db/spatial_listing.h"

#include <algorithm>

#include "db/client.h"
#include "shape/shape_layout.h"
#include "text/text_append.h"

static const char kListStatement[] = "lstsel";
static const char kListDescriptor[] = "lstdesc";
static const char kListCursor[] = "lstcurs";

static const char kListQuery[] =
    "SELECT f_table_schema, f_table_name, f_geometry_column, type, coord_dimension, srid "
    "FROM geometry_columns ORDER BY f_table_schema, f_table_name, f_geometry_column";

enum ListItem { kSchemaItem = 1, kTableItem, kColumnItem, kTypeItem, kDimensionItem, kSridItem };
constexpr int kListItems = kSridItem;

// Room for any catalogue name or number as text.
constexpr size_t kItemTextBytes = 1024;

// Every item is read as text, whatever type the engine describes it with,
// so that one reading serves every engine.
static bool read_row(ListedColumn& listed) {
    std::string* texts[] = {&listed.schema, &listed.table, &listed.column, &listed.geometry_type};
    int32_t* numbers[] = {&listed.coord_dimension, &listed.srid};
    for (int item = 1; item <= kListItems; ++item) {
        char text[kItemTextBytes] = "";
        int16_t indicator = 0;
        OslItemRequest requests[] = {
            {OSL_ITEM_INDICATOR, {OSL_HOST_INT16, &indicator, sizeof indicator}},
            {OSL_ITEM_DATA, {OSL_HOST_CSTRING, text, sizeof text}},
        };
        if (osl_get_descriptor_items(kListDescriptor, item, requests, 2) < 0) {
            return false;
        }
        bool null = indicator < 0;
        if (item <= kTypeItem) {
            *texts[item - 1] = null ? "" : text;
        } else if (null || osl_text_to_int(text, numbers[item - kDimensionItem]) != 0) {
            *numbers[item - kDimensionItem] = item == kDimensionItem ? 2 : 0;
        }
    }
    return true;
}

bool read_spatial_columns(std::vector<ListedColumn>& columns) {
    columns.clear();
    if (osl_prepare(kListStatement, kListQuery) < 0 ||
        osl_allocate_descriptor(kListDescriptor, kListItems) < 0) {
        return false;
    }
    bool read = osl_describe(kListStatement, kListDescriptor) == 0;
    const OslItemSetting as_text = {OSL_ITEM_TYPE, OSL_SQL_VARCHAR};
    for (int item = 1; read && item <= kListItems; ++item) {
        read = osl_set_descriptor_items(kListDescriptor, item, &as_text, 1) == 0;
    }
    read = read && osl_declare_cursor(kListCursor, kListStatement) == 0 &&
           osl_open_cursor(kListCursor) == 0;
    int status = read ? osl_fetch(kListCursor, kListDescriptor) : -1;
    while (status == 0) {
        ListedColumn listed;
        if (!read_row(listed)) {
            break;
        }
        if (!listed.table.empty() && !listed.column.empty()) {
            columns.push_back(listed);
        }
        status = osl_fetch(kListCursor, kListDescriptor);
    }
    read = status == OSL_NO_ROW;
    if (!read) {
        return false;  // the failed step's diagnostics stay for the caller
    }
    osl_close_cursor(kListCursor);
    osl_free_cursor(kListCursor);
    osl_free_statement(kListStatement);
    osl_deallocate_descriptor(kListDescriptor);
    return true;
}

// A name as -l takes it back: bare when lower-casing it changes nothing and
// it holds nothing -l reads as a separator, else in double quotes with its
// quotes doubled.
static std::string switch_name(const std::string& name) {
    bool bare = !name.empty();
    for (char c : name) {
        bare = bare && c != ',' && c != '.' && c != '"' && !(c >= 'A' && c <= 'Z');
    }
    if (bare) {
        return name;
    }
    std::string quoted = "\"";
    for (char c : name) {
        quoted += c == '"' ? "\"\"" : std::string(1, c);
    }
    return quoted + "\"";
}

std::string table_switch_value(const ListedColumn& listed) {
    std::string value = listed.schema.empty() ? "" : switch_name(listed.schema) + ".";
    return value + switch_name(listed.table) + "," + switch_name(listed.column);
}

void count_listed_rows(std::vector<ListedColumn>& columns) {
    for (ListedColumn& listed : columns) {
        std::string table =
            listed.schema.empty() ? listed.table : listed.schema + "." + listed.table;
        if (osl_table_row_count(table.c_str(), &listed.rows, &listed.rows_kind) < 0) {
            listed.rows_kind = OSL_ROWS_UNKNOWN;
        }
    }
}

static std::string shape_type_text(const ListedColumn& listed) {
    int32_t code = declared_shape_type(listed.geometry_type.c_str(), listed.coord_dimension);
    if (code == kAnyShapeType) {
        return "any";
    }
    if (code == kNoShapeType) {
        return "none (" + listed.geometry_type + ")";
    }
    return std::string(shape_type_name(code)) + " (" + std::to_string(code) + ")";
}

static std::string rows_text(const ListedColumn& listed) {
    if (listed.rows_kind == OSL_ROWS_UNKNOWN) {
        return "rows unknown";
    }
    std::string number = std::to_string(listed.rows);
    std::string unit = listed.rows == 1 && listed.rows_kind == OSL_ROWS_EXACT ? " row" : " rows";
    return (listed.rows_kind == OSL_ROWS_ESTIMATE ? "~" : "") + number + unit;
}

std::vector<std::string> listing_lines(const std::vector<ListedColumn>& columns) {
    struct Fields {
        std::string name, shape, srid, rows;
    };
    std::vector<Fields> all;
    size_t name_width = 0, shape_width = 0, srid_width = 0;
    for (const ListedColumn& listed : columns) {
        Fields fields = {table_switch_value(listed), shape_type_text(listed),
                         "SRID " + std::to_string(listed.srid), rows_text(listed)};
        name_width = std::max(name_width, fields.name.size());
        shape_width = std::max(shape_width, fields.shape.size());
        srid_width = std::max(srid_width, fields.srid.size());
        all.push_back(fields);
    }
    auto padded = [](const std::string& text, size_t width) {
        return text + std::string(width - text.size() + 2, ' ');
    };
    std::vector<std::string> lines;
    for (const Fields& fields : all) {
        lines.push_back(padded(fields.name, name_width) + padded(fields.shape, shape_width) +
                        padded(fields.srid, srid_width) + fields.rows);
    }
    return lines;
}

void spatial_columns_sentence(char* buffer, size_t size) {
    buffer[0] = '\0';
    std::vector<ListedColumn> columns;
    if (!read_spatial_columns(columns)) {
        return;
    }
    if (columns.empty()) {
        append_text(buffer, size, "The database has no spatial columns.");
        return;
    }
    append_text(buffer, size, "Spatial columns in the database:");
    int named = 0;
    for (const ListedColumn& listed : columns) {
        bool fits = named < kNamedColumnsMax && append_text(buffer, size, "%s %s", named ? "," : "",
                                                            table_switch_value(listed).c_str());
        if (!fits) {
            append_text(buffer, size, ", \u2026");
            break;
        }
        ++named;
    }
    append_text(buffer, size, ".");
}
