#pragma once

#include <cstdint>
#include <memory>
#include <string>

// What the subtitle store needs of a SQL database: one connection, its
// prepared statements and its transactions. SQLite and PostgreSQL each give
// one implementation; the store's statements are the same text for both.
// Every failure throws StoreFailure (subtitle_store.h).

enum class SqlDialect { kSqlite, kPostgres };

// A statement prepared on one connection. Parameters are written "?" in the
// statement's text and bound in their order; only bound values reach the
// database, never text spliced into the statement.
class SqlStatement {
 public:
  virtual ~SqlStatement() = default;
  virtual void BindInteger(int64_t value) = 0;
  virtual void BindText(const std::string& value) = 0;   // UTF-8
  virtual void BindBytes(const std::string& value) = 0;  // a blob
  // Runs the statement on the first call; true while a row is there.
  virtual bool Step() = 0;
  // Columns of the current row, from 0.
  virtual int64_t Integer(int column) = 0;
  virtual std::string Bytes(int column) = 0;  // a text's or a blob's bytes
  // Ready to be bound and run again: bindings and rows dropped.
  virtual void Reset() = 0;
};

class SqlConnection {
 public:
  virtual ~SqlConnection() = default;
  virtual SqlDialect dialect() const = 0;

  // Runs statements without parameters (schema, transaction control).
  virtual void Execute(const std::string& sql) = 0;

  // The statement for `sql`, prepared once per connection, ready to bind.
  virtual SqlStatement& Prepare(const char* sql) = 0;

  // Starts a transaction that will write; other writers wait for its end.
  virtual void BeginWrite() = 0;

  // Outside any transaction and still connected: fit to serve another caller.
  virtual bool Idle() = 0;
};

// A connection to a SQLite database file, created when missing.
std::unique_ptr<SqlConnection> ConnectSqlite(const std::string& path);

// A connection to a PostgreSQL database given by a connection string
// ("postgresql://user@host:port/name" and everything libpq accepts).
std::unique_ptr<SqlConnection> ConnectPostgres(const std::string& connectionString);

// A write transaction on a connection, rolled back unless committed.
class SqlTransaction {
 public:
  explicit SqlTransaction(SqlConnection& connection) : connection_(connection) {
    connection_.BeginWrite();
  }
  ~SqlTransaction() {
    if (done_) return;
    try {
      connection_.Execute("ROLLBACK");
    } catch (...) {
      // A connection that cannot roll back is not Idle() and is not reused.
    }
  }
  SqlTransaction(const SqlTransaction&) = delete;
  SqlTransaction& operator=(const SqlTransaction&) = delete;

  void Commit() {
    connection_.Execute("COMMIT");
    done_ = true;
  }

 private:
  SqlConnection& connection_;
  bool done_ = false;
};
