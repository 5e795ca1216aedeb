#include "version_reply.h"

#include <gtest/gtest.h>

namespace {

TEST(IsNewVersionAddress, OnlyWebAddressesNameANewVersion) {
  struct Case {
    std::wstring reply;
    bool isAddress;
  } cases[] = {
      {L"http://example.test/setup.exe", true},
      {L"https://example.test/", true},
      {L"HTTP://EXAMPLE.TEST/x", true},
      {L"", false},
      {L"\n", false},
      {L"http://", false},
      {L"C:\\Windows\\System32\\calc.exe", false},
      {L"\\\\server\\share\\setup.exe", false},
      {L"file:///C:/setup.exe", false},
      {L"ftp://example.test/setup.exe", false},
      {L" http://example.test/", false},
      {L"javascript:alert(1)", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsNewVersionAddress(c.reply), c.isAddress) << c.reply.size();
}

}  // namespace
