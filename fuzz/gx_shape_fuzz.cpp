// Fuzz target for the geometry converter: any bytes, read with and without
// SpatiaLite blobs. A conversion must fail with a state and a message, or
// give a shape that spoolmap's own shape check accepts as it stands (its
// type, counts, length and part indexes), so that no shape the converter
// makes can be refused as damaged by the run; never read outside its input
// (AddressSanitizer watches that).

#include <cstddef>
#include <cstdint>
#include <initializer_list>

#include "gx/gx_shape.h"
#include "shape/shape_layout.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static GxBuffer buffer;
    for (GxBlobFormats formats : {GxBlobFormats::kStandard, GxBlobFormats::kWithSpatiaLite}) {
        GxGeometryType type;
        GxError error;
        if (gx_geometry_to_shape(data, size, formats, buffer, type, error)) {
            ShapeBuffer shape = {buffer.data, static_cast<int32_t>(buffer.length)};
            ShapeLayout layout;
            char problem[kShapeProblemBytes];
            if (!validate_shape(shape, layout, problem, sizeof problem)) {
                __builtin_trap();
            }
        } else if (error.sql_state == nullptr || error.message[0] == '\0') {
            __builtin_trap();
        }
    }
    return 0;
}
