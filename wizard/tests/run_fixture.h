#pragma once

// A run of the wizard on recording fakes, over real temporary folders: the
// "system" temporary folder and the video's folder.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

#include "base64.h"
#include "download_manager.h"
#include "service_hosts.h"
#include "temp_folder.h"
#include "wizard_fakes.h"
#include "zip_fixture.h"

namespace fs = std::filesystem;

inline const std::string kServiceBase =
    std::string("http://") + kServiceHost + "/webService/downloadManager/";
inline const std::string kImageBase = std::string("http://") + kImageHost + "/";
inline const std::wstring kNotFoundText =
    L"Subtítulo no encontrado. (Hash=0123456789abcdef)\nLa Pelicula.avi";

// A path in the form the program receives it: folders separated by "\".
inline std::wstring WindowsPath(const fs::path& path) {
  std::wstring text = path.wstring();
  for (auto& c : text) {
    if (c == L'/') c = L'\\';
  }
  return text;
}

inline std::string BestSubtitleReply(const std::string& id, const std::string& date) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><subtitle><id>" + EncodeBase64(id) +
         "</id><date>" + EncodeBase64(date) + "</date><name>" + EncodeBase64("Casablanca") +
         "</name></subtitle>";
}

class RunTest : public ::testing::Test {
 public:
  RunTest() {
    platform.tempFolder = WindowsPath(temp.path()) + L"\\";
    videoPath = WindowsPath(videos.path() / "La Pelicula.avi");
    videos.Write("La Pelicula.avi", "video");
  }

  // A run on the arguments the extension passes for the video.
  std::unique_ptr<DownloadManager> MakeRun(const std::wstring& mode) {
    std::wstring starredPath = videoPath;
    for (auto& c : starredPath) {
      if (c == L' ') c = L'*';
    }
    return std::make_unique<DownloadManager>(view, platform, PlatformFileOperations(),
                                             WizardClients{track, file, poster},
                                             CommandArguments{L"0123456789abcdef", starredPath,
                                                              L"42", mode});
  }

  // The service answers the version check, the lookup and the download.
  void ScriptFoundSubtitle(const std::string& version = "") {
    track.replies.push_back({version});
    track.replies.push_back({BestSubtitleReply("12345", "2013-05-01")});
    ZipEntrySpec subtitle;
    subtitle.name = "es.srt";
    subtitle.data = "1\n00:00:01,000 --> 00:00:02,000\nHola\n";
    file.replies.push_back({BuildZip({subtitle})});
  }

  std::vector<std::wstring> MessageTitles() const {
    std::vector<std::wstring> titles;
    for (const auto& m : view.messages) titles.push_back(m.title);
    return titles;
  }

  TempFolder temp, videos;
  std::wstring videoPath;
  FakeView view;
  FakePlatform platform;
  FakeHttpClient track, file, poster;
};

