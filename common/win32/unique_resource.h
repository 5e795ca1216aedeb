#pragma once

#include <windows.h>

#include <utility>

// Move-only owner of one Win32 resource, closed by its traits when the owner
// goes away. One alias per kind of handle, so a file handle (invalid value
// INVALID_HANDLE_VALUE) is never mistaken for a process handle (invalid value
// null).
template <typename Traits>
class UniqueResource {
 public:
  using Type = typename Traits::Type;

  UniqueResource() = default;
  explicit UniqueResource(Type value) : value_(value) {}
  ~UniqueResource() { reset(); }

  UniqueResource(const UniqueResource&) = delete;
  UniqueResource& operator=(const UniqueResource&) = delete;
  UniqueResource(UniqueResource&& other) noexcept : value_(other.release()) {}
  UniqueResource& operator=(UniqueResource&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }

  Type get() const { return value_; }
  explicit operator bool() const { return value_ != Traits::Invalid(); }

  void reset(Type value = Traits::Invalid()) {
    Type old = std::exchange(value_, value);
    if (old != Traits::Invalid()) Traits::Close(old);
  }
  Type release() { return std::exchange(value_, Traits::Invalid()); }
  // Closes what is held and hands out the slot for an API to fill.
  Type* put() {
    reset();
    return &value_;
  }

 private:
  Type value_ = Traits::Invalid();
};

struct FileHandleTraits {
  using Type = HANDLE;
  static Type Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Type h) { CloseHandle(h); }
};

struct KernelHandleTraits {
  using Type = HANDLE;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { CloseHandle(h); }
};

using UniqueFile = UniqueResource<FileHandleTraits>;      // from CreateFileW
using UniqueHandle = UniqueResource<KernelHandleTraits>;  // processes, threads, events

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

struct FontTraits {
  using Type = HFONT;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { DeleteObject(h); }
};

struct BrushTraits {
  using Type = HBRUSH;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { DeleteObject(h); }
};

struct IconTraits {
  using Type = HICON;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { DestroyIcon(h); }
};

using UniqueFont = UniqueResource<FontTraits>;
using UniqueBrush = UniqueResource<BrushTraits>;
using UniqueIcon = UniqueResource<IconTraits>;
