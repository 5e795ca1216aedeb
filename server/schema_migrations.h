#pragma once

#include <vector>

#include "sql_connection.h"

// The store's schema as numbered steps. A database records the steps it has
// taken in its table schema_migrations; opening it takes the steps it lacks,
// so a library made by an older program moves to the newest schema in
// place, with every film, subtitle and count kept.
struct SchemaMigration {
  int version;
  const char* description;
  const char* sqlite;  // the step in each backend's SQL
  const char* postgres;
};

// Every step, oldest first; versions count from 1 without gaps.
const std::vector<SchemaMigration>& SchemaMigrations();

// The newest version this program knows.
int NewestSchemaVersion();

// Brings the database to the newest version in one transaction: either every
// missing step is taken or none. A database that holds the store's tables
// but no record of steps was made before the steps were recorded, with the
// first version's schema, and is taken as version 1. Several processes may
// open one database at once: one takes the steps, the others wait and then
// find nothing to do. Throws StoreFailure for a database of a newer version
// than this program knows (its schema could not be read rightly).
// `upTo` stops at an older version (for the tests of the steps themselves).
void MigrateSchema(SqlConnection& connection, int upTo = NewestSchemaVersion());

// The versions recorded in the database, oldest first (for the tests and
// the operator).
std::vector<int> RecordedSchemaVersions(SqlConnection& connection);
