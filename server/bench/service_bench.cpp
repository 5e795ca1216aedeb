// Measures the service on loopback with a large library (by default 100,000
// subtitles over 20,000 films), on SQLite and on PostgreSQL side by side,
// served by one and by two subtitle-server processes. Prints a markdown
// table on stdout (rows: figures; columns: backends) and its progress on
// stderr. Run by hand (scripts/bench-service); not a test.
//
//   subtitle-service-bench [--subtitles N] [FOLDER]
#include <fcntl.h>
#include <httplib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <random>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "base64.h"
#include "form_bodies.h"
#include "service_endpoints.h"
#include "subtitle_store.h"
#include "test_postgres_server.h"
#include "text_forms.h"
#include "video_fingerprint.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kClients = 50;
constexpr int kLatencyRequests = 5000;
constexpr int kThroughputRequestsEach = 400;  // 20,000 with 50 clients

struct Library {
  int films, videos, subtitles;
};

uint64_t VideoFingerprint(int video) {
  return 0x9E3779B97F4A7C15ull * static_cast<uint64_t>(video + 1);
}

std::string Body(const char* path, int video) {
  const std::string hash = EncodeBase64(FormatFingerprintText(VideoFingerprint(video)));
  const std::wstring text = std::string(path) == kSubtitlesByHashPath
                                ? SubtitleListBody(42, hash)
                                : BestSubtitleLookupBody(42, hash);
  return TextToWindows1252(text);
}

// subtitle-server serve on free ports, without its request log.
class ServiceProcess {
 public:
  ServiceProcess(const std::string& database, const fs::path& samples) {
    std::vector<std::string> words = {
        SUBTITLE_SERVER,  "serve",  "--database", database,       "--samples",
        samples.string(), "--port", "0",          "--image-port", "0"};
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    int out[2];
    if (pipe(out) != 0) throw std::runtime_error("pipe");
    pid_ = fork();
    if (pid_ == 0) {
      dup2(out[1], STDOUT_FILENO);
      close(out[0]);
      close(out[1]);
      const int none = open("/dev/null", O_WRONLY);
      dup2(none, STDERR_FILENO);
      execv(argv[0], argv.data());
      _exit(127);
    }
    close(out[1]);
    std::string line;
    char c;
    while (read(out[0], &c, 1) == 1 && c != '\n') line += c;
    close(out[0]);
    std::smatch match;
    if (!std::regex_search(line, match, std::regex(R"(:(\d+) \(images)"))) {
      Stop();
      throw std::runtime_error("subtitle-server did not start: " + line);
    }
    port_ = std::stoi(match[1]);
  }
  ~ServiceProcess() { Stop(); }
  int port() const { return port_; }

 private:
  void Stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }
  pid_t pid_ = -1;
  int port_ = 0;
};

struct Latency {
  double median, p99;
};

Latency MeasureLatency(int port, const char* path, int count, const Library& library,
                       int& failures) {
  httplib::Client client("127.0.0.1", port);
  client.set_keep_alive(true);
  client.set_tcp_nodelay(true);
  std::mt19937 random(7);
  std::vector<double> times;
  for (int i = 0; i < count; ++i) {
    const std::string body = Body(path, static_cast<int>(random() % library.videos));
    const auto start = Clock::now();
    const auto result = client.Post(path, body, kFormContentType);
    times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    if (!result || result->status != 200) ++failures;
  }
  std::sort(times.begin(), times.end());
  return {times[times.size() / 2], times[times.size() * 99 / 100]};
}

// Requests per second of kClients clients, spread evenly over the ports.
double MeasureThroughput(const std::vector<int>& ports, const char* path, const Library& library,
                         int& failures) {
  std::atomic<int> failed{0};
  std::vector<std::thread> threads;
  const auto start = Clock::now();
  for (int c = 0; c < kClients; ++c) {
    threads.emplace_back([&, c] {
      httplib::Client client("127.0.0.1", ports[c % ports.size()]);
      client.set_keep_alive(true);
      client.set_tcp_nodelay(true);
      std::mt19937 random(static_cast<unsigned>(c));
      for (int i = 0; i < kThroughputRequestsEach; ++i) {
        const auto result = client.Post(
            path, Body(path, static_cast<int>(random() % library.videos)), kFormContentType);
        if (!result || result->status != 200) ++failed;
      }
    });
  }
  for (auto& t : threads) t.join();
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  failures += failed;
  return kClients * kThroughputRequestsEach / seconds;
}

struct Figures {
  double fillSeconds = 0;
  Latency list{}, best{};
  double listOne = 0, bestOne = 0, listTwo = 0, bestTwo = 0;
  int failures = 0;
};

void FillLibrary(SubtitleStore& store, const Library& library) {
  std::vector<Film> films;
  for (int f = 1; f <= library.films; ++f)
    films.push_back({f, "Película " + std::to_string(f), "\xFF\xD8\xFF\xD9"});
  std::vector<StoredSubtitle> subtitles;
  std::mt19937 random(1);
  const std::string text(600, 's');
  for (int s = 0; s < library.subtitles; ++s) {
    StoredSubtitle subtitle;
    const int video = s % library.videos;
    subtitle.fingerprint = VideoFingerprint(video);
    subtitle.film = video / 2 + 1;
    subtitle.language = s % 10 == 9 ? 6 : 42;
    subtitle.name = "Subtítulo " + std::to_string(s);
    subtitle.date = "2024-01-01";
    subtitle.uses = static_cast<int64_t>(random() % 1000);
    subtitle.fileName = "sub" + std::to_string(s) + ".srt";
    subtitle.bytes = text;
    subtitles.push_back(std::move(subtitle));
  }
  store.AddLibrary(films, subtitles);
}

Figures Measure(const char* backend, const std::string& database, const fs::path& folder,
                const Library& library) {
  Figures figures;
  const auto fillStart = Clock::now();
  FillLibrary(*OpenStore(database), library);
  figures.fillSeconds = std::chrono::duration<double>(Clock::now() - fillStart).count();
  std::fprintf(stderr, "%s: library filled in %.1f s\n", backend, figures.fillSeconds);

  const fs::path samples = folder / "samples";
  ServiceProcess one(database, samples);
  for (const char* path : {kSubtitlesByHashPath, kBestSubtitleByHashPath}) {
    int ignored = 0;
    MeasureLatency(one.port(), path, 200, library, ignored);  // warm the caches and statements
    const Latency latency =
        MeasureLatency(one.port(), path, kLatencyRequests, library, figures.failures);
    const double rate = MeasureThroughput({one.port()}, path, library, figures.failures);
    (path == kSubtitlesByHashPath ? figures.list : figures.best) = latency;
    (path == kSubtitlesByHashPath ? figures.listOne : figures.bestOne) = rate;
    std::fprintf(stderr, "%s: %s median %.3f ms, 99th percentile %.3f ms, %.0f requests/s\n",
                 backend, path, latency.median, latency.p99, rate);
  }
  ServiceProcess two(database, samples);
  for (const char* path : {kSubtitlesByHashPath, kBestSubtitleByHashPath}) {
    int ignored = 0;
    MeasureLatency(two.port(), path, 200, library, ignored);
    const double rate =
        MeasureThroughput({one.port(), two.port()}, path, library, figures.failures);
    (path == kSubtitlesByHashPath ? figures.listTwo : figures.bestTwo) = rate;
    std::fprintf(stderr, "%s: %s with two processes %.0f requests/s\n", backend, path, rate);
  }
  return figures;
}

std::string Thousands(long long value) {
  std::string digits = std::to_string(value), text;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) text += ',';
    text += digits[i];
  }
  return text;
}

void PrintTable(const Library& library, const std::optional<Figures>& sqlite,
                const std::optional<Figures>& postgres) {
  auto row = [&](const std::string& figure, auto value) {
    std::printf("| %s | %s | %s |\n", figure.c_str(), sqlite ? value(*sqlite).c_str() : "n/a",
                postgres ? value(*postgres).c_str() : "n/a");
  };
  auto ms = [](double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", value);
    return std::string(text);
  };
  auto rate = [](double value) { return Thousands(static_cast<long long>(value + 0.5)); };
  std::printf("| figure | SQLite | PostgreSQL |\n|---|---|---|\n");
  row("library of " + Thousands(library.subtitles) + " subtitles over " + Thousands(library.films) +
          " films: filled in (s)",
      [](const Figures& f) {
        char text[32];
        std::snprintf(text, sizeof text, "%.1f", f.fillSeconds);
        return std::string(text);
      });
  row("list, one client: median (ms)", [&](const Figures& f) { return ms(f.list.median); });
  row("list, one client: 99th percentile (ms)", [&](const Figures& f) { return ms(f.list.p99); });
  row("best subtitle, one client: median (ms)",
      [&](const Figures& f) { return ms(f.best.median); });
  row("best subtitle, one client: 99th percentile (ms)",
      [&](const Figures& f) { return ms(f.best.p99); });
  row("list, 50 clients, one process (requests/s)",
      [&](const Figures& f) { return rate(f.listOne); });
  row("best subtitle, 50 clients, one process (requests/s)",
      [&](const Figures& f) { return rate(f.bestOne); });
  row("list, 50 clients, two processes (requests/s)",
      [&](const Figures& f) { return rate(f.listTwo); });
  row("best subtitle, 50 clients, two processes (requests/s)",
      [&](const Figures& f) { return rate(f.bestTwo); });
  row("failed requests", [](const Figures& f) { return std::to_string(f.failures); });
}

}  // namespace

int main(int argc, char** argv) {
  Library library{20000, 40000, 100000};
  fs::path folder = fs::temp_directory_path() / "subtitle-bench";
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--subtitles" && i + 1 < argc) {
      library.subtitles = std::max(10, std::atoi(argv[++i]));
      // Five subtitles a film and two videos a film, as in the full library.
      library.films = std::max(1, library.subtitles / 5);
      library.videos = 2 * library.films;
    } else {
      folder = argument;
    }
  }
  std::signal(SIGPIPE, SIG_IGN);
  fs::remove_all(folder);
  fs::create_directories(folder);

  std::optional<Figures> sqlite, postgres;
  sqlite = Measure("SQLite", (folder / "bench.db").string(), folder / "sqlite", library);
  if (TestPostgresServer::ProgramFolder().empty()) {
    std::fprintf(stderr, "PostgreSQL's server programs are not installed: no PostgreSQL figures\n");
  } else {
    TestPostgresServer server;
    postgres = Measure("PostgreSQL", server.NewLibrary(), folder / "postgres", library);
  }
  PrintTable(library, sqlite, postgres);
  fs::remove_all(folder);
  return 0;
}
