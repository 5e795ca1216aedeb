// The real Morvane.exe against a running subtitle-server with its sample
// library, in both modes, as a user meets it. The service's samples folder
// comes in MORVANE_LIVE_SAMPLES (a Windows path); without it there is no
// service to talk to and the tests are skipped.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "process_driver.h"
#include "temp_folder.h"
#include "window_lookup.h"
#include "video_fingerprint_text.h"
#include "wizard_window.h"

namespace {

namespace fs = std::filesystem;

// The first lines of the sample library's most used subtitle of each video,
// as Windows-1252 bytes.
const std::string kBestOfFilm1 = "1\r\n00:00:01,000 --> 00:00:03,500\r\n\xA1Hola! Esta es la pel\xED" "cula de muestra.";
const std::string kBestOfFilm2 = "1\r\n00:00:01,000 --> 00:00:03,000\r\nSegunda parte: la aventura contin\xFA" "a.";
const std::string kThirdOfFilm1 = "1\r\n00:00:00,500 --> 00:00:02,000\r\n[M\xDA" "SICA SUAVE]";

bool StartsWith(const std::string& text, const std::string& start) { return text.rfind(start, 0) == 0; }

class LiveService : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* samples = std::getenv("MORVANE_LIVE_SAMPLES");
    if (!samples || !*samples) GTEST_SKIP() << "no running subtitle-server (MORVANE_LIVE_SAMPLES unset)";
    samples_ = samples;
    videoFolder_ = videos_.path() / L"Mis Videos";
    fs::create_directories(videoFolder_);
  }

  // A copy of sample video `name` in a folder of the test's own.
  fs::path Video(const char* name) {
    const fs::path video = videoFolder_ / name;
    fs::copy_file(samples_ / name, video);
    return video;
  }

  // Starts the wizard as the Explorer extension does: fingerprint, the path
  // with "*" for each space, language code 42, the mode word.
  DrivenRun Run(const fs::path& video, const wchar_t* mode, ProcessDriver::Act act = nullptr) {
    const std::string fingerprint = VideoFingerprintText(nullptr, video.wstring());
    std::wstring starred = video.wstring();
    for (auto& c : starred) {
      if (c == L' ') c = L'*';
    }
    return ProcessDriver::Run((ProgramFolder() / "Morvane.exe").wstring(),
                              std::wstring(fingerprint.begin(), fingerprint.end()) + L" " + starred +
                                  L" 42 " + mode,
                              nullptr, 60000, act);
  }

  fs::path samples_;
  TempFolder videos_;
  fs::path videoFolder_;
};

TEST_F(LiveService, BestSubtitleIsPlacedBesideEachSampleVideo) {
  for (const auto& [name, placed, expected] :
       {std::tuple{"Sample Film 1.avi", L"Sample Film 1.srt", kBestOfFilm1},
        std::tuple{"Sample Film 2.avi", L"Sample Film 2.srt", kBestOfFilm2}}) {
    const DrivenRun run = Run(Video(name), L"melhor");
    ASSERT_TRUE(run.finished) << name;
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_TRUE(run.messageBoxes.empty()) << (run.messageBoxes.empty() ? "" : "message shown");
    EXPECT_TRUE(run.shownWindows.empty());
    EXPECT_TRUE(StartsWith(ReadFile(videoFolder_ / placed), expected)) << name;
  }
}

TEST_F(LiveService, ListModeShowsTheFilmAndPlacesTheTickedSubtitlesAndPoster) {
  const fs::path video = Video("Sample Film 1.avi");
  int step = 0;
  std::wstring listCaption, firstRow, movieName;
  int rows = 0;
  auto user = [&](HWND window) {
    HWND next = FindControl(window, kBtnProximo);
    if (!next) return;
    if (step == 0 && IsWindowEnabled(next)) {
      listCaption = WindowText(window);
      while (FindControl(window, kFirstSubtitleRow + rows)) ++rows;
      firstRow = WindowText(FindControl(window, kFirstSubtitleRow));
      // Row 0 is ticked already; the user adds the third and the poster.
      SendMessageW(FindControl(window, kFirstSubtitleRow + 2), BM_SETCHECK, BST_CHECKED, 0);
      PostMessageW(FindControl(window, kChckBxPoster), BM_CLICK, 0, 0);
      PostMessageW(window, WM_COMMAND, MAKEWPARAM(kBtnProximo, BN_CLICKED), reinterpret_cast<LPARAM>(next));
      step = 1;
    } else if (step == 1 && WindowText(next) == L"Terminar") {
      PostMessageW(window, WM_COMMAND, MAKEWPARAM(kBtnProximo, BN_CLICKED), reinterpret_cast<LPARAM>(next));
      step = 2;
    }
  };
  const DrivenRun run = Run(video, L"top", user);

  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_EQ(step, 2);
  EXPECT_TRUE(run.messageBoxes.empty());
  EXPECT_EQ(listCaption, L"Subtítulos 1.0 - Película de Muestra");
  EXPECT_EQ(rows, 3);
  EXPECT_EQ(firstRow, L"Película de Muestra 1 - Español (revisado)");
  // Two subtitles under the video's name, in archive order, and the poster.
  EXPECT_TRUE(StartsWith(ReadFile(videoFolder_ / L"Sample Film 1.srt"), kBestOfFilm1));
  EXPECT_TRUE(StartsWith(ReadFile(videoFolder_ / L"Sample Film 1(1).srt"), kThirdOfFilm1));
  EXPECT_TRUE(StartsWith(ReadFile(videoFolder_ / L"cover-1001-128-198.jpg"), "\xFF\xD8\xFF"));
  EXPECT_FALSE(fs::exists(videoFolder_ / L"Sample Film 1(2).srt"));
}

}  // namespace
