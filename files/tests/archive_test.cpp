#include "archive.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "archive_names.h"
#include "forwarding_file_operations.h"
#include "temp_folder.h"
#include "zip_fixture.h"

namespace fs = std::filesystem;

namespace {

bool IsReadOnly(const fs::path& path) {
  return (fs::status(path).permissions() & fs::perms::owner_write) == fs::perms::none;
}

void MakeWritable(const fs::path& path) {
  std::error_code ignored;
  fs::permissions(path, fs::perms::owner_write, fs::perm_options::add, ignored);
}

// Every name below `root`, relative to it, with "/" between folders.
std::set<std::string> Tree(const fs::path& root) {
  std::set<std::string> names;
  for (const auto& item : fs::recursive_directory_iterator(root)) {
    names.insert(fs::relative(item.path(), root).generic_string());
  }
  return names;
}

// Extraction happens in `base`, a folder inside the test's scratch folder, so
// that anything escaping it shows up beside it. The current directory is
// moved there for the open and restored afterwards.
class ArchiveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = fs::current_path();
    base_ = scratch_.path() / "base";
    fs::create_directories(base_);
    fs::current_path(base_);
  }
  void TearDown() override {
    for (ArchiveHandle h : opened_) CloseArchive(h);
    fs::current_path(saved_);
    for (const auto& item : fs::recursive_directory_iterator(scratch_.path())) {
      MakeWritable(item.path());
    }
  }

  ArchiveHandle Open(const std::string& bytes) {
    const fs::path zip = scratch_.Write("archive.zip", bytes);
    ArchiveHandle h = OpenArchive(zip.wstring());
    if (h) opened_.push_back(h);
    return h;
  }
  ArchiveHandle Open(const std::vector<ZipEntrySpec>& entries) { return Open(BuildZip(entries)); }

  // What lies beside the base folder: the archive only.
  void ExpectNothingOutsideBase() {
    std::set<std::string> outside;
    for (const auto& item : fs::directory_iterator(scratch_.path())) {
      outside.insert(item.path().filename().string());
    }
    EXPECT_EQ(outside, (std::set<std::string>{"archive.zip", "base"}));
  }

  TempFolder scratch_;
  fs::path base_;
  fs::path saved_;
  std::vector<ArchiveHandle> opened_;
};

TEST_F(ArchiveTest, CountsEntriesAndRefusesIndicesOutsideTheArchive) {
  ArchiveHandle h = Open({{"a.srt", "A"}, {"b.srt", "B"}, {"c.srt", "C"}});
  ASSERT_NE(h, nullptr);
  ArchiveEntry entry;
  entry.name = L"stale";
  EXPECT_EQ(GetArchiveEntry(h, -1, entry), kArchiveOk);
  EXPECT_EQ(entry.index, 3);
  EXPECT_EQ(entry.name, L"");
  EXPECT_EQ(GetArchiveEntry(h, 3, entry), kArchiveBadArguments);
  EXPECT_EQ(GetArchiveEntry(h, -2, entry), kArchiveBadArguments);
  EXPECT_EQ(ExtractArchiveEntry(h, -1, L"x"), kArchiveBadArguments);
  EXPECT_EQ(ExtractArchiveEntry(h, 3, L"x"), kArchiveBadArguments);

  entry.index = 7;
  EXPECT_EQ(GetArchiveEntry(nullptr, -1, entry), kArchiveBadArguments);
  EXPECT_EQ(entry.index, 0);
  EXPECT_EQ(ExtractArchiveEntry(nullptr, 0, L"x"), kArchiveBadArguments);
  EXPECT_EQ(CloseArchive(nullptr), kArchiveBadArguments);
  EXPECT_TRUE(Tree(base_).empty());
}

TEST_F(ArchiveTest, StepsForwardRestartsForEarlierEntriesAndRepeatsTheLastOne) {
  ArchiveHandle h = Open({{"zero.srt", "0"}, {"one.srt", "11"}, {"two.srt", "222"}});
  ASSERT_NE(h, nullptr);
  ArchiveEntry entry;
  const int order[] = {2, 0, 1, 1, 2, 0};
  const wchar_t* names[] = {L"zero.srt", L"one.srt", L"two.srt"};
  for (int i : order) {
    ASSERT_EQ(GetArchiveEntry(h, i, entry), kArchiveOk);
    EXPECT_EQ(entry.index, i);
    EXPECT_EQ(entry.name, names[i]);
    EXPECT_EQ(entry.uncompressedSize, i + 1);
  }
  // Extraction moves the reader too; the entry read before stays right.
  EXPECT_EQ(ExtractArchiveEntry(h, 2, L"x.srt"), kArchiveOk);
  EXPECT_EQ(ExtractArchiveEntry(h, 0, L"y.srt"), kArchiveOk);
  EXPECT_EQ(ReadFile(base_ / "x.srt"), "222");
  EXPECT_EQ(ReadFile(base_ / "y.srt"), "0");
}

TEST_F(ArchiveTest, ReturnsDecodedRelativeNames) {
  const struct {
    const char* stored;
    const wchar_t* returned;
  } cases[] = {
      {"C:\\temp\\x.srt", L"temp\\x.srt"},
      {"/etc/../x.srt", L"x.srt"},
      {"a\\..\\b/../c.srt", L"c.srt"},
      {"sub/es.srt", L"sub/es.srt"},
      {"pel\xC3\xAD"
       "cula \xC3\xB1"
       "and\xC3\xBA.srt",
       L"película ñandú.srt"},
  };
  std::vector<ZipEntrySpec> entries;
  for (const auto& c : cases) entries.push_back({c.stored, "x"});
  ArchiveHandle h = Open(entries);
  ASSERT_NE(h, nullptr);
  for (size_t i = 0; i < std::size(cases); ++i) {
    ArchiveEntry entry;
    ASSERT_EQ(GetArchiveEntry(h, static_cast<int32_t>(i), entry), kArchiveOk);
    EXPECT_EQ(entry.name, cases[i].returned) << cases[i].stored;
  }
}

TEST_F(ArchiveTest, ExtractsIntoFoldersAndReplacesExistingFiles) {
  const std::string text = VariedText(50000);  // several buffers' worth
  ArchiveHandle h = Open({{"sub/es.srt", text},
                          {"sub/deeper/", "", kFixtureDosTime, 0, 0x10},
                          {"stored.srt", "kept as it is", kFixtureDosTime, 0, 0x20, "", 0}});
  ASSERT_NE(h, nullptr);
  ArchiveEntry entry;
  ASSERT_EQ(GetArchiveEntry(h, 0, entry), kArchiveOk);
  EXPECT_EQ(ExtractArchiveEntry(h, 0, entry.name), kArchiveOk);
  EXPECT_EQ(ReadFile(base_ / "sub" / "es.srt"), text);

  std::ofstream(base_ / "sub" / "es.srt") << "changed";
  EXPECT_EQ(ExtractArchiveEntry(h, 0, L"sub/es.srt"), kArchiveOk);
  EXPECT_EQ(ReadFile(base_ / "sub" / "es.srt"), text);

  // Backslashes separate folders as well.
  EXPECT_EQ(ExtractArchiveEntry(h, 0, L"other\\inner\\es.srt"), kArchiveOk);
  EXPECT_EQ(ReadFile(base_ / "other" / "inner" / "es.srt"), text);

  // A folder entry makes the folder only.
  EXPECT_EQ(ExtractArchiveEntry(h, 1, L"sub/deeper/"), kArchiveOk);
  EXPECT_TRUE(fs::is_directory(base_ / "sub" / "deeper"));
  EXPECT_TRUE(fs::is_empty(base_ / "sub" / "deeper"));

  EXPECT_EQ(ExtractArchiveEntry(h, 2, L"stored.srt"), kArchiveOk);
  EXPECT_EQ(ReadFile(base_ / "stored.srt"), "kept as it is");
  ExpectNothingOutsideBase();
}

TEST_F(ArchiveTest, KeepsTheBaseFolderOfTheOpen) {
  ArchiveHandle h = Open({{"es.srt", "text"}});
  ASSERT_NE(h, nullptr);
  fs::current_path(scratch_.path());
  EXPECT_EQ(ExtractArchiveEntry(h, 0, L"es.srt"), kArchiveOk);
  EXPECT_TRUE(fs::exists(base_ / "es.srt"));
  EXPECT_FALSE(fs::exists(scratch_.path() / "es.srt"));
}

TEST_F(ArchiveTest, RefusesNamesThatLeaveTheBaseOrReachDevicesAndWritesNothing) {
  const char* stored[] = {
      "../x.srt", "a/../../x.srt", "..\\x.srt",   "a\\..\\..\\x.srt", "a/..\\..\\..\\x.srt",
      "sub/..",   ".../x.srt",     "CON",         "nul.srt",          "sub/COM1.txt",
      "LPT9",     "a.srt:stream",  "sub/x:y.srt", "what?.srt",        "..",
      "../sub/",
  };
  std::vector<ZipEntrySpec> entries;
  for (const char* name : stored) entries.push_back({name, "escaped"});
  entries.push_back({"../sub/", "", kFixtureDosTime, 0, 0x10});
  ArchiveHandle h = Open(entries);
  ASSERT_NE(h, nullptr);
  for (size_t i = 0; i < entries.size(); ++i) {
    ArchiveEntry entry;
    ASSERT_EQ(GetArchiveEntry(h, static_cast<int32_t>(i), entry), kArchiveOk) << entries[i].name;
    EXPECT_EQ(ExtractArchiveEntry(h, static_cast<int32_t>(i), entry.name), kArchiveCannotOpen)
        << entries[i].name;
  }
  // Target names given by a caller meet the same rules.
  for (const wchar_t* target : {L"../evil.srt", L"sub/../../evil.srt", L"sub\\..\\..\\evil.srt",
                                L"AUX", L"x.srt:evil", L""}) {
    EXPECT_EQ(ExtractArchiveEntry(h, 0, target), kArchiveCannotOpen) << target;
  }
  EXPECT_TRUE(Tree(base_).empty());
  ExpectNothingOutsideBase();
}

TEST_F(ArchiveTest, RefusesNamesAndPathsLongerThanWindowsAllows) {
  const std::string longName = std::string(300, 'n') + ".srt";
  ArchiveHandle h = Open({{longName, "x"}, {"fits.srt", "x"}});
  ASSERT_NE(h, nullptr);
  ArchiveEntry entry;
  EXPECT_EQ(GetArchiveEntry(h, 0, entry), kArchiveCannotOpen);
  EXPECT_EQ(entry.name, L"");
  EXPECT_EQ(ExtractArchiveEntry(h, 0, std::wstring(longName.begin(), longName.end())),
            kArchiveCannotOpen);
  // The entry after it still reads.
  ASSERT_EQ(GetArchiveEntry(h, 1, entry), kArchiveOk);
  EXPECT_EQ(entry.name, L"fits.srt");
  // A name that fits alone but not under the base folder.
  const size_t room = kMaxPathLength - base_.wstring().size() - 1;
  EXPECT_EQ(ExtractArchiveEntry(h, 1, std::wstring(room + 1, L'n')), kArchiveCannotOpen);
  EXPECT_EQ(ExtractArchiveEntry(h, 1, std::wstring(room, L'n')), kArchiveOk);
  EXPECT_EQ(Tree(base_), (std::set<std::string>{std::string(room, 'n')}));
}

// A stored name is refused by its byte count before it is decoded. 777
// bytes is three per unit of the longest name; one byte more (a four-byte
// sequence, one unit where wchar_t has 32 bits) is refused even where the
// decoded name would still fit.
TEST_F(ArchiveTest, StoredNamesAreBoundedBeforeTheyAreDecoded) {
  ASSERT_EQ(kMaxStoredNameBytes, 777u);
  std::string euros;
  for (int i = 0; i < 259; ++i) euros += "\xE2\x82\xAC";
  std::string pastLimit = euros.substr(3) + "\xF0\x9F\x98\x80";
  ASSERT_EQ(euros.size(), kMaxStoredNameBytes);
  ASSERT_EQ(pastLimit.size(), kMaxStoredNameBytes + 1);
  ArchiveHandle h = Open({{euros, "x"}, {pastLimit, "x"}, {"after.srt", "x"}});
  ASSERT_NE(h, nullptr);
  ArchiveEntry entry;
  ASSERT_EQ(GetArchiveEntry(h, 0, entry), kArchiveOk);
  EXPECT_EQ(entry.name, std::wstring(259, L'\u20AC'));
  EXPECT_EQ(GetArchiveEntry(h, 1, entry), kArchiveCannotOpen);
  EXPECT_EQ(entry.name, L"");
  ASSERT_EQ(GetArchiveEntry(h, 2, entry), kArchiveOk);
  EXPECT_EQ(entry.name, L"after.srt");
}

// Entries of up to 16 MiB are extracted, 64 MiB in all from one archive;
// an entry past either limit is refused before its file is created, and
// what came before stays as written.
TEST_F(ArchiveTest, ExtractionIsBoundedPerEntryAndInAll) {
  ASSERT_EQ(kMaxEntryBytes, 16u << 20);
  ASSERT_EQ(kMaxExtractedBytes, 64u << 20);
  const std::string full(kMaxEntryBytes, '\0');
  const std::string tooLarge(kMaxEntryBytes + 1, '\0');
  ArchiveHandle h = Open({{"big.srt", tooLarge},
                          {"a.srt", full},
                          {"b.srt", full},
                          {"c.srt", full},
                          {"d.srt", full},
                          {"one.srt", "1"},
                          {"empty.srt", ""}});
  ASSERT_NE(h, nullptr);
  const struct {
    const wchar_t* name;
    uint32_t result;
  } steps[] = {
      {L"big.srt", kArchiveCannotOpen}, {L"a.srt", kArchiveOk},
      {L"b.srt", kArchiveOk},           {L"c.srt", kArchiveOk},
      {L"d.srt", kArchiveOk},  // 64 MiB now
      {L"one.srt", kArchiveCannotOpen}, {L"empty.srt", kArchiveOk},
  };
  for (int32_t i = 0; i < static_cast<int32_t>(std::size(steps)); ++i) {
    EXPECT_EQ(ExtractArchiveEntry(h, i, steps[i].name), steps[i].result) << i;
  }
  EXPECT_EQ(Tree(base_), (std::set<std::string>{"a.srt", "b.srt", "c.srt", "d.srt", "empty.srt"}));
  EXPECT_EQ(fs::file_size(base_ / "d.srt"), kMaxEntryBytes);
  // The bound belongs to the open archive: another open starts afresh.
  ArchiveHandle again = OpenArchive((scratch_.path() / "archive.zip").wstring());
  ASSERT_NE(again, nullptr);
  opened_.push_back(again);
  EXPECT_EQ(ExtractArchiveEntry(again, 5, L"one.srt"), kArchiveOk);
}

TEST_F(ArchiveTest, ReadOnlyEntryWritesAReadOnlyFileThatCannotBeReplaced) {
  ArchiveHandle h = Open({{"ro.srt", "locked", kFixtureDosTime, 0x0014, 0x21},
                          {"unix-ro.srt", "x", kFixtureDosTime, 0x0314, 0100444u << 16},
                          {"unix-rw.srt", "x", kFixtureDosTime, 0x0314, 0100644u << 16}});
  ASSERT_NE(h, nullptr);
  ArchiveEntry entry;
  ASSERT_EQ(GetArchiveEntry(h, 0, entry), kArchiveOk);
  EXPECT_EQ(entry.attributes, 0x21u);
  EXPECT_EQ(ExtractArchiveEntry(h, 0, L"ro.srt"), kArchiveOk);
  EXPECT_TRUE(IsReadOnly(base_ / "ro.srt"));
  EXPECT_EQ(ExtractArchiveEntry(h, 0, L"ro.srt"), kArchiveCannotOpen);
  EXPECT_EQ(ReadFile(base_ / "ro.srt"), "locked");

  ASSERT_EQ(GetArchiveEntry(h, 1, entry), kArchiveOk);
  EXPECT_EQ(entry.attributes, 0x21u);
  ASSERT_EQ(GetArchiveEntry(h, 2, entry), kArchiveOk);
  EXPECT_EQ(entry.attributes, 0x20u);
  EXPECT_EQ(ExtractArchiveEntry(h, 2, L"rw.srt"), kArchiveOk);
  EXPECT_FALSE(IsReadOnly(base_ / "rw.srt"));
}

TEST_F(ArchiveTest, TakesExtendedTimestampsFromTheLocalExtraField) {
  constexpr int64_t k1970 = 116444736000000000LL;
  ArchiveHandle h = Open({
      {"plain.srt", "x"},
      {"modified.srt", "x", kFixtureDosTime, 0, 0x20, ExtendedTimeBlock(0x01, {0})},
      {"after300.srt", "x", kFixtureDosTime, 0, 0x20,
       ExtraBlock(0x7777, std::string(300, 'p')) + ExtendedTimeBlock(0x07, {10, 20, 30})},
  });
  ASSERT_NE(h, nullptr);
  ArchiveEntry plain, modified, after300;
  ASSERT_EQ(GetArchiveEntry(h, 0, plain), kArchiveOk);
  ASSERT_EQ(GetArchiveEntry(h, 1, modified), kArchiveOk);
  ASSERT_EQ(GetArchiveEntry(h, 2, after300), kArchiveOk);

  EXPECT_EQ(plain.accessTime, plain.modificationTime);
  EXPECT_EQ(plain.creationTime, plain.modificationTime);
  EXPECT_EQ(modified.modificationTime, k1970);
  EXPECT_EQ(modified.accessTime, plain.accessTime);
  EXPECT_EQ(modified.creationTime, plain.creationTime);
  EXPECT_EQ(after300.modificationTime, k1970 + 10 * 10000000LL);
  EXPECT_EQ(after300.accessTime, k1970 + 20 * 10000000LL);
  EXPECT_EQ(after300.creationTime, k1970 + 30 * 10000000LL);
}

TEST_F(ArchiveTest, InvalidDosTimesGiveTheFirstDosMoment) {
  auto dos = [](int year, int month, int day, int hour, int minute, int second) {
    return (static_cast<uint32_t>(((year - 1980) << 9) | (month << 5) | day) << 16) |
           static_cast<uint32_t>((hour << 11) | (minute << 5) | (second / 2));
  };
  const uint32_t invalid[] = {dos(2021, 0, 4, 5, 6, 8), dos(2021, 2, 30, 5, 6, 8),
                              dos(2021, 3, 4, 24, 0, 0), dos(2021, 3, 4, 5, 6, 60)};
  std::vector<ZipEntrySpec> entries;
  for (uint32_t t : invalid) entries.push_back({"x.srt", "x", t});
  ArchiveHandle h = Open(entries);
  ASSERT_NE(h, nullptr);
  for (size_t i = 0; i < entries.size(); ++i) {
    ArchiveEntry entry;
    ASSERT_EQ(GetArchiveEntry(h, static_cast<int32_t>(i), entry), kArchiveOk);
    EXPECT_EQ(entry.modificationTime, kInvalidDosFileTime) << std::hex << invalid[i];
    EXPECT_EQ(entry.accessTime, kInvalidDosFileTime);
    EXPECT_EQ(entry.creationTime, kInvalidDosFileTime);
    EXPECT_EQ(ExtractArchiveEntry(h, static_cast<int32_t>(i), L"x.srt"), kArchiveOk);
  }
}

TEST_F(ArchiveTest, EmptyEntryIsAnEmptyFile) {
  ArchiveHandle h =
      Open({{"empty.srt", "", kFixtureDosTime, 0, 0x20, ExtendedTimeBlock(0x01, {1000000000})}});
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(ExtractArchiveEntry(h, 0, L"empty.srt"), kArchiveOk);
  ASSERT_TRUE(fs::is_regular_file(base_ / "empty.srt"));
  EXPECT_EQ(fs::file_size(base_ / "empty.srt"), 0u);
#ifndef _WIN32
  struct stat st {};
  ASSERT_EQ(stat((base_ / "empty.srt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtim.tv_sec, 1000000000);
#endif
}

TEST_F(ArchiveTest, OpensArchivesWithLongCommentsAndLeadingStubs) {
  ArchiveHandle withComment = Open(BuildZip({{"c.srt", "comment"}}, std::string(2000, 'c')));
  ASSERT_NE(withComment, nullptr);
  EXPECT_EQ(ExtractArchiveEntry(withComment, 0, L"c.srt"), kArchiveOk);
  EXPECT_EQ(ReadFile(base_ / "c.srt"), "comment");
  CloseArchive(withComment);  // Windows keeps an open archive from being rewritten
  opened_.clear();

  // Bytes before the archive proper, as a self-extracting program has.
  ArchiveHandle stubbed = Open("MZ" + std::string(5000, '\x90') + BuildZip({{"s.srt", "stub"}}));
  ASSERT_NE(stubbed, nullptr);
  EXPECT_EQ(ExtractArchiveEntry(stubbed, 0, L"s.srt"), kArchiveOk);
  EXPECT_EQ(ReadFile(base_ / "s.srt"), "stub");
}

TEST_F(ArchiveTest, WhatIsNoArchiveGivesTheNullHandle) {
  EXPECT_EQ(Open(std::string()), nullptr);
  EXPECT_EQ(Open("Just some text, not an archive.\r\n"), nullptr);
  std::string cut = BuildZip({{"a.srt", "a"}});
  cut.resize(cut.size() - 22);  // without its end record
  EXPECT_EQ(Open(cut), nullptr);
  EXPECT_EQ(OpenArchive((scratch_.path() / "missing.zip").wstring()), nullptr);
  // A comment longer than the search reaches hides the end record.
  std::string far = BuildZip({{"a.srt", "a"}});
  PutLE16(far, FindRecords(far).endRecord + 20, 0);
  EXPECT_EQ(Open(far + std::string(70000, ' ')), nullptr);
}

TEST_F(ArchiveTest, DamagedDataKeepsWhatWasInflatedBeforeTheDamage) {
  const std::string text = VariedText(40000);
  ZipEntrySpec damaged{"damaged.srt", ""};
  damaged.raw = DeflateThenDamage(text);
  ArchiveHandle h = Open({damaged});
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(ExtractArchiveEntry(h, 0, L"damaged.srt"), kArchiveDataFailed);
  const std::string written = ReadFile(base_ / "damaged.srt");
  EXPECT_FALSE(written.empty());
  EXPECT_LT(written.size(), text.size());
  EXPECT_EQ(written, text.substr(0, written.size()));
}

TEST_F(ArchiveTest, DataCutShortFails) {
  std::string zip = BuildZip({{"stored.srt", "0123456789", kFixtureDosTime, 0, 0x20, "", 0}});
  const ZipRecords records = FindRecords(zip);
  // Both headers claim more bytes than the whole file holds.
  for (size_t at : {records.central[0] + 20, records.central[0] + 24, records.local[0] + 18,
                    records.local[0] + 22}) {
    PutLE32(zip, at, 100000);
  }
  ArchiveHandle h = Open(zip);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(ExtractArchiveEntry(h, 0, L"stored.srt"), kArchiveDataFailed);
}

TEST_F(ArchiveTest, EncryptedEntriesFailTheirPasswordCheck) {
  ZipEntrySpec locked{"locked.srt", "secret"};
  locked.flags = 1;
  const std::string zip = BuildZip({locked, {"open.srt", "open"}});
  ArchiveHandle h = Open(zip);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(ExtractArchiveEntry(h, 0, L"locked.srt"), kArchivePassword);
  EXPECT_EQ(ReadFile(base_ / "locked.srt"), "");
  EXPECT_EQ(ExtractArchiveEntry(h, 1, L"open.srt"), kArchiveOk);

  ArchiveHandle withPassword = OpenArchive((scratch_.path() / "archive.zip").wstring(), "guess");
  ASSERT_NE(withPassword, nullptr);
  opened_.push_back(withPassword);
  EXPECT_EQ(ExtractArchiveEntry(withPassword, 0, L"locked2.srt"), kArchivePassword);
  EXPECT_EQ(ExtractArchiveEntry(withPassword, 1, L"open2.srt"), kArchiveOk);
}

TEST_F(ArchiveTest, HeaderDamageIsReportedPerEntry) {
  // Each case damages entry 1 of three; entries 0 and 2 stay readable.
  const struct {
    const char* what;
    void (*damage)(std::string&, const ZipRecords&);
    uint32_t result;
  } cases[] = {
      {"local signature", [](std::string& z, const ZipRecords& r) { z[r.local[1]] = 'X'; },
       kArchiveBadHeader},
      {"local method differs",
       [](std::string& z, const ZipRecords& r) { PutLE16(z, r.local[1] + 8, 0); },
       kArchiveBadHeader},
      {"local name length differs",
       [](std::string& z, const ZipRecords& r) { PutLE16(z, r.local[1] + 26, 3); },
       kArchiveBadHeader},
      {"method 12 in both headers",
       [](std::string& z, const ZipRecords& r) {
         PutLE16(z, r.local[1] + 8, 12);
         PutLE16(z, r.central[1] + 10, 12);
       },
       kArchiveBadHeader},
      {"method 99 in both headers",
       [](std::string& z, const ZipRecords& r) {
         PutLE16(z, r.local[1] + 8, 99);
         PutLE16(z, r.central[1] + 10, 99);
       },
       kArchiveBadHeader},
      {"local extra field past the end",
       [](std::string& z, const ZipRecords& r) { PutLE16(z, r.local[1] + 28, 0xFFFF); },
       kArchiveReadFailed},
  };
  for (const auto& c : cases) {
    std::string zip = BuildZip({{"a.srt", "a"}, {"b.srt", "b"}, {"c.srt", "c"}});
    c.damage(zip, FindRecords(zip));
    ArchiveHandle h = Open(zip);
    ASSERT_NE(h, nullptr) << c.what;
    ArchiveEntry entry;
    EXPECT_EQ(GetArchiveEntry(h, 1, entry), c.result) << c.what;
    EXPECT_EQ(entry.name, L"") << c.what;
    EXPECT_EQ(ExtractArchiveEntry(h, 1, L"b.srt"), c.result) << c.what;
    EXPECT_FALSE(fs::exists(base_ / "b.srt")) << c.what;
    EXPECT_EQ(ExtractArchiveEntry(h, 2, L"c.srt"), kArchiveOk) << c.what;
    EXPECT_EQ(ExtractArchiveEntry(h, 0, L"a.srt"), kArchiveOk) << c.what;
    CloseArchive(h);
    opened_.pop_back();
  }
}

TEST_F(ArchiveTest, DamagedCentralDirectoryFailsForLaterEntries) {
  std::string zip = BuildZip({{"a.srt", "a"}, {"b.srt", "b"}, {"c.srt", "c"}});
  zip[FindRecords(zip).central[1]] = 'X';
  ArchiveHandle h = Open(zip);
  ASSERT_NE(h, nullptr);
  ArchiveEntry entry;
  EXPECT_EQ(GetArchiveEntry(h, -1, entry), kArchiveOk);
  EXPECT_EQ(entry.index, 3);
  EXPECT_EQ(GetArchiveEntry(h, 2, entry), kArchiveReadFailed);
  EXPECT_EQ(GetArchiveEntry(h, 1, entry), kArchiveReadFailed);
  EXPECT_EQ(ExtractArchiveEntry(h, 2, L"c.srt"), kArchiveReadFailed);
  ASSERT_EQ(GetArchiveEntry(h, 0, entry), kArchiveOk);
  EXPECT_EQ(entry.name, L"a.srt");
  EXPECT_EQ(ExtractArchiveEntry(h, 0, L"a.srt"), kArchiveOk);
  EXPECT_EQ(GetArchiveEntry(h, 2, entry), kArchiveReadFailed);
  EXPECT_EQ(Tree(base_), (std::set<std::string>{"a.srt"}));
}

// File operations whose files refuse every write.
class RefusingWrites : public ForwardingFileOperations {
 public:
  std::unique_ptr<OutputFile> CreateOutput(const std::wstring& p, uint32_t a) override {
    struct Refusing : OutputFile {
      std::unique_ptr<OutputFile> inner;
      bool Write(const char*, size_t) override { return false; }
      bool SetTimes(int64_t, int64_t, int64_t) override { return true; }
    };
    auto out = std::make_unique<Refusing>();
    out->inner = real_.CreateOutput(p, a);
    if (!out->inner) return nullptr;
    return out;
  }
};

TEST_F(ArchiveTest, FailedWritesAreReported) {
  const fs::path zip = scratch_.Write("archive.zip", BuildZip({{"a.srt", "a"}, {"e.srt", ""}}));
  RefusingWrites files;
  ArchiveHandle h = OpenArchive(zip.wstring(), nullptr, files);
  ASSERT_NE(h, nullptr);
  opened_.push_back(h);
  EXPECT_EQ(ExtractArchiveEntry(h, 0, L"a.srt"), kArchiveWriteFailed);
  EXPECT_EQ(ExtractArchiveEntry(h, 1, L"e.srt"), kArchiveOk);  // nothing to write
}

#ifndef _WIN32
// The DOS time is local time: under a zone two hours east of UTC in summer,
// 12:00 on a July day is 10:00 UTC, and written as such on the file.
TEST_F(ArchiveTest, DosTimeIsLocalTimeConvertedToUtc) {
  const char* saved = std::getenv("TZ");
  const std::string savedZone = saved ? saved : "";
  setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
  tzset();
  const uint32_t july =
      (static_cast<uint32_t>(((2020 - 1980) << 9) | (7 << 5) | 1) << 16) | (12u << 11);
  const uint32_t january =
      (static_cast<uint32_t>(((2020 - 1980) << 9) | (1 << 5) | 1) << 16) | (12u << 11);
  ArchiveHandle h = Open({{"july.srt", "x", july}, {"january.srt", "x", january}});
  ASSERT_NE(h, nullptr);
  ArchiveEntry summer, winter;
  ASSERT_EQ(GetArchiveEntry(h, 0, summer), kArchiveOk);
  ASSERT_EQ(GetArchiveEntry(h, 1, winter), kArchiveOk);
  EXPECT_EQ(ExtractArchiveEntry(h, 0, L"july.srt"), kArchiveOk);
  if (saved)
    setenv("TZ", savedZone.c_str(), 1);
  else
    unsetenv("TZ");
  tzset();

  EXPECT_EQ(summer.modificationTime, UnixSecondsToFileTime(1593597600));  // 2020-07-01 10:00 UTC
  EXPECT_EQ(winter.modificationTime, UnixSecondsToFileTime(1577876400));  // 2020-01-01 11:00 UTC
  struct stat st {};
  ASSERT_EQ(stat((base_ / "july.srt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtim.tv_sec, 1593597600);
  EXPECT_EQ(st.st_atim.tv_sec, 1593597600);
}
#endif

}  // namespace
