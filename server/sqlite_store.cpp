// The SQLite backend of the subtitle store. The statements keep to SQL that
// a server database runs as well (bound parameters, no SQLite functions);
// only the schema's types, the pragmas and BEGIN IMMEDIATE are SQLite's own.
#include <sqlite3.h>

#include <condition_variable>
#include <cstdio>
#include <map>
#include <mutex>

#include "subtitle_store.h"

namespace {

const char kSchema[] =
    "CREATE TABLE IF NOT EXISTS films ("
    "  number INTEGER PRIMARY KEY,"
    "  name TEXT NOT NULL,"
    "  poster BLOB NOT NULL);"
    "CREATE TABLE IF NOT EXISTS subtitles ("
    "  id INTEGER PRIMARY KEY,"
    "  fingerprint TEXT NOT NULL,"  // 16 hex digits: an unsigned 64-bit value
    "  language INTEGER NOT NULL,"
    "  film INTEGER NOT NULL REFERENCES films (number),"
    "  name TEXT NOT NULL,"
    "  date TEXT NOT NULL,"
    "  uses INTEGER NOT NULL DEFAULT 0,"
    "  file_name TEXT NOT NULL,"
    "  bytes BLOB NOT NULL);"
    "CREATE INDEX IF NOT EXISTS subtitles_by_video"
    "  ON subtitles (fingerprint, language, uses DESC, date DESC, id);"
    "CREATE INDEX IF NOT EXISTS subtitles_by_film ON subtitles (film);";

const char kSubtitleColumns[] = "id, fingerprint, language, film, name, date, uses, file_name";

std::string FingerprintKey(uint64_t fingerprint) {
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(fingerprint));
  return text;
}

// One connection with its prepared statements, used by one caller at a time.
class Connection {
 public:
  explicit Connection(const std::string& path) {
    const int opened = sqlite3_open_v2(path.c_str(), &db_,
                                       SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE |
                                           SQLITE_OPEN_NOMUTEX,
                                       nullptr);
    if (opened != SQLITE_OK) {
      const std::string why = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(opened);
      sqlite3_close(db_);
      throw StoreFailure("cannot open database " + path + ": " + why);
    }
    // Writers wait for each other instead of failing; readers never wait
    // for writers in WAL mode.
    sqlite3_busy_timeout(db_, 30000);
    Execute("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA foreign_keys=ON;");
  }
  ~Connection() {
    for (auto& [sql, statement] : statements_) sqlite3_finalize(statement);
    sqlite3_close(db_);
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  void Execute(const char* sql) {
    char* error = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &error) != SQLITE_OK) {
      const std::string why = error ? error : sqlite3_errmsg(db_);
      sqlite3_free(error);
      throw StoreFailure(why);
    }
  }

  // The statement for `sql`, prepared once per connection, reset and
  // cleared of earlier bindings.
  sqlite3_stmt* Prepare(const char* sql) {
    auto found = statements_.find(sql);
    if (found != statements_.end()) {
      sqlite3_reset(found->second);
      sqlite3_clear_bindings(found->second);
      return found->second;
    }
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db_, sql, -1, &statement, nullptr) != SQLITE_OK) Fail();
    statements_.emplace(sql, statement);
    return statement;
  }

  [[noreturn]] void Fail() { throw StoreFailure(sqlite3_errmsg(db_)); }
  sqlite3* handle() { return db_; }

 private:
  sqlite3* db_ = nullptr;
  std::map<std::string, sqlite3_stmt*> statements_;
};

// A statement in use: binds parameters by position (from 1) and steps.
class Query {
 public:
  Query(Connection& connection, const char* sql)
      : connection_(connection), statement_(connection.Prepare(sql)) {}
  ~Query() { sqlite3_reset(statement_); }

  Query& Bind(int64_t value) {
    Check(sqlite3_bind_int64(statement_, ++bound_, value));
    return *this;
  }
  Query& BindText(const std::string& value) {
    Check(sqlite3_bind_text(statement_, ++bound_, value.data(), static_cast<int>(value.size()),
                            SQLITE_TRANSIENT));
    return *this;
  }
  Query& BindBlob(const std::string& value) {
    Check(sqlite3_bind_blob(statement_, ++bound_, value.data(), static_cast<int>(value.size()),
                            SQLITE_TRANSIENT));
    return *this;
  }
  // True while a row is there.
  bool Step() {
    const int stepped = sqlite3_step(statement_);
    if (stepped == SQLITE_ROW) return true;
    if (stepped == SQLITE_DONE) return false;
    connection_.Fail();
  }
  int64_t Integer(int column) { return sqlite3_column_int64(statement_, column); }
  std::string Bytes(int column) {
    const void* data = sqlite3_column_blob(statement_, column);
    const int size = sqlite3_column_bytes(statement_, column);
    return data ? std::string(static_cast<const char*>(data), static_cast<size_t>(size))
                : std::string();
  }

 private:
  void Check(int result) {
    if (result != SQLITE_OK) connection_.Fail();
  }
  Connection& connection_;
  sqlite3_stmt* statement_;
  int bound_ = 0;
};

// A write transaction, rolled back unless committed.
class Transaction {
 public:
  explicit Transaction(Connection& connection) : connection_(connection) {
    connection_.Execute("BEGIN IMMEDIATE");
  }
  ~Transaction() {
    if (!done_) sqlite3_exec(connection_.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
  }
  void Commit() {
    connection_.Execute("COMMIT");
    done_ = true;
  }

 private:
  Connection& connection_;
  bool done_ = false;
};

StoredSubtitle ReadSubtitle(Query& query) {
  StoredSubtitle subtitle;
  subtitle.id = query.Integer(0);
  subtitle.fingerprint = std::stoull(query.Bytes(1), nullptr, 16);
  subtitle.language = static_cast<int32_t>(query.Integer(2));
  subtitle.film = query.Integer(3);
  subtitle.name = query.Bytes(4);
  subtitle.date = query.Bytes(5);
  subtitle.uses = query.Integer(6);
  subtitle.fileName = query.Bytes(7);
  return subtitle;
}

class SqliteStore final : public SubtitleStore {
 public:
  explicit SqliteStore(std::string path) : path_(std::move(path)) {
    Lease lease(*this);
    Transaction transaction(lease.connection());
    lease.connection().Execute(kSchema);
    transaction.Commit();
  }

  std::optional<Film> FindFilmByFingerprint(uint64_t fingerprint) override {
    Lease lease(*this);
    Query query(lease.connection(),
                "SELECT f.number, f.name FROM subtitles s JOIN films f ON f.number = s.film"
                " WHERE s.fingerprint = ? ORDER BY s.uses DESC, s.id LIMIT 1");
    query.BindText(FingerprintKey(fingerprint));
    if (!query.Step()) return std::nullopt;
    return Film{query.Integer(0), query.Bytes(1), {}};
  }

  std::optional<Film> FindFilm(int64_t number) override {
    Lease lease(*this);
    Query query(lease.connection(), "SELECT number, name FROM films WHERE number = ?");
    query.Bind(number);
    if (!query.Step()) return std::nullopt;
    return Film{query.Integer(0), query.Bytes(1), {}};
  }

  std::vector<StoredSubtitle> ListSubtitles(uint64_t fingerprint, int32_t language,
                                            size_t limit) override {
    Lease lease(*this);
    static const std::string sql = std::string("SELECT ") + kSubtitleColumns +
                                   " FROM subtitles WHERE fingerprint = ? AND language = ?"
                                   " ORDER BY uses DESC, date DESC, id LIMIT ?";
    Query query(lease.connection(), sql.c_str());
    query.BindText(FingerprintKey(fingerprint)).Bind(language);
    query.Bind(limit == 0 ? INT64_MAX : static_cast<int64_t>(limit));
    std::vector<StoredSubtitle> found;
    while (query.Step()) found.push_back(ReadSubtitle(query));
    return found;
  }

  std::vector<StoredSubtitle> TakeSubtitleFiles(const std::vector<int64_t>& ids,
                                                const std::optional<std::string>& date) override {
    Lease lease(*this);
    Connection& connection = lease.connection();
    Transaction transaction(connection);
    std::vector<StoredSubtitle> taken;
    static const std::string sql =
        std::string("SELECT ") + kSubtitleColumns + ", bytes FROM subtitles WHERE id = ?";
    for (int64_t id : ids) {
      {
        Query query(connection, sql.c_str());
        query.Bind(id);
        if (!query.Step()) continue;
        StoredSubtitle subtitle = ReadSubtitle(query);
        if (date && subtitle.date != *date) continue;
        taken.push_back(std::move(subtitle));
        taken.back().bytes = query.Bytes(8);
      }
      Query count(connection, "UPDATE subtitles SET uses = uses + 1 WHERE id = ?");
      count.Bind(id).Step();
      ++taken.back().uses;
    }
    transaction.Commit();
    return taken;
  }

  std::string Poster(int64_t filmNumber) override {
    Lease lease(*this);
    Query query(lease.connection(), "SELECT poster FROM films WHERE number = ?");
    query.Bind(filmNumber);
    return query.Step() ? query.Bytes(0) : std::string();
  }

  void AddFilm(const Film& film) override { AddLibrary({film}, {}); }

  int64_t AddSubtitle(const StoredSubtitle& subtitle) override {
    Lease lease(*this);
    Transaction transaction(lease.connection());
    const int64_t id = InsertSubtitle(lease.connection(), subtitle);
    transaction.Commit();
    return id;
  }

  bool RemoveSubtitle(int64_t id) override {
    Lease lease(*this);
    Transaction transaction(lease.connection());
    Query query(lease.connection(), "DELETE FROM subtitles WHERE id = ?");
    query.Bind(id).Step();
    const bool removed = sqlite3_changes(lease.connection().handle()) > 0;
    transaction.Commit();
    return removed;
  }

  std::vector<Film> AllFilms() override {
    Lease lease(*this);
    Query query(lease.connection(), "SELECT number, name, poster FROM films ORDER BY number");
    std::vector<Film> films;
    while (query.Step()) films.push_back(Film{query.Integer(0), query.Bytes(1), query.Bytes(2)});
    return films;
  }

  std::vector<StoredSubtitle> AllSubtitles() override {
    Lease lease(*this);
    static const std::string sql =
        std::string("SELECT ") + kSubtitleColumns + " FROM subtitles ORDER BY film, fingerprint, id";
    Query query(lease.connection(), sql.c_str());
    std::vector<StoredSubtitle> subtitles;
    while (query.Step()) subtitles.push_back(ReadSubtitle(query));
    return subtitles;
  }

  bool IsEmpty() override {
    Lease lease(*this);
    Query films(lease.connection(), "SELECT COUNT(*) FROM films");
    films.Step();
    if (films.Integer(0) > 0) return false;
    Query subtitles(lease.connection(), "SELECT COUNT(*) FROM subtitles");
    subtitles.Step();
    return subtitles.Integer(0) == 0;
  }

  void AddLibrary(const std::vector<Film>& films,
                  const std::vector<StoredSubtitle>& subtitles) override {
    Lease lease(*this);
    Connection& connection = lease.connection();
    Transaction transaction(connection);
    for (const Film& film : films) {
      Query exists(connection, "SELECT 1 FROM films WHERE number = ?");
      exists.Bind(film.number);
      if (exists.Step()) throw StoreFailure("film " + std::to_string(film.number) + " exists already");
      Query insert(connection, "INSERT INTO films (number, name, poster) VALUES (?, ?, ?)");
      insert.Bind(film.number).BindText(film.name).BindBlob(film.poster).Step();
    }
    for (const StoredSubtitle& subtitle : subtitles) InsertSubtitle(connection, subtitle);
    transaction.Commit();
  }

 private:
  static int64_t InsertSubtitle(Connection& connection, const StoredSubtitle& subtitle) {
    {
      Query film(connection, "SELECT 1 FROM films WHERE number = ?");
      film.Bind(subtitle.film);
      if (!film.Step()) throw StoreFailure("no film " + std::to_string(subtitle.film));
    }
    Query insert(connection,
                 "INSERT INTO subtitles (fingerprint, language, film, name, date, uses, file_name,"
                 " bytes) VALUES (?, ?, ?, ?, ?, ?, ?, ?)");
    insert.BindText(FingerprintKey(subtitle.fingerprint)).Bind(subtitle.language);
    insert.Bind(subtitle.film).BindText(subtitle.name).BindText(subtitle.date);
    insert.Bind(subtitle.uses).BindText(subtitle.fileName).BindBlob(subtitle.bytes).Step();
    return sqlite3_last_insert_rowid(connection.handle());
  }

  // Borrows a free connection (opening one when none is free) and gives it
  // back at its end.
  class Lease {
   public:
    explicit Lease(SqliteStore& store) : store_(store) {
      {
        std::lock_guard<std::mutex> lock(store_.mutex_);
        if (!store_.free_.empty()) {
          connection_ = std::move(store_.free_.back());
          store_.free_.pop_back();
        }
      }
      if (!connection_) connection_ = std::make_unique<Connection>(store_.path_);
    }
    ~Lease() {
      std::lock_guard<std::mutex> lock(store_.mutex_);
      // A connection left inside a transaction (a failed COMMIT) is not reused.
      if (!sqlite3_get_autocommit(connection_->handle())) return;
      store_.free_.push_back(std::move(connection_));
    }
    Connection& connection() { return *connection_; }

   private:
    SqliteStore& store_;
    std::unique_ptr<Connection> connection_;
  };

  std::string path_;
  std::mutex mutex_;
  std::vector<std::unique_ptr<Connection>> free_;
};

}  // namespace

std::unique_ptr<SubtitleStore> OpenSqliteStore(const std::string& path) {
  return std::make_unique<SqliteStore>(path);
}
