#include "base64.h"

namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Index of c in the alphabet, or -1 when c is not one of its characters.
int AlphabetIndex(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

void AppendDecodedGroup(const int (&group)[4], size_t count, std::string& out) {
  const unsigned char bytes[3] = {
      static_cast<unsigned char>((group[0] << 2) | ((group[1] >> 4) & 3)),
      static_cast<unsigned char>(((group[1] << 4) | ((group[2] >> 2) & 15)) & 255),
      static_cast<unsigned char>(((group[2] << 6) | group[3]) & 255),
  };
  out.append(reinterpret_cast<const char*>(bytes), count);
}

}  // namespace

std::string EncodeBase64(const std::string& bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (size_t i = 0; i < bytes.size(); i += 3) {
    const size_t remaining = bytes.size() - i;
    const unsigned b0 = static_cast<unsigned char>(bytes[i]);
    const unsigned b1 = remaining > 1 ? static_cast<unsigned char>(bytes[i + 1]) : 0;
    const unsigned b2 = remaining > 2 ? static_cast<unsigned char>(bytes[i + 2]) : 0;
    const char group[4] = {
        kAlphabet[b0 >> 2],
        kAlphabet[((b0 & 3) << 4) | (b1 >> 4)],
        kAlphabet[((b1 & 15) << 2) | (b2 >> 6)],
        kAlphabet[b2 & 63],
    };
    const size_t kept = remaining >= 3 ? 4 : remaining + 1;
    out.append(group, kept);
    out.append(4 - kept, '=');
  }
  return out;
}

std::string DecodeBase64(const std::string& text) {
  std::string out;
  out.reserve(text.size() / 4 * 3 + 2);
  int group[4] = {0, 0, 0, 0};
  size_t count = 0;
  for (char c : text) {
    const int index = AlphabetIndex(c);
    if (index < 0) break;  // "=" and every other outsider end the text
    group[count++] = index;
    if (count == 4) {
      AppendDecodedGroup(group, 3, out);
      count = 0;
    }
  }
  if (count > 0) {
    for (size_t i = count; i < 4; ++i) group[i] = 0;
    AppendDecodedGroup(group, count - 1, out);
  }
  return out;
}
