#include "operator_commands.h"

#include <csignal>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <optional>
#include <pthread.h>
#include <stdexcept>

#include "file_fingerprint.h"
#include "sample_library.h"
#include "server_text.h"
#include "subtitle_service.h"
#include "subtitle_store.h"
#include "video_fingerprint.h"

namespace fs = std::filesystem;

namespace {

// A bad command line or bad input: nothing was written.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

constexpr size_t kMaxPosterBytes = 2 << 20;
constexpr size_t kMaxSubtitleBytes = 4 << 20;
constexpr size_t kMaxNameBytes = 200;

struct Command {
  const char* name;
  const char* usage;
  std::vector<std::string> options;   // every option takes a value
  std::vector<std::string> required;
  int (*run)(const std::map<std::string, std::string>&, std::ostream&, std::ostream&);
};

std::string Option(const std::map<std::string, std::string>& options, const std::string& name,
                   const std::string& fallback = {}) {
  const auto found = options.find(name);
  return found == options.end() ? fallback : found->second;
}

int64_t Number(const std::map<std::string, std::string>& options, const std::string& name,
               int64_t low, int64_t high) {
  const std::string text = Option(options, name);
  size_t used = 0;
  int64_t value = 0;
  try {
    value = std::stoll(text, &used, 10);
  } catch (const std::exception&) {
    used = 0;
  }
  if (text.empty() || used != text.size() || value < low || value > high) {
    throw UsageError(name + " must be a whole number from " + std::to_string(low) + " to " +
                     std::to_string(high) + ", not \"" + text + "\"");
  }
  return value;
}

// A text the wizard will show: UTF-8 that Windows-1252 can hold.
std::string ShownText(const std::map<std::string, std::string>& options, const std::string& name) {
  const std::string text = Option(options, name);
  if (text.empty() || text.size() > kMaxNameBytes) {
    throw UsageError(name + " must hold 1 to " + std::to_string(kMaxNameBytes) + " bytes");
  }
  const auto bytes = Utf8ToWindows1252(text);
  if (!bytes) {
    throw UsageError(name + " must be UTF-8 text whose characters Windows-1252 has (the wizard "
                            "shows texts in that code page)");
  }
  for (unsigned char c : *bytes) {
    if (c < 0x20 || c == 0x7F) throw UsageError(name + " must not hold control characters");
  }
  return text;
}

std::string ReadWholeFile(const std::string& path, size_t limit, const std::string& what) {
  std::error_code error;
  if (!fs::is_regular_file(path, error)) throw UsageError("no " + what + " file " + path);
  if (fs::file_size(path, error) > limit) {
    throw UsageError("the " + what + " file " + path + " is larger than " +
                     std::to_string(limit) + " bytes");
  }
  std::ifstream in(path, std::ios::binary);
  std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (!in.good() && !in.eof()) throw UsageError("cannot read " + path);
  return bytes;
}

std::string Today() {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  char text[16];
  std::strftime(text, sizeof text, "%Y-%m-%d", &utc);
  return text;
}

std::string CheckedDate(const std::string& text) {
  int year = 0, month = 0, day = 0;
  char rest = 0;
  if (text.size() != 10 || std::sscanf(text.c_str(), "%4d-%2d-%2d%c", &year, &month, &day, &rest) != 3 ||
      year < 1980 || month < 1 || month > 12 || day < 1 || day > 31) {
    throw UsageError("--date must be YYYY-MM-DD, not \"" + text + "\"");
  }
  return text;
}

// Opens the store; for commands that change or list an existing library
// a SQLite file must exist already. A PostgreSQL database always exists
// before the store is opened (its administrator creates it).
std::unique_ptr<SubtitleStore> Store(const std::map<std::string, std::string>& options,
                                     bool mayCreate) {
  const std::string database = Option(options, "--database", "subtitles.db");
  if (!mayCreate && !IsPostgresDatabase(database) && !fs::exists(database)) {
    throw UsageError("no database " + database);
  }
  return OpenStore(database);
}

int AddFilm(const std::map<std::string, std::string>& options, std::ostream& out, std::ostream&) {
  Film film;
  film.name = ShownText(options, "--name");
  // The wizard reads the film number as a signed 32-bit value.
  film.number = Number(options, "--number", 1, INT32_MAX);
  film.poster = ReadWholeFile(Option(options, "--poster"), kMaxPosterBytes, "poster");
  if (film.poster.size() < 4 || film.poster.compare(0, 3, "\xFF\xD8\xFF") != 0) {
    throw UsageError("the poster must be a JPEG file");
  }
  Store(options, true)->AddFilm(film);
  out << "added film " << film.number << " \"" << film.name << "\"\n";
  return 0;
}

int AddSubtitle(const std::map<std::string, std::string>& options, std::ostream& out,
                std::ostream&) {
  StoredSubtitle subtitle;
  subtitle.language = static_cast<int32_t>(Number(options, "--language", INT32_MIN, INT32_MAX));
  subtitle.film = Number(options, "--film", 1, INT32_MAX);
  subtitle.name = ShownText(options, "--name");
  subtitle.date = CheckedDate(Option(options, "--date", Today()));
  const std::string file = Option(options, "--file");
  subtitle.bytes = ReadWholeFile(file, kMaxSubtitleBytes, "subtitle");
  if (subtitle.bytes.empty()) throw UsageError("the subtitle file " + file + " is empty");
  subtitle.fileName = SafeEntryName(fs::path(file).filename().string());
  const std::string video = Option(options, "--video");
  std::error_code error;
  if (!fs::is_regular_file(video, error)) throw UsageError("no video file " + video);
  try {
    subtitle.fingerprint = FingerprintOfFile(video);
  } catch (const std::runtime_error& failure) {
    throw UsageError(failure.what());
  }
  auto store = Store(options, false);
  if (!store->FindFilm(subtitle.film)) {
    throw UsageError("no film " + std::to_string(subtitle.film) + ": add it first with add-film");
  }
  const int64_t id = store->AddSubtitle(subtitle);
  out << "added subtitle " << id << " for video " << FormatFingerprintText(subtitle.fingerprint)
      << " as " << subtitle.fileName << "\n";
  return 0;
}

int List(const std::map<std::string, std::string>& options, std::ostream& out, std::ostream&) {
  auto store = Store(options, false);
  for (const Film& film : store->AllFilms()) {
    out << "film " << film.number << "\t" << film.name << "\tposter " << film.poster.size()
        << " bytes\n";
  }
  for (const StoredSubtitle& s : store->AllSubtitles()) {
    out << "subtitle " << s.id << "\tvideo " << FormatFingerprintText(s.fingerprint)
        << "\tlanguage " << s.language << "\tfilm " << s.film << "\tuses " << s.uses << "\t"
        << s.date << "\t" << s.fileName << "\t" << s.name << "\n";
  }
  return 0;
}

int RemoveSubtitle(const std::map<std::string, std::string>& options, std::ostream& out,
                   std::ostream&) {
  const int64_t id = Number(options, "--id", 1, INT64_MAX);
  if (!Store(options, false)->RemoveSubtitle(id)) {
    throw UsageError("no subtitle " + std::to_string(id));
  }
  out << "removed subtitle " << id << "\n";
  return 0;
}

int Serve(const std::map<std::string, std::string>& options, std::ostream& out, std::ostream& err) {
  ServiceOptions service;
  service.bind = Option(options, "--bind", service.bind);
  service.port = static_cast<int>(Number(options, "--port", 0, 65535));
  service.imagePort = static_cast<int>(Number(options, "--image-port", 0, 65535));
  service.versionReply = Option(options, "--version-reply");
  service.log = &err;
  const std::string database = Option(options, "--database", "subtitles.db");
  const fs::path samples = options.count("--samples") ? fs::path(Option(options, "--samples"))
                           : IsPostgresDatabase(database)
                               ? fs::absolute("samples")
                               : fs::absolute(database).parent_path() / "samples";

  // Stop signals are taken by this thread alone, with sigwait below; every
  // thread started from here on inherits the mask.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  std::signal(SIGPIPE, SIG_IGN);

  auto store = OpenStore(database);
  SubtitleService server(*store, service);
  // Ports first: a start that cannot listen leaves the library as it was.
  server.Bind();
  if (store->IsEmpty()) {
    try {
      MakeSampleLibrary(*store, samples);
      err << "made the sample library; sample videos in " << samples.string() << "\n";
    } catch (const StoreFailure&) {
      // Another process serving the same database made it first.
      if (store->IsEmpty()) throw;
    }
  }
  server.Start();
  out << "listening on http://" << service.bind << ":" << server.port() << " (images on port "
      << server.imagePort() << ")" << std::endl;
  int received = 0;
  sigwait(&stopSignals, &received);
  server.Stop();
  err << "stopped\n";
  return 0;
}

const Command kCommands[] = {
    {"serve",
     "subtitle-server serve [--database FILE|URL] [--samples DIR] [--bind ADDR] [--port N]\n"
     "                      [--image-port N] [--version-reply TEXT]\n"
     "  Serves the subtitle service on --port (default 47801) and the posters on\n"
     "  --image-port (default 47802) of --bind (default 127.0.0.1). The database\n"
     "  is a SQLite file (default subtitles.db), created when missing, or a\n"
     "  PostgreSQL database given as postgresql://USER@HOST:PORT/NAME, which\n"
     "  several serve processes may share. An empty library first gets the\n"
     "  sample library, whose videos go to --samples (default: \"samples\"\n"
     "  beside the SQLite file, or in the current folder). --version-reply is\n"
     "  what the version check answers (default: empty, no newer version).\n"
     "  Stops on SIGTERM or Ctrl-C.\n",
     {"--database", "--samples", "--bind", "--port", "--image-port", "--version-reply"},
     {},
     Serve},
    {"add-film",
     "subtitle-server add-film --database F --name TEXT --number N --poster FILE.jpg\n"
     "  Adds a film: its name as the wizard shows it, its number (1 to 2147483647)\n"
     "  and its poster, a JPEG file (128 x 198 pixels is what the wizard shows).\n",
     {"--database", "--name", "--number", "--poster"},
     {"--name", "--number", "--poster"},
     AddFilm},
    {"add-subtitle",
     "subtitle-server add-subtitle --database F --video VIDEOFILE --language N --film N\n"
     "                             --name TEXT --file SUBTITLEFILE [--date YYYY-MM-DD]\n"
     "  Adds a subtitle file for the video file (its fingerprint is computed as\n"
     "  the Explorer extension does) in the language code N (42: what the\n"
     "  extension asks for), belonging to a film added before. --date defaults\n"
     "  to today.\n",
     {"--database", "--video", "--language", "--film", "--name", "--file", "--date"},
     {"--video", "--language", "--film", "--name", "--file"},
     AddSubtitle},
    {"list",
     "subtitle-server list --database F\n"
     "  Lists the films and the subtitles stored, with their identifiers.\n",
     {"--database"},
     {},
     List},
    {"remove-subtitle",
     "subtitle-server remove-subtitle --database F --id N\n"
     "  Removes the subtitle with that identifier (see list).\n",
     {"--database", "--id"},
     {"--id"},
     RemoveSubtitle},
};

void GeneralUsage(std::ostream& out) {
  out << "A subtitle service for the Morvane wizard, with its operator's commands.\n\n";
  for (const Command& command : kCommands) out << command.usage << "\n";
  out << "--database takes a SQLite file or a PostgreSQL connection string\n"
         "(postgresql://USER@HOST:PORT/NAME). Each command takes --help.\n";
}

}  // namespace

int RunSubtitleServer(const std::vector<std::string>& arguments, std::ostream& out,
                      std::ostream& err) {
  if (arguments.empty() || arguments[0] == "--help" || arguments[0] == "-h") {
    GeneralUsage(arguments.empty() ? err : out);
    return arguments.empty() ? 2 : 0;
  }
  const Command* command = nullptr;
  for (const Command& candidate : kCommands) {
    if (arguments[0] == candidate.name) command = &candidate;
  }
  if (!command) {
    err << "unknown command \"" << arguments[0] << "\"\n\n";
    GeneralUsage(err);
    return 2;
  }
  std::map<std::string, std::string> options;
  for (size_t i = 1; i < arguments.size(); ++i) {
    const std::string& name = arguments[i];
    if (name == "--help" || name == "-h") {
      out << command->usage;
      return 0;
    }
    bool known = false;
    for (const auto& option : command->options) known = known || option == name;
    if (!known) {
      err << command->name << ": unknown option \"" << name << "\"\n" << command->usage;
      return 2;
    }
    if (i + 1 >= arguments.size()) {
      err << command->name << ": " << name << " needs a value\n" << command->usage;
      return 2;
    }
    if (!options.emplace(name, arguments[++i]).second) {
      err << command->name << ": " << name << " given twice\n";
      return 2;
    }
  }
  for (const auto& option : command->required) {
    if (!options.count(option)) {
      err << command->name << ": " << option << " is missing\n" << command->usage;
      return 2;
    }
  }
  if (std::string(command->name) == "serve") {
    options.emplace("--port", "47801");
    options.emplace("--image-port", "47802");
  }
  try {
    return command->run(options, out, err);
  } catch (const UsageError& failure) {
    err << command->name << ": " << failure.what() << "\n";
    return 2;
  } catch (const std::exception& failure) {
    err << command->name << ": " << failure.what() << "\n";
    return 1;
  }
}
