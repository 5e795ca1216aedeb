// A connection to a SQLite database file: the embedded backend of the
// subtitle store.
#include <sqlite3.h>

#include <map>

#include "sql_connection.h"
#include "subtitle_store.h"

namespace {

class SqliteStatement final : public SqlStatement {
 public:
  SqliteStatement(sqlite3* db, sqlite3_stmt* statement) : db_(db), statement_(statement) {}
  ~SqliteStatement() override { sqlite3_finalize(statement_); }

  void BindInteger(int64_t value) override {
    Check(sqlite3_bind_int64(statement_, ++bound_, value));
  }
  void BindText(const std::string& value) override {
    Check(sqlite3_bind_text(statement_, ++bound_, value.data(), static_cast<int>(value.size()),
                            SQLITE_TRANSIENT));
  }
  void BindBytes(const std::string& value) override {
    Check(sqlite3_bind_blob(statement_, ++bound_, value.data(), static_cast<int>(value.size()),
                            SQLITE_TRANSIENT));
  }
  bool Step() override {
    const int stepped = sqlite3_step(statement_);
    if (stepped == SQLITE_ROW) return true;
    if (stepped == SQLITE_DONE) return false;
    Fail();
  }
  int64_t Integer(int column) override { return sqlite3_column_int64(statement_, column); }
  std::string Bytes(int column) override {
    const void* data = sqlite3_column_blob(statement_, column);
    const int size = sqlite3_column_bytes(statement_, column);
    return data ? std::string(static_cast<const char*>(data), static_cast<size_t>(size))
                : std::string();
  }
  void Reset() override {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
    bound_ = 0;
  }

 private:
  void Check(int result) {
    if (result != SQLITE_OK) Fail();
  }
  [[noreturn]] void Fail() { throw StoreFailure(sqlite3_errmsg(db_)); }

  sqlite3* db_;
  sqlite3_stmt* statement_;
  int bound_ = 0;
};

class SqliteConnection final : public SqlConnection {
 public:
  explicit SqliteConnection(const std::string& path) {
    const int opened =
        sqlite3_open_v2(path.c_str(), &db_,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (opened != SQLITE_OK) {
      const std::string why = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(opened);
      sqlite3_close(db_);
      throw StoreFailure("cannot open database " + path + ": " + why);
    }
    // Writers wait for each other instead of failing; readers never wait
    // for writers in WAL mode. Several processes may share the file.
    sqlite3_busy_timeout(db_, 30000);
    Execute("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA foreign_keys=ON;");
  }
  ~SqliteConnection() override {
    statements_.clear();
    sqlite3_close(db_);
  }

  SqlDialect dialect() const override { return SqlDialect::kSqlite; }

  void Execute(const std::string& sql) override {
    char* error = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
      const std::string why = error ? error : sqlite3_errmsg(db_);
      sqlite3_free(error);
      throw StoreFailure(why);
    }
  }

  SqlStatement& Prepare(const char* sql) override {
    auto found = statements_.find(sql);
    if (found != statements_.end()) {
      found->second->Reset();
      return *found->second;
    }
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db_, sql, -1, &statement, nullptr) != SQLITE_OK) {
      throw StoreFailure(sqlite3_errmsg(db_));
    }
    auto made = std::make_unique<SqliteStatement>(db_, statement);
    SqlStatement& prepared = *made;
    statements_.emplace(sql, std::move(made));
    return prepared;
  }

  // Takes the write lock at once, so a transaction never fails half-way
  // for want of it.
  void BeginWrite() override { Execute("BEGIN IMMEDIATE"); }

  bool Idle() override { return sqlite3_get_autocommit(db_) != 0; }

 private:
  sqlite3* db_ = nullptr;
  std::map<std::string, std::unique_ptr<SqliteStatement>> statements_;
};

}  // namespace

std::unique_ptr<SqlConnection> ConnectSqlite(const std::string& path) {
  return std::make_unique<SqliteConnection>(path);
}
