// Runs the real Morvane.exe against a service that misbehaves on the wire:
// nothing listening, a reset in the middle of the archive, a reply that
// begins and then falls silent, an archive announced at 3 GB, a redirect
// loop, 100 MB of XML, a reply that is no XML, a server that sends one byte
// a second. Each run must end as a user expects: the program's own message
// (or none), no crash, no wait past the user's close, and no file of its
// own left in the temporary folder or beside the video.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base64.h"
#include "process_driver.h"
#include "reply_document.h"
#include "service_endpoints.h"
#include "service_hosts.h"
#include "temp_folder.h"
#include "test_http_server.h"
#include "window_lookup.h"
#include "wizard_window.h"
#include "zip_fixture.h"

namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

const wchar_t kWindowClass[] = L"TfrmDownloadManager";
const SeenMessageBox kNotFound{
    L"Información", L"Subtítulo no encontrado. (Hash=0123456789abcdef)\nLa Pelicula.avi"};
const SeenMessageBox kDownloadError{
    L"Informação",
    L"Se ha producido un error al descargar el subtítulo. Por favor, inténtelo de nuevo."};

// The longest a run may take to end once the user has done the last thing
// (a close, an OK): a prompt end, with room for a loaded machine.
constexpr milliseconds kPromptExit{2000};

int PortOf(const std::string& host) { return std::stoi(host.substr(host.find(':') + 1)); }

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

std::string SubtitleRecord(const std::string& id, const std::string& name) {
  return "<subtitle><id>" + EncodeBase64(id) + "</id><name>" + EncodeBase64(name) +
         "</name><date>" + EncodeBase64("2013-05-01") + "</date></subtitle>";
}

// A real subtitle archive, so that only the fault can make a run fail.
std::string Archive() {
  ZipEntrySpec entry;
  entry.name = "es.srt";
  entry.data = "1\r\n00:00:01,000 --> 00:00:02,000\r\nHola\r\n";
  return BuildZip({entry});
}

// A list of subtitles of nearly `length` bytes, well-formed: a head, one
// record over and over, a tail; made piece by piece as the server sends it.
ScriptedReply::Generated HugeSubtitleList(uint64_t length) {
  const std::string head = "<?xml version=\"1.0\"?><subtitles>";
  const std::string record = SubtitleRecord("1", "Uno");
  const std::string tail = "</subtitles>";
  const uint64_t records = (length - head.size() - tail.size()) / record.size();
  const uint64_t tailAt = head.size() + records * record.size();
  return {tailAt + tail.size(), [=](uint64_t offset, size_t size) {
            std::string bytes;
            while (bytes.size() < size) {
              const uint64_t at = offset + bytes.size();
              const size_t wanted = size - bytes.size();
              if (at < head.size()) {
                bytes += head.substr(at, wanted);
              } else if (at < tailAt) {
                const size_t inRecord = (at - head.size()) % record.size();
                const uint64_t upTo = std::min<uint64_t>(tailAt - at, wanted);
                bytes += record.substr(inRecord, static_cast<size_t>(upTo));
              } else if (at < tailAt + tail.size()) {
                bytes += tail.substr(at - tailAt, wanted);
              } else {
                break;  // past the end: never asked for
              }
            }
            return bytes;
          }};
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

// The temporary folder that programs started meanwhile get from the system
// (TMP and TEMP); the earlier one comes back afterwards.
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
  TemporaryFolderOfRuns(const TemporaryFolderOfRuns&) = delete;
  TemporaryFolderOfRuns& operator=(const TemporaryFolderOfRuns&) = delete;

 private:
  std::vector<std::pair<std::wstring, std::wstring>> saved_;
};

// Holds a loopback port without listening on it: every connection to it is
// refused, and no other server can take the port meanwhile.
class RefusingPort {
 public:
  explicit RefusingPort(int port) {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    socket_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    BOOL exclusive = TRUE;
    setsockopt(socket_, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive),
               sizeof(exclusive));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bound_ = bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
  }
  ~RefusingPort() {
    closesocket(socket_);
    WSACleanup();
  }
  RefusingPort(const RefusingPort&) = delete;
  RefusingPort& operator=(const RefusingPort&) = delete;
  bool bound() const { return bound_; }

 private:
  SOCKET socket_ = INVALID_SOCKET;
  bool bound_ = false;
};

enum class Mode { Best, List };

const wchar_t* Word(Mode mode) { return mode == Mode::Best ? L"melhor" : L"top"; }

// What the user of the list window does, besides pressing OK on every
// message box.
struct ListUser {
  bool pressNext = false;  // presses Next once the rows are shown
  // Closes the window once this holds (checked while the window is up).
  std::function<bool()> closeWhen;
};

// One run as the user met it.
struct FaultRun {
  Mode mode = Mode::Best;
  DrivenRun driven;
  milliseconds whole{};           // from the start to the exit
  milliseconds afterLastAct{};    // from the user's last close or OK to the exit
  bool closed = false;            // the user closed the window
  bool pressedNext = false;
};

class MorvaneFaults : public ::testing::Test {
 protected:
  MorvaneFaults() : runsTemporary(temporary.path()) {
    videoFolder = videos.path() / L"Mis Videos";
    fs::create_directories(videoFolder);
    std::ofstream(videoFolder / L"La Pelicula.avi", std::ios::binary) << "not really a video";
  }

  // A service that answers every request well; each test then breaks one.
  TestHttpServer& StartService() {
    server.emplace(PortOf(kServiceHost));
    server->Answer(kVersionPath, Text(""));
    server->Answer(kBestSubtitleByHashPath,
                   Xml("<subtitle><id>" + EncodeBase64("12345") + "</id><date>" +
                       EncodeBase64("2013-05-01") + "</date></subtitle>"));
    server->Answer(kSubtitlesByHashPath, Xml("<subtitles>" + SubtitleRecord("1", "Uno") +
                                             SubtitleRecord("2", "Dos") + "</subtitles>"));
    server->Answer(kMovieByHashPath, Xml("<movie><name>" + EncodeBase64("Casablanca") +
                                         "</name><id>" + EncodeBase64("1234") + "</id></movie>"));
    server->Answer(kClosingPagePath, Text("<html>Gracias</html>"));
    ScriptedReply archive;
    archive.body = Archive();
    archive.contentType = "application/zip";
    server->Answer(kSubtitleFilesPath, archive);
    return *server;
  }

  FaultRun Run(Mode mode, const ListUser& user = {}) {
    std::wstring starred = (videoFolder / L"La Pelicula.avi").wstring();
    for (auto& c : starred) {
      if (c == L' ') c = L'*';
    }
    FaultRun result;
    result.mode = mode;
    const auto start = Clock::now();
    Clock::time_point lastAct{};
    auto answer = [&](const SeenMessageBox&) {
      lastAct = Clock::now();
      return IDOK;
    };
    auto act = [&](HWND window) {
      if (ClassName(window) != kWindowClass) return;
      HWND next = FindControl(window, kBtnProximo);
      if (user.pressNext && !result.pressedNext && IsWindowEnabled(next) &&
          IsWindowVisible(FindControl(window, kGrpBxAvancado))) {
        PostMessageW(next, BM_CLICK, 0, 0);
        result.pressedNext = true;
      }
      if (user.closeWhen && !result.closed && user.closeWhen()) {
        lastAct = Clock::now();
        PostMessageW(window, WM_CLOSE, 0, 0);
        result.closed = true;
      }
    };
    result.driven = ProcessDriver::Run((ProgramFolder() / "Morvane.exe").wstring(),
                                       L"0123456789abcdef " + starred + L" 42 " + Word(mode),
                                       answer, 40000, act);
    const auto end = Clock::now();
    result.whole = std::chrono::duration_cast<milliseconds>(end - start);
    const auto lastOrStart = lastAct == Clock::time_point{} ? start : lastAct;
    result.afterLastAct = std::chrono::duration_cast<milliseconds>(end - lastOrStart);
    std::printf("  %s: %zu message box(es), whole run %lld ms, exit %lld ms after the last act\n",
                mode == Mode::Best ? "melhor" : "top",
                result.driven.messageBoxes.size(), static_cast<long long>(result.whole.count()),
                static_cast<long long>(result.afterLastAct.count()));
    return result;
  }

  // The run ended by itself, promptly after the user's last act, having
  // shown exactly these message boxes (and, in best-subtitle mode, nothing
  // else), and left nothing behind: the temporary folder (the working
  // folder) is empty and the video is alone.
  void ExpectEndedCleanly(const FaultRun& run, const std::vector<SeenMessageBox>& boxes) {
    ASSERT_TRUE(run.driven.finished) << "still running after 40 s";
    EXPECT_EQ(run.driven.exitCode, 0u);
    if (run.mode == Mode::Best) {
      EXPECT_TRUE(run.driven.shownWindows.empty());
    }
    ASSERT_EQ(run.driven.messageBoxes.size(), boxes.size());
    for (size_t i = 0; i < boxes.size(); ++i) {
      EXPECT_EQ(run.driven.messageBoxes[i].title, boxes[i].title) << i;
      EXPECT_EQ(run.driven.messageBoxes[i].text, boxes[i].text) << i;
    }
    EXPECT_LT(run.afterLastAct, kPromptExit);
    EXPECT_TRUE(Contents(temporary.path()).empty());
    EXPECT_EQ(Contents(videoFolder),
              (std::map<std::wstring, std::string>{{L"La Pelicula.avi", "not really a video"}}));
  }

  // The requests made to one path.
  size_t RequestsTo(const std::string& path) const {
    size_t count = 0;
    for (const auto& request : server->Requests()) count += request.path == path;
    return count;
  }

  TempFolder videos, temporary;
  TemporaryFolderOfRuns runsTemporary;
  fs::path videoFolder;
  std::optional<TestHttpServer> server;
};

// Nothing listens on the service's port: every request is refused at once.
// Both modes find nothing and say so.
TEST_F(MorvaneFaults, NothingListening) {
  RefusingPort refusing(PortOf(kServiceHost));
  ASSERT_TRUE(refusing.bound()) << "the service port is in use";
  for (Mode mode : {Mode::Best, Mode::List}) {
    SCOPED_TRACE(Word(mode));
    ExpectEndedCleanly(Run(mode), {kNotFound});
  }
}

// The archive's connection is reset after half of it: the download error,
// and in best-subtitle mode the not-found message after it. Whichever
// folder is the working folder, what arrived of the archive is gone.
TEST_F(MorvaneFaults, ResetInTheMiddleOfTheArchive) {
  ScriptedReply reset;
  reset.body = Archive();
  reset.contentType = "application/zip";
  reset.cutAfter = reset.body.size() / 2;
  reset.reset = true;
  StartService().Answer(kSubtitleFilesPath, reset);

  ExpectEndedCleanly(Run(Mode::Best), {kDownloadError, kNotFound});
  const FaultRun list = Run(Mode::List, {true, nullptr});
  EXPECT_TRUE(list.pressedNext);
  ExpectEndedCleanly(list, {kDownloadError});
  {
    // No file can be created in the temporary folder: the video's folder is
    // the working folder, and the cut-off archive must not stay there.
    TemporaryFolderOfRuns unwritable(videos.path() / L"no such folder");
    ExpectEndedCleanly(Run(Mode::Best), {kDownloadError, kNotFound});
  }
  EXPECT_EQ(RequestsTo(kSubtitleFilesPath), 3u);
}

// The archive's headers come, then nothing for 60 s; the user closes the
// window a moment into the silence. The run ends at once, without a
// message, and the begun archive is gone.
TEST_F(MorvaneFaults, SilenceAfterTheHeadersEndsWithTheUsersClose) {
  ScriptedReply silent;
  silent.body = Archive();
  silent.contentType = "application/zip";
  silent.bodyDelay = milliseconds(60000);
  TestHttpServer& service = StartService();
  service.Answer(kSubtitleFilesPath, silent);

  Clock::time_point downloadSeen{};
  const FaultRun run = Run(Mode::List, {true, [&] {
                                          if (downloadSeen == Clock::time_point{}) {
                                            if (RequestsTo(kSubtitleFilesPath) == 0) return false;
                                            downloadSeen = Clock::now();
                                          }
                                          return Clock::now() - downloadSeen > milliseconds(1000);
                                        }});
  EXPECT_TRUE(run.closed);
  ExpectEndedCleanly(run, {});
}

// The archive is announced at 3 GB: no subtitle archive is that large, so
// the download fails at once, long before the 64 MiB that any archive may
// have had come in.
TEST_F(MorvaneFaults, ArchiveAnnouncedAtThreeGigabytes) {
  const auto sent = std::make_shared<std::atomic<uint64_t>>(0);  // bytes made to be sent
  ScriptedReply huge;
  huge.generated = ScriptedReply::Generated{3ull << 30, [sent](uint64_t, size_t size) {
                                              *sent += size;
                                              return std::string(size, '\0');
                                            }};
  huge.contentType = "application/zip";
  StartService().Answer(kSubtitleFilesPath, huge);

  ExpectEndedCleanly(Run(Mode::Best), {kDownloadError, kNotFound});
  const FaultRun list = Run(Mode::List, {true, nullptr});
  EXPECT_TRUE(list.pressedNext);
  ExpectEndedCleanly(list, {kDownloadError});
  server.reset();  // its connections are over
  std::printf("  bytes the server made for both runs: %llu\n",
              static_cast<unsigned long long>(sent->load()));
  EXPECT_LT(sent->load(), 8u << 20);
}

// The archive's address redirects to itself for ever: the file client
// follows ten redirects, then gives up with the download error.
TEST_F(MorvaneFaults, RedirectLoopOnTheArchive) {
  ScriptedReply loop;
  loop.status = 302;
  loop.headers = {{"Location", kSubtitleFilesPath}};
  StartService().Answer(kSubtitleFilesPath, loop);

  ExpectEndedCleanly(Run(Mode::Best), {kDownloadError, kNotFound});
  EXPECT_EQ(RequestsTo(kSubtitleFilesPath), 11u);
  const FaultRun list = Run(Mode::List, {true, nullptr});
  EXPECT_TRUE(list.pressedNext);
  ExpectEndedCleanly(list, {kDownloadError});
  EXPECT_EQ(RequestsTo(kSubtitleFilesPath), 22u);
}

// 100 MB of well-formed XML, announced (best subtitle) or chunked (the
// list): the reply is refused as too large, which is a lookup that found
// nothing.
TEST_F(MorvaneFaults, HundredMegabytesOfXml) {
  // The same list made small is a list a wizard would read.
  const ScriptedReply::Generated small = HugeSubtitleList(4000);
  const auto document = LoadReplyDocument(small.make(0, static_cast<size_t>(small.length)));
  const ReplyNode list = FindChildElement(*document, "subtitles");
  ASSERT_GT(ChildCount(list), 10u);
  EXPECT_EQ(ReadReplyText(FindChildElement(ChildAt(list, ChildCount(list) - 1), "name")), "Uno");
  EXPECT_GT(small.length, 4000 - SubtitleRecord("1", "Uno").size());

  TestHttpServer& service = StartService();
  ScriptedReply announced;
  announced.generated = HugeSubtitleList(100u << 20);
  service.Answer(kBestSubtitleByHashPath, announced);
  ScriptedReply chunked = announced;
  chunked.announceLength = false;
  service.Answer(kSubtitlesByHashPath, chunked);

  ExpectEndedCleanly(Run(Mode::Best), {kNotFound});
  ExpectEndedCleanly(Run(Mode::List), {kNotFound});
  EXPECT_EQ(RequestsTo(kSubtitleFilesPath), 0u);
}

// A reply that is no XML at all finds nothing.
TEST_F(MorvaneFaults, ReplyThatIsNoXml) {
  TestHttpServer& service = StartService();
  const ScriptedReply page = Text("<html><body>Servicio en mantenimiento</body></html>\x01");
  service.Answer(kBestSubtitleByHashPath, page);
  service.Answer(kSubtitlesByHashPath, page);

  ExpectEndedCleanly(Run(Mode::Best), {kNotFound});
  ExpectEndedCleanly(Run(Mode::List), {kNotFound});
  EXPECT_EQ(RequestsTo(kSubtitleFilesPath), 0u);
}

// One byte a second. In best-subtitle mode there is no window to close: the
// stalled download is given up with the download error. In list mode the
// user closes the window while the list trickles in, and the run ends at
// once.
TEST_F(MorvaneFaults, ServerThatSendsOneByteASecond) {
  ScriptedReply trickle;
  trickle.pieceSize = 1;
  trickle.pieceDelay = milliseconds(1000);
  TestHttpServer& service = StartService();
  ScriptedReply archive = trickle;
  archive.body = Archive();
  archive.contentType = "application/zip";
  service.Answer(kSubtitleFilesPath, archive);
  ScriptedReply list = trickle;
  list.body = "<subtitles>" + SubtitleRecord("1", "Uno") + "</subtitles>";
  service.Answer(kSubtitlesByHashPath, list);

  ExpectEndedCleanly(Run(Mode::Best), {kDownloadError, kNotFound});

  Clock::time_point listSeen{};
  const FaultRun run = Run(Mode::List, {false, [&] {
                                          if (listSeen == Clock::time_point{}) {
                                            if (RequestsTo(kSubtitlesByHashPath) == 0) return false;
                                            listSeen = Clock::now();
                                          }
                                          return Clock::now() - listSeen > milliseconds(1500);
                                        }});
  EXPECT_TRUE(run.closed);
  ExpectEndedCleanly(run, {});
}

}  // namespace
