// The embedded engine: a SQLite file (GeoPackage, SpatiaLite database or a
// native one with the spatial extension's own catalog tables), opened
// read-only, with GX_AsShape and GX_Trace as SQL functions. Only files of
// this folder see SQLite itself.

#ifndef OSTREL_SQLITE_SQLITE_ENGINE_H
#define OSTREL_SQLITE_SQLITE_ENGINE_H

#include "engine/engine.h"

const EngineOps& sqlite_engine();

#endif
