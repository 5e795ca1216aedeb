// Measures the service on loopback with a large library: 100,000 subtitles
// over 20,000 films. Run by hand (scripts/bench-service); not a test.
#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "base64.h"
#include "form_bodies.h"
#include "service_endpoints.h"
#include "subtitle_service.h"
#include "subtitle_store.h"
#include "text_forms.h"
#include "video_fingerprint.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kFilms = 20000;
constexpr int kVideosPerFilm = 2;
constexpr int kSubtitles = 100000;

uint64_t VideoFingerprint(int video) { return 0x9E3779B97F4A7C15ull * static_cast<uint64_t>(video + 1); }

std::string Body(const char* path, int video) {
  const std::string hash = EncodeBase64(FormatFingerprintText(VideoFingerprint(video)));
  const std::wstring text = std::string(path) == kSubtitlesByHashPath ? SubtitleListBody(42, hash)
                                                                       : BestSubtitleLookupBody(42, hash);
  return TextToWindows1252(text);
}

struct Figures {
  double median, p99;
};

Figures Latency(int port, const char* path, int count) {
  httplib::Client client("127.0.0.1", port);
  client.set_keep_alive(true);
  client.set_tcp_nodelay(true);
  std::mt19937 random(7);
  std::vector<double> times;
  for (int i = 0; i < count; ++i) {
    const std::string body = Body(path, static_cast<int>(random() % (kFilms * kVideosPerFilm)));
    const auto start = Clock::now();
    const auto result = client.Post(path, body, kFormContentType);
    times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    if (!result || result->status != 200) std::fprintf(stderr, "request failed\n");
  }
  std::sort(times.begin(), times.end());
  return {times[times.size() / 2], times[times.size() * 99 / 100]};
}

double Throughput(int port, const char* path, int clients, int each, int& failures) {
  std::atomic<int> failed{0};
  std::vector<std::thread> threads;
  const auto start = Clock::now();
  for (int c = 0; c < clients; ++c) {
    threads.emplace_back([&, c] {
      httplib::Client client("127.0.0.1", port);
      client.set_keep_alive(true);
      client.set_tcp_nodelay(true);
      std::mt19937 random(static_cast<unsigned>(c));
      for (int i = 0; i < each; ++i) {
        const auto result =
            client.Post(path, Body(path, static_cast<int>(random() % (kFilms * kVideosPerFilm))), kFormContentType);
        if (!result || result->status != 200) ++failed;
      }
    });
  }
  for (auto& t : threads) t.join();
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  failures = failed;
  return clients * each / seconds;
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  const fs::path folder = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "subtitle-bench";
  fs::remove_all(folder);
  fs::create_directories(folder);
  auto store = OpenSqliteStore((folder / "bench.db").string());

  const auto fillStart = Clock::now();
  std::vector<Film> films;
  for (int f = 1; f <= kFilms; ++f) films.push_back({f, "Película " + std::to_string(f), "\xFF\xD8\xFF\xD9"});
  std::vector<StoredSubtitle> subtitles;
  std::mt19937 random(1);
  const std::string text(600, 's');
  for (int s = 0; s < kSubtitles; ++s) {
    StoredSubtitle subtitle;
    const int video = s % (kFilms * kVideosPerFilm);
    subtitle.fingerprint = VideoFingerprint(video);
    subtitle.film = video / kVideosPerFilm + 1;
    subtitle.language = s % 10 == 9 ? 6 : 42;
    subtitle.name = "Subtítulo " + std::to_string(s);
    subtitle.date = "2024-01-01";
    subtitle.uses = static_cast<int64_t>(random() % 1000);
    subtitle.fileName = "sub" + std::to_string(s) + ".srt";
    subtitle.bytes = text;
    subtitles.push_back(std::move(subtitle));
  }
  store->AddLibrary(films, subtitles);
  std::printf("library: %d films, %d subtitles over %d videos, filled in %.1f s\n", kFilms, kSubtitles,
              kFilms * kVideosPerFilm, std::chrono::duration<double>(Clock::now() - fillStart).count());

  ServiceOptions options;
  options.port = 0;
  options.imagePort = 0;
  SubtitleService service(*store, options);
  service.Bind();
  service.Start();

  for (const char* path : {kSubtitlesByHashPath, kBestSubtitleByHashPath}) {
    const char* what = path == kSubtitlesByHashPath ? "list" : "best-subtitle lookup";
    Latency(service.port(), path, 200);  // warm the cache and the statements
    const Figures one = Latency(service.port(), path, 5000);
    std::printf("%-21s one client: median %.3f ms, 99th percentile %.3f ms (5000 requests)\n", what,
                one.median, one.p99);
    int failures = 0;
    const double rate = Throughput(service.port(), path, 50, 400, failures);
    std::printf("%-21s 50 clients: %.0f requests/s (20000 requests, %d failed)\n", what, rate, failures);
  }
  service.Stop();
  fs::remove_all(folder);
  return 0;
}
