// Fuzz target for the .prj reader and the coordinate-system comparison of the
// append path: any bytes as a whole .prj file, compared with a fixed text and
// with the two halves of the input. The comparison is symmetric and finds a
// non-empty text the same as itself; nothing is read outside its input.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "srs/projection_file.h"

static const char kWgs84[] =
    "GEOGCS[\"WGS 84\",DATUM[\"WGS_1984\",SPHEROID[\"WGS 84\",6378137,298.257223563]],"
    "PRIMEM[\"Greenwich\",0],UNIT[\"degree\",0.0174532925199433]]";

static void check_pair(const char* a, const char* b) {
    if (coordsys_differ(a, b) != coordsys_differ(b, a)) {
        __builtin_trap();
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static char text[kProjectionTextBytes + 1];
    FILE* stream = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (stream == nullptr) {
        return 0;  // an empty input: fmemopen takes no empty buffer
    }
    bool whole = read_prj_text(text, sizeof text, stream);
    std::fclose(stream);
    if (!whole) {
        return 0;
    }
    if (coordsys_differ(text, text) != (text[0] == '\0')) {
        __builtin_trap();
    }
    check_pair(text, kWgs84);
    check_pair(text, "UNKNOWN");

    std::string input(reinterpret_cast<const char*>(data), size);
    size_t half = input.size() / 2;
    std::string first = input.substr(0, half);
    std::string second = input.substr(half);
    check_pair(first.c_str(), second.c_str());
    return 0;
}
