// Coordinate systems compared by meaning (see coordsys_meaning.h). PROJ needs
// its database (proj.db) to know that the names of one writer are the names
// of another; without it the comparison would call equal systems different,
// so a missing database makes the texts not comparable and the caller keeps
// the verdict of its text comparison.

#include "srs/coordsys_meaning.h"

#include <proj.h>

// PROJ reports parse troubles through its log; the run has its own messages.
static void silent_log(void*, int, const char*) {}

// Accept texts that older writers made slightly off the grammar.
static const char* const kWktOptions[] = {"STRICT=NO", nullptr};

// The system a text describes: a bound system (one with a TOWGS84 clause)
// is taken without its transformation, and the axes in easting, northing
// order. Null when PROJ cannot read the text as a coordinate system.
static PJ* read_system(PJ_CONTEXT* context, const char* text) {
    PJ* read = proj_create_from_wkt(context, text, kWktOptions, nullptr, nullptr);
    if (read == nullptr) {
        return nullptr;
    }
    if (proj_get_type(read) == PJ_TYPE_BOUND_CRS) {
        PJ* base = proj_get_source_crs(context, read);
        proj_destroy(read);
        read = base;
    }
    if (read == nullptr || !proj_is_crs(read)) {
        proj_destroy(read);
        return nullptr;
    }
    PJ* normalized = proj_normalize_for_visualization(context, read);
    proj_destroy(read);
    return normalized;
}

CoordsysMeaning coordsys_meaning(const char* a, const char* b) {
    PJ_CONTEXT* context = proj_context_create();
    if (context == nullptr) {
        return CoordsysMeaning::kNotComparable;
    }
    proj_log_func(context, nullptr, silent_log);
    proj_log_level(context, PJ_LOG_NONE);
    proj_context_set_enable_network(context, 0);
    CoordsysMeaning meaning = CoordsysMeaning::kNotComparable;
    if (proj_context_get_database_path(context) != nullptr) {
        PJ* system_a = read_system(context, a);
        PJ* system_b = read_system(context, b);
        if (system_a != nullptr && system_b != nullptr) {
            meaning = proj_is_equivalent_to_with_ctx(context, system_a, system_b,
                                                     PJ_COMP_EQUIVALENT_EXCEPT_AXIS_ORDER_GEOGCRS)
                          ? CoordsysMeaning::kSame
                          : CoordsysMeaning::kDifferent;
        }
        proj_destroy(system_a);
        proj_destroy(system_b);
    }
    proj_context_destroy(context);
    return meaning;
}
