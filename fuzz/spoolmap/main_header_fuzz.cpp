// Fuzz target for the main header reader of the append path: any bytes as a
// whole .shp or .shx file. The reader must refuse what an append cannot
// continue, with its message, and let through only a header whose length the
// file holds; it never reads outside the file (AddressSanitizer watches).

#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"
#include "shape/main_header.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ShapeFileHeader header;
    MainHeaderFault fault =
        decode_existing_main_header(data, size, static_cast<int64_t>(size), header);
    if (fault == MainHeaderFault::kNone) {
        int64_t claimed = 2 * static_cast<int64_t>(header.file_length);
        if (header.file_code != kShapeFileCode || claimed < kMainHeaderBytes ||
            claimed > static_cast<int64_t>(size)) {
            __builtin_trap();
        }
    }
    bool refused = true;
    run_to_refusal([&] {
        ShapeFileHeader read;
        read_main_header(file_holding(data, size), "fuzz.shp", read);
        refused = false;
    });
    if (refused != (fault != MainHeaderFault::kNone)) {
        __builtin_trap();
    }
    return 0;
}
