// The accessors that read one count or bound of a shape, for a caller that
// wants a single value rather than a whole layout. Each measures the shape
// first and ends the run on a shape it cannot read.

#ifndef SPOOLMAP_SHAPE_SHAPE_ACCESSORS_H
#define SPOOLMAP_SHAPE_SHAPE_ACCESSORS_H

#include <cstdint>

#include "shape/shape_layout.h"

// The accessors. A point counts as one part of one point and its X, Y, Z and
// M are both minimum and maximum; a multipoint has as many parts as points.
// Bounds of a section the type lacks are 0.0. Asked of a null shape they end
// the run with "<value> value undefined for null shape type." (the Z and M
// accessors name NumParts); of an unknown type with "Unknown shape
// type(%d)."; of a shape that does not fit its length with measure_shape's
// problem.
int32_t shape_num_points(const ShapeBuffer& shape);
int32_t shape_num_parts(const ShapeBuffer& shape);
double shape_xmin(const ShapeBuffer& shape);
double shape_ymin(const ShapeBuffer& shape);
double shape_xmax(const ShapeBuffer& shape);
double shape_ymax(const ShapeBuffer& shape);
double shape_zmin(const ShapeBuffer& shape);
double shape_zmax(const ShapeBuffer& shape);
double shape_mmin(const ShapeBuffer& shape);
double shape_mmax(const ShapeBuffer& shape);

#endif
