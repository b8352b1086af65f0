// The texts a user may see that speak of the program's insides rather than
// of the user's data: failures that no file, command line or database can
// cause, only a machine out of memory or a client library that breaks its
// word. Their wording is the program's published one, kept as it stands for
// the scripts that look for it; this is the one place they are written, so
// that no other message names a buffer, an array or a library call.

#ifndef SPOOLMAP_REPORT_INSIDE_FAILURES_H
#define SPOOLMAP_REPORT_INSIDE_FAILURES_H

enum class InsideFailure {
    kRowValuesMemory,    // the places of a row's values
    kFormatsMemory,      // the fields' formats
    kFieldNamesMemory,   // the field table's names
    kFieldTypesMemory,   // its type letters
    kFieldWidthsMemory,  // its widths
    kFieldDecimalsMemory,
    kColumnNamesMemory,  // the columns behind the fields
    kVarReady,           // the library's var buffers
    kVarAlloc,
    kVarSetlen,
    kVarGetdata,
    kVarGetlen,
    kVarDealloc,
    kDecimalToDouble,  // a decimal the library described but cannot give as a double
};

// Ends the run with the failure's text through fatal_error.
[[noreturn]] void inside_failure(InsideFailure failure);

#endif
