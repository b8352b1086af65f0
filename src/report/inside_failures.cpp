// The texts of the program's inside failures (see inside_failures.h).

#include "report/inside_failures.h"

#include "report/messages.h"

namespace {

struct FailureText {
    InsideFailure failure;
    const char* text;
};

// In the order of the enumeration.
constexpr FailureText kFailureTexts[] = {
    {InsideFailure::kRowValuesMemory, "Memory allocation for cdata host variable failed."},
    {InsideFailure::kFormatsMemory, "Memory allocation for format string array failed."},
    {InsideFailure::kFieldNamesMemory, "Memory allocation for fnam array failed."},
    {InsideFailure::kFieldTypesMemory, "Memory allocation for ftyp array failed."},
    {InsideFailure::kFieldWidthsMemory, "Memory allocation for flen array failed."},
    {InsideFailure::kFieldDecimalsMemory, "Memory allocation for fdec array failed."},
    {InsideFailure::kColumnNamesMemory, "Memory allocation for the column names failed."},
    {InsideFailure::kVarReady, "The client library could not make room for a value."},
    {InsideFailure::kVarAlloc, "Error calling osl_var_alloc."},
    {InsideFailure::kVarSetlen, "Error calling osl_var_setlen."},
    {InsideFailure::kVarGetdata, "Error calling osl_var_getdata."},
    {InsideFailure::kVarGetlen, "Error calling osl_var_getlen."},
    {InsideFailure::kVarDealloc, "Error calling osl_var_dealloc."},
    {InsideFailure::kDecimalToDouble, "Failed to convert decimal to double."},
};

constexpr bool texts_in_order() {
    int i = 0;
    for (const FailureText& entry : kFailureTexts) {
        if (static_cast<int>(entry.failure) != i++) {
            return false;
        }
    }
    return i == static_cast<int>(InsideFailure::kDecimalToDouble) + 1;
}
static_assert(texts_in_order(), "one text per failure, in the order of the enumeration");

}  // namespace

void inside_failure(InsideFailure failure) {
    fatal_error("%s", kFailureTexts[static_cast<int>(failure)].text);
}
