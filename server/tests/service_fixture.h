#pragma once

#include <httplib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "archive.h"
#include "base64.h"
#include "file_fingerprint.h"
#include "sample_library.h"
#include "store_backends.h"
#include "subtitle_service.h"
#include "subtitle_store.h"
#include "temp_folder.h"
#include "text_forms.h"
#include "video_fingerprint.h"

// A fresh library with the sample films in a new database of the backend,
// served on free loopback ports.
class ServiceFixture {
 public:
  explicit ServiceFixture(Backend backend, ServiceOptions options = {}) {
    store = OpenStore(NewDatabase(backend, folder.path()));
    MakeSampleLibrary(*store, folder.path() / "samples");
    options.port = 0;
    options.imagePort = 0;
    service = std::make_unique<SubtitleService>(*store, options);
    service->Bind();
    service->Start();
  }

  std::unique_ptr<httplib::Client> Client(bool images = false) const {
    auto client = std::make_unique<httplib::Client>(
        "127.0.0.1", images ? service->imagePort() : service->port());
    client->set_read_timeout(30, 0);
    return client;
  }

  // POSTs a body as the wizard does: the text as ANSI bytes, form content type.
  httplib::Result Post(const std::string& path, const std::wstring& body) const {
    return PostBytes(path, TextToWindows1252(body));
  }
  httplib::Result PostBytes(const std::string& path, const std::string& bytes) const {
    return Client()->Post(path.c_str(), bytes, "application/x-www-form-urlencoded");
  }

  // The `encoded fingerprint` of sample video `index`, as the wizard sends it.
  std::string EncodedFingerprint(int index) const {
    return EncodeBase64(FormatFingerprintText(
        FingerprintOfFile(folder.path() / "samples" / kSampleVideoNames[index])));
  }

  TempFolder folder;
  std::unique_ptr<SubtitleStore> store;
  std::unique_ptr<SubtitleService> service;
};

// The entries of an archive as the wizard's own extraction writes them:
// name and bytes, in archive order. Empty when the archive does not open.
inline std::vector<std::pair<std::string, std::string>> Unpack(const std::string& archive) {
  namespace fs = std::filesystem;
  TempFolder scratch;
  const fs::path zip = scratch.Write("subtitles.zip", archive);
  const fs::path saved = fs::current_path();
  fs::current_path(scratch.path());
  std::vector<std::pair<std::string, std::string>> entries;
  ArchiveHandle handle = OpenArchive(zip.wstring());
  ArchiveEntry count;
  if (handle && GetArchiveEntry(handle, -1, count) == kArchiveOk) {
    for (int32_t i = 0; i < count.index; ++i) {
      ArchiveEntry entry;
      GetArchiveEntry(handle, i, entry);
      ExtractArchiveEntry(handle, i, entry.name);
      std::ifstream in(scratch.path() / entry.name, std::ios::binary);
      entries.emplace_back(fs::path(entry.name).string(),
                           std::string(std::istreambuf_iterator<char>(in), {}));
    }
    CloseArchive(handle);
  }
  fs::current_path(saved);
  return entries;
}
