#include "video_extensions.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

TEST(VideoExtensions, HoldsTheSeventySevenLowerCaseEntriesInOrder) {
  ASSERT_EQ(VideoExtensions.size(), 77u);
  EXPECT_EQ(VideoExtensions.front(), "3g2");
  EXPECT_EQ(VideoExtensions[9], "avi");
  EXPECT_EQ(VideoExtensions[18], "dvr-ms");
  EXPECT_EQ(VideoExtensions.back(), "xvid");
  std::set<std::string_view> distinct;
  for (const std::string_view entry : VideoExtensions) {
    EXPECT_FALSE(entry.empty());
    EXPECT_EQ(entry.find('.'), std::string_view::npos) << entry;
    for (const char c : entry) EXPECT_FALSE(c >= 'A' && c <= 'Z') << entry;
    distinct.insert(entry);
  }
  EXPECT_EQ(distinct.size(), 77u);
}

TEST(VideoExtensions, EveryEntryIsRecognisedInAnyAsciiCase) {
  for (const std::string_view entry : VideoExtensions) {
    std::wstring lower = L"C:\\Films\\clip.";
    std::wstring upper = lower;
    for (const char c : entry) {
      lower.push_back(static_cast<wchar_t>(c));
      upper.push_back(static_cast<wchar_t>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c));
    }
    EXPECT_TRUE(HasVideoExtension(lower)) << entry;
    EXPECT_TRUE(HasVideoExtension(upper)) << entry;
  }
}

TEST(HasVideoExtension, DecidesByTheTextAfterTheLastDot) {
  const struct {
    const wchar_t* path;
    bool video;
  } cases[] = {
      {L"C:\\Films\\MOVIE.MKV", true},
      {L"C:\\Films\\Movie.Mp4", true},
      {L"C:\\Films\\a.b.c.avi", true},
      {L"C:\\My Videos\\a b.avi", true},
      {L"C:\\Películas\\x.avi", true},
      {L"C:\\Films\\.avi", true},
      {L"C:\\Films\\clip.DVR-MS", true},
      {L"C:\\Films\\movie.mkv.part", false},
      {L"C:\\Films\\movie", false},
      {L"C:\\Films.avi\\readme", false},  // the extension is "avi\readme"
      {L"C:\\Films\\movie.", false},
      {L"C:\\Films\\movie.avi ", false},
      {L"C:\\Films\\movie.avix", false},
      {L"C:\\Films\\movie.av", false},
      {L"C:\\Films\\movie.txt", false},
      {L"C:\\Films\\movie.\u00C1VI", false},  // only A-Z are folded
      {L"", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(HasVideoExtension(c.path), c.video) << std::string(c.path, c.path + wcslen(c.path));
  }
}
