// The program itself as scripts start it: the one line it prints when both
// ports listen, a clean stop on SIGTERM and Ctrl-C, the library kept, and
// two processes serving one library.
#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <map>
#include <optional>
#include <regex>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "base64.h"
#include "file_fingerprint.h"
#include "form_bodies.h"
#include "sample_library.h"
#include "service_endpoints.h"
#include "store_backends.h"
#include "subtitle_store.h"
#include "temp_folder.h"
#include "text_forms.h"
#include "video_fingerprint.h"

namespace {

namespace fs = std::filesystem;

// subtitle-server serve on free ports, its stdout read up to the first line.
class ServerProcess {
 public:
  // `arguments` follow "serve --port 0 --image-port 0"; the request log goes
  // to the file `log`, or to the test's own stderr when none is given.
  explicit ServerProcess(const std::vector<std::string>& arguments, const fs::path& log = {}) {
    std::vector<std::string> words = {SUBTITLE_SERVER, "serve", "--port", "0", "--image-port", "0"};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    const std::string logPath = log.string();
    int out[2];
    if (pipe(out) != 0) throw std::runtime_error("pipe");
    pid_ = fork();
    if (pid_ == 0) {
      dup2(out[1], STDOUT_FILENO);
      close(out[0]);
      close(out[1]);
      if (!logPath.empty()) {
        const int err = open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (err >= 0) dup2(err, STDERR_FILENO);
      }
      execv(argv[0], argv.data());
      _exit(127);
    }
    close(out[1]);
    char c;
    while (read(out[0], &c, 1) == 1 && c != '\n') line_ += c;
    close(out[0]);
    std::smatch match;
    if (std::regex_match(line_, match,
                         std::regex(R"(listening on http://127\.0\.0\.1:(\d+) \(images on port (\d+)\))"))) {
      port_ = std::stoi(match[1]);
      imagePort_ = std::stoi(match[2]);
    }
  }
  ~ServerProcess() {
    if (pid_ > 0) Stop(SIGKILL);
  }
  // Sends the signal and gives the exit status.
  int Stop(int signal) {
    kill(pid_, signal);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return status;
  }
  const std::string& line() const { return line_; }
  int port() const { return port_; }
  int imagePort() const { return imagePort_; }

 private:
  pid_t pid_ = -1;
  std::string line_;
  int port_ = 0, imagePort_ = 0;
};

// A new database of the backend and the arguments that serve it, with the
// sample videos in the folder's "samples".
struct ServedLibrary {
  ServedLibrary(Backend backend, const fs::path& folder) : database(NewDatabase(backend, folder)) {
    arguments = {"--database", database};
    // Samples go beside a SQLite file by themselves.
    if (backend == Backend::kPostgres) {
      arguments.insert(arguments.end(), {"--samples", (folder / "samples").string()});
    }
  }
  std::string database;
  std::vector<std::string> arguments;
};

// The program on each storage backend, each time on a new database.
class ServerProgram : public ::testing::TestWithParam<Backend> {
 protected:
  void SetUp() override {
    SKIP_WITHOUT_BACKEND(GetParam());
    library.emplace(GetParam(), folder.path());
    database = library->database;
    arguments = library->arguments;
  }
  TempFolder folder;
  std::optional<ServedLibrary> library;
  std::string database;
  std::vector<std::string> arguments;
};

INSTANTIATE_TEST_SUITE_P(Backends, ServerProgram, ::testing::ValuesIn(kBackends), BackendName);

TEST_P(ServerProgram, PrintsItsPortsServesAndStopsCleanlyKeepingTheLibrary) {
  for (int signal : {SIGTERM, SIGINT}) {
    ServerProcess server(arguments);
    ASSERT_GT(server.port(), 0) << server.line();
    ASSERT_GT(server.imagePort(), 0);
    httplib::Client client("127.0.0.1", server.port());
    const auto download = client.Post(kSubtitleFilesPath, TextToWindows1252(SingleFileBody(L"1", L"2024-03-15")),
                                      "application/x-www-form-urlencoded");
    ASSERT_TRUE(download);
    EXPECT_EQ(download->status, 200);
    httplib::Client images("127.0.0.1", server.imagePort());
    const auto poster = images.Get("/cover-1001-128-198.jpg");
    ASSERT_TRUE(poster);
    EXPECT_EQ(poster->status, 200);
    const int status = server.Stop(signal);
    EXPECT_TRUE(WIFEXITED(status)) << signal;
    EXPECT_EQ(WEXITSTATUS(status), 0);
  }
  // Both runs used one library: the sample videos beside it, made once, and
  // both downloads counted.
  for (const char* name : kSampleVideoNames) {
    const fs::path video = folder.path() / "samples" / name;
    ASSERT_TRUE(fs::exists(video)) << name;
    EXPECT_GT(fs::file_size(video), 128u * 1024u);
  }
  auto store = OpenStore(database);
  EXPECT_EQ(store->AllFilms().size(), 1u);
  const auto subtitles = store->AllSubtitles();
  EXPECT_EQ(subtitles.size(), 6u);
  EXPECT_EQ(subtitles.at(0).uses, 12 + 2);
}

// Two processes started at once on one new PostgreSQL database (either may
// make the sample library), 50 clients spread over both: every request
// answered and every download counted once.
TEST(ServerPrograms, TwoProcessesServeOnePostgresLibraryWithoutLosingARequestOrAUse) {
  SKIP_WITHOUT_BACKEND(Backend::kPostgres);
  TempFolder folder;
  const ServedLibrary library(Backend::kPostgres, folder.path());
  const std::vector<std::string>& arguments = library.arguments;
  std::optional<ServerProcess> first, second;
  std::thread starting([&] { first.emplace(arguments, folder.path() / "first.log"); });
  second.emplace(arguments, folder.path() / "second.log");
  starting.join();
  ASSERT_GT(first->port(), 0) << first->line() << ReadFile(folder.path() / "first.log");
  ASSERT_GT(second->port(), 0) << second->line() << ReadFile(folder.path() / "second.log");

  constexpr int kClients = 50, kRequestsEach = 40;
  const std::string hash = EncodeBase64(FormatFingerprintText(
      FingerprintOfFile(folder.path() / "samples" / kSampleVideoNames[0])));
  const std::string bodies[] = {
      TextToWindows1252(SubtitleListBody(42, hash)),
      TextToWindows1252(BestSubtitleLookupBody(42, hash)),
      TextToWindows1252(SingleFileBody(L"1", L"2024-03-15")),
      TextToWindows1252(SingleFileBody(L"2", L"2024-02-02")),
  };
  const char* paths[] = {kSubtitlesByHashPath, kBestSubtitleByHashPath, kSubtitleFilesPath,
                         kSubtitleFilesPath};
  std::atomic<int> failed{0}, downloads1{0}, downloads2{0};
  std::vector<std::thread> clients;
  for (int c = 0; c < kClients; ++c) {
    clients.emplace_back([&, c] {
      httplib::Client client("127.0.0.1", (c % 2 ? first : second)->port());
      client.set_keep_alive(true);
      client.set_read_timeout(60, 0);
      for (int r = 0; r < kRequestsEach; ++r) {
        const int kind = (c + r) % 4;
        const auto result =
            client.Post(paths[kind], bodies[kind], "application/x-www-form-urlencoded");
        if (!result || result->status != 200) {
          if (++failed <= 3) {
            ADD_FAILURE() << (result ? std::to_string(result->status) + " " + result->body
                                     : "transport: " + httplib::to_string(result.error()));
          }
          continue;
        }
        if (kind == 2) ++downloads1;
        if (kind == 3) ++downloads2;
      }
    });
  }
  for (auto& client : clients) client.join();
  EXPECT_EQ(failed, 0);
  EXPECT_EQ(downloads1 + downloads2, kClients * kRequestsEach / 2);
  for (auto* server : {&*first, &*second}) {
    const int status = server->Stop(SIGTERM);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }

  auto store = OpenStore(library.database);
  EXPECT_EQ(store->AllFilms().size(), 1u);  // one sample library, made once
  std::map<int64_t, int64_t> uses;
  for (const auto& subtitle : store->AllSubtitles()) uses[subtitle.id] = subtitle.uses;
  EXPECT_EQ(uses.size(), 6u);
  EXPECT_EQ(uses[1], 12 + downloads1);
  EXPECT_EQ(uses[2], 7 + downloads2);
}

TEST_P(ServerProgram, SampleVideosAreTheSameOnEveryMachine) {
  EXPECT_EQ(SampleVideoBytes(0), SampleVideoBytes(0));
  EXPECT_NE(SampleVideoBytes(0), SampleVideoBytes(1));
  TempFolder other;
  auto first = OpenStore(database);
  auto second = OpenStore(NewDatabase(GetParam(), other.path()));
  MakeSampleLibrary(*first, folder.path() / "samples");
  MakeSampleLibrary(*second, other.path() / "samples");
  EXPECT_EQ(first->AllSubtitles().at(0).fingerprint, second->AllSubtitles().at(0).fingerprint);
}

}  // namespace
