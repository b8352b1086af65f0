// The declared geometry type (see declared_geometry.h): the column's row of
// geometry_columns, picked by the condition every catalogue query of the run
// uses.

#include "db/declared_geometry.h"

#include "db/client.h"
#include "db/sql_error.h"
#include "text/text_append.h"

static const char kWhat[] = "geometry type query";
constexpr size_t kQueryBytes = 4 * OSL_NAME_BYTES;

DeclaredGeometry fetch_declared_geometry(const SpatialColumn& geometry) {
    static char text[kQueryBytes];
    text[0] = '\0';
    append_or_fail(text, sizeof text, kWhat,
                   "SELECT gc.type, gc.coord_dimension FROM geometry_columns gc WHERE ");
    append_column_condition(text, sizeof text, kWhat, geometry, "gc", " AND ");
    DeclaredGeometry declared;
    OslHostValue outputs[] = {
        {OSL_HOST_CSTRING, declared.type_name, sizeof declared.type_name},
        {OSL_HOST_INT32, &declared.coord_dimension, sizeof declared.coord_dimension},
    };
    int status = osl_execute_immediate(text, nullptr, 0, outputs, 2);
    if (status < 0) {
        check_sql();
    }
    if (status == OSL_NO_ROW) {
        declared = DeclaredGeometry{};
    }
    return declared;
}
