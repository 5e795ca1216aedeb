#include "jpeg_picture.h"

#include <objidl.h>
#include <ocidl.h>
#include <olectl.h>

#include <cstring>

#include "com_ptr.h"

UniqueBitmap DecodeJpeg(const std::string& bytes) {
  // The picture loader also takes bitmaps, icons and metafiles; only a JPEG
  // stream (it starts with the SOI marker and another marker) is a poster.
  if (bytes.size() < 4 || static_cast<unsigned char>(bytes[0]) != 0xFF ||
      static_cast<unsigned char>(bytes[1]) != 0xD8 || static_cast<unsigned char>(bytes[2]) != 0xFF) {
    return {};
  }
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
  if (!memory) return {};
  std::memcpy(GlobalLock(memory), bytes.data(), bytes.size());
  GlobalUnlock(memory);

  ComPtr<IStream> stream;
  if (FAILED(CreateStreamOnHGlobal(memory, TRUE, stream.put()))) {
    GlobalFree(memory);
    return {};
  }
  ComPtr<IPicture> picture;
  if (FAILED(OleLoadPicture(stream.get(), static_cast<LONG>(bytes.size()), FALSE, IID_IPicture,
                            picture.put_void()))) {
    return {};
  }
  SHORT type = PICTYPE_NONE;
  OLE_HANDLE handle = 0;
  if (FAILED(picture->get_Type(&type)) || type != PICTYPE_BITMAP ||
      FAILED(picture->get_Handle(&handle))) {
    return {};
  }
  // The picture owns its bitmap; hand out a copy that outlives it.
  return UniqueBitmap(static_cast<HBITMAP>(
      CopyImage(reinterpret_cast<HBITMAP>(static_cast<UINT_PTR>(handle)), IMAGE_BITMAP, 0, 0,
                LR_CREATEDIBSECTION)));
}
