#pragma once

#include <memory>
#include <string>

#include "file_operations.h"

// A file system for the reply fuzzer that keeps nothing: every file can be
// created and written, and none is ever found again, so a download is taken
// in and the placing that follows finds no archive to unpack (the archive
// fuzzer covers that).
class MemoryFileOperations : public FileOperations {
 public:
  std::wstring CurrentFolder() override { return L"C:\\"; }
  bool ChangeCurrentFolder(const std::wstring&) override { return true; }
  bool IsFile(const std::wstring&) override { return false; }
  bool Exists(const std::wstring&) override { return false; }
  bool MakeFolder(const std::wstring&) override { return true; }
  bool CopyNew(const std::wstring&, const std::wstring&) override { return false; }
  bool RemoveFile(const std::wstring&) override { return true; }
  bool RemoveFolderTree(const std::wstring&) override { return true; }
  std::unique_ptr<OutputFile> CreateOutput(const std::wstring&, uint32_t) override {
    return std::make_unique<Output>();
  }
  std::unique_ptr<ArchiveStream> CreateArchiveStream(const std::wstring&) override {
    return std::make_unique<Stream>();
  }
  void* OpenZipReader(const std::wstring&) override { return nullptr; }
  bool LocalTimeToUtc(const CalendarTime&, int64_t&) override { return false; }

 private:
  class Output : public OutputFile {
   public:
    bool Write(const char*, size_t) override { return true; }
    bool SetTimes(int64_t, int64_t, int64_t) override { return true; }
  };
  class Stream : public ArchiveStream {
   public:
    bool Write(const char*, size_t) override { return open_; }
    void Close() override { open_ = false; }
    bool IsOpen() const override { return open_; }

   private:
    bool open_ = true;
  };
};
