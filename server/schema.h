// The tables of selvo-server's database.
#pragma once

#include "server/sqlite_db.h"

namespace server {

// Creates every table and index that is missing. Safe to run at every start.
void CreateSchema(SqliteDb& db);

}  // namespace server
