// Runs the real Morvane.exe against a scripted service on its built-in
// loopback host, playing the user at its message boxes.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <utility>
#include <vector>

#include "base64.h"
#include "reply_document.h"
#include "process_driver.h"
#include "service_endpoints.h"
#include "service_hosts.h"
#include "temp_folder.h"
#include "window_lookup.h"
#include "test_http_server.h"
#include "wizard_window.h"
#include "zip_fixture.h"

namespace {

namespace fs = std::filesystem;

const char kSubtitleText[] = "1\r\n00:00:01,000 --> 00:00:02,000\r\nHola\r\n";
const std::wstring kNotFoundText =
    L"Subtítulo no encontrado. (Hash=0123456789abcdef)\nLa Pelicula.avi";
const std::wstring kDownloadErrorText =
    L"Se ha producido un error al descargar el subtítulo. Por favor, inténtelo de nuevo.";

int PortOf(const std::string& host) { return std::stoi(host.substr(host.find(':') + 1)); }
int ServicePort() { return PortOf(kServiceHost); }

ScriptedReply Xml(const std::string& body) {
  ScriptedReply reply;
  reply.body = body;
  return reply;
}

ScriptedReply Text(const std::string& body) {
  ScriptedReply reply;
  reply.body = body;
  reply.contentType = "text/html";
  return reply;
}

std::string ArchiveWithSubtitle() {
  ZipEntrySpec entry;
  entry.name = "es.srt";
  entry.data = kSubtitleText;
  ScriptedReply reply;
  return BuildZip({entry});
}

// A top-level window of the test itself, standing for another program's
// message box; it notes whether it was asked to close.
class TitledWindow {
 public:
  explicit TitledWindow(const wchar_t* title) {
    static const bool registered = [] {
      WNDCLASSW windowClass{};
      windowClass.lpfnWndProc = Procedure;
      windowClass.hInstance = GetModuleHandleW(nullptr);
      windowClass.lpszClassName = L"MorvaneTestTitledWindow";
      return RegisterClassW(&windowClass) != 0;
    }();
    (void)registered;
    window_ = CreateWindowExW(0, L"MorvaneTestTitledWindow", title, WS_OVERLAPPED, 0, 0, 50, 50,
                              nullptr, nullptr, GetModuleHandleW(nullptr), &closed_);
  }
  ~TitledWindow() { DestroyWindow(window_); }
  bool closeAsked() const { return closed_; }

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
      auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
      SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    if (message == WM_CLOSE) {
      *reinterpret_cast<bool*>(GetWindowLongPtrW(window, GWLP_USERDATA)) = true;
      return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
  }
  HWND window_;
  bool closed_ = false;
};

// Sends web addresses opened through the shell to the command recorder for
// as long as it lives; the browser registered before comes back afterwards.
class RecordedBrowser {
 public:
  RecordedBrowser() {
    log_ = ProgramFolder() / "command_recorder.exe.log";
    fs::remove(log_);
    wchar_t previous[1024] = {};
    DWORD size = sizeof previous;
    if (RegGetValueW(HKEY_CLASSES_ROOT, kKey, nullptr, RRF_RT_REG_SZ, nullptr, previous, &size) ==
        ERROR_SUCCESS) {
      previous_ = previous;
    }
    Set(L"\"" + (ProgramFolder() / "command_recorder.exe").wstring() + L"\" \"%1\"");
  }
  ~RecordedBrowser() {
    Set(previous_);
    fs::remove(log_);
  }
  // The command lines the browser was started with, waiting a little for
  // the shell's process to write.
  std::string Log() const {
    for (int i = 0; i < 100 && !fs::exists(log_); ++i) Sleep(50);
    Sleep(100);
    return ReadFile(log_);
  }

 private:
  static void Set(const std::wstring& command) {
    RegSetKeyValueW(HKEY_CLASSES_ROOT, kKey, nullptr, REG_SZ, command.c_str(),
                    static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
  }
  static constexpr wchar_t kKey[] = L"http\\shell\\open\\command";
  fs::path log_;
  std::wstring previous_;
};

class MorvaneRun : public ::testing::Test {
 protected:
  MorvaneRun() : server(ServicePort()) {
    videoFolder = videos.path() / L"Mis Videos";
    fs::create_directories(videoFolder);
    std::ofstream(videoFolder / L"La Pelicula.avi", std::ios::binary) << "not really a video";
    archive = fs::temp_directory_path() / "subtitles.zip";
    fs::remove(archive);
  }

  void ScriptService(const std::string& version, const std::string& lookup,
                     const ScriptedReply& download) {
    server.Answer(kVersionPath, Text(version));
    server.Answer(kBestSubtitleByHashPath, Xml(lookup));
    server.Answer(kSubtitleFilesPath, download);
  }

  static std::string FoundLookup() {
    return "<?xml version=\"1.0\"?><subtitle><id>" + EncodeBase64("12345") + "</id><date>" +
           EncodeBase64("2013-05-01") + "</date></subtitle>";
  }

  static ScriptedReply ArchiveReply() {
    ScriptedReply reply;
    reply.body = ArchiveWithSubtitle();
    reply.contentType = "application/zip";
    return reply;
  }

  DrivenRun Run(const std::wstring& mode, ProcessDriver::Answer answer = nullptr,
                ProcessDriver::Act act = nullptr) {
    std::wstring starred = (videoFolder / L"La Pelicula.avi").wstring();
    for (auto& c : starred) {
      if (c == L' ') c = L'*';
    }
    return ProcessDriver::Run((ProgramFolder() / "Morvane.exe").wstring(),
                              L"0123456789abcdef " + starred + L" 42 " + mode, answer, 30000,
                              act);
  }

  std::vector<std::string> RequestLines() const {
    std::vector<std::string> lines;
    for (const auto& r : server.Requests()) lines.push_back(r.method + " " + r.target);
    return lines;
  }

  TempFolder videos;
  fs::path videoFolder, archive;
  TestHttpServer server;
};

TEST_F(MorvaneRun, PlacesTheBestSubtitleBesideTheVideoWithoutAWindow) {
  ScriptService("", FoundLookup(), ArchiveReply());
  const DrivenRun run = Run(L"melhor");

  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_TRUE(run.messageBoxes.empty());
  EXPECT_TRUE(run.shownWindows.empty()) << (run.shownWindows.empty() ? "" : "shown");
  EXPECT_EQ(ReadFile(videoFolder / L"La Pelicula.srt"), kSubtitleText);
  EXPECT_FALSE(fs::exists(archive));
  EXPECT_FALSE(fs::exists(fs::temp_directory_path() / "es.srt"));

  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(RequestLines(),
            (std::vector<std::string>{
                "GET /webService/downloadManager/get_version.php?lang=es&ver=100",
                "POST /webService/downloadManager/get_best_subtitle_by_hash.php",
                "POST /webService/downloadManager/get_subtitle_files.php"}));
  EXPECT_EQ(requests[1].body,
            "version=100&response=xml&cod_language=42&hash=MDEyMzQ1Njc4OWFiY2RlZg==");
  EXPECT_EQ(requests[1].Header("Content-Type"), "application/x-www-form-urlencoded");
  EXPECT_EQ(requests[2].body,
            "version=100&response=single&cod_bsplayer=MTIzNDU=&post_date=MjAxMy0wNS0wMQ==");
  EXPECT_EQ(requests[2].Header("User-Agent"), "Mozilla/3.0 (compatible; Indy Library)");
}

TEST_F(MorvaneRun, NothingFoundShowsOneMessageAndEnds) {
  ScriptService("", "<subtitles></subtitles>", ArchiveReply());
  const DrivenRun run = Run(L"melhor");
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 0u);
  ASSERT_EQ(run.messageBoxes.size(), 1u);
  EXPECT_EQ(run.messageBoxes[0].title, L"Información");
  EXPECT_EQ(run.messageBoxes[0].text, kNotFoundText);
  EXPECT_TRUE(run.shownWindows.empty());
  EXPECT_EQ(server.Requests().size(), 2u);  // no download
}

TEST_F(MorvaneRun, DownloadErrorStatusShowsBothMessages) {
  ScriptedReply failure;
  failure.status = 500;
  ScriptService("", FoundLookup(), failure);
  const DrivenRun run = Run(L"melhor");
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 0u);
  ASSERT_EQ(run.messageBoxes.size(), 2u);
  EXPECT_EQ(run.messageBoxes[0].title, L"Informação");
  EXPECT_EQ(run.messageBoxes[0].text, kDownloadErrorText);
  EXPECT_EQ(run.messageBoxes[1].title, L"Información");
  EXPECT_EQ(run.messageBoxes[1].text, kNotFoundText);
  EXPECT_FALSE(fs::exists(videoFolder / L"La Pelicula.srt"));
}

TEST_F(MorvaneRun, DeclinedUpdateLetsTheRunGoOn) {
  RecordedBrowser browser;
  ScriptService("http://127.0.0.1/new-version", FoundLookup(), ArchiveReply());
  const DrivenRun run = Run(L"melhor", [](const SeenMessageBox&) { return IDNO; });
  ASSERT_TRUE(run.finished);
  ASSERT_EQ(run.messageBoxes.size(), 1u);
  EXPECT_EQ(run.messageBoxes[0].title, L"Actualización");
  EXPECT_EQ(run.messageBoxes[0].text,
            L"Nueva versión encontrada. Deseja actualizar para una nueva versión?");
  EXPECT_EQ(ReadFile(videoFolder / L"La Pelicula.srt"), kSubtitleText);
  EXPECT_FALSE(fs::exists(ProgramFolder() / "command_recorder.exe.log"));
}

TEST_F(MorvaneRun, AcceptedUpdateOpensTheAddressClosesInformationAndStillPlaces) {
  RecordedBrowser browser;
  TitledWindow information(L"Información");
  TitledWindow almost(L"Información ");
  ScriptService("http://127.0.0.1/new-version", FoundLookup(), ArchiveReply());
  const DrivenRun run = Run(L"melhor", [](const SeenMessageBox&) { return IDYES; });
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 0u);
  ASSERT_EQ(run.messageBoxes.size(), 1u);
  EXPECT_NE(browser.Log().find("http://127.0.0.1/new-version"), std::string::npos);
  EXPECT_TRUE(information.closeAsked());
  EXPECT_FALSE(almost.closeAsked());
  EXPECT_EQ(ReadFile(videoFolder / L"La Pelicula.srt"), kSubtitleText);
}

TEST_F(MorvaneRun, UpdateThatIsNoWebAddressIsNeverOffered) {
  RecordedBrowser browser;
  ScriptService("C:\\windows\\notepad.exe", FoundLookup(), ArchiveReply());
  const DrivenRun run = Run(L"melhor");
  ASSERT_TRUE(run.finished);
  EXPECT_TRUE(run.messageBoxes.empty());
  EXPECT_EQ(ReadFile(videoFolder / L"La Pelicula.srt"), kSubtitleText);
}

TEST_F(MorvaneRun, UnknownModeWordEndsAtOnceWithoutRequests) {
  ScriptService("", FoundLookup(), ArchiveReply());
  for (const wchar_t* mode : {L"Top", L"MELHOR", L""}) {
    const DrivenRun run = Run(mode);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_TRUE(run.messageBoxes.empty());
    EXPECT_TRUE(run.shownWindows.empty());
  }
  EXPECT_TRUE(server.Requests().empty());
}

// Files (with their bytes) and folders (with a trailing "/") under `root`.
std::map<std::wstring, std::string> Contents(const fs::path& root) {
  std::map<std::wstring, std::string> found;
  for (const auto& item : fs::recursive_directory_iterator(root)) {
    const std::wstring name = fs::relative(item.path(), root).generic_wstring();
    found[item.is_directory() ? name + L"/" : name] =
        item.is_directory() ? std::string() : ReadFile(item.path());
  }
  return found;
}

// The temporary folder that programs started meanwhile get from the
// system (TMP and TEMP); the earlier one comes back afterwards.
class TemporaryFolderOfRuns {
 public:
  explicit TemporaryFolderOfRuns(const fs::path& folder) {
    for (const wchar_t* name : {L"TMP", L"TEMP"}) {
      wchar_t value[MAX_PATH] = {};
      GetEnvironmentVariableW(name, value, MAX_PATH);
      saved_.emplace_back(name, value);
      SetEnvironmentVariableW(name, folder.wstring().c_str());
    }
  }
  ~TemporaryFolderOfRuns() {
    for (const auto& [name, value] : saved_) {
      SetEnvironmentVariableW(name.c_str(), value.empty() ? nullptr : value.c_str());
    }
  }

 private:
  std::vector<std::pair<std::wstring, std::wstring>> saved_;
};

ZipEntrySpec Entry(const std::string& name, const std::string& data) {
  ZipEntrySpec entry;
  entry.name = name;
  entry.data = data;
  return entry;
}

ScriptedReply ArchiveReplyOf(const std::vector<ZipEntrySpec>& entries) {
  ScriptedReply reply;
  reply.body = BuildZip(entries);
  reply.contentType = "application/zip";
  return reply;
}

// No file can be created in the temporary folder, so the video folder is
// the working folder; the user's own files there that share their names
// with entries of the archive keep their bytes, and the subtitles are
// placed under the next free names.
TEST_F(MorvaneRun, UsersFilesInTheVideoFolderSurviveItsUseAsWorkingFolder) {
  std::ofstream(videoFolder / L"La Pelicula.srt", std::ios::binary) << "mi versión corregida";
  std::ofstream(videoFolder / L"notes.txt", std::ios::binary) << "mis notas";
  ScriptService(
      "", FoundLookup(),
      ArchiveReplyOf({Entry("La Pelicula.srt", kSubtitleText), Entry("notes.txt", "NOTAS")}));
  TemporaryFolderOfRuns unwritable(videos.path() / L"no such folder");
  const DrivenRun run = Run(L"melhor");

  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_TRUE(run.messageBoxes.empty());
  ASSERT_EQ(server.Requests().size(), 3u);  // the download took place
  EXPECT_EQ(Contents(videoFolder), (std::map<std::wstring, std::string>{
                                       {L"La Pelicula.avi", "not really a video"},
                                       {L"La Pelicula.srt", "mi versión corregida"},
                                       {L"notes.txt", "mis notas"},
                                       {L"La Pelicula(1).srt", kSubtitleText},
                                       {L"La Pelicula.txt", "NOTAS"}}));
  EXPECT_FALSE(fs::exists(videos.path() / L"no such folder"));
}

// Another program's file in the temporary folder, of the same name as the
// archive's entry, keeps its bytes, and nothing of the run is left there.
TEST_F(MorvaneRun, AnotherProgramsFileInTheTemporaryFolderKeepsItsBytes) {
  TempFolder temporary;
  temporary.Write("es.srt", "de otro programa");
  ScriptService("", FoundLookup(), ArchiveReply());
  TemporaryFolderOfRuns writable(temporary.path());
  const DrivenRun run = Run(L"melhor");

  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_TRUE(run.messageBoxes.empty());
  EXPECT_EQ(Contents(temporary.path()),
            (std::map<std::wstring, std::string>{{L"es.srt", "de otro programa"}}));
  EXPECT_EQ(Contents(videoFolder),
            (std::map<std::wstring, std::string>{{L"La Pelicula.avi", "not really a video"},
                                                 {L"La Pelicula.srt", kSubtitleText}}));
}

// An archive full of entries that cannot be placed asks the user to press
// OK three times, not once per entry; the good entry is still placed.
TEST_F(MorvaneRun, ManyEntriesThatCannotBePlacedShowThreeMessages) {
  std::vector<ZipEntrySpec> entries;
  for (int i = 0; i < 50; ++i) entries.push_back(Entry("../" + std::to_string(i) + ".srt", "X"));
  entries.push_back(Entry("es.srt", kSubtitleText));
  ScriptService("", FoundLookup(), ArchiveReplyOf(entries));
  const DrivenRun run = Run(L"melhor");

  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 0u);
  ASSERT_EQ(run.messageBoxes.size(), 3u);
  for (const auto& box : run.messageBoxes) {
    EXPECT_EQ(box.title, L"Información");
    EXPECT_EQ(box.text, L"El programa no tiene permiso para escribir el archivo en esta carpeta.");
  }
  EXPECT_EQ(Contents(videoFolder),
            (std::map<std::wstring, std::string>{{L"La Pelicula.avi", "not really a video"},
                                                 {L"La Pelicula.srt", kSubtitleText}}));
}

std::string SubtitleRecord(const std::string& id, const std::string& name) {
  return "<subtitle><id>" + EncodeBase64(id) + "</id><name>" + EncodeBase64(name) +
         "</name><date>" + EncodeBase64("2013-05-01") + "</date></subtitle>";
}

// 4 x 6 pixels, as the image host would send a poster.
const std::string kPosterJpeg(
    "\xFF\xD8\xFF\xE0\x00\x10\x4A\x46\x49\x46\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00"
    "\xFF\xD9",
    22);

TEST_F(MorvaneRun, ListModeLetsTheUserTickSubtitlesAndPlacesThem) {
  TestHttpServer images(PortOf(kImageHost));
  ScriptedReply poster;
  poster.body = kPosterJpeg;
  poster.contentType = "image/jpeg";
  images.Answer("/cover-1234-128-198.jpg", poster);
  server.Answer(kSubtitlesByHashPath,
                Xml("<subtitles>" + SubtitleRecord("1", "Uno") + SubtitleRecord("2", "Dos") +
                    SubtitleRecord("3", "Tres") + "</subtitles>"));
  server.Answer(kMovieByHashPath, Xml("<movie><name>" + EncodeBase64("Casablanca") +
                                      "</name><id>" + EncodeBase64("1234") + "</id></movie>"));
  server.Answer(kVersionPath, Text(""));
  server.Answer(kClosingPagePath, Text("<html>Gracias</html>"));
  ScriptedReply download;
  ZipEntrySpec entry;
  entry.name = "tres.srt";
  entry.data = kSubtitleText;
  download.body = BuildZip({entry});
  server.Answer(kSubtitleFilesPath, download);

  // The user waits for the list, unticks the first row, ticks the third,
  // asks for the poster and presses Next; on the closing page, Next again.
  int step = 0;
  std::wstring listCaption, rowCaption, finishCaption;
  auto user = [&](HWND window) {
    HWND next = FindControl(window, kBtnProximo);
    if (!next) return;
    if (step == 0 && IsWindowEnabled(next)) {
      listCaption = WindowText(window);
      rowCaption = WindowText(FindControl(window, kFirstSubtitleRow + 2));
      SendMessageW(FindControl(window, kFirstSubtitleRow), BM_SETCHECK, BST_UNCHECKED, 0);
      SendMessageW(FindControl(window, kFirstSubtitleRow + 2), BM_SETCHECK, BST_CHECKED, 0);
      PostMessageW(FindControl(window, kChckBxPoster), BM_CLICK, 0, 0);
      PostMessageW(window, WM_COMMAND, MAKEWPARAM(kBtnProximo, BN_CLICKED),
                   reinterpret_cast<LPARAM>(next));
      step = 1;
    } else if (step == 1 && WindowText(next) == L"Terminar") {
      finishCaption = WindowText(window);
      PostMessageW(window, WM_COMMAND, MAKEWPARAM(kBtnProximo, BN_CLICKED),
                   reinterpret_cast<LPARAM>(next));
      step = 2;
    }
  };
  const DrivenRun run = Run(L"top", nullptr, user);

  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_EQ(step, 2);
  EXPECT_TRUE(run.messageBoxes.empty());
  EXPECT_EQ(listCaption, L"Subtítulos 1.0 - Casablanca");
  EXPECT_EQ(rowCaption, L"Tres");
  EXPECT_EQ(finishCaption, L"¡Obrigado por la confianza!");
  EXPECT_EQ(ReadFile(videoFolder / L"La Pelicula.srt"), kSubtitleText);
  EXPECT_FALSE(fs::exists(archive));

  EXPECT_TRUE(server.WaitForRequests(5, std::chrono::seconds(5)));
  const auto requests = server.Requests();
  std::vector<std::string> lines;
  for (const auto& r : requests) lines.push_back(r.method + " " + r.target);
  ASSERT_GE(lines.size(), 5u);
  EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 4),
            (std::vector<std::string>{
                "POST /webService/downloadManager/get_subtitles_by_hash.php",
                "POST /webService/downloadManager/get_movie_by_hash.php",
                "GET /webService/downloadManager/get_version.php?lang=es&ver=100",
                "POST /webService/downloadManager/get_subtitle_files.php"}));
  EXPECT_NE(std::find(lines.begin(), lines.end(),
                      "GET /webService/downloadManager/get_page.php?ver=100"),
            lines.end());
  const std::string& body = requests[3].body;
  const std::string start = "version=100&response=multiple&imdb=MTIzNA==&poster=true&subtitles=";
  ASSERT_EQ(body.rfind(start, 0), 0u) << body;
  const auto sent = LoadReplyDocument(body.substr(start.size()));
  const ReplyNode subtitles = FindChildElement(*sent, "subtitles");
  ASSERT_EQ(ChildCount(subtitles), 1u);
  EXPECT_EQ(ReadReplyText(FindChildElement(ChildAt(subtitles, 0), "id")), "3");
  ASSERT_EQ(images.Requests().size(), 1u);
  EXPECT_EQ(images.Requests()[0].target, "/cover-1234-128-198.jpg");
}

}  // namespace
