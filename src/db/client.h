// The one place spoolmap takes in the client library's interface; the rest of
// the program includes this header, never the library's own.

#ifndef SPOOLMAP_DB_CLIENT_H
#define SPOOLMAP_DB_CLIENT_H

#include "ostrel/ostrel.h"

#endif
