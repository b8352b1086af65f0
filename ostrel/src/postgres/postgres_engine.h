// The server engine: a PostgreSQL database with PostGIS, reached over libpq,
// read in one REPEATABLE READ READ ONLY transaction, its rows streamed by
// binary COPY and converted by the library's own value and geometry code.
// Only files of this folder see libpq itself.

#ifndef OSTREL_POSTGRES_POSTGRES_ENGINE_H
#define OSTREL_POSTGRES_POSTGRES_ENGINE_H

#include "engine/engine.h"

const EngineOps& postgres_engine();

#endif
