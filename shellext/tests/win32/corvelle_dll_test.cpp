// Corvelle.dll loaded in-process, driven the way Explorer drives a
// context-menu handler.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>
#include <winternl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <set>
#include <thread>

#include "class_factory.h"
#include "corvelle_test_support.h"
#include "shell_resources.h"
#include "temp_folder.h"

namespace {

constexpr UINT kFirstCommand = 2000;

class CorvelleDll : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    dll_ = std::make_unique<LoadedCorvelle>(InstallCorvelle(install_.path(), WithWizard()));
    ASSERT_NE(dll_->module(), nullptr);
  }
  void TearDown() override {
    dll_.reset();
    CoUninitialize();
  }
  virtual bool WithWizard() const { return true; }

  ComPtr<IClassFactory> Factory() {
    ComPtr<IClassFactory> factory;
    EXPECT_EQ(dll_->GetClassObject(CLSID_Corvelle, IID_IClassFactory, factory.put_void()), S_OK);
    return factory;
  }

  // A new handler initialised with a drop list of `paths`.
  ComPtr<IContextMenu> Handler(const std::vector<std::wstring>& paths,
                               HRESULT expectedInit = S_OK) {
    ComPtr<IShellExtInit> init;
    EXPECT_EQ(Factory()->CreateInstance(nullptr, IID_IShellExtInit, init.put_void()), S_OK);
    ComPtr<IDataObject> data;
    *data.put() = NewDropListDataObject(paths);
    EXPECT_EQ(init->Initialize(nullptr, data.get(), nullptr), expectedInit);
    ComPtr<IContextMenu> menu;
    EXPECT_EQ(init->QueryInterface(IID_IContextMenu, menu.put_void()), S_OK);
    return menu;
  }

  // Invokes a command as Explorer does, letting go of the handler as soon as
  // the call returns, then serves this thread's messages until the command's
  // own thread is done, that is until the module may be unloaded.
  HRESULT InvokeAndWait(ComPtr<IContextMenu>& handler, CMINVOKECOMMANDINFO* info) {
    const HRESULT result = handler->InvokeCommand(info);
    handler.reset();
    EXPECT_TRUE(ServeMessagesUntil([&] { return dll_->CanUnloadNow() == S_OK; }))
        << "the command did not end";
    return result;
  }

  // The file open in another program that shares it with nobody.
  static UniqueFile HoldWithoutSharing(const std::filesystem::path& file) {
    return UniqueFile(CreateFileW(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
  }

  std::vector<WizardRun> Runs(bool* overlapped = nullptr) {
    return ReadWizardRuns(install_.path(), overlapped);
  }

  TempFolder install_;  // Corvelle.dll and the stand-in morvane.exe
  TempFolder videos_;
  std::unique_ptr<LoadedCorvelle> dll_;
};

class CorvelleDllWithoutWizard : public CorvelleDll {
 protected:
  bool WithWizard() const override { return false; }
};

std::wstring MenuText(HMENU menu, UINT position) {
  wchar_t text[128] = {};
  GetMenuStringW(menu, position, text, 128, MF_BYPOSITION);
  return text;
}

struct WindowTraits {
  using Type = HWND;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { DestroyWindow(h); }
};
using UniqueWindow = UniqueResource<WindowTraits>;

// A top-level window of this thread, standing in for Explorer's.
UniqueWindow ExplorerWindow() {
  return UniqueWindow(CreateWindowExW(0, L"STATIC", L"Explorer", WS_OVERLAPPEDWINDOW, 0, 0, 300,
                                      200, nullptr, nullptr, nullptr, nullptr));
}

// How many handles the process holds. Wine counts none (0); there the value
// of the next new handle stands in, since Wine gives out the lowest free slot
// of the handle table: a handle left open keeps its slot taken and moves the
// next one up.
struct HandleMark {
  DWORD count = 0;
  HANDLE next = nullptr;
  bool operator==(const HandleMark& other) const {
    return count == other.count && (count != 0 || next == other.next);
  }
};
HandleMark MarkHandles() {
  HandleMark mark;
  GetProcessHandleCount(GetCurrentProcess(), &mark.count);
  mark.next = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  CloseHandle(mark.next);
  return mark;
}

// How many GDI objects the process holds. Where the system counts none
// (Wine's GetGuiResources answers 0), the used entries of the process's GDI
// handle table: Wine keeps it where Windows keeps its own, in the process
// environment block (at 0xF8 in the 64-bit block), 65 536 entries of 24
// bytes with the object's type at byte 14.
// (GCC takes mingw's inline reading of the thread block for an access out
// of bounds.)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"
DWORD CountGdiObjects() {
  const DWORD counted = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  if (counted != 0) return counted;
  const auto peb = reinterpret_cast<const unsigned char*>(NtCurrentTeb()->ProcessEnvironmentBlock);
  const auto table = *reinterpret_cast<const unsigned char* const*>(peb + 0xF8);
  if (!table) return 0;
  DWORD used = 0;
  for (size_t i = 0; i < 0x10000; ++i) used += table[i * 24 + 14] != 0;
  return used;
}
#pragma GCC diagnostic pop

// A popup menu with the shell's own items before and after ours.
UniqueMenu ShellMenu() {
  UniqueMenu menu(CreatePopupMenu());
  InsertMenuW(menu.get(), 0, MF_BYPOSITION | MF_STRING, 1, L"Abrir");
  InsertMenuW(menu.get(), 1, MF_BYPOSITION | MF_STRING, 2, L"Propiedades");
  return menu;
}

}  // namespace

TEST_F(CorvelleDll, ExportsExactlyTheFourFunctionsByName) {
  const auto base = reinterpret_cast<const BYTE*>(dll_->module());
  const auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(base + dos->e_lfanew);
  ASSERT_EQ(nt->FileHeader.Machine, IMAGE_FILE_MACHINE_AMD64);
  const auto& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  ASSERT_NE(directory.VirtualAddress, 0u);
  const auto exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + directory.VirtualAddress);
  EXPECT_EQ(exports->NumberOfFunctions, 4u);
  std::set<std::string> names;
  const auto nameTable = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
  for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
    names.insert(reinterpret_cast<const char*>(base + nameTable[i]));
  }
  EXPECT_EQ(names, (std::set<std::string>{"DllCanUnloadNow", "DllGetClassObject",
                                          "DllRegisterServer", "DllUnregisterServer"}));
}

TEST_F(CorvelleDll, MenuBitmapIsTheSixteenByElevenFlagWithSixtyFiveColours) {
  HRSRC resource = FindResourceW(dll_->module(), MAKEINTRESOURCEW(101), RT_BITMAP);
  ASSERT_NE(resource, nullptr);
  const auto header =
      static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(dll_->module(), resource)));
  ASSERT_NE(header, nullptr);
  EXPECT_EQ(header->biSize, 40u);
  EXPECT_EQ(header->biWidth, 16);
  EXPECT_EQ(header->biHeight, 11);
  EXPECT_EQ(header->biBitCount, 8);
  EXPECT_EQ(header->biCompression, static_cast<DWORD>(BI_RGB));
  EXPECT_EQ(header->biClrUsed, 65u);
  EXPECT_EQ(SizeofResource(dll_->module(), resource), 40u + 65 * 4 + 16 * 11);

  // Red, yellow, red stripes (rows are stored bottom-up), the arms near the hoist.
  const auto palette = reinterpret_cast<const RGBQUAD*>(header + 1);
  const auto pixels = reinterpret_cast<const BYTE*>(palette + 65);
  auto colour = [&](int x, int yFromTop) {
    const RGBQUAD c = palette[pixels[(10 - yFromTop) * 16 + x]];
    return RGB(c.rgbRed, c.rgbGreen, c.rgbBlue);
  };
  const COLORREF red = colour(0, 0);
  const COLORREF yellow = colour(15, 5);
  EXPECT_GT(GetRValue(red), 0x90);
  EXPECT_LT(GetGValue(red), 0x40);
  EXPECT_GT(GetRValue(yellow), 0xD0);
  EXPECT_GT(GetGValue(yellow), 0xA0);
  EXPECT_LT(GetBValue(yellow), 0x40);
  for (int x = 0; x < 16; ++x) {
    for (int y : {0, 1, 2, 8, 9, 10}) EXPECT_EQ(colour(x, y), red) << x << "," << y;
    for (int y = 3; y <= 7; ++y) {
      if (x < 3 || x > 7) {
        EXPECT_EQ(colour(x, y), yellow) << x << "," << y;
      }
    }
  }
  EXPECT_NE(colour(5, 4), yellow);

  UniqueBitmap bitmap(static_cast<HBITMAP>(
      LoadImageW(dll_->module(), MAKEINTRESOURCEW(101), IMAGE_BITMAP, 0, 0, LR_DEFAULTSIZE)));
  ASSERT_TRUE(bitmap);
  BITMAP info{};
  ASSERT_NE(GetObjectW(bitmap.get(), sizeof info, &info), 0);
  EXPECT_EQ(info.bmWidth, 16);
  EXPECT_EQ(info.bmHeight, 11);
}

TEST_F(CorvelleDll, ClassObjectOnlyForTheHandlerClassAndFactoryInterfaces) {
  void* untouched = reinterpret_cast<void*>(0x1234);
  EXPECT_EQ(dll_->GetClassObject(IID_IContextMenu, IID_IClassFactory, &untouched),
            CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(untouched, reinterpret_cast<void*>(0x1234));

  void* object = reinterpret_cast<void*>(0x1234);
  EXPECT_EQ(dll_->GetClassObject(CLSID_Corvelle, IID_IContextMenu, &object), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(dll_->CanUnloadNow(), S_OK) << "the refused factory is freed again";

  ComPtr<IUnknown> unknown;
  EXPECT_EQ(dll_->GetClassObject(CLSID_Corvelle, IID_IUnknown, unknown.put_void()), S_OK);
  ComPtr<IClassFactory> first = Factory();
  ComPtr<IClassFactory> second = Factory();
  ASSERT_TRUE(first && second);
  EXPECT_NE(first.get(), second.get()) << "every call makes a new factory";
  EXPECT_EQ(dll_->CanUnloadNow(), S_FALSE);
  unknown.reset();
  first.reset();
  EXPECT_EQ(dll_->CanUnloadNow(), S_FALSE);
  second.reset();
  EXPECT_EQ(dll_->CanUnloadNow(), S_OK);
}

TEST_F(CorvelleDll, ReferenceCountsAndUnloadingFollowEveryObjectAndLock) {
  ComPtr<IClassFactory> factory = Factory();
  EXPECT_EQ(factory->AddRef(), 2u);
  EXPECT_EQ(factory->Release(), 1u);

  IUnknown* outer = factory.get();  // any non-null outer object
  void* aggregated = reinterpret_cast<void*>(0x1234);
  EXPECT_EQ(factory->CreateInstance(outer, IID_IUnknown, &aggregated),
            CLASS_E_NOAGGREGATION);
  EXPECT_EQ(aggregated, nullptr);
  void* refused = reinterpret_cast<void*>(0x1234);
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IDataObject, &refused), E_NOINTERFACE);
  EXPECT_EQ(refused, nullptr);

  ComPtr<IShellExtInit> init;
  ComPtr<IContextMenu> menu;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IShellExtInit, init.put_void()), S_OK);
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IContextMenu, menu.put_void()), S_OK);

  // One object answers for both interfaces; its identity is the menu part.
  ComPtr<IUnknown> identityFromInit;
  ComPtr<IUnknown> identityFromMenu;
  ComPtr<IContextMenu> menuFromInit;
  ComPtr<IShellExtInit> initFromMenu;
  ASSERT_EQ(init->QueryInterface(IID_IUnknown, identityFromInit.put_void()), S_OK);
  ASSERT_EQ(init->QueryInterface(IID_IContextMenu, menuFromInit.put_void()), S_OK);
  ASSERT_EQ(menu->QueryInterface(IID_IUnknown, identityFromMenu.put_void()), S_OK);
  ASSERT_EQ(menu->QueryInterface(IID_IShellExtInit, initFromMenu.put_void()), S_OK);
  EXPECT_EQ(identityFromInit.get(), static_cast<IUnknown*>(menuFromInit.get()));
  EXPECT_EQ(identityFromMenu.get(), static_cast<IUnknown*>(menu.get()));
  EXPECT_NE(identityFromMenu.get(), identityFromInit.get()) << "two handlers, two identities";
  void* none = reinterpret_cast<void*>(0x1234);
  EXPECT_EQ(init->QueryInterface(IID_IClassFactory, &none), E_NOINTERFACE);
  EXPECT_EQ(none, nullptr);
  // init, identityFromInit, menuFromInit: three references to one object,
  // counted alike through either interface.
  EXPECT_EQ(init->AddRef(), 4u);
  EXPECT_EQ(menuFromInit->Release(), 3u);
  init.reset();
  identityFromInit.reset();
  initFromMenu.reset();
  identityFromMenu.reset();

  factory.reset();
  EXPECT_EQ(dll_->CanUnloadNow(), S_FALSE) << "a handler still lives";
  menu.reset();
  EXPECT_EQ(dll_->CanUnloadNow(), S_FALSE) << "still one handler";
  menuFromInit.reset();
  EXPECT_EQ(dll_->CanUnloadNow(), S_OK);

  // A server lock keeps the module after its factory is gone.
  factory = Factory();
  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  factory.reset();
  EXPECT_EQ(dll_->CanUnloadNow(), S_FALSE);
  factory = Factory();
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  EXPECT_EQ(dll_->CanUnloadNow(), S_FALSE);
  factory.reset();
  EXPECT_EQ(dll_->CanUnloadNow(), S_OK);
}

TEST_F(CorvelleDll, UnlockWithoutALockLeavesTheCountsAlone) {
  ComPtr<IClassFactory> factory = Factory();
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  EXPECT_EQ(dll_->CanUnloadNow(), S_FALSE) << "the factory itself still lives";
  ComPtr<IContextMenu> handler;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IContextMenu, handler.put_void()), S_OK);
  factory.reset();
  EXPECT_EQ(dll_->CanUnloadNow(), S_FALSE) << "a handler still lives";

  // One real lock, undone twice: the second unlock takes nothing off.
  factory = Factory();
  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  factory.reset();
  EXPECT_EQ(dll_->CanUnloadNow(), S_FALSE) << "a handler still lives";
  handler.reset();
  EXPECT_EQ(dll_->CanUnloadNow(), S_OK);

  // A lock taken after the stray unlocks still keeps the module.
  factory = Factory();
  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  factory.reset();
  EXPECT_EQ(dll_->CanUnloadNow(), S_FALSE);
  factory = Factory();
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  factory.reset();
  EXPECT_EQ(dll_->CanUnloadNow(), S_OK);
}

TEST_F(CorvelleDll, InitializeRefusesWhatIsNoSelectionOfOneToNinetyNineFiles) {
  ComPtr<IShellExtInit> init;
  ASSERT_EQ(Factory()->CreateInstance(nullptr, IID_IShellExtInit, init.put_void()), S_OK);
  EXPECT_EQ(init->Initialize(nullptr, nullptr, nullptr), E_INVALIDARG);
  ComPtr<IDataObject> noDropList;
  *noDropList.put() = NewDataObjectWithoutDropList();
  EXPECT_EQ(init->Initialize(nullptr, noDropList.get(), nullptr), E_FAIL);

  Handler({}, E_FAIL);

  std::vector<std::wstring> files;
  for (int i = 0; i < 99; ++i) files.push_back(L"C:\\Films\\clip" + std::to_wstring(i) + L".txt");
  files.back() = L"C:\\Films\\last.avi";
  UniqueMenu menu = ShellMenu();
  EXPECT_EQ(Handler(files)->QueryContextMenu(menu.get(), 0, kFirstCommand, kFirstCommand + 100, 0),
            MAKE_HRESULT(SEVERITY_SUCCESS, 0, 2));
  EXPECT_EQ(GetMenuItemCount(menu.get()), 5);

  // The hundredth file: nothing is collected, so nothing is offered.
  files.push_back(L"C:\\Films\\hundredth.avi");
  ComPtr<IContextMenu> refused = Handler(files, E_FAIL);
  UniqueMenu untouched = ShellMenu();
  SetLastError(0);
  EXPECT_EQ(refused->QueryContextMenu(untouched.get(), 0, kFirstCommand, kFirstCommand + 100, 0),
            S_OK);
  EXPECT_EQ(GetMenuItemCount(untouched.get()), 2);
}

TEST_F(CorvelleDll, InitializeTakesEightBitListsAndRefusesDamagedOnes) {
  // A drop list block: the header, then `names` as they stand.
  auto block = [](const std::string& names, BOOL wide, DWORD namesOffset = sizeof(DROPFILES)) {
    DROPFILES header{};
    header.pFiles = namesOffset;
    header.fWide = wide;
    std::vector<unsigned char> bytes(sizeof header);
    memcpy(bytes.data(), &header, sizeof header);
    bytes.insert(bytes.end(), names.begin(), names.end());
    return bytes;
  };
  auto initialize = [&](std::vector<unsigned char> bytes) {
    ComPtr<IShellExtInit> init;
    EXPECT_EQ(Factory()->CreateInstance(nullptr, IID_IShellExtInit, init.put_void()), S_OK);
    ComPtr<IDataObject> data;
    *data.put() = NewDropBlockDataObject(std::move(bytes));
    const HRESULT result = init->Initialize(nullptr, data.get(), nullptr);
    ComPtr<IContextMenu> menu;
    EXPECT_EQ(init->QueryInterface(IID_IContextMenu, menu.put_void()), S_OK);
    return std::make_pair(result, std::move(menu));
  };

  // 8-bit names in the system's code page, as older programs hand them.
  const std::string narrowNames("C:\\Pel\xED" "culas\\a.txt\0C:\\Films\\b.avi\0\0", 35);
  auto narrow = initialize(block(narrowNames, FALSE));
  EXPECT_EQ(narrow.first, S_OK);
  UniqueMenu menu = ShellMenu();
  EXPECT_EQ(narrow.second->QueryContextMenu(menu.get(), 0, kFirstCommand, kFirstCommand + 100, 0),
            MAKE_HRESULT(SEVERITY_SUCCESS, 0, 2));

  // Nothing outside the block is read: a list that runs off its end, or
  // whose names lie outside it, is no selection.
  const std::string wideNames("C\0:\0\\\0a\0.\0a\0v\0i\0\0\0", 18);
  EXPECT_EQ(initialize(block(wideNames, TRUE)).first, E_FAIL);  // no empty name at the end
  EXPECT_EQ(initialize(block(wideNames + std::string(2, '\0'), TRUE, 0x7FFFFFF0)).first, E_FAIL);
  EXPECT_EQ(initialize(block(wideNames + std::string(2, '\0'), TRUE)).first, S_OK);
}

TEST_F(CorvelleDll, QueryInsertsSeparatorSubmenuSeparatorWithTheFlag) {
  ComPtr<IContextMenu> handler = Handler({L"C:\\Films\\a.txt", L"C:\\Films\\MOVIE.MKV"});
  UniqueMenu menu = ShellMenu();
  ASSERT_EQ(handler->QueryContextMenu(menu.get(), 1, kFirstCommand, kFirstCommand + 100,
                                      CMF_NORMAL),
            MAKE_HRESULT(SEVERITY_SUCCESS, 0, 2));
  ASSERT_EQ(GetMenuItemCount(menu.get()), 5);
  EXPECT_EQ(MenuText(menu.get(), 0), L"Abrir");
  EXPECT_EQ(MenuText(menu.get(), 4), L"Propiedades");

  for (UINT position : {1u, 3u}) {
    MENUITEMINFOW separator{};
    separator.cbSize = sizeof separator;
    separator.fMask = MIIM_FTYPE;
    ASSERT_TRUE(GetMenuItemInfoW(menu.get(), position, TRUE, &separator));
    EXPECT_TRUE(separator.fType & MFT_SEPARATOR) << position;
  }

  wchar_t text[64] = {};
  MENUITEMINFOW item{};
  item.cbSize = sizeof item;
  item.fMask = MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_STRING | MIIM_BITMAP | MIIM_FTYPE;
  item.dwTypeData = text;
  item.cch = 64;
  ASSERT_TRUE(GetMenuItemInfoW(menu.get(), 2, TRUE, &item));
  EXPECT_EQ(std::wstring(text), L"Descargar Subtítulos");
  EXPECT_EQ(item.wID, kFirstCommand);
  EXPECT_EQ(item.fType, static_cast<UINT>(MFT_STRING));
  EXPECT_FALSE(item.fState & (MFS_DISABLED | MFS_CHECKED));
  ASSERT_NE(item.hbmpItem, nullptr);
  BITMAP flag{};
  ASSERT_NE(GetObjectW(item.hbmpItem, sizeof flag, &flag), 0);
  EXPECT_EQ(flag.bmWidth, 16);
  EXPECT_EQ(flag.bmHeight, 11);

  HMENU submenu = item.hSubMenu;
  ASSERT_NE(submenu, nullptr);
  ASSERT_EQ(GetMenuItemCount(submenu), 2);
  EXPECT_EQ(MenuText(submenu, 0), L"Mejor subtítulo");
  EXPECT_EQ(MenuText(submenu, 1), L"Top 10");
  EXPECT_EQ(GetMenuItemID(submenu, 0), kFirstCommand);
  EXPECT_EQ(GetMenuItemID(submenu, 1), kFirstCommand + 1);
  for (int position : {0, 1}) {
    MENUITEMINFOW command{};
    command.cbSize = sizeof command;
    command.fMask = MIIM_CHECKMARKS;
    ASSERT_TRUE(GetMenuItemInfoW(submenu, position, TRUE, &command));
    EXPECT_EQ(command.hbmpChecked, item.hbmpItem) << position;
    EXPECT_EQ(command.hbmpUnchecked, item.hbmpItem) << position;
  }

  // A second query on another menu (the shell asks again for a new menu),
  // with exactly the two identifiers needed.
  UniqueMenu again(CreatePopupMenu());
  EXPECT_EQ(handler->QueryContextMenu(again.get(), 0, 7, 8, CMF_NORMAL),
            MAKE_HRESULT(SEVERITY_SUCCESS, 0, 2));
  EXPECT_EQ(GetMenuItemCount(again.get()), 3);
  EXPECT_EQ(GetMenuItemID(GetSubMenu(again.get(), 1), 1), 8u);
}

TEST_F(CorvelleDll, QueryWithFewerThanTwoFreeIdentifiersInsertsNothing) {
  ComPtr<IContextMenu> handler = Handler({L"C:\\Films\\b.avi"});
  const struct {
    UINT first, last;
  } ranges[] = {{7, 7}, {7, 6}, {0xFFFFFFFFu, 0xFFFFFFFFu}};
  for (const auto& range : ranges) {
    UniqueMenu menu = ShellMenu();
    SetLastError(ERROR_ACCESS_DENIED);
    EXPECT_EQ(handler->QueryContextMenu(menu.get(), 1, range.first, range.last, CMF_NORMAL),
              MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0))
        << range.first << ".." << range.last;
    EXPECT_EQ(GetMenuItemCount(menu.get()), 2) << range.first << ".." << range.last;
  }
}

TEST_F(CorvelleDll, QueryOffersNothingUnlessTheLastFileIsAVideo) {
  const struct {
    std::vector<std::wstring> selection;
    UINT flags;
    DWORD lastError;
    HRESULT result;
    int items;  // inserted into a menu of two
  } cases[] = {
      {{L"C:\\Films\\a.txt", L"C:\\Films\\b.avi"}, CMF_NORMAL, 0, MAKE_HRESULT(0, 0, 2), 3},
      {{L"C:\\Films\\b.avi", L"C:\\Films\\a.txt"}, CMF_NORMAL, 0, S_OK, 0},
      {{L"C:\\Films\\b.avi", L"C:\\Films\\a.txt"}, CMF_NORMAL, ERROR_FILE_NOT_FOUND,
       static_cast<HRESULT>(0x80070002), 0},
      {{L"C:\\Films.avi\\readme"}, CMF_NORMAL, 0, S_OK, 0},
      {{L"C:\\Films\\movie.mkv.part"}, CMF_EXPLORE, 0, S_OK, 0},
      {{L"C:\\Films\\b.avi"}, CMF_DEFAULTONLY, 0, S_OK, 0},
      {{L"C:\\Films\\b.avi"}, CMF_DEFAULTONLY, ERROR_ACCESS_DENIED, S_OK, 0},
      {{L"C:\\Films\\b.avi"}, CMF_EXPLORE | CMF_CANRENAME, 0, MAKE_HRESULT(0, 0, 2), 3},
  };
  for (const auto& c : cases) {
    ComPtr<IContextMenu> handler = Handler(c.selection);
    UniqueMenu menu = ShellMenu();
    SetLastError(c.lastError);
    EXPECT_EQ(handler->QueryContextMenu(menu.get(), 2, kFirstCommand, kFirstCommand + 100,
                                        c.flags),
              c.result)
        << Utf8(c.selection.back()) << " flags " << c.flags;
    EXPECT_EQ(GetMenuItemCount(menu.get()), 2 + c.items) << Utf8(c.selection.back());
  }
}

TEST_F(CorvelleDll, GetCommandStringSuppliesNoTexts) {
  ComPtr<IContextMenu> handler = Handler({L"C:\\Films\\b.avi"});
  for (UINT kind : {GCS_VERBW, GCS_HELPTEXTW}) {
    wchar_t buffer[16] = L"xxxxxxxxxx";
    EXPECT_EQ(handler->GetCommandString(0, kind, nullptr, reinterpret_cast<CHAR*>(buffer), 16),
              S_OK);
    EXPECT_EQ(std::wstring(buffer), L"") << kind;
  }
  for (UINT kind : {GCS_VERBA, GCS_HELPTEXTA}) {
    char buffer[16] = "xxxxxxxxxx";
    EXPECT_EQ(handler->GetCommandString(1, kind, nullptr, buffer, 16), S_OK);
    EXPECT_EQ(std::string(buffer), "") << kind;
  }
  EXPECT_EQ(handler->GetCommandString(0, GCS_VALIDATEW, nullptr, nullptr, 0), S_OK);
}

TEST_F(CorvelleDll, InvokeStartsTheWizardBesideTheDllOncePerFileOneAfterAnother) {
  const auto first = videos_.path() / L"My Videos" / L"a b.avi";
  const auto second = videos_.path() / L"second.mkv";
  WriteVideoFile(first, 200000, 1);
  WriteVideoFile(second, 1000, 2);

  // A decoy in the current folder must never be started.
  TempFolder elsewhere;
  std::filesystem::copy_file(BuildOutputFolder() / L"recording_wizard.exe",
                             elsewhere.path() / L"morvane.exe");
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(elsewhere.path());

  ComPtr<IContextMenu> handler = Handler({first.wstring(), second.wstring()});
  UniqueMenu menu = ShellMenu();
  ASSERT_EQ(handler->QueryContextMenu(menu.get(), 0, kFirstCommand, kFirstCommand + 100, 0),
            MAKE_HRESULT(SEVERITY_SUCCESS, 0, 2));
  CMINVOKECOMMANDINFO top10 = InvokeByOffset(1);
  EXPECT_EQ(InvokeAndWait(handler, &top10), S_OK);
  std::filesystem::current_path(previous);

  bool overlapped = true;
  const auto runs = Runs(&overlapped);
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_FALSE(overlapped) << "the second wizard started before the first had ended";
  const std::wstring program = (install_.path() / L"morvane.exe").wstring();
  for (const auto& run : runs) {
    EXPECT_TRUE(run.ended) << "the command ended while a wizard was running";
    EXPECT_EQ(_wcsicmp(run.program.c_str(), program.c_str()), 0) << Utf8(run.program);
  }
  std::wstring firstStar = first.wstring();
  for (auto& unit : firstStar) unit = unit == L' ' ? L'*' : unit;
  const std::string fp1 = ExpectedFingerprint(first);
  const std::string fp2 = ExpectedFingerprint(second);
  EXPECT_EQ(runs[0].parameters,
            std::wstring(fp1.begin(), fp1.end()) + L" " + firstStar + L" 42 top");
  EXPECT_EQ(runs[1].parameters,
            std::wstring(fp2.begin(), fp2.end()) + L" " + second.wstring() + L" 42 top");
  EXPECT_EQ(runs[0].arguments,
            (std::vector<std::wstring>{std::wstring(fp1.begin(), fp1.end()), firstStar, L"42",
                                       L"top"}));
  EXPECT_TRUE(ReadWizardRuns(elsewhere.path(), nullptr).empty());
}

TEST_F(CorvelleDll, BestSubtitleCommandStartsTextFilesOfTheSelectionToo) {
  const auto text = videos_.path() / L"a.txt";
  const auto video = videos_.path() / L"b.avi";
  WriteVideoFile(text, 10, 3);
  WriteVideoFile(video, 70000, 4);
  ComPtr<IContextMenu> handler = Handler({text.wstring(), video.wstring()});
  CMINVOKECOMMANDINFO best = InvokeByOffset(0);
  EXPECT_EQ(InvokeAndWait(handler, &best), S_OK);
  const auto runs = Runs();
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs[0].arguments.at(1), text.wstring());
  EXPECT_EQ(runs[0].arguments.at(3), L"melhor");
  EXPECT_EQ(runs[1].arguments.at(1), video.wstring());
  EXPECT_EQ(runs[1].arguments.at(3), L"melhor");
}

TEST_F(CorvelleDll, UnknownCommandsStartNothing) {
  const auto video = videos_.path() / L"b.avi";
  WriteVideoFile(video, 100, 5);
  ComPtr<IContextMenu> handler = Handler({video.wstring()});
  CMINVOKECOMMANDINFO third = InvokeByOffset(2);
  EXPECT_EQ(handler->InvokeCommand(&third), E_FAIL);
  CMINVOKECOMMANDINFO byText = InvokeByOffset(0);
  byText.lpVerb = "open";
  EXPECT_EQ(handler->InvokeCommand(&byText), E_FAIL);
  // A Unicode caller's text verb, with no 8-bit verb at all: not offset 0.
  CMINVOKECOMMANDINFOEX unicodeText = InvokeUnicode(nullptr, L"open");
  EXPECT_EQ(handler->InvokeCommand(reinterpret_cast<CMINVOKECOMMANDINFO*>(&unicodeText)), E_FAIL);
  unicodeText.lpVerb = "open";
  EXPECT_EQ(handler->InvokeCommand(reinterpret_cast<CMINVOKECOMMANDINFO*>(&unicodeText)), E_FAIL);
  CMINVOKECOMMANDINFOEX unicodeThird = InvokeUnicode(nullptr, MAKEINTRESOURCEW(2));
  EXPECT_EQ(handler->InvokeCommand(reinterpret_cast<CMINVOKECOMMANDINFO*>(&unicodeThird)), E_FAIL);
  CMINVOKECOMMANDINFO tooSmall = InvokeByOffset(0);
  tooSmall.cbSize = offsetof(CMINVOKECOMMANDINFO, lpVerb);
  EXPECT_EQ(handler->InvokeCommand(&tooSmall), E_INVALIDARG);
  EXPECT_EQ(handler->InvokeCommand(nullptr), E_INVALIDARG);
  // Refused before anything runs: no thread of the handler's keeps the module.
  handler.reset();
  EXPECT_EQ(dll_->CanUnloadNow(), S_OK);
  EXPECT_TRUE(Runs().empty());
}

TEST_F(CorvelleDll, UnicodeCallersNameTheCommandInTheWideVerb) {
  const auto video = videos_.path() / L"b.avi";
  WriteVideoFile(video, 100, 5);
  ComPtr<IContextMenu> handler = Handler({video.wstring()});
  CMINVOKECOMMANDINFOEX top10 = InvokeUnicode(nullptr, MAKEINTRESOURCEW(1));
  EXPECT_EQ(InvokeAndWait(handler, reinterpret_cast<CMINVOKECOMMANDINFO*>(&top10)), S_OK);
  const auto runs = Runs();
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].arguments.at(3), L"top");
}

TEST_F(CorvelleDll, PathsOfAnyScriptAndLengthReachTheWizardWhole) {
  // CJK, a character outside the Basic Multilingual Plane, accented Latin.
  const auto cjk = videos_.path() / L"\u6620\u753b \U0001F3AC" / L"\u7b2c\u4e00\u8a71 Películas.avi";
  // Longer than 259 units: read whole, not cut into another file's path.
  auto longPath = videos_.path();
  for (int i = 0; i < 3; ++i) longPath /= std::wstring(90, static_cast<wchar_t>(L'a' + i));
  longPath /= L"clip.mkv";
  ASSERT_GT(longPath.wstring().size(), 259u);
  WriteVideoFile(cjk, 3000, 6);
  WriteVideoFile(longPath, 3000, 7);

  ComPtr<IContextMenu> handler = Handler({cjk.wstring(), longPath.wstring()});
  UniqueMenu menu = ShellMenu();
  EXPECT_EQ(handler->QueryContextMenu(menu.get(), 0, kFirstCommand, kFirstCommand + 100, 0),
            MAKE_HRESULT(SEVERITY_SUCCESS, 0, 2));
  CMINVOKECOMMANDINFO best = InvokeByOffset(0);
  EXPECT_EQ(InvokeAndWait(handler, &best), S_OK);
  const auto runs = Runs();
  ASSERT_EQ(runs.size(), 2u);
  std::wstring cjkStar = cjk.wstring();
  for (auto& unit : cjkStar) unit = unit == L' ' ? L'*' : unit;
  const std::string fp = ExpectedFingerprint(cjk);
  EXPECT_EQ(runs[0].parameters, std::wstring(fp.begin(), fp.end()) + L" " + cjkStar + L" 42 melhor");
  const std::string fpLong = ExpectedFingerprint(longPath);
  EXPECT_EQ(runs[1].arguments,
            (std::vector<std::wstring>{std::wstring(fpLong.begin(), fpLong.end()),
                                       longPath.wstring(), L"42", L"melhor"}));
}

TEST_F(CorvelleDll, FileThatCannotBeOpenedShowsItsMessageAndGetsNoWizard) {
  const auto locked = videos_.path() / L"locked.avi";
  const auto free = videos_.path() / L"free.avi";
  WriteVideoFile(locked, 100, 8);
  WriteVideoFile(free, 100, 9);
  UniqueFile holder = HoldWithoutSharing(locked);
  ASSERT_TRUE(holder);

  ASSERT_TRUE(HasDisplay()) << "message boxes need an X display (DISPLAY)";
  // The invoking window, served by this thread while the command runs.
  UniqueWindow explorer = ExplorerWindow();
  ASSERT_TRUE(explorer);
  ComPtr<IContextMenu> handler =
      Handler({locked.wstring(), (videos_.path() / L"missing.avi").wstring(), free.wstring()});
  DialogCloser closer;
  CMINVOKECOMMANDINFO top10 = InvokeByOffset(1, explorer.get());
  EXPECT_EQ(InvokeAndWait(handler, &top10), S_OK);
  const auto seen = closer.seen();
  ASSERT_EQ(seen.size(), 2u);
  for (const auto& message : seen) {
    EXPECT_EQ(message.caption, L"Subtítulos");
    EXPECT_EQ(message.text, L"El archivo está siendo utilizado por otro proceso");
    EXPECT_EQ(message.owner, explorer.get());
  }
  const auto runs = Runs();
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].arguments.at(1), free.wstring());
}

TEST_F(CorvelleDllWithoutWizard, MissingWizardIsLeftToThePlatformAndEveryFileIsTried) {
  const auto first = videos_.path() / L"one.avi";
  const auto second = videos_.path() / L"two.avi";
  WriteVideoFile(first, 100, 10);
  WriteVideoFile(second, 100, 11);
  ASSERT_TRUE(HasDisplay()) << "message boxes need an X display (DISPLAY)";
  ComPtr<IContextMenu> handler = Handler({first.wstring(), second.wstring()});
  DialogCloser closer;
  CMINVOKECOMMANDINFO best = InvokeByOffset(0);
  EXPECT_EQ(InvokeAndWait(handler, &best), S_OK);
  // The platform's own launch error, once per file; nothing of the handler's.
  const auto seen = closer.seen();
  EXPECT_EQ(seen.size(), 2u);
  for (const auto& message : seen) EXPECT_NE(message.caption, L"Subtítulos");
  EXPECT_TRUE(Runs().empty());
}

TEST_F(CorvelleDllWithoutWizard, CallerThatAsksForNoUiSeesNoMessageBoxAtAll) {
  const auto locked = videos_.path() / L"locked.avi";
  const auto free = videos_.path() / L"free.avi";
  WriteVideoFile(locked, 100, 12);
  WriteVideoFile(free, 100, 13);
  UniqueFile holder = HoldWithoutSharing(locked);
  ASSERT_TRUE(holder);
  ASSERT_TRUE(HasDisplay()) << "message boxes need an X display (DISPLAY)";
  ComPtr<IContextMenu> handler = Handler({locked.wstring(), free.wstring()});
  DialogCloser closer;
  CMINVOKECOMMANDINFO quiet = InvokeByOffset(1);
  quiet.fMask = CMIC_MASK_FLAG_NO_UI;
  EXPECT_EQ(InvokeAndWait(handler, &quiet), S_OK);
  Sleep(100);  // one more round of the closer's watch
  EXPECT_TRUE(closer.seen().empty()) << Utf8(closer.seen().front().caption);
}

TEST_F(CorvelleDll, TopTenLeavesTheInvokingWindowAnsweringWhileEachWizardRuns) {
  const auto first = videos_.path() / L"one.avi";
  const auto second = videos_.path() / L"two.mkv";
  WriteVideoFile(first, 100000, 14);
  WriteVideoFile(second, 100, 15);
  const auto hold = install_.path() / L"morvane-hold";  // keeps each wizard open
  std::ofstream(hold).put('x');

  UniqueWindow explorer = ExplorerWindow();
  ASSERT_TRUE(explorer);
  const HWND window = explorer.get();

  // Another program's view of the window, and of the module, while the
  // command runs: every probe must be answered within 100 ms.
  struct Seen {
    int probes = 0, unanswered = 0;
    DWORD slowest = 0;
    bool secondBeganEarly = false;  // while the first was held open
    bool unloadableEarly = false;   // S_OK while a wizard had not ended
    bool overlapped = false;
    size_t runs = 0;
    bool done = false;
  };
  Seen seen;

  ComPtr<IContextMenu> handler = Handler({first.wstring(), second.wstring()});
  UniqueMenu menu = ShellMenu();
  ASSERT_EQ(handler->QueryContextMenu(menu.get(), 0, kFirstCommand, kFirstCommand + 100, 0),
            MAKE_HRESULT(SEVERITY_SUCCESS, 0, 2));
  CMINVOKECOMMANDINFO top10 = InvokeByOffset(1, window);
  const ULONGLONG before = GetTickCount64();
  EXPECT_EQ(handler->InvokeCommand(&top10), S_OK);
  const ULONGLONG invokeTook = GetTickCount64() - before;
  handler.reset();  // Explorer lets go of the handler at once
  menu.reset();
  std::atomic<bool> finished{false};
  auto watch = [&] {
    auto probe = [&] {
      const ULONGLONG start = GetTickCount64();
      DWORD_PTR answer = 0;
      if (!SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 100, &answer)) {
        ++seen.unanswered;
      }
      seen.slowest = std::max<DWORD>(seen.slowest, static_cast<DWORD>(GetTickCount64() - start));
      ++seen.probes;
    };
    const ULONGLONG end = GetTickCount64() + 30000;
    // While the first wizard is held open.
    while (GetTickCount64() < end) {
      probe();
      const auto runs = Runs();
      if (runs.size() > 1) seen.secondBeganEarly = true;
      if (!runs.empty() && seen.probes >= 10) break;
      Sleep(20);
    }
    if (dll_->CanUnloadNow() != S_FALSE) seen.unloadableEarly = true;
    for (int i = 0; i < 10; ++i) {
      probe();
      Sleep(20);
    }
    if (Runs().size() > 1) seen.secondBeganEarly = true;
    std::filesystem::remove(hold);  // the user closes the wizard
    // Until both wizards have ended, the module must not be unloadable.
    while (GetTickCount64() < end) {
      probe();
      bool overlapped = false;
      const auto runs = Runs(&overlapped);
      const bool allEnded = runs.size() == 2 && runs[0].ended && runs[1].ended;
      const HRESULT unload = dll_->CanUnloadNow();
      if (!allEnded && unload != S_FALSE) seen.unloadableEarly = true;
      seen.overlapped = seen.overlapped || overlapped;
      seen.runs = runs.size();
      if (allEnded) {
        seen.done = true;
        break;
      }
      Sleep(10);
    }
    finished = true;
  };
  std::thread other(watch);
  EXPECT_TRUE(ServeMessagesUntil([&] { return finished.load(); }));
  other.join();
  EXPECT_TRUE(ServeMessagesUntil([&] { return dll_->CanUnloadNow() == S_OK; }))
      << "the module stays in use after both wizards have ended";

  EXPECT_LT(invokeTook, 1000u) << "InvokeCommand waited for the wizards";
  EXPECT_TRUE(seen.done) << seen.runs << " runs recorded";
  EXPECT_GE(seen.probes, 20);
  // SendMessageTimeout itself fails a probe not answered within 100 ms.
  EXPECT_EQ(seen.unanswered, 0) << "of " << seen.probes << " probes";
  std::printf("%d probes answered, slowest round trip %lu ms, InvokeCommand took %llu ms\n",
              seen.probes - seen.unanswered, seen.slowest, invokeTook);
  EXPECT_FALSE(seen.secondBeganEarly) << "the second wizard started while the first was open";
  EXPECT_FALSE(seen.overlapped);
  EXPECT_FALSE(seen.unloadableEarly) << "DllCanUnloadNow answered S_OK while a wizard ran";
  const auto runs = Runs();
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs[0].arguments.at(1), first.wstring());
  EXPECT_EQ(runs[0].arguments.at(3), L"top");
  EXPECT_EQ(runs[1].arguments.at(1), second.wstring());
  EXPECT_EQ(runs[1].arguments.at(3), L"top");
}

TEST_F(CorvelleDll, ACommandStartedWhileAnotherRunsWaitsForItsWizardsToEnd) {
  const auto first = videos_.path() / L"one.avi";
  const auto second = videos_.path() / L"two.avi";
  WriteVideoFile(first, 100, 16);
  WriteVideoFile(second, 100, 17);
  ComPtr<IContextMenu> one = Handler({first.wstring()});
  ComPtr<IContextMenu> two = Handler({second.wstring()});
  CMINVOKECOMMANDINFO top10 = InvokeByOffset(1);
  CMINVOKECOMMANDINFO best = InvokeByOffset(0);
  EXPECT_EQ(one->InvokeCommand(&top10), S_OK);
  one.reset();
  EXPECT_EQ(InvokeAndWait(two, &best), S_OK);
  bool overlapped = true;
  const auto runs = Runs(&overlapped);
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_FALSE(overlapped) << "two wizards were open at once";
  // Which command's thread goes first is not fixed; each file ran once.
  std::set<std::wstring> files = {runs[0].arguments.at(1), runs[1].arguments.at(1)};
  EXPECT_EQ(files, (std::set<std::wstring>{first.wstring(), second.wstring()}));
}

TEST_F(CorvelleDll, TenThousandRightClicksLeaveNoHandleGdiObjectOrMediumBehind) {
  std::vector<std::wstring> tooMany;
  for (int i = 0; i < 100; ++i) tooMany.push_back(L"C:\\Films\\clip" + std::to_wstring(i) + L".avi");
  LONG released = 0;
  LONG handedOut = 0;
  std::set<HBITMAP> flags;
  int menusAlive = 0;
  ComPtr<IDataObject> selection;
  *selection.put() = NewDropListDataObject({L"C:\\Films\\a.txt", L"C:\\Films\\b.avi"}, &released);
  ComPtr<IDataObject> refused;
  *refused.put() = NewDropListDataObject(tooMany, &released);

  auto rightClick = [&](int i) {
    ComPtr<IClassFactory> factory = Factory();
    ComPtr<IShellExtInit> init;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IShellExtInit, init.put_void()), S_OK);
    factory.reset();
    // Every hundredth selection is too large: the medium is released anyway.
    const bool tooLarge = i % 100 == 99;
    ++handedOut;
    ASSERT_EQ(init->Initialize(nullptr, (tooLarge ? refused : selection).get(), nullptr),
              tooLarge ? E_FAIL : S_OK);
    ComPtr<IContextMenu> handler;
    ASSERT_EQ(init->QueryInterface(IID_IContextMenu, handler.put_void()), S_OK);
    init.reset();
    UniqueMenu menu = ShellMenu();
    const HRESULT query =
        handler->QueryContextMenu(menu.get(), 1, kFirstCommand, kFirstCommand + 100, 0);
    HBITMAP flag = nullptr;
    HMENU submenu = nullptr;
    if (!tooLarge) {
      ASSERT_EQ(query, MAKE_HRESULT(SEVERITY_SUCCESS, 0, 2));
      MENUITEMINFOW item{};
      item.cbSize = sizeof item;
      item.fMask = MIIM_BITMAP | MIIM_SUBMENU;
      ASSERT_TRUE(GetMenuItemInfoW(menu.get(), 2, TRUE, &item));
      flag = item.hbmpItem;
      submenu = item.hSubMenu;
    }
    menu.reset();
    if (submenu && IsMenu(submenu)) ++menusAlive;  // goes with the shell's menu
    handler.reset();
    // One flag serves every menu and stays while the module is loaded.
    if (flag) {
      flags.insert(flag);
      EXPECT_EQ(GetObjectType(flag), static_cast<DWORD>(OBJ_BITMAP));
    }
  };

  // The first clicks may fill caches of the system's for good.
  for (int i = 0; i < 20; ++i) rightClick(i);
  const HandleMark handlesBefore = MarkHandles();
  const DWORD gdiBefore = CountGdiObjects();
  const DWORD userBefore = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
  for (int i = 0; i < 10000 && !HasFatalFailure(); ++i) rightClick(i);
  const HandleMark handlesAfter = MarkHandles();
  const DWORD gdiAfter = CountGdiObjects();
  const DWORD userAfter = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
  std::printf("handles %lu -> %lu (next handle %p -> %p), GDI objects %lu -> %lu, "
              "USER objects %lu -> %lu\n",
              handlesBefore.count, handlesAfter.count, handlesBefore.next, handlesAfter.next,
              gdiBefore, gdiAfter, userBefore, userAfter);

  EXPECT_TRUE(handlesAfter == handlesBefore);
  EXPECT_GT(gdiBefore, 0u);
  EXPECT_EQ(gdiAfter, gdiBefore);
  EXPECT_EQ(userAfter, userBefore);
  EXPECT_EQ(flags.size(), 1u);
  EXPECT_EQ(menusAlive, 0);
  EXPECT_EQ(released, handedOut) << "media handed out and not released";
  selection.reset();
  refused.reset();
  EXPECT_EQ(dll_->CanUnloadNow(), S_OK);
  // The flag goes when the module is unloaded.
  dll_.reset();
  ASSERT_FALSE(flags.empty());
  EXPECT_EQ(GetObjectType(*flags.begin()), 0u);
}
