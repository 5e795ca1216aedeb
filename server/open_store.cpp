// Which backend stands behind the store: chosen by the database's name.
#include "sql_store.h"
#include "subtitle_store.h"

std::unique_ptr<SubtitleStore> OpenSqliteStore(const std::string& path) {
  return OpenSqlStore([path] { return ConnectSqlite(path); }, 0);
}

std::unique_ptr<SubtitleStore> OpenPostgresStore(const std::string& connectionString) {
  return OpenSqlStore([connectionString] { return ConnectPostgres(connectionString); },
                      kPostgresConnections);
}

bool IsPostgresDatabase(const std::string& database) {
  return database.rfind("postgresql://", 0) == 0 || database.rfind("postgres://", 0) == 0;
}

std::unique_ptr<SubtitleStore> OpenStore(const std::string& database) {
  return IsPostgresDatabase(database) ? OpenPostgresStore(database) : OpenSqliteStore(database);
}
