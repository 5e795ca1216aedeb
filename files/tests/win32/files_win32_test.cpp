// The Win32 side of archive extraction and placing: attributes and the three
// file times as Windows keeps them, UTF-16 names beyond the Basic
// Multilingual Plane, and a video folder in which no file may be created.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "archive.h"
#include "archive_names.h"
#include "placing.h"
#include "temp_folder.h"
#include "unique_resource.h"
#include "write_permission_message.h"
#include "zip_fixture.h"

namespace fs = std::filesystem;

namespace {

int64_t AsInt(const FILETIME& ft) {
  return static_cast<int64_t>((static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
}

bool RunsUnderWine() {
  return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

class Win32ArchiveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = fs::current_path();
    fs::current_path(scratch_.path());
  }
  void TearDown() override {
    if (archive_) CloseArchive(archive_);
    fs::current_path(saved_);
    for (const auto& item : fs::recursive_directory_iterator(scratch_.path())) {
      SetFileAttributesW(item.path().c_str(), FILE_ATTRIBUTE_NORMAL);
    }
  }
  ArchiveHandle Open(const std::vector<ZipEntrySpec>& entries) {
    const fs::path zip = scratch_.Write("archive.zip", BuildZip(entries));
    archive_ = OpenArchive(zip.wstring());
    return archive_;
  }
  std::wstring At(const std::wstring& name) const { return (scratch_.path() / name).wstring(); }

  TempFolder scratch_;
  fs::path saved_;
  ArchiveHandle archive_ = nullptr;
};

TEST_F(Win32ArchiveTest, WrittenFilesCarryTheEntryAttributes) {
  const struct {
    const char* name;
    uint16_t versionMadeBy;
    uint32_t external;
    DWORD set;    // these bits must be on
    DWORD clear;  // these must be off
  } cases[] = {
      {"ro.srt", 0x0014, 0x21, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE, 0},
      {"hs.srt", 0x0B14, 0x06, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM,
       FILE_ATTRIBUTE_READONLY},
      {"unix-rw.srt", 0x0314, 0100644u << 16, FILE_ATTRIBUTE_ARCHIVE,
       FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM},
      {"unix-ro.srt", 0x0314, 0100444u << 16, FILE_ATTRIBUTE_READONLY, FILE_ATTRIBUTE_HIDDEN},
  };
  std::vector<ZipEntrySpec> entries;
  for (const auto& c : cases)
    entries.push_back({c.name, "x", kFixtureDosTime, c.versionMadeBy, c.external});
  ASSERT_NE(Open(entries), nullptr);
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].name);
    const std::wstring name(cases[i].name, cases[i].name + strlen(cases[i].name));
    ASSERT_EQ(ExtractArchiveEntry(archive_, static_cast<int32_t>(i), name), kArchiveOk);
    const DWORD attributes = GetFileAttributesW(At(name).c_str());
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(attributes & cases[i].set, cases[i].set) << std::hex << attributes;
    EXPECT_EQ(attributes & cases[i].clear, 0u) << std::hex << attributes;
  }
  // The read-only file cannot be replaced.
  EXPECT_EQ(ExtractArchiveEntry(archive_, 0, L"ro.srt"), kArchiveCannotOpen);
}

TEST_F(Win32ArchiveTest, WrittenFilesCarryTheThreeTimes) {
  const int32_t modified = 1300000000, accessed = 1400000000, created = 1200000000;
  ASSERT_NE(Open({{"times.srt", VariedText(40000), kFixtureDosTime, 0, 0x20,
                   ExtendedTimeBlock(0x07, {modified, accessed, created})},
                  {"dos.srt", "", kFixtureDosTime}}),
            nullptr);
  for (int32_t i = 0; i < 2; ++i) {
    ArchiveEntry entry;
    ASSERT_EQ(GetArchiveEntry(archive_, i, entry), kArchiveOk);
    ASSERT_EQ(ExtractArchiveEntry(archive_, i, entry.name), kArchiveOk);
    UniqueFile file(CreateFileW(At(entry.name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(file);
    FILETIME creation, access, write;
    ASSERT_TRUE(GetFileTime(file.get(), &creation, &access, &write));
    EXPECT_EQ(AsInt(write), entry.modificationTime);
    EXPECT_EQ(AsInt(access), entry.accessTime);
    // Wine keeps no creation time of its own on Linux file systems and
    // reports the modification time in its place.
    if (!RunsUnderWine()) {
      EXPECT_EQ(AsInt(creation), entry.creationTime);
    }
    if (i == 0) {
      EXPECT_EQ(entry.modificationTime, UnixSecondsToFileTime(modified));
      EXPECT_EQ(entry.accessTime, UnixSecondsToFileTime(accessed));
      EXPECT_EQ(entry.creationTime, UnixSecondsToFileTime(created));
    }
  }
}

// The DOS time is local: read back as local time, it gives the DOS fields.
TEST_F(Win32ArchiveTest, DosTimeIsLocalTime) {
  ASSERT_NE(Open({{"dos.srt", "x", kFixtureDosTime}}), nullptr);
  ArchiveEntry entry;
  ASSERT_EQ(GetArchiveEntry(archive_, 0, entry), kArchiveOk);
  FILETIME utc;
  utc.dwLowDateTime = static_cast<DWORD>(entry.modificationTime & 0xFFFFFFFF);
  utc.dwHighDateTime = static_cast<DWORD>(entry.modificationTime >> 32);
  SYSTEMTIME utcTime, local;
  ASSERT_TRUE(FileTimeToSystemTime(&utc, &utcTime));
  ASSERT_TRUE(SystemTimeToTzSpecificLocalTime(nullptr, &utcTime, &local));
  EXPECT_EQ(local.wYear, 2021);
  EXPECT_EQ(local.wMonth, 3);
  EXPECT_EQ(local.wDay, 4);
  EXPECT_EQ(local.wHour, 5);
  EXPECT_EQ(local.wMinute, 6);
  EXPECT_EQ(local.wSecond, 8);
}

TEST_F(Win32ArchiveTest, NamesBeyondTheBasicPlaneBecomeSurrogatePairs) {
  ASSERT_NE(Open({{"\xF0\x9F\x8E\xAC pel\xC3\xAD"
                   "cula.srt",
                   "x"}}),
            nullptr);
  ArchiveEntry entry;
  ASSERT_EQ(GetArchiveEntry(archive_, 0, entry), kArchiveOk);
  EXPECT_EQ(entry.name, L"\xD83C\xDFAC película.srt");
  ASSERT_EQ(ExtractArchiveEntry(archive_, 0, entry.name), kArchiveOk);
  EXPECT_NE(GetFileAttributesW(At(entry.name).c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(Win32ArchiveTest, ReadOnlyFilesAreDeletedAndTheArchiveStreamSharesReading) {
  FileOperations& files = PlatformFileOperations();
  const std::wstring locked = At(L"locked.srt");
  std::ofstream(fs::path(locked)) << "x";
  ASSERT_TRUE(SetFileAttributesW(locked.c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_TRUE(files.RemoveFile(locked));
  EXPECT_EQ(GetFileAttributesW(locked.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_FALSE(files.RemoveFile(scratch_.path().wstring()));

  auto stream = files.CreateArchiveStream(At(L"subtitles.zip"));
  ASSERT_TRUE(stream);
  ASSERT_TRUE(stream->Write("PK", 2));
  UniqueFile reader(CreateFileW(At(L"subtitles.zip").c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                nullptr));
  EXPECT_TRUE(reader);
  stream->Close();
  EXPECT_FALSE(stream->Write("x", 1));
}

// A folder counts as writable when a probe file can be both created and
// removed again: an immutable flag that takes effect between the two would
// otherwise leave the probe behind.
bool CanCreateFilesIn(const std::wstring& folder) {
  const std::wstring probe = folder + L"\\probe.tmp";
  HANDLE h = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  CloseHandle(h);
  return DeleteFileW(probe.c_str()) != FALSE;
}

// Runs chattr with `flag` on the folder's Unix path (Wine starts Unix
// programs too) and waits until the folder is writable as `wanted` says:
// Wine reports the Unix program ended before it has, and on a busy machine
// its effect can take seconds to show.
bool ChattrUntil(const std::wstring& folder, const wchar_t* flag, bool wanted) {
  using UnixName = char*(CDECL*)(const wchar_t*);
  auto unixName = reinterpret_cast<UnixName>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (!unixName) return false;
  char* path = unixName(folder.c_str());
  if (!path) return false;
  std::wstring command = std::wstring(L"Z:\\usr\\bin\\chattr ") + flag + L" \"";
  for (const char* p = path; *p; ++p)
    command += static_cast<wchar_t>(static_cast<unsigned char>(*p));
  command += L"\"";
  HeapFree(GetProcessHeap(), 0, path);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    return false;
  }
  WaitForSingleObject(process.hProcess, 10000);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  for (int i = 0; i < 600; ++i) {
    if (CanCreateFilesIn(folder) == wanted) return true;
    Sleep(50);
  }
  return false;
}

// Makes `folder` a folder in which no file can be created. Under Wine the
// read-only attribute of a folder removes the Unix write permission, which
// binds every user but the superuser; for the superuser the folder is also
// made immutable with chattr. False when neither works on this system.
bool MakeUnwritable(const std::wstring& folder) {
  SetFileAttributesW(folder.c_str(), FILE_ATTRIBUTE_READONLY);
  if (!CanCreateFilesIn(folder)) return true;
  if (ChattrUntil(folder, L"+i", false)) return true;
  // The flag did not show in time but may still land: it is taken off for
  // sure, or the folder could not be removed after the test.
  ChattrUntil(folder, L"-i", true);
  return false;
}

void MakeWritableAgain(const std::wstring& folder) {
  SetFileAttributesW(folder.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (!CanCreateFilesIn(folder)) ChattrUntil(folder, L"-i", true);
}

class RecordingMessages : public PlacingMessages {
 public:
  void ShowWritePermissionMessage() override { ++shown; }
  int shown = 0;
};

TEST(Win32Placing, ReadOnlyVideoFolderShowsOneMessagePerSubtitle) {
  TempFolder root;
  const fs::path saved = fs::current_path();
  const fs::path work = root.path() / "work";
  const fs::path video = root.path() / "video";
  fs::create_directories(work);
  fs::create_directories(video);
  if (!MakeUnwritable(video.wstring())) {
    MakeWritableAgain(video.wstring());
    GTEST_SKIP() << "no way to make a folder unwritable here";
  }
  std::ofstream(work / "subtitles.zip", std::ios::binary)
      << BuildZip({{"es.srt", "ES"}, {"en.srt", "EN"}});
  std::unique_ptr<ArchiveStream> stream;
  RecordingMessages messages;
  PlaceSubtitleFiles(work.wstring() + L"\\", video.wstring() + L"\\", L"The Movie.avi", stream,
                     PlatformFileOperations(), messages);
  MakeWritableAgain(video.wstring());
  fs::current_path(saved);

  EXPECT_EQ(messages.shown, 2);
  EXPECT_TRUE(fs::is_empty(video));
  EXPECT_TRUE(fs::is_empty(work));
}

// The folder the archive was unpacked in goes with everything in it, read-
// only and hidden files and folders of the archive included; the placed
// copies keep the entries' attributes.
TEST(Win32Placing, UnpackedFilesGoWhateverTheirAttributes) {
  TempFolder root;
  const fs::path saved = fs::current_path();
  const fs::path work = root.path() / "work";
  const fs::path video = root.path() / "video";
  fs::create_directories(work);
  fs::create_directories(video);
  std::ofstream(work / "subtitles.zip", std::ios::binary)
      << BuildZip({{"subs/ro.srt", "RO", kFixtureDosTime, 0x0014, 0x21},
                   {"deep/er/hidden.sub", "H", kFixtureDosTime, 0x0B14, 0x06},
                   {"empty/", "", kFixtureDosTime, 0, 0x10}});
  std::unique_ptr<ArchiveStream> stream;
  RecordingMessages messages;
  PlaceSubtitleFiles(work.wstring() + L"\\", video.wstring() + L"\\", L"The Movie.avi", stream,
                     PlatformFileOperations(), messages);
  fs::current_path(saved);

  EXPECT_TRUE(fs::is_empty(work));
  const DWORD placed = GetFileAttributesW((video / L"The Movie.srt").c_str());
  ASSERT_NE(placed, INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(placed & FILE_ATTRIBUTE_READONLY);
  EXPECT_TRUE(fs::exists(video / L"The Movie.sub"));
  EXPECT_EQ(messages.shown, 1);  // the folder entry, which is no file to copy
  for (const auto& item : fs::directory_iterator(video)) {
    SetFileAttributesW(item.path().c_str(), FILE_ATTRIBUTE_NORMAL);
  }
}

}  // namespace

namespace {

struct ShownBox {
  std::wstring title;
  std::wstring text;
  bool errorIcon = false;
};

BOOL CALLBACK FindStaticText(HWND child, LPARAM param) {
  auto* shown = reinterpret_cast<ShownBox*>(param);
  wchar_t className[32] = {};
  GetClassNameW(child, className, 32);
  if (std::wstring(className) != L"Static") return TRUE;
  if (GetWindowLongW(child, GWL_STYLE) & SS_ICON) {
    shown->errorIcon = true;  // the only icon a box with MB_ICONERROR shows
    return TRUE;
  }
  wchar_t text[512] = {};
  GetWindowTextW(child, text, 512);
  if (text[0]) shown->text = text;
  return TRUE;
}

DWORD WINAPI ShowBox(LPVOID) {
  WritePermissionMessageBox(nullptr).ShowWritePermissionMessage();
  return 0;
}

// The message box as the user sees it: found among the real windows, read,
// and closed with its OK button.
TEST(WritePermissionMessageBox, ShowsTheTextsWithAnErrorIcon) {
  if (!GetEnvironmentVariableW(L"DISPLAY", nullptr, 0)) GTEST_SKIP() << "no display";
  HANDLE shower = CreateThread(nullptr, 0, ShowBox, nullptr, 0, nullptr);
  ASSERT_NE(shower, nullptr);
  HWND box = nullptr;
  for (int i = 0; i < 200 && !box; ++i) {
    Sleep(50);
    box = FindWindowW(L"#32770", kWritePermissionTitle);
  }
  ShownBox shown;
  if (box) {
    EnumChildWindows(box, FindStaticText, reinterpret_cast<LPARAM>(&shown));
    PostMessageW(box, WM_COMMAND, IDOK, 0);
  }
  EXPECT_EQ(WaitForSingleObject(shower, 10000), WAIT_OBJECT_0);
  CloseHandle(shower);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(shown.text, L"El programa no tiene permiso para escribir el archivo en esta carpeta.");
  EXPECT_TRUE(shown.errorIcon);
}

}  // namespace
