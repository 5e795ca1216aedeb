#include "store_backends.h"

#include "subtitle_store.h"
#include "test_postgres_server.h"

std::string BackendName(const ::testing::TestParamInfo<Backend>& info) {
  return info.param == Backend::kSqlite ? "Sqlite" : "Postgres";
}

std::string MissingBackend(Backend backend) {
  if (backend == Backend::kPostgres && TestPostgresServer::ProgramFolder().empty()) {
    return "PostgreSQL's server programs are not installed (no /usr/lib/postgresql/*/bin/postgres;"
           " scripts/setup installs them): the PostgreSQL case is skipped";
  }
  return {};
}

std::string NewDatabase(Backend backend, const std::filesystem::path& folder) {
  if (backend == Backend::kSqlite) return (folder / "subtitles.db").string();
  // One server for the whole test program: starting one costs seconds,
  // a library on it a millisecond.
  static TestPostgresServer server;
  return server.NewLibrary();
}

std::unique_ptr<SqlConnection> ConnectTo(const std::string& database) {
  return IsPostgresDatabase(database) ? ConnectPostgres(database) : ConnectSqlite(database);
}
