// Runs the real Morvane.exe in list mode against a scripted service and
// plays a user who expects a live window: it paints and closes while the
// service is silent, answers the keyboard, shows names as they are, scrolls
// to every row and shows a download of unknown size moving.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "base64.h"
#include "process_driver.h"
#include "reply_document.h"
#include "service_endpoints.h"
#include "service_hosts.h"
#include "temp_folder.h"
#include "window_lookup.h"
#include "test_http_server.h"
#include "wizard_window.h"
#include "zip_fixture.h"

namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;
using std::chrono::steady_clock;

const char kSubtitleText[] = "1\r\n00:00:01,000 --> 00:00:02,000\r\nHola\r\n";
const wchar_t kWindowClass[] = L"TfrmDownloadManager";

int PortOf(const std::string& host) { return std::stoi(host.substr(host.find(':') + 1)); }

// What the user sees of a window: its pixels on the screen.
std::vector<uint32_t> ScreenPixels(HWND window) {
  RECT r;
  GetWindowRect(window, &r);
  const int width = r.right - r.left, height = r.bottom - r.top;
  std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
  GdiFlush();
  std::copy_n(static_cast<uint32_t*>(bits), pixels.size(), pixels.begin());
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return pixels;
}

// The window's thread answers a message within this time: it is not hung.
bool AnswersWithin(HWND window, UINT milliseconds) {
  DWORD_PTR result = 0;
  return SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK, milliseconds,
                             &result) != 0;
}

// The control that has the keyboard focus in the window's thread.
HWND FocusOf(HWND window) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info);
  return info.hwndFocus;
}

// One key pressed and released, as the keyboard sends it.
void PressKey(WORD key) {
  INPUT input[2] = {};
  input[0].type = input[1].type = INPUT_KEYBOARD;
  input[0].ki.wVk = input[1].ki.wVk = key;
  input[1].ki.dwFlags = KEYEVENTF_KEYUP;
  SendInput(2, input, sizeof(INPUT));
  Sleep(150);
}

std::string SubtitleRecord(const std::string& id, const std::string& name) {
  return "<subtitle><id>" + EncodeBase64(id) + "</id><name>" + EncodeBase64(name) +
         "</name><date>" + EncodeBase64("2013-05-01") + "</date></subtitle>";
}

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

// The ids of the records the download request sends back.
std::vector<std::string> SentIds(const std::string& body) {
  const size_t at = body.find("&subtitles=");
  if (at == std::string::npos) return {};
  const auto document = LoadReplyDocument(body.substr(at + 11));
  const ReplyNode subtitles = FindChildElement(*document, "subtitles");
  std::vector<std::string> ids;
  for (size_t i = 0; i < ChildCount(subtitles); ++i) {
    ids.push_back(ReadReplyText(FindChildElement(ChildAt(subtitles, i), "id")));
  }
  return ids;
}

class LiveWindow : public ::testing::Test {
 protected:
  LiveWindow() : server(PortOf(kServiceHost)), images(PortOf(kImageHost)) {
    videoFolder = videos.path() / L"Mis Videos";
    fs::create_directories(videoFolder);
    std::ofstream(videoFolder / L"La Pelicula.avi", std::ios::binary) << "not really a video";
    fs::remove(fs::temp_directory_path() / "subtitles.zip");
  }

  // A service that lists the names given, knows the film and has no update.
  void ScriptService(const std::vector<std::string>& names, const std::string& film = "Casablanca") {
    std::string list = "<subtitles>";
    for (size_t i = 0; i < names.size(); ++i) list += SubtitleRecord(std::to_string(i + 1), names[i]);
    server.Answer(kSubtitlesByHashPath, Xml(list + "</subtitles>"));
    server.Answer(kMovieByHashPath, Xml("<movie><name>" + EncodeBase64(film) + "</name><id>" +
                                        EncodeBase64("1234") + "</id></movie>"));
    server.Answer(kVersionPath, Text(""));
    server.Answer(kClosingPagePath, Text("<html>Gracias</html>"));
    ZipEntrySpec entry;
    entry.name = "elegido.srt";
    entry.data = kSubtitleText;
    ScriptedReply download;
    download.body = BuildZip({entry});
    download.contentType = "application/zip";
    server.Answer(kSubtitleFilesPath, download);
  }

  DrivenRun Run(ProcessDriver::Act act, ProcessDriver::Answer answer = nullptr,
                const std::wstring& mode = L"top") {
    std::wstring starred = (videoFolder / L"La Pelicula.avi").wstring();
    for (auto& c : starred) {
      if (c == L' ') c = L'*';
    }
    return ProcessDriver::Run((ProgramFolder() / "Morvane.exe").wstring(),
                              L"0123456789abcdef " + starred + L" 42 " + mode, answer, 30000, act);
  }

  // The request bodies sent to one path.
  std::vector<std::string> BodiesTo(const std::string& path) const {
    std::vector<std::string> bodies;
    for (const auto& r : server.Requests()) {
      if (r.path == path) bodies.push_back(r.body);
    }
    return bodies;
  }

  TempFolder videos;
  fs::path videoFolder;
  TestHttpServer server, images;
};

TEST_F(LiveWindow, PaintsAndClosesWhileTheServiceSaysNothing) {
  ScriptService({"Uno"});
  ScriptedReply silent = Xml("<subtitles/>");
  silent.delay = milliseconds(25000);  // accepted, then nothing
  server.Answer(kSubtitlesByHashPath, silent);

  bool answered = true, repainted = false;
  steady_clock::duration hiddenAfter{};
  steady_clock::time_point closedAt{};
  auto user = [&](HWND window) {
    if (ClassName(window) != kWindowClass || closedAt != steady_clock::time_point{}) return;
    if (!server.WaitForRequests(1, milliseconds(0))) return;
    Sleep(300);  // well inside the request
    for (int i = 0; i < 5; ++i) {
      answered = answered && AnswersWithin(window, 100);
      Sleep(100);
    }
    // A change of the label shows on the screen.
    HWND label = FindControl(window, kLblMovieName);
    const auto before = ScreenPixels(label);
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(label, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"Una prueba de pintura"),
                        SMTO_ABORTIFHUNG, 100, &ignored);
    Sleep(300);
    repainted = ScreenPixels(label) != before;
    closedAt = steady_clock::now();
    PostMessageW(window, WM_CLOSE, 0, 0);
    while (IsWindowVisible(window)) Sleep(5);
    hiddenAfter = steady_clock::now() - closedAt;
  };
  const DrivenRun run = Run(user);
  const auto ended = steady_clock::now();

  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 0u);
  ASSERT_NE(closedAt, steady_clock::time_point{});
  EXPECT_TRUE(answered);
  EXPECT_TRUE(repainted);
  EXPECT_LT(ended - closedAt, milliseconds(1000));
  EXPECT_LT(hiddenAfter, milliseconds(100));
  EXPECT_TRUE(run.messageBoxes.empty());  // neither "not found" nor anything else
  EXPECT_EQ(server.Requests().size(), 1u);  // nothing of the start-up after the close
  EXPECT_TRUE(images.Requests().empty());
}

TEST_F(LiveWindow, NextDoesNothingWhileTheUpdateQuestionIsUp) {
  ScriptService({"Uno", "Dos"});
  server.Answer(kVersionPath, Text("http://127.0.0.1/new-version"));

  bool disabledDuringQuestion = false, asked = false;
  bool downloadDuringQuestion = true;
  auto answer = [&](const SeenMessageBox& box) {
    if (box.title != L"Actualización") return IDOK;
    HWND window = FindWindowW(kWindowClass, nullptr);
    disabledDuringQuestion = window && !IsWindowEnabled(window);
    HWND next = FindControl(window, kBtnProximo);
    PostMessageW(next, BM_CLICK, 0, 0);
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(kBtnProximo, BN_CLICKED),
                 reinterpret_cast<LPARAM>(next));
    Sleep(700);
    downloadDuringQuestion = !BodiesTo(kSubtitleFilesPath).empty();
    asked = true;
    return IDNO;
  };
  bool closed = false;
  auto user = [&](HWND window) {
    if (ClassName(window) != kWindowClass || closed || !asked || !IsWindowEnabled(window)) return;
    Sleep(500);  // the question was answered: the window is the user's again
    closed = true;
    PostMessageW(window, WM_CLOSE, 0, 0);
  };
  const DrivenRun run = Run(user, answer);

  ASSERT_TRUE(run.finished);
  ASSERT_EQ(run.messageBoxes.size(), 1u);
  EXPECT_EQ(run.messageBoxes[0].title, L"Actualización");
  EXPECT_TRUE(disabledDuringQuestion);
  EXPECT_FALSE(downloadDuringQuestion);
  EXPECT_TRUE(BodiesTo(kSubtitleFilesPath).empty());  // the click was not kept for later
  EXPECT_FALSE(fs::exists(videoFolder / L"La Pelicula.srt"));
}

TEST_F(LiveWindow, AListRunDrivenByTheKeyboardAlonePlacesTheTickedSubtitle) {
  ScriptService({"Uno", "Dos", "Tres"});

  int step = 0;
  bool firstRowFocused = false, nextFocusedAtEnd = false;
  std::wstring finishCaption;
  auto user = [&](HWND window) {
    if (ClassName(window) != kWindowClass) return;
    HWND next = FindControl(window, kBtnProximo);
    if (step == 0 && IsWindowEnabled(next) && IsWindowVisible(FindControl(window, kGrpBxAvancado)) &&
        server.WaitForRequests(3, milliseconds(0))) {
      Sleep(300);
      firstRowFocused = FocusOf(window) == FindControl(window, kFirstSubtitleRow);
      PressKey(VK_SPACE);  // unticks the first row
      PressKey(VK_TAB);
      PressKey(VK_TAB);
      PressKey(VK_SPACE);  // ticks the third
      PressKey(VK_RETURN);
      step = 1;
    } else if (step == 1 && WindowText(next) == L"Terminar" && IsWindowVisible(next)) {
      Sleep(200);
      finishCaption = WindowText(window);
      nextFocusedAtEnd = FocusOf(window) == next;
      PressKey(VK_RETURN);
      step = 2;
    }
  };
  const DrivenRun run = Run(user);

  ASSERT_TRUE(run.finished);
  EXPECT_EQ(step, 2);
  EXPECT_TRUE(run.messageBoxes.empty());
  EXPECT_TRUE(firstRowFocused);
  EXPECT_TRUE(nextFocusedAtEnd);
  EXPECT_EQ(finishCaption, L"¡Obrigado por la confianza!");
  const auto bodies = BodiesTo(kSubtitleFilesPath);
  ASSERT_EQ(bodies.size(), 1u);
  EXPECT_EQ(SentIds(bodies[0]), std::vector<std::string>{"3"});
  EXPECT_EQ(ReadFile(videoFolder / L"La Pelicula.srt"), kSubtitleText);
}

TEST_F(LiveWindow, EscapeIsTheCloseBox) {
  ScriptService({"Uno"});
  bool pressed = false;
  auto user = [&](HWND window) {
    if (ClassName(window) != kWindowClass || pressed) return;
    if (!IsWindowEnabled(FindControl(window, kBtnProximo)) || !server.WaitForRequests(3, milliseconds(0))) {
      return;
    }
    Sleep(300);
    pressed = true;
    PressKey(VK_ESCAPE);
  };
  const DrivenRun run = Run(user);
  ASSERT_TRUE(run.finished);
  EXPECT_TRUE(pressed);
  EXPECT_TRUE(run.messageBoxes.empty());
  EXPECT_TRUE(BodiesTo(kSubtitleFilesPath).empty());
}

TEST_F(LiveWindow, TwentyRowsScrollIntoSightAndNamesShowTheirAmpersands) {
  std::vector<std::string> names;
  for (int i = 1; i <= 20; ++i) names.push_back("Subtitulo " + std::to_string(i) + " & Co");
  ScriptService(names, "Tom & Jerry");

  int step = 0;
  bool lastRowHidden = false, lastRowSeen = false, scrollBar = false;
  std::wstring label, caption, row;
  LONG labelStyle = 0;
  auto user = [&](HWND window) {
    if (ClassName(window) != kWindowClass) return;
    HWND next = FindControl(window, kBtnProximo);
    if (step == 0 && IsWindowEnabled(next) && server.WaitForRequests(3, milliseconds(0))) {
      Sleep(300);
      HWND group = FindControl(window, kGrpBxAvancado);
      HWND last = FindControl(window, kFirstSubtitleRow + 19);
      HWND panel = GetParent(last);
      RECT box, seen;
      GetWindowRect(panel, &box);
      GetWindowRect(last, &seen);
      lastRowHidden = seen.top >= box.bottom;
      scrollBar = (GetWindowLongW(panel, GWL_STYLE) & WS_VSCROLL) != 0;
      label = WindowText(FindControl(window, kLblMovieName));
      labelStyle = GetWindowLongW(FindControl(window, kLblMovieName), GWL_STYLE);
      caption = WindowText(window);
      row = WindowText(FindControl(window, kFirstSubtitleRow + 4));
      // The user drags the scroll bar to its end and ticks the last row.
      SendMessageW(panel, WM_VSCROLL, MAKEWPARAM(SB_BOTTOM, 0), 0);
      Sleep(200);
      GetWindowRect(last, &seen);
      RECT groupRect;
      GetWindowRect(group, &groupRect);
      lastRowSeen = seen.top >= box.top && seen.bottom <= box.bottom && seen.bottom <= groupRect.bottom;
      POINT middle = {(seen.left + seen.right) / 2, (seen.top + seen.bottom) / 2};
      lastRowSeen = lastRowSeen && WindowFromPoint(middle) == last;
      PostMessageW(FindControl(window, kFirstSubtitleRow), BM_CLICK, 0, 0);  // untick the first
      PostMessageW(last, BM_CLICK, 0, 0);
      Sleep(200);
      PostMessageW(next, BM_CLICK, 0, 0);
      step = 1;
    } else if (step == 1 && WindowText(next) == L"Terminar") {
      PostMessageW(next, BM_CLICK, 0, 0);
      step = 2;
    }
  };
  const DrivenRun run = Run(user);

  ASSERT_TRUE(run.finished);
  EXPECT_EQ(step, 2);
  EXPECT_TRUE(scrollBar);
  EXPECT_TRUE(lastRowHidden);
  EXPECT_TRUE(lastRowSeen);
  EXPECT_EQ(label, L"Tom & Jerry");
  EXPECT_TRUE(labelStyle & SS_NOPREFIX);
  EXPECT_EQ(caption, L"Subtítulos 1.0 - Tom & Jerry");
  EXPECT_EQ(row, L"Subtitulo 5 && Co");  // a button shows "&&" as one "&"
  const auto bodies = BodiesTo(kSubtitleFilesPath);
  ASSERT_EQ(bodies.size(), 1u);
  EXPECT_EQ(SentIds(bodies[0]), std::vector<std::string>{"20"});
}

TEST_F(LiveWindow, ADownloadOfUnknownSizeMovesAMarqueeBar) {
  ScriptService({"Uno"});
  ZipEntrySpec entry;
  entry.name = "uno.srt";
  entry.data = kSubtitleText;
  ScriptedReply chunked;
  chunked.body = BuildZip({entry});
  chunked.contentType = "application/zip";
  chunked.announceLength = false;
  chunked.pieceSize = 16;
  chunked.pieceDelay = milliseconds(150);
  server.Answer(kSubtitleFilesPath, chunked);

  int step = 0;
  bool marquee = false, moved = false;
  auto user = [&](HWND window) {
    if (ClassName(window) != kWindowClass) return;
    HWND next = FindControl(window, kBtnProximo);
    HWND bar = FindControl(window, kPrgrBrDownloadFile);
    if (step == 0 && IsWindowEnabled(next) && server.WaitForRequests(3, milliseconds(0))) {
      PostMessageW(next, BM_CLICK, 0, 0);
      step = 1;
    } else if (step == 1 && IsWindowVisible(bar) && !BodiesTo(kSubtitleFilesPath).empty()) {
      Sleep(400);
      marquee = (GetWindowLongW(bar, GWL_STYLE) & PBS_MARQUEE) != 0;
      const auto before = ScreenPixels(bar);
      Sleep(300);
      moved = ScreenPixels(bar) != before;
      step = 2;
    } else if (step == 2 && WindowText(next) == L"Terminar") {
      PostMessageW(next, BM_CLICK, 0, 0);
      step = 3;
    }
  };
  const DrivenRun run = Run(user);

  ASSERT_TRUE(run.finished);
  EXPECT_EQ(step, 3);
  EXPECT_TRUE(marquee);
  EXPECT_TRUE(moved);
  EXPECT_TRUE(run.messageBoxes.empty());
  EXPECT_EQ(ReadFile(videoFolder / L"La Pelicula.srt"), kSubtitleText);
}

}  // namespace
