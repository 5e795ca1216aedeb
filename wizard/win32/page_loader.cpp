#include "page_loader.h"

#include <windows.h>

#include <memory>

#include "memory_reply_sink.h"
#include "winhttp_client.h"

namespace {

DWORD WINAPI LoadPage(void* parameter) {
  std::unique_ptr<std::string> url(static_cast<std::string*>(parameter));
  try {
    WinHttpClient client(PosterClientSettings());
    MemoryReplySink page;
    client.Get(*url, page);
  } catch (...) {
    // A page that cannot be loaded is nobody's concern.
  }
  return 0;
}

}  // namespace

void LoadPageInBackground(const std::string& url) {
  auto* copy = new std::string(url);
  HANDLE thread = CreateThread(nullptr, 0, LoadPage, copy, 0, nullptr);
  if (thread) {
    CloseHandle(thread);
  } else {
    delete copy;
  }
}
