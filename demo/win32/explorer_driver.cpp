// Plays Explorer for one right-click on a video: a folder window with the
// video selected, the context-menu handler registered for all files created
// through COM, a real drop list of the selected file, the handler's items in
// a real popup menu on the screen, the user's choice of command, and
// InvokeCommand, which runs the wizard the extension starts. Then it shows
// what the wizard placed beside the video.
//
//   corvelle_explorer VIDEO COMMAND SCREENSHOTS NAME
//     COMMAND      "Mejor subtítulo" or "Top 10" (the menu text to choose)
//     SCREENSHOTS  folder where the demo script answers screenshot requests
//     NAME         first part of this run's screenshot names
// Exit code 0 when a new subtitle file lies beside the video.
#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "code_page.h"
#include "com_ptr.h"
#include "context_menu_play.h"
#include "corvelle_test_support.h"
#include "folder_window.h"
#include "narration.h"
#include "unique_resource.h"
#include "wizard_user.h"

namespace fs = std::filesystem;

namespace {

constexpr UINT kFirstCommand = 100;  // the shell's own items use 1 to 99
const wchar_t kSubmenu[] = L"Descargar Subtítulos";

std::wstring Hex(HRESULT result) {
  if (result == S_OK) return L"S_OK (success)";
  wchar_t text[16];
  swprintf(text, 16, L"0x%08lX", static_cast<unsigned long>(result));
  return text;
}

// A file's first lines, for showing a subtitle: UTF-8 when it is valid
// UTF-8, else Windows-1252 as subtitle files usually are.
std::vector<std::wstring> FirstLines(const fs::path& path, size_t count) {
  std::ifstream in(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (bytes.rfind("\xEF\xBB\xBF", 0) == 0) bytes.erase(0, 3);
  const bool utf8 = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(),
                                        static_cast<int>(bytes.size()), nullptr, 0) > 0;
  std::wistringstream text(CodePageToWide(bytes, utf8 ? CP_UTF8 : 1252));
  std::vector<std::wstring> lines;
  for (std::wstring line; lines.size() < count && std::getline(text, line);) {
    if (!line.empty() && line.back() == L'\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// The shell's own items around the place where handlers add theirs.
UniqueMenu ShellMenu() {
  UniqueMenu menu(CreatePopupMenu());
  InsertMenuW(menu.get(), 0, MF_BYPOSITION | MF_STRING, 1, L"Abrir");
  InsertMenuW(menu.get(), 1, MF_BYPOSITION | MF_STRING, 2, L"Copiar");
  InsertMenuW(menu.get(), 2, MF_BYPOSITION | MF_STRING, 3, L"Eliminar");
  InsertMenuW(menu.get(), 3, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
  InsertMenuW(menu.get(), 4, MF_BYPOSITION | MF_STRING, 4, L"Propiedades");
  return menu;
}

// The drop list Explorer hands a handler: the shell's own data object for
// the selected file, or, where the shell cannot make one, a plain CF_HDROP
// list of its path.
ComPtr<IDataObject> SelectionDataObject(const fs::path& video) {
  ComPtr<IDataObject> data;
  *data.put() = ShellDataObjectFor({video});
  if (data) {
    Say(L"   the selection is the shell's own data object for the file, with its CF_HDROP drop list");
  } else {
    *data.put() = NewDropListDataObject({video.wstring()});
    Say(L"   the selection is a CF_HDROP drop list holding the file's path");
  }
  return data;
}

int Run(const fs::path& video, const std::wstring& command, const fs::path& shots,
        const std::wstring& name) {
  const bool listMode = command == L"Top 10";
  const ScreenshotTaker screenshots(shots);
  FolderWindow folder(video.parent_path(), video.filename().wstring());
  const auto before = folder.FileNames();
  Say(L"   a folder window shows " + video.parent_path().wstring() + L" with " +
      std::to_wstring(before.size()) + L" files; the user right-clicks \"" +
      video.filename().wstring() + L"\"");

  RegisteredHandler handler = CreateRegisteredHandler();
  if (!handler.object) {
    Say(L"   no context-menu handler is registered for all files: is Corvelle.dll registered?");
    return 1;
  }
  wchar_t classText[64] = {};
  StringFromGUID2(handler.classId, classText, 64);
  Say(L"   Explorer loads the handler registered for all files: " + std::wstring(classText) +
      L" (" + handler.name + L") from " + handler.server);

  ComPtr<IDataObject> data = SelectionDataObject(video);
  const HRESULT init = handler.object->Initialize(nullptr, data.get(), nullptr);
  Say(L"   IShellExtInit::Initialize with the selection: " + Hex(init));
  if (FAILED(init)) return 1;
  ComPtr<IContextMenu> contextMenu;
  if (FAILED(handler.object->QueryInterface(IID_IContextMenu, contextMenu.put_void()))) return 1;

  UniqueMenu menu = ShellMenu();
  const HRESULT query = contextMenu->QueryContextMenu(menu.get(), 1, kFirstCommand, 0x7FFF, CMF_NORMAL);
  Say(L"   IContextMenu::QueryContextMenu: " + Hex(query) + L", " +
      std::to_wstring(HRESULT_CODE(query)) + L" command identifiers used");
  if (FAILED(query) || HRESULT_CODE(query) == 0) {
    Say(L"   the handler offered nothing for this file");
    return 1;
  }

  Say(L"   the menu opens; the user points at \"" + std::wstring(kSubmenu) + L"\" and picks \"" +
      command + L"\"");
  const UINT chosen = ChooseFromMenu(folder.Handle(), menu.get(), folder.SelectedItemPoint(),
                                     kSubmenu, command, screenshots, name + L"-menu");
  if (chosen < kFirstCommand || chosen >= kFirstCommand + HRESULT_CODE(query)) {
    Say(L"   the menu closed without one of the handler's commands");
    return 1;
  }
  // The folder repaints where the menu was.
  PumpMessages(300);
  const UINT offset = chosen - kFirstCommand;
  Say(L"   Explorer calls IContextMenu::InvokeCommand with command offset " +
      std::to_wstring(offset) + L"; it returns at once, and the extension starts the "
      L"wizard from a thread of its own");

  Say(L"   the video's fingerprint as the extension computes it (its size plus the sums of its "
      L"first and last 64 KiB): " + CodePageToWide(ExpectedFingerprint(video), CP_ACP));
  HRESULT invoked = E_FAIL;
  WizardOutcome outcome;
  std::vector<DialogCloser::Seen> ownBoxes;
  {
    // Message boxes on Explorer's side (the extension's own, or the
    // system's when a program cannot be started) are read and closed as a
    // user would.
    DialogCloser closer;
    WizardUser user(listMode, screenshots, name);
    CMINVOKECOMMANDINFO info = InvokeByOffset(offset, folder.Handle());
    invoked = contextMenu->InvokeCommand(&info);
    outcome = user.Finish();
    ownBoxes = closer.seen();
  }
  for (const auto& box : ownBoxes) {
    Say(L"   Explorer's side showed a message box \"" + box.caption + L"\": " + box.text);
  }
  Say(L"   InvokeCommand returned " + Hex(invoked) +
      (outcome.found ? L"; the wizard ended with exit code " + std::to_wstring(outcome.exitCode)
                     : L"; no wizard was seen"));

  folder.Refresh();
  std::vector<fs::path> placed;
  for (const auto& file : folder.FileNames()) {
    if (std::find(before.begin(), before.end(), file) == before.end()) {
      placed.push_back(video.parent_path() / file);
    }
  }
  if (!placed.empty()) {
    screenshots.Take(name + L"-folder", L"the folder afterwards, the new file beside the video");
  }
  for (const auto& file : placed) {
    Say(L"   new beside the video: " + LinuxPathOf(file) + L" (" +
        std::to_wstring(fs::file_size(file)) + L" bytes)");
    for (const auto& line : FirstLines(file, 6)) Say(L"   | " + line);
  }
  const bool ok = outcome.found && outcome.finished && outcome.exitCode == 0 &&
                  outcome.messageBoxes.empty() && ownBoxes.empty() && !placed.empty() &&
                  (!listMode || outcome.userDone) && SUCCEEDED(invoked);
  if (!ok) Say(L"   this step did not end as it should");
  return ok ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 5) {
    Say(L"usage: corvelle_explorer VIDEO \"Mejor subtítulo\"|\"Top 10\" SCREENSHOTS NAME");
    return 2;
  }
  if (FAILED(OleInitialize(nullptr))) return 1;
  int result = 1;
  try {
    result = Run(fs::absolute(argv[1]), argv[2], argv[3], argv[4]);
  } catch (const std::exception& error) {
    Say(L"   failed: " + CodePageToWide(error.what(), CP_ACP));
  }
  OleUninitialize();
  return result;
}
