// The program itself as scripts start it: the one line it prints when both
// ports listen, a clean stop on SIGTERM and Ctrl-C, the library kept.
#include <gtest/gtest.h>
#include <httplib.h>

#include <csignal>
#include <regex>
#include <sys/wait.h>
#include <unistd.h>

#include "form_bodies.h"
#include "sample_library.h"
#include "service_endpoints.h"
#include "subtitle_store.h"
#include "temp_folder.h"
#include "text_forms.h"

namespace {

namespace fs = std::filesystem;

// subtitle-server serve on free ports, its stdout read up to the first line.
class ServerProcess {
 public:
  explicit ServerProcess(const fs::path& database) {
    int out[2];
    if (pipe(out) != 0) throw std::runtime_error("pipe");
    pid_ = fork();
    if (pid_ == 0) {
      dup2(out[1], STDOUT_FILENO);
      close(out[0]);
      close(out[1]);
      const std::string db = database.string();
      execl(SUBTITLE_SERVER, SUBTITLE_SERVER, "serve", "--database", db.c_str(), "--port", "0",
            "--image-port", "0", static_cast<char*>(nullptr));
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

TEST(ServerProgram, PrintsItsPortsServesAndStopsCleanlyKeepingTheLibrary) {
  TempFolder folder;
  const fs::path database = folder.path() / "subtitles.db";
  for (int signal : {SIGTERM, SIGINT}) {
    ServerProcess server(database);
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
  auto store = OpenSqliteStore(database.string());
  EXPECT_EQ(store->AllFilms().size(), 1u);
  const auto subtitles = store->AllSubtitles();
  EXPECT_EQ(subtitles.size(), 6u);
  EXPECT_EQ(subtitles.at(0).uses, 12 + 2);
}

TEST(ServerProgram, SampleVideosAreTheSameOnEveryMachine) {
  EXPECT_EQ(SampleVideoBytes(0), SampleVideoBytes(0));
  EXPECT_NE(SampleVideoBytes(0), SampleVideoBytes(1));
  TempFolder a, b;
  auto first = OpenSqliteStore((a.path() / "s.db").string());
  auto second = OpenSqliteStore((b.path() / "s.db").string());
  MakeSampleLibrary(*first, a.path() / "samples");
  MakeSampleLibrary(*second, b.path() / "samples");
  EXPECT_EQ(first->AllSubtitles().at(0).fingerprint, second->AllSubtitles().at(0).fingerprint);
}

}  // namespace
