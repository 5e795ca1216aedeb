#pragma once

#include "file_operations.h"

// The platform's file operations, passed through; tests override the one
// operation whose failure they are about.
class ForwardingFileOperations : public FileOperations {
 public:
  std::wstring CurrentFolder() override { return real_.CurrentFolder(); }
  bool ChangeCurrentFolder(const std::wstring& p) override { return real_.ChangeCurrentFolder(p); }
  bool IsFile(const std::wstring& p) override { return real_.IsFile(p); }
  bool Exists(const std::wstring& p) override { return real_.Exists(p); }
  bool MakeFolder(const std::wstring& p) override { return real_.MakeFolder(p); }
  bool CopyNew(const std::wstring& f, const std::wstring& t) override {
    return real_.CopyNew(f, t);
  }
  bool RemoveFile(const std::wstring& p) override { return real_.RemoveFile(p); }
  bool RemoveFolderTree(const std::wstring& p) override { return real_.RemoveFolderTree(p); }
  std::unique_ptr<OutputFile> CreateOutput(const std::wstring& p, uint32_t a) override {
    return real_.CreateOutput(p, a);
  }
  std::unique_ptr<ArchiveStream> CreateArchiveStream(const std::wstring& p) override {
    return real_.CreateArchiveStream(p);
  }
  void* OpenZipReader(const std::wstring& p) override { return real_.OpenZipReader(p); }
  bool LocalTimeToUtc(const CalendarTime& l, int64_t& t) override {
    return real_.LocalTimeToUtc(l, t);
  }

 protected:
  FileOperations& real_ = PlatformFileOperations();
};
