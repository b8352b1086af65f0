// Coordinate systems compared by what they mean rather than how they are
// written. Writers name one system in different words (the ESRI-style
// "GCS_WGS_1984" and "D_WGS_1984" of most .prj files against the OGC-style
// "WGS 84" and "WGS_1984" of a GeoPackage), so when two texts differ, PROJ
// reads both and says whether they describe the same system. Used once per
// append, never on the row path.

#ifndef SPOOLMAP_SRS_COORDSYS_MEANING_H
#define SPOOLMAP_SRS_COORDSYS_MEANING_H

enum class CoordsysMeaning {
    kSame,           // PROJ reads both as one coordinate system
    kDifferent,      // PROJ reads both, as different systems
    kNotComparable,  // either text is unreadable to PROJ, or PROJ has no database
};

// Whether the coordinate-system texts a and b (WKT of either dialect) mean
// the same system, ignoring the order of the axes (a shapefile's coordinates
// are easting, northing whatever a text declares) and a TOWGS84 clause (a hint
// for transforming to another datum, not part of the system). Prints nothing.
CoordsysMeaning coordsys_meaning(const char* a, const char* b);

#endif
