// The run's connection: the target it is made to and the connect itself,
// the same for an unload and a listing.

#ifndef SPOOLMAP_RUN_CONNECTION_H
#define SPOOLMAP_RUN_CONNECTION_H

#include <cstddef>

struct RunSettings;

// The connection target and the user and password copies are held in
// buffers of these sizes; longer texts are refused.
constexpr size_t kTargetBytes = 4096;
constexpr size_t kCredentialBytes = 256;

// "db@server" with a server, else "db". Fails the run when it does not fit.
void form_target(const RunSettings& settings, char* target, size_t size);

// Connects to target, with the user and password when both are given, and
// with -trc switches server tracing on. Fails the run with the library's
// diagnostics.
void connect_to_database(const RunSettings& settings, const char* target);

#endif
