#pragma once

#include <cstddef>
#include <functional>
#include <memory>

#include "sql_connection.h"
#include "subtitle_store.h"

// The subtitle store over any SQL connection: one set of statements for
// every backend. Opening it brings the schema to the newest version. It
// keeps a pool of connections made by `connect`, at most `maxConnections`
// at once (0: no limit); a caller that finds none free waits for one.
std::unique_ptr<SubtitleStore> OpenSqlStore(std::function<std::unique_ptr<SqlConnection>()> connect,
                                            size_t maxConnections);
