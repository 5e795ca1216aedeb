#pragma once

#include <sys/types.h>

#include <mutex>
#include <string>

struct pg_conn;

// A PostgreSQL server of the tests' own, never a system-wide one: a cluster
// made with initdb in a new temporary folder, listening only on a socket in
// that folder (no network port), without fsync, stopped and removed at the
// end. Run as root, the server runs as the unprivileged user "postgres" (or
// "nobody"), since PostgreSQL refuses to run as root.
class TestPostgresServer {
 public:
  // The folder of the server's programs (initdb, postgres), the newest
  // version under /usr/lib/postgresql; empty when none is installed.
  static std::string ProgramFolder();

  // Makes the cluster and starts the server; throws std::runtime_error,
  // with the server's log, when it does not start.
  TestPostgresServer();
  ~TestPostgresServer();
  TestPostgresServer(const TestPostgresServer&) = delete;
  TestPostgresServer& operator=(const TestPostgresServer&) = delete;

  // A new, empty library: its connection string. Each library is a schema
  // of its own in one database, made in a millisecond where a database
  // takes a fifth of a second.
  std::string NewLibrary();

  // The connection string of a database of this server, with `schema`
  // first on the search path when given.
  std::string ConnectionString(const std::string& database, const std::string& schema = {}) const;

 private:
  void Start();
  void Stop();
  void Execute(const std::string& sql);

  std::string folder_;
  pid_t server_ = -1;
  pg_conn* admin_ = nullptr;
  std::mutex mutex_;
  int libraries_ = 0;
};
