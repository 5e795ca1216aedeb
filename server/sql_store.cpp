// The subtitle store's statements, the same for SQLite and PostgreSQL:
// bound parameters only, SQL that both run (RETURNING included).
#include "sql_store.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <mutex>
#include <set>
#include <vector>

#include "schema_migrations.h"

namespace {

const char kSubtitleColumns[] = "id, fingerprint, language, film, name, date, uses, file_name";

std::string FingerprintKey(uint64_t fingerprint) {
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(fingerprint));
  return text;
}

// A prepared statement in use: binds parameters in order and is reset at
// its end. Two Query objects of one connection never share a statement text.
class Query {
 public:
  Query(SqlConnection& connection, const char* sql) : statement_(connection.Prepare(sql)) {}
  ~Query() { statement_.Reset(); }
  Query(const Query&) = delete;
  Query& operator=(const Query&) = delete;

  Query& Bind(int64_t value) {
    statement_.BindInteger(value);
    return *this;
  }
  Query& BindText(const std::string& value) {
    statement_.BindText(value);
    return *this;
  }
  Query& BindBytes(const std::string& value) {
    statement_.BindBytes(value);
    return *this;
  }
  bool Step() { return statement_.Step(); }
  int64_t Integer(int column) { return statement_.Integer(column); }
  std::string Bytes(int column) { return statement_.Bytes(column); }

 private:
  SqlStatement& statement_;
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

// Connections made on demand and kept for the next caller, at most `limit`
// open at once (0: no limit).
class ConnectionPool {
 public:
  ConnectionPool(std::function<std::unique_ptr<SqlConnection>()> connect, size_t limit)
      : connect_(std::move(connect)), limit_(limit) {}

  std::unique_ptr<SqlConnection> Take() {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      for (;;) {
        if (!free_.empty()) {
          auto connection = std::move(free_.back());
          free_.pop_back();
          return connection;
        }
        if (limit_ == 0 || open_ < limit_) break;
        returned_.wait(lock);
      }
      ++open_;
    }
    try {
      return connect_();
    } catch (...) {
      Forget();
      throw;
    }
  }

  // A connection left inside a transaction (a failed COMMIT) or cut off
  // from its server is closed instead of reused.
  void Give(std::unique_ptr<SqlConnection> connection) {
    if (!connection->Idle()) {
      connection.reset();
      Forget();
      return;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    free_.push_back(std::move(connection));
    returned_.notify_one();
  }

 private:
  void Forget() {
    std::lock_guard<std::mutex> lock(mutex_);
    --open_;
    returned_.notify_one();
  }

  std::function<std::unique_ptr<SqlConnection>()> connect_;
  size_t limit_;
  std::mutex mutex_;
  std::condition_variable returned_;
  std::vector<std::unique_ptr<SqlConnection>> free_;
  size_t open_ = 0;
};

// Borrows a connection from the pool for one operation of the store.
class Lease {
 public:
  explicit Lease(ConnectionPool& pool) : pool_(pool), connection_(pool.Take()) {}
  ~Lease() { pool_.Give(std::move(connection_)); }
  Lease(const Lease&) = delete;
  Lease& operator=(const Lease&) = delete;
  SqlConnection& connection() { return *connection_; }

 private:
  ConnectionPool& pool_;
  std::unique_ptr<SqlConnection> connection_;
};

class SqlStore final : public SubtitleStore {
 public:
  SqlStore(std::function<std::unique_ptr<SqlConnection>()> connect, size_t maxConnections)
      : pool_(std::move(connect), maxConnections) {
    Lease lease(pool_);
    MigrateSchema(lease.connection());
  }

  std::optional<Film> FindFilmByFingerprint(uint64_t fingerprint) override {
    Lease lease(pool_);
    Query query(lease.connection(),
                "SELECT f.number, f.name FROM subtitles s JOIN films f ON f.number = s.film"
                " WHERE s.fingerprint = ? ORDER BY s.uses DESC, s.id LIMIT 1");
    query.BindText(FingerprintKey(fingerprint));
    if (!query.Step()) return std::nullopt;
    return Film{query.Integer(0), query.Bytes(1), {}};
  }

  std::optional<Film> FindFilm(int64_t number) override {
    Lease lease(pool_);
    Query query(lease.connection(), "SELECT number, name FROM films WHERE number = ?");
    query.Bind(number);
    if (!query.Step()) return std::nullopt;
    return Film{query.Integer(0), query.Bytes(1), {}};
  }

  std::vector<StoredSubtitle> ListSubtitles(uint64_t fingerprint, int32_t language,
                                            size_t limit) override {
    Lease lease(pool_);
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

  // Each count is one statement that adds to the stored value, so downloads
  // served at once by several processes all count. Rows are counted in
  // the order of their identifiers: two downloads of the same subtitles,
  // asked in different orders, lock the rows in one order and never wait
  // for each other in a circle.
  std::vector<StoredSubtitle> TakeSubtitleFiles(const std::vector<int64_t>& ids,
                                                const std::optional<std::string>& date) override {
    std::vector<int64_t> ordered = ids;
    std::sort(ordered.begin(), ordered.end());
    ordered.erase(std::unique(ordered.begin(), ordered.end()), ordered.end());

    Lease lease(pool_);
    SqlConnection& connection = lease.connection();
    SqlTransaction transaction(connection);
    static const std::string counted = std::string("UPDATE subtitles SET uses = uses + 1") +
                                       " WHERE id = ? RETURNING " + kSubtitleColumns;
    static const std::string countedOfDate = std::string("UPDATE subtitles SET uses = uses + 1") +
                                             " WHERE id = ? AND date = ? RETURNING " +
                                             kSubtitleColumns;
    std::map<int64_t, StoredSubtitle> taken;
    for (int64_t id : ordered) {
      StoredSubtitle subtitle;
      {
        Query count(connection, date ? countedOfDate.c_str() : counted.c_str());
        count.Bind(id);
        if (date) count.BindText(*date);
        if (!count.Step()) continue;
        subtitle = ReadSubtitle(count);
      }
      Query file(connection, "SELECT bytes FROM subtitle_files WHERE subtitle = ?");
      file.Bind(id);
      if (!file.Step()) throw StoreFailure("subtitle " + std::to_string(id) + " has no file");
      subtitle.bytes = file.Bytes(0);
      taken.emplace(id, std::move(subtitle));
    }
    transaction.Commit();

    std::vector<StoredSubtitle> inAskedOrder;
    for (int64_t id : ids) {
      auto found = taken.find(id);
      if (found == taken.end()) continue;
      inAskedOrder.push_back(std::move(found->second));
      taken.erase(found);  // an identifier asked twice comes once
    }
    return inAskedOrder;
  }

  std::string Poster(int64_t filmNumber) override {
    Lease lease(pool_);
    Query query(lease.connection(), "SELECT poster FROM films WHERE number = ?");
    query.Bind(filmNumber);
    return query.Step() ? query.Bytes(0) : std::string();
  }

  void AddFilm(const Film& film) override { AddLibrary({film}, {}); }

  int64_t AddSubtitle(const StoredSubtitle& subtitle) override {
    Lease lease(pool_);
    SqlTransaction transaction(lease.connection());
    std::set<int64_t> knownFilms;
    const int64_t id = InsertSubtitle(lease.connection(), subtitle, knownFilms);
    transaction.Commit();
    return id;
  }

  bool RemoveSubtitle(int64_t id) override {
    Lease lease(pool_);
    SqlConnection& connection = lease.connection();
    SqlTransaction transaction(connection);
    {
      Query file(connection, "DELETE FROM subtitle_files WHERE subtitle = ?");
      file.Bind(id).Step();
    }
    bool removed = false;
    {
      Query row(connection, "DELETE FROM subtitles WHERE id = ? RETURNING id");
      removed = row.Bind(id).Step();
    }
    transaction.Commit();
    return removed;
  }

  std::vector<Film> AllFilms() override {
    Lease lease(pool_);
    Query query(lease.connection(), "SELECT number, name, poster FROM films ORDER BY number");
    std::vector<Film> films;
    while (query.Step()) films.push_back(Film{query.Integer(0), query.Bytes(1), query.Bytes(2)});
    return films;
  }

  std::vector<StoredSubtitle> AllSubtitles() override {
    Lease lease(pool_);
    static const std::string sql = std::string("SELECT ") + kSubtitleColumns +
                                   " FROM subtitles ORDER BY film, fingerprint, id";
    Query query(lease.connection(), sql.c_str());
    std::vector<StoredSubtitle> subtitles;
    while (query.Step()) subtitles.push_back(ReadSubtitle(query));
    return subtitles;
  }

  bool IsEmpty() override {
    Lease lease(pool_);
    {
      Query films(lease.connection(), "SELECT 1 FROM films LIMIT 1");
      if (films.Step()) return false;
    }
    Query subtitles(lease.connection(), "SELECT 1 FROM subtitles LIMIT 1");
    return !subtitles.Step();
  }

  void AddLibrary(const std::vector<Film>& films,
                  const std::vector<StoredSubtitle>& subtitles) override {
    Lease lease(pool_);
    SqlConnection& connection = lease.connection();
    SqlTransaction transaction(connection);
    // Films known to exist in this transaction: each is looked up once, not
    // once for each of its subtitles.
    std::set<int64_t> known;
    for (const Film& film : films) {
      {
        Query exists(connection, "SELECT 1 FROM films WHERE number = ?");
        exists.Bind(film.number);
        if (exists.Step())
          throw StoreFailure("film " + std::to_string(film.number) + " exists already");
      }
      Query insert(connection, "INSERT INTO films (number, name, poster) VALUES (?, ?, ?)");
      insert.Bind(film.number).BindText(film.name).BindBytes(film.poster).Step();
      known.insert(film.number);
    }
    for (const StoredSubtitle& subtitle : subtitles) InsertSubtitle(connection, subtitle, known);
    transaction.Commit();
  }

 private:
  static int64_t InsertSubtitle(SqlConnection& connection, const StoredSubtitle& subtitle,
                                std::set<int64_t>& knownFilms) {
    if (!knownFilms.count(subtitle.film)) {
      Query film(connection, "SELECT 1 FROM films WHERE number = ?");
      film.Bind(subtitle.film);
      if (!film.Step()) throw StoreFailure("no film " + std::to_string(subtitle.film));
      knownFilms.insert(subtitle.film);
    }
    int64_t id = 0;
    {
      Query insert(
          connection,
          "INSERT INTO subtitles (fingerprint, language, film, name, date, uses, file_name)"
          " VALUES (?, ?, ?, ?, ?, ?, ?) RETURNING id");
      insert.BindText(FingerprintKey(subtitle.fingerprint)).Bind(subtitle.language);
      insert.Bind(subtitle.film).BindText(subtitle.name).BindText(subtitle.date);
      insert.Bind(subtitle.uses).BindText(subtitle.fileName);
      if (!insert.Step()) throw StoreFailure("the new subtitle got no identifier");
      id = insert.Integer(0);
    }
    Query file(connection, "INSERT INTO subtitle_files (subtitle, bytes) VALUES (?, ?)");
    file.Bind(id).BindBytes(subtitle.bytes).Step();
    return id;
  }

  ConnectionPool pool_;
};

}  // namespace

std::unique_ptr<SubtitleStore> OpenSqlStore(std::function<std::unique_ptr<SqlConnection>()> connect,
                                            size_t maxConnections) {
  return std::make_unique<SqlStore>(std::move(connect), maxConnections);
}
