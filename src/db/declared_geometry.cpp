// The declared geometry type (see declared_geometry.h). The names go in as
// values bound to the query's markers, not as text inside it, so no name
// needs quoting.

#include "db/declared_geometry.h"

#include <cstring>

#include "db/client.h"
#include "db/sql_error.h"
#include "text/text_append.h"

static const char kWhat[] = "geometry type query";
constexpr int kConditionValues = 2;
constexpr size_t kQueryBytes = 256;

// Which entry of geometry_columns is the run's column: appends the
// condition to the query in text and fills the values of its markers.
static void append_geometry_column_condition(const SpatialColumn& geometry, char* text, size_t size,
                                             OslHostValue* values) {
    append_or_fail(text, size, kWhat, "gc.f_table_name = ? AND gc.f_geometry_column = ?");
    values[0] = {OSL_HOST_CSTRING, const_cast<char*>(geometry.table_name),
                 std::strlen(geometry.table_name) + 1};
    values[1] = {OSL_HOST_CSTRING, const_cast<char*>(geometry.column_name),
                 std::strlen(geometry.column_name) + 1};
}

DeclaredGeometry fetch_declared_geometry(const SpatialColumn& geometry) {
    char text[kQueryBytes] = {};
    append_or_fail(text, sizeof text, kWhat,
                   "SELECT gc.type, gc.coord_dimension FROM geometry_columns gc WHERE ");
    OslHostValue inputs[kConditionValues];
    append_geometry_column_condition(geometry, text, sizeof text, inputs);
    DeclaredGeometry declared;
    OslHostValue outputs[] = {
        {OSL_HOST_CSTRING, declared.type_name, sizeof declared.type_name},
        {OSL_HOST_INT32, &declared.coord_dimension, sizeof declared.coord_dimension},
    };
    int status = osl_execute_immediate(text, inputs, kConditionValues, outputs, 2);
    if (status < 0) {
        check_sql();
    }
    if (status == OSL_NO_ROW) {
        declared = DeclaredGeometry{};
    }
    return declared;
}
