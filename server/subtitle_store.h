#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

// What the service keeps: films and the subtitles known for each video
// fingerprint. The HTTP side and the operator's commands see only this
// interface, so another database can stand behind it. Texts are UTF-8.

struct Film {
  int64_t number = 0;  // the film's identifier, sent as "id" and in poster names
  std::string name;
  std::string poster;  // JPEG bytes; empty when the film has none
};

struct StoredSubtitle {
  int64_t id = 0;
  uint64_t fingerprint = 0;  // of the video the subtitle belongs to
  int32_t language = 0;
  int64_t film = 0;
  std::string name;      // shown in the wizard's list
  std::string date;      // "YYYY-MM-DD"
  int64_t uses = 0;      // archive downloads that carried it
  std::string fileName;  // a safe file name, no folder part
  std::string bytes;     // the subtitle file; left empty by listings
};

// A failure of the storage itself (cannot open, disk full, constraint).
class StoreFailure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class SubtitleStore {
 public:
  virtual ~SubtitleStore() = default;

  // The film of the subtitles stored for the fingerprint (any language);
  // nothing when none is stored.
  virtual std::optional<Film> FindFilmByFingerprint(uint64_t fingerprint) = 0;
  virtual std::optional<Film> FindFilm(int64_t number) = 0;

  // The subtitles for a fingerprint in a language, most used first (ties:
  // newest first, then lowest id), without their bytes. `limit` 0: all.
  virtual std::vector<StoredSubtitle> ListSubtitles(uint64_t fingerprint, int32_t language,
                                                    size_t limit = 0) = 0;

  // The subtitles with these identifiers, bytes included, in the order asked,
  // each counted as one more use, all in one transaction. Unknown
  // identifiers are left out, and so is a subtitle whose date is not
  // `date` when a date is given; an identifier asked twice comes (and
  // counts) once. Counts stay exact with any number of callers and
  // processes at once.
  virtual std::vector<StoredSubtitle> TakeSubtitleFiles(
      const std::vector<int64_t>& ids, const std::optional<std::string>& date) = 0;

  // The poster of the film with this number; empty when there is none.
  virtual std::string Poster(int64_t filmNumber) = 0;

  // Operator's changes, each one transaction. AddFilm and AddSubtitle throw
  // StoreFailure (nothing written) for a film number already taken or a
  // film that does not exist.
  virtual void AddFilm(const Film& film) = 0;
  virtual int64_t AddSubtitle(const StoredSubtitle& subtitle) = 0;  // gives the new id
  virtual bool RemoveSubtitle(int64_t id) = 0;                      // false: no such subtitle

  // Everything stored, for the operator's listing (subtitles without bytes).
  virtual std::vector<Film> AllFilms() = 0;
  virtual std::vector<StoredSubtitle> AllSubtitles() = 0;
  virtual bool IsEmpty() = 0;

  // Many films and subtitles at once, in one transaction (sample library,
  // benchmark library).
  virtual void AddLibrary(const std::vector<Film>& films,
                          const std::vector<StoredSubtitle>& subtitles) = 0;
};

// Both stores are safe for concurrent use (each caller borrows one of their
// connections) and bring the database's schema to the newest version when
// opened. Several processes may serve one database at once.

// The SQLite store in one database file, created when missing.
std::unique_ptr<SubtitleStore> OpenSqliteStore(const std::string& path);

// The PostgreSQL store in an existing database, given by a connection string
// ("postgresql://user@host:port/name?..."), with at most
// kPostgresConnections connections open at once.
inline constexpr size_t kPostgresConnections = 10;
std::unique_ptr<SubtitleStore> OpenPostgresStore(const std::string& connectionString);

// True for a PostgreSQL connection string ("postgresql://" or "postgres://").
bool IsPostgresDatabase(const std::string& database);

// The store named by `database`: a PostgreSQL connection string, else the
// path of a SQLite file.
std::unique_ptr<SubtitleStore> OpenStore(const std::string& database);
