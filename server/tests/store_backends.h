#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <ostream>
#include <string>

#include "sql_connection.h"

// The storage backends every test of the service runs on.
enum class Backend { kSqlite, kPostgres };
inline constexpr Backend kBackends[] = {Backend::kSqlite, Backend::kPostgres};

// "Sqlite" or "Postgres", for the names of parameterised tests and their
// messages.
std::string BackendName(const ::testing::TestParamInfo<Backend>& info);
inline void PrintTo(Backend backend, std::ostream* out) {
  *out << (backend == Backend::kSqlite ? "SQLite" : "PostgreSQL");
}

// Why the backend cannot be tested on this machine (PostgreSQL's server
// programs are not installed); empty when it can.
std::string MissingBackend(Backend backend);

// A new, empty database of the backend: a SQLite file in `folder`, or a
// new schema on this test program's own PostgreSQL server, started on first
// use and stopped when the program ends.
std::string NewDatabase(Backend backend, const std::filesystem::path& folder);

// A plain connection to a database named as the store names it.
std::unique_ptr<SqlConnection> ConnectTo(const std::string& database);

// Skips the current test, saying why, where the backend cannot be tested.
#define SKIP_WITHOUT_BACKEND(backend) \
  if (const std::string missing = MissingBackend(backend); !missing.empty()) GTEST_SKIP() << missing
