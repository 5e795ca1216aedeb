#include "base64.h"

#include <gtest/gtest.h>

namespace {

struct CodecCase {
  std::string bytes;
  std::string text;
};

TEST(Base64, EncodesWithFillAndDecodesBack) {
  const CodecCase cases[] = {
      {"", ""},
      {"a", "YQ=="},
      {"ab", "YWI="},
      {"abc", "YWJj"},
      {"0123456789abcdef", "MDEyMzQ1Njc4OWFiY2RlZg=="},
      {std::string("\x00\xff\xfe\x80", 4), "AP/+gA=="},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(EncodeBase64(c.bytes), c.text) << c.bytes;
    EXPECT_EQ(DecodeBase64(c.text), c.bytes) << c.text;
  }
}

TEST(Base64, DecodingStopsAtFillOrOutsiderAndKeepsPartialGroups) {
  const CodecCase cases[] = {
      {"ab", "YWI"},        // no fill
      {"a", "YQ"},
      {"", "Y"},            // one character gives nothing
      {"a", "YW Jj"},       // stops at the space
      {"abc", "YWJj=YWJj"}, // nothing after "=" counts
      {"", "=YWJj"},
      {"", "*"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DecodeBase64(c.text), c.bytes) << c.text;
  }
}

TEST(Base64, EveryByteValueSurvivesTheRoundTrip) {
  std::string all;
  for (int i = 0; i < 256; ++i) all.push_back(static_cast<char>(i));
  for (size_t length = 0; length <= all.size(); length += 37) {
    const std::string bytes = all.substr(0, length);
    EXPECT_EQ(DecodeBase64(EncodeBase64(bytes)), bytes);
  }
}

}  // namespace
