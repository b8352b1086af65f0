// The engines behind the library, by what they read.

#include "front/engine_registry.h"

#include "postgres/postgres_engine.h"
#include "sqlite/sqlite_engine.h"

const EngineOps& file_engine() {
    return sqlite_engine();
}

const EngineOps& server_engine() {
    return postgres_engine();
}
