#include "wizard_user.h"

#include <tlhelp32.h>

#include "unique_resource.h"
#include "window_lookup.h"
#include "wizard_window.h"

namespace {

constexpr DWORD kWizardTimeLimit = 120000;
// How long a command may take to start its wizard.
constexpr ULONGLONG kWizardStartLimit = 30000;

bool Checked(HWND box) { return SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED; }

// A user's click: the button handles it as if the mouse had pressed it.
// Posted, since the wizard's handler may run for a long while (a download)
// and may show message boxes that we must see and answer meanwhile.
void Click(HWND control) { PostMessageW(control, BM_CLICK, 0, 0); }

// A child process of ours with the given program name.
DWORD FindChildProcess(const wchar_t* name) {
  UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return 0;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
       more = Process32NextW(snapshot.get(), &entry)) {
    if (entry.th32ParentProcessID == GetCurrentProcessId() && _wcsicmp(entry.szExeFile, name) == 0) {
      return entry.th32ProcessID;
    }
  }
  return 0;
}

std::wstring ProgramPath(HANDLE process) {
  wchar_t path[MAX_PATH] = {};
  DWORD size = MAX_PATH;
  return QueryFullProcessImageNameW(process, 0, path, &size) ? path : L"";
}

}  // namespace

WizardUser::WizardUser(bool listMode, const ScreenshotTaker& screenshots,
                       std::wstring screenshotPrefix)
    : listMode_(listMode),
      screenshots_(screenshots),
      prefix_(std::move(screenshotPrefix)),
      thread_([this] { Watch(); }) {}

WizardUser::~WizardUser() {
  stopWaiting_ = true;
  if (thread_.joinable()) thread_.join();
}

WizardOutcome WizardUser::Finish() {
  while (!done_) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
  }
  if (thread_.joinable()) thread_.join();
  return outcome_;
}

void WizardUser::Watch() {
  struct Done {
    std::atomic<bool>& flag;
    ~Done() { flag = true; }
  } done{done_};
  const ULONGLONG start = GetTickCount64();
  DWORD id = 0;
  while (!(id = FindChildProcess(L"morvane.exe"))) {
    if (stopWaiting_ || GetTickCount64() - start > kWizardStartLimit) return;
    Sleep(20);
  }
  UniqueHandle process(OpenProcess(
      SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, id));
  if (!process) return;
  outcome_.found = true;
  Say(L"   the extension started the wizard beside itself: " + ProgramPath(process.get()));

  auto answer = [](const SeenMessageBox& box) {
    Say(L"   the wizard shows a message box \"" + box.title + L"\": " + box.text);
    // An offered update is declined; anything else is acknowledged.
    return box.title == L"Actualización" ? IDNO : IDOK;
  };
  ProcessDriver::Act act = nullptr;
  if (listMode_) act = [this](HWND window) { ActInList(window); };
  const DrivenRun run =
      ProcessDriver::Drive(process.get(), id, answer, kWizardTimeLimit, act);
  outcome_.finished = run.finished;
  outcome_.exitCode = run.exitCode;
  outcome_.messageBoxes = run.messageBoxes;
  if (!run.finished) {
    Say(L"   the wizard did not end within " + std::to_wstring(kWizardTimeLimit / 1000) +
        L" seconds and was stopped");
  }
  if (!listMode_ && run.shownWindows.empty()) Say(L"   the wizard showed no window, as it should");
}

void WizardUser::ActInList(HWND window) {
  HWND next = FindControl(window, kBtnProximo);
  if (!next) return;
  if (listStep_ == 0) {
    // The list is complete once the film is identified (Next enabled) and
    // its poster has arrived; a moment more for the version check.
    HWND poster = FindControl(window, kImgPoster);
    const bool ready = IsWindowEnabled(next) && IsWindowVisible(next);
    if (!ready) return;
    if (!readySince_) readySince_ = GetTickCount64();
    const bool posterShown = poster && SendMessageW(poster, STM_GETIMAGE, IMAGE_BITMAP, 0) != 0;
    if (!posterShown && GetTickCount64() - readySince_ < 3000) return;
    Sleep(600);
    Say(L"   the wizard window is up: \"" + WindowText(window) + L"\"");
    Say(L"   film: " + WindowText(FindControl(window, kLblMovieName)) +
        (posterShown ? L", with its poster" : L", without a poster"));
    std::vector<HWND> rows;
    for (HWND row; (row = FindControl(window, kFirstSubtitleRow + static_cast<int>(rows.size())));) {
      rows.push_back(row);
    }
    for (size_t i = 0; i < rows.size(); ++i) {
      Say(L"     [" + std::wstring(Checked(rows[i]) ? L"x" : L" ") + L"] " + WindowText(rows[i]));
    }
    screenshots_.Take(prefix_ + L"-list", L"the list window with the film, its poster and the subtitle rows");
    // The user keeps the first row and ticks the last one too.
    if (rows.size() > 1 && !Checked(rows.back())) {
      Click(rows.back());
      Say(L"   the user ticks \"" + WindowText(rows.back()) + L"\" as well");
    }
    Sleep(300);
    screenshots_.Take(prefix_ + L"-ticked", L"the rows the user ticked, before Next");
    Say(L"   the user presses \"" + WindowText(next) + L"\"");
    Click(next);
    listStep_ = 1;
  } else if (listStep_ == 1) {
    if (!IsWindowVisible(next) || WindowText(next) != L"Terminar") return;
    Sleep(800);
    Say(L"   the closing page shows: \"" + WindowText(window) + L"\"");
    screenshots_.Take(prefix_ + L"-closing", L"the closing page with its \"Terminar\" button");
    Say(L"   the user presses \"Terminar\"");
    Click(next);
    listStep_ = 2;
    outcome_.userDone = true;
  }
}
