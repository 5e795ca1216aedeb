#pragma once

#include <windows.h>
#include <objidl.h>

#include "com_ptr.h"
#include "unique_resource.h"

// Owners for the shell's data-transfer resources the extension's COM objects
// hold; handles and COM references have their owners in common/win32.

// Keeps a global memory block locked while it is read.
class GlobalLockGuard {
 public:
  explicit GlobalLockGuard(HGLOBAL memory)
      : memory_(memory), data_(memory ? GlobalLock(memory) : nullptr) {}
  ~GlobalLockGuard() {
    if (data_) GlobalUnlock(memory_);
  }
  GlobalLockGuard(const GlobalLockGuard&) = delete;
  GlobalLockGuard& operator=(const GlobalLockGuard&) = delete;

  void* data() const { return data_; }

 private:
  HGLOBAL memory_;
  void* data_;
};

// A storage medium filled by IDataObject::GetData, released with it.
class StorageMedium {
 public:
  StorageMedium() = default;
  ~StorageMedium() { reset(); }
  StorageMedium(const StorageMedium&) = delete;
  StorageMedium& operator=(const StorageMedium&) = delete;

  const STGMEDIUM& get() const { return medium_; }
  // Releases what is held and hands out the structure for GetData to fill.
  STGMEDIUM* put() {
    reset();
    return &medium_;
  }
  void reset() {
    if (medium_.tymed != TYMED_NULL) ReleaseStgMedium(&medium_);
    medium_ = STGMEDIUM{};
  }

 private:
  STGMEDIUM medium_{};  // tymed TYMED_NULL (0): nothing held
};
