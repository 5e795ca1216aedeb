// Program entry of Morvane.exe: builds the one wizard window, runs its
// start-up and then the message loop until the run ends. Every run exits
// with code 0.
#include <windows.h>
#include <objbase.h>

#include <exception>

#include "code_page.h"
#include "command_line.h"
#include "download_manager.h"
#include "file_operations.h"
#include "system_platform.h"
#include "winhttp_client.h"
#include "wizard_window.h"

namespace {

CommandArguments ReadCommandArguments() {
  // The platform's own argument splitting treats backslashes differently,
  // so the raw command line is split here.
  const std::vector<std::wstring> arguments = SplitCommandLine(GetCommandLineW());
  return {ArgumentOrEmpty(arguments, 1), ArgumentOrEmpty(arguments, 2),
          ArgumentOrEmpty(arguments, 3), ArgumentOrEmpty(arguments, 4)};
}

std::wstring FailureText(const std::exception& failure) {
  return CodePageToWide(failure.what(), CP_UTF8);
}

void ReportWithoutWindow(const std::wstring& text) {
  MessageBoxW(nullptr, text.c_str(), L"Morvane", MB_OK | MB_ICONERROR);
}

void RunWizard(HINSTANCE instance) {
  WinHttpClient track(TrackClientSettings());
  WinHttpClient file(FileClientSettings());
  WinHttpClient poster(PosterClientSettings());
  SystemPlatform platform;
  WizardWindow window(instance);
  // While a request waits, the window's messages go on being handled.
  for (WinHttpClient* client : {&track, &file, &poster}) {
    client->SetMessagePump([&window] { window.ProcessMessages(); });
  }
  DownloadManager run(window, platform, PlatformFileOperations(), {track, file, poster},
                      ReadCommandArguments());

  // The whole start-up runs before the message loop; the window stays
  // hidden unless the run shows it.
  try {
    run.FormCreate();
  } catch (const std::exception& failure) {
    window.ShowExceptionReport(FailureText(failure));
  } catch (...) {
    window.ShowExceptionReport(L"");
  }

  MSG message;
  while (!run.Terminated() && GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (window.TranslateDialogMessage(message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  // The window and everything the run holds go here, without the close
  // handler.
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  // The poster's picture loader and the shell want COM on this thread.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  try {
    RunWizard(instance);
  } catch (const std::exception& failure) {
    ReportWithoutWindow(FailureText(failure));
  } catch (...) {
    ReportWithoutWindow(L"");
  }
  if (SUCCEEDED(com)) CoUninitialize();
  return 0;
}
