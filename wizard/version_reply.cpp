#include "version_reply.h"

namespace {

bool StartsWithIgnoringCase(const std::wstring& text, const std::wstring& prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    wchar_t c = text[i];
    if (c >= L'A' && c <= L'Z') c = c - L'A' + L'a';
    if (c != prefix[i]) return false;
  }
  return true;
}

}  // namespace

bool IsNewVersionAddress(const std::wstring& reply) {
  for (const wchar_t* scheme : {L"http://", L"https://"}) {
    const std::wstring prefix = scheme;
    if (StartsWithIgnoringCase(reply, prefix) && reply.size() > prefix.size()) return true;
  }
  return false;
}
