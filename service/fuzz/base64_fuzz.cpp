// Fuzz target: arbitrary bytes as a Base64 value of a reply, and as bytes
// to encode. Checks the codec's promises:
// - decoding reads the text up to its first character outside the alphabet
//   and gives 3 bytes per 4 characters, k - 1 for a last group of k;
// - what it decodes encodes to text of the alphabet and "=" fill that
//   decodes back to the same bytes;
// - any bytes encode and decode back to themselves.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base64.h"

namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

void Require(bool holds, const char* what) {
  if (!holds) {
    std::fprintf(stderr, "does not hold: %s\n", what);
    std::abort();
  }
}

bool InAlphabet(char c) { return c != '\0' && std::strchr(kAlphabet, c) != nullptr; }

void CheckEncoded(const std::string& bytes, const std::string& text) {
  Require(text.size() == (bytes.size() + 2) / 3 * 4, "4 characters per 3 bytes, filled");
  const size_t fill = (3 - bytes.size() % 3) % 3;
  for (size_t i = 0; i < text.size(); ++i) {
    Require(i < text.size() - fill ? InAlphabet(text[i]) : text[i] == '=',
            "alphabet, then \"=\" fill");
  }
  Require(DecodeBase64(text) == bytes, "what is encoded decodes back");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);

  const std::string decoded = DecodeBase64(input);
  size_t read = 0;
  while (read < input.size() && InAlphabet(input[read])) ++read;
  Require(decoded.size() == read / 4 * 3 + (read % 4 > 0 ? read % 4 - 1 : 0),
          "3 bytes per group of 4, k - 1 for a last group of k");
  Require(DecodeBase64(input.substr(0, read)) == decoded, "decoding stops at the first outsider");
  CheckEncoded(decoded, EncodeBase64(decoded));

  CheckEncoded(input, EncodeBase64(input));
  return 0;
}
