#include "menu_bitmap.h"

#include "module_state.h"

namespace {

// Written only through interlocked exchanges: two threads that load the
// flag at once keep the first and delete the second.
void* menuBitmap = nullptr;

}  // namespace

HBITMAP MenuBitmap() {
  if (void* loaded = InterlockedCompareExchangePointer(&menuBitmap, nullptr, nullptr)) {
    return static_cast<HBITMAP>(loaded);
  }
  HBITMAP fresh = static_cast<HBITMAP>(LoadImageW(
      ModuleInstance, MAKEINTRESOURCEW(kMenuBitmapResource), IMAGE_BITMAP, 0, 0, LR_DEFAULTSIZE));
  if (!fresh) return nullptr;
  if (void* earlier = InterlockedCompareExchangePointer(&menuBitmap, fresh, nullptr)) {
    DeleteObject(fresh);
    return static_cast<HBITMAP>(earlier);
  }
  return fresh;
}

void ReleaseMenuBitmap() {
  if (void* loaded = InterlockedExchangePointer(&menuBitmap, nullptr)) {
    DeleteObject(static_cast<HBITMAP>(loaded));
  }
}
