#pragma once

#include <windows.h>
#include <objidl.h>

#include <utility>

#include "unique_resource.h"

// Owners for the resources the extension's COM objects hold, one type per
// kind of handle, all move-only.

struct BitmapTraits {
  using Type = HBITMAP;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { DeleteObject(h); }
};

struct MenuTraits {
  using Type = HMENU;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { DestroyMenu(h); }
};

struct RegistryKeyTraits {
  using Type = HKEY;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { RegCloseKey(h); }
};

using UniqueBitmap = UniqueResource<BitmapTraits>;
using UniqueMenu = UniqueResource<MenuTraits>;
using UniqueRegistryKey = UniqueResource<RegistryKeyTraits>;

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

// One reference to a COM object, released when the owner goes away.
template <typename Interface>
class ComPtr {
 public:
  ComPtr() = default;
  ~ComPtr() { reset(); }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ComPtr(ComPtr&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) {
      reset();
      object_ = std::exchange(other.object_, nullptr);
    }
    return *this;
  }

  Interface* get() const { return object_; }
  Interface* operator->() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }

  void reset() {
    if (Interface* old = std::exchange(object_, nullptr)) old->Release();
  }
  // Releases what is held and hands out the slot for a call to fill.
  Interface** put() {
    reset();
    return &object_;
  }
  void** put_void() { return reinterpret_cast<void**>(put()); }

 private:
  Interface* object_ = nullptr;
};
