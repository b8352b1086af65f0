// The single-value shape accessors (see shape_accessors.h).

#include "shape/shape_accessors.h"

#include "report/messages.h"

// The layout of a shape that an accessor may read, or the end of the run.
// value_name names the value for the null shape's message.
static ShapeLayout layout_for_accessor(const ShapeBuffer& shape, const char* value_name) {
    ShapeLayout layout;
    char problem[kShapeProblemBytes];
    if (!measure_shape(shape, layout, problem, sizeof problem)) {
        fatal_error("%s", problem);
    }
    if (layout.kind.family == ShapeFamily::kNull) {
        fatal_error("%s value undefined for null shape type.", value_name);
    }
    return layout;
}

static Extent bounds_for_accessor(const ShapeBuffer& shape, const char* value_name) {
    return shape_bounds(shape, layout_for_accessor(shape, value_name));
}

int32_t shape_num_points(const ShapeBuffer& shape) {
    return layout_for_accessor(shape, "NumPoints").num_points;
}

int32_t shape_num_parts(const ShapeBuffer& shape) {
    return layout_for_accessor(shape, "NumParts").num_parts;
}

double shape_xmin(const ShapeBuffer& shape) {
    return bounds_for_accessor(shape, "Xmin").xmin;
}

double shape_ymin(const ShapeBuffer& shape) {
    return bounds_for_accessor(shape, "Ymin").ymin;
}

double shape_xmax(const ShapeBuffer& shape) {
    return bounds_for_accessor(shape, "Xmax").xmax;
}

double shape_ymax(const ShapeBuffer& shape) {
    return bounds_for_accessor(shape, "Ymax").ymax;
}

// The Z and M positions follow from NumParts and NumPoints, so a null shape
// is refused as a request for NumParts.
double shape_zmin(const ShapeBuffer& shape) {
    return bounds_for_accessor(shape, "NumParts").zmin;
}

double shape_zmax(const ShapeBuffer& shape) {
    return bounds_for_accessor(shape, "NumParts").zmax;
}

double shape_mmin(const ShapeBuffer& shape) {
    return bounds_for_accessor(shape, "NumParts").mmin;
}

double shape_mmax(const ShapeBuffer& shape) {
    return bounds_for_accessor(shape, "NumParts").mmax;
}
