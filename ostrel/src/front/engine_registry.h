// The engines behind the library, by what they read: the one place of the
// front that names an engine. Everything else reaches an engine through its
// table of functions (engine/engine.h).

#ifndef OSTREL_FRONT_ENGINE_REGISTRY_H
#define OSTREL_FRONT_ENGINE_REGISTRY_H

#include "engine/engine.h"

// The engine of a database file (GeoPackage, SpatiaLite or native SQLite).
const EngineOps& file_engine();

// The engine of a database on a PostgreSQL server with PostGIS.
const EngineOps& server_engine();

#endif
