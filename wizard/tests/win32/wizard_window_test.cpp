#include "wizard_window.h"

#include <commctrl.h>
#include <objbase.h>
#include <float.h>
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "system_platform.h"

namespace {

struct CountingEvents : WizardEvents {
  void NotebookPageChanged() override { ++pageChanges; }
  void BtnProximoClick() override { ++clicks; }
  void FormClose() override { ++closes; }
  void ChckBxPosterClick() override { ++posterClicks; }
  int pageChanges = 0, clicks = 0, closes = 0, posterClicks = 0;
};

RECT PlaceIn(HWND control, HWND container) {
  RECT rect;
  GetWindowRect(control, &rect);
  MapWindowPoints(HWND_DESKTOP, container, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

RECT PlaceInParent(HWND control) { return PlaceIn(control, GetParent(control)); }

std::wstring Text(HWND window) {
  wchar_t buffer[256] = {};
  GetWindowTextW(window, buffer, 256);
  return buffer;
}

class WizardWindowTest : public ::testing::Test {
 protected:
  WizardWindow window{GetModuleHandleW(nullptr)};
};

TEST_F(WizardWindowTest, IsAHiddenFixedDialogOfTheDesignedSize) {
  HWND handle = window.Handle();
  EXPECT_FALSE(IsWindowVisible(handle));
  RECT client;
  GetClientRect(handle, &client);
  EXPECT_EQ(client.right, 794);
  EXPECT_EQ(client.bottom, 450);
  const LONG style = GetWindowLongW(handle, GWL_STYLE);
  EXPECT_TRUE(style & WS_SYSMENU);
  EXPECT_FALSE(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME));
  EXPECT_EQ(Text(handle), L"Morvane");
  // Centred on the desktop.
  RECT frame;
  GetWindowRect(handle, &frame);
  EXPECT_NEAR((frame.left + frame.right) / 2, GetSystemMetrics(SM_CXSCREEN) / 2, 1);
  EXPECT_NEAR((frame.top + frame.bottom) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 1);
}

TEST_F(WizardWindowTest, ControlsStandAtTheirPlacesWithTheirTexts) {
  struct Case {
    ControlId id;
    RECT place;  // left, top, right, bottom in the parent
    const wchar_t* text;
    bool visible;
  } cases[] = {
      {kImgPoster, {17, 17, 145, 215}, L"", true},
      {kBtnProximo, {676, 413, 776, 438}, nullptr, true},
      {kLblMovieName, {19, 25, 609, 73}, nullptr, true},
      {kGrpBxAvancado, {19, 79, 609, 329}, L"Subtítulos encontrados ordenados por número de usos",
       false},
      {kPrgrBrDownloadFile, {33, 68, 593, 95}, L"", true},
      {kWbBrwsrSocial, {700, 352, 1126, 576}, L"", true},
  };
  for (const auto& c : cases) {
    HWND control = window.Control(c.id);
    ASSERT_TRUE(control) << c.id;
    const RECT place = PlaceInParent(control);
    EXPECT_EQ(place.left, c.place.left) << c.id;
    EXPECT_EQ(place.top, c.place.top) << c.id;
    EXPECT_EQ(place.right, c.place.right) << c.id;
    EXPECT_EQ(place.bottom, c.place.bottom) << c.id;
    if (c.text) {
      EXPECT_EQ(Text(control), c.text) << c.id;
    }
    EXPECT_EQ((GetWindowLongW(control, GWL_STYLE) & WS_VISIBLE) != 0, c.visible) << c.id;
  }
  // The poster checkbox is at least as wide as designed, and wide enough
  // for its whole caption.
  HWND poster = window.Control(kChckBxPoster);
  const RECT posterPlace = PlaceInParent(poster);
  EXPECT_EQ(posterPlace.left, 17);
  EXPECT_EQ(posterPlace.top, 222);
  EXPECT_EQ(posterPlace.bottom, 239);
  EXPECT_EQ(Text(poster), L"Descargar Póster");
  EXPECT_FALSE(GetWindowLongW(poster, GWL_STYLE) & WS_VISIBLE);
  HDC dc = GetDC(poster);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(poster, WM_GETFONT, 0, 0)));
  SIZE text{};
  GetTextExtentPoint32W(dc, L"Descargar Póster", 16, &text);
  SelectObject(dc, old);
  ReleaseDC(poster, dc);
  EXPECT_GE(posterPlace.right - posterPlace.left, 97);
  EXPECT_GE(posterPlace.right - posterPlace.left, text.cx + GetSystemMetrics(SM_CXMENUCHECK));

  // Labels sized to their texts, at their places.
  struct Label {
    ControlId id;
    int page, left, top;
    const wchar_t* text;
  } labels[] = {
      {kLblStatus, kPageDownload, 33, 27, L"Descargar mejores subtítulos"},
      {kLabel4, kPageDownload, 33, 51, L"Por favor, espere la descarga del subtítulos"},
      {kLabel3, kPageFinish, 35, 27, L"Proceso terminado"},
      {kImage1, kPageFinish, 35, 56, L""},
      {kLabel5, kPageFinish, 57, 56, L"¡Obrigado por la confianza!"},
  };
  for (const auto& l : labels) {
    HWND control = window.Control(l.id);
    ASSERT_TRUE(control) << l.id;
    EXPECT_EQ(GetParent(control), window.Page(l.page)) << l.id;
    const RECT place = PlaceInParent(control);
    EXPECT_EQ(place.left, l.left) << l.id;
    EXPECT_EQ(place.top, l.top) << l.id;
    EXPECT_GT(place.right - place.left, 0) << l.id;
    EXPECT_EQ(Text(control), l.text) << l.id;
  }
  // The notebook's pages fill the area right of the poster panel.
  for (int page = 0; page < 3; ++page) {
    const RECT place = PlaceInParent(window.Page(page));
    EXPECT_EQ(place.left, 165);
    EXPECT_EQ(place.top, 0);
    EXPECT_EQ(place.right, 794);
    EXPECT_EQ(place.bottom, 402);
  }
}

TEST_F(WizardWindowTest, PagesChangeOnlyOnAnActualChange) {
  CountingEvents events;
  window.SetEvents(&events);
  EXPECT_EQ(window.ActivePage(), kPageFinish);  // the design page
  window.SelectPage(kPageDefault);
  EXPECT_EQ(events.pageChanges, 1);
  window.SelectPage(kPageDefault);
  window.SelectPage(3);
  window.SelectPage(-1);
  EXPECT_EQ(events.pageChanges, 1);
  EXPECT_EQ(window.ActivePage(), kPageDefault);
  for (int page = 0; page < 3; ++page) {
    EXPECT_EQ(IsWindowVisible(window.Page(page)) || (GetWindowLongW(window.Page(page), GWL_STYLE) & WS_VISIBLE),
              page == kPageDefault);
  }
  window.SelectPage(kPageDownload);
  EXPECT_EQ(events.pageChanges, 2);
  EXPECT_TRUE(GetWindowLongW(window.Page(kPageDownload), GWL_STYLE) & WS_VISIBLE);
  EXPECT_FALSE(GetWindowLongW(window.Page(kPageDefault), GWL_STYLE) & WS_VISIBLE);
}

TEST_F(WizardWindowTest, NextButtonAndCloseBoxReachTheHandlers) {
  CountingEvents events;
  window.SetEvents(&events);
  SendMessageW(window.Control(kBtnProximo), BM_CLICK, 0, 0);
  SendMessageW(window.Handle(), WM_CLOSE, 0, 0);
  EXPECT_EQ(events.clicks, 1);
  EXPECT_EQ(events.closes, 1);
  EXPECT_TRUE(IsWindow(window.Handle()));  // closing never destroys it under the run
}

TEST_F(WizardWindowTest, ProgressBarTakesRangeAndPosition) {
  HWND bar = window.Control(kPrgrBrDownloadFile);
  window.SetProgressMax(5000);
  window.SetProgressPosition(2500);
  EXPECT_EQ(SendMessageW(bar, PBM_GETRANGE, FALSE, 0), 5000);
  EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 2500);
}

TEST_F(WizardWindowTest, NextButtonStateAndCaptionsFollowTheView) {
  window.SetNextCaption(L"Siguiente");
  window.SetNextEnabled(false);
  window.SetNextVisible(false);
  HWND next = window.Control(kBtnProximo);
  EXPECT_EQ(Text(next), L"Siguiente");
  EXPECT_FALSE(IsWindowEnabled(next));
  EXPECT_FALSE(GetWindowLongW(next, GWL_STYLE) & WS_VISIBLE);
  window.SetCaption(L"Subtítulos 1.0 - Casablanca");
  EXPECT_EQ(window.Caption(), L"Subtítulos 1.0 - Casablanca");
  window.SetMovieNameCaption(L"Casablanca");
  EXPECT_EQ(Text(window.Control(kLblMovieName)), L"Casablanca");
}

}  // namespace

namespace {

// A 4 x 6 JPEG picture, as a poster server would send it.
const std::string kTinyJpeg(
    "\xFF\xD8\xFF\xE0\x00\x10\x4A\x46\x49\x46\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00\xFF\xDB\x00\x43"
    "\x00\x06\x04\x05\x06\x05\x04\x06\x06\x05\x06\x07\x07\x06\x08\x0A\x10\x0A\x0A\x09\x09\x0A\x14\x0E"
    "\x0F\x0C\x10\x17\x14\x18\x18\x17\x14\x16\x16\x1A\x1D\x25\x1F\x1A\x1B\x23\x1C\x16\x16\x20\x2C\x20"
    "\x23\x26\x27\x29\x2A\x29\x19\x1F\x2D\x30\x2D\x28\x30\x25\x28\x29\x28\xFF\xDB\x00\x43\x01\x07\x07"
    "\x07\x0A\x08\x0A\x13\x0A\x0A\x13\x28\x1A\x16\x1A\x28\x28\x28\x28\x28\x28\x28\x28\x28\x28\x28\x28"
    "\x28\x28\x28\x28\x28\x28\x28\x28\x28\x28\x28\x28\x28\x28\x28\x28\x28\x28\x28\x28\x28\x28\x28\x28"
    "\x28\x28\x28\x28\x28\x28\x28\x28\x28\x28\x28\x28\x28\x28\xFF\xC0\x00\x11\x08\x00\x06\x00\x04\x03"
    "\x01\x22\x00\x02\x11\x01\x03\x11\x01\xFF\xC4\x00\x15\x00\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00"
    "\x00\x00\x00\x00\x00\x00\x00\x06\xFF\xC4\x00\x14\x10\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00"
    "\x00\x00\x00\x00\x00\x00\xFF\xC4\x00\x15\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00"
    "\x00\x00\x00\x06\x07\xFF\xC4\x00\x14\x11\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00"
    "\x00\x00\x00\xFF\xDA\x00\x0C\x03\x01\x00\x02\x11\x03\x11\x00\x3F\x00\x97\x01\x45\x18\x7F\xFF\xD9",
    288);

class WizardWindowRows : public WizardWindowTest {
 protected:
  void SetUp() override { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
  void TearDown() override { CoUninitialize(); }
};

TEST_F(WizardWindowRows, RowsStandTwentyPixelsApartInTheGroupBox) {
  for (int i = 0; i < 12; ++i) window.AddSubtitleRow(i, L"Row " + std::to_wstring(i));
  HWND group = window.Control(kGrpBxAvancado);
  struct Case {
    int index, checkTop;
  } cases[] = {{0, 28}, {1, 48}, {2, 68}, {11, 248}};
  for (const auto& c : cases) {
    HWND row = window.Row(c.index);
    ASSERT_TRUE(row) << c.index;
    EXPECT_EQ(GetDlgCtrlID(row), kFirstSubtitleRow + c.index);
    const RECT place = PlaceIn(row, group);
    EXPECT_EQ(place.left, 38);
    EXPECT_EQ(place.top, c.checkTop);
    EXPECT_EQ(place.right - place.left, 538);
    EXPECT_EQ(Text(row), L"Row " + std::to_wstring(c.index));
  }
  // The flags: pictures 16 x 11 at left 16, 4 pixels below their checkbox.
  int flags = 0;
  HWND panel = window.RowsPanel();
  for (HWND child = GetWindow(panel, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    wchar_t className[32] = {};
    GetClassNameW(child, className, 32);
    if (_wcsicmp(className, L"Static") == 0) {
      const RECT place = PlaceIn(child, group);
      EXPECT_EQ(place.left, 16);
      EXPECT_EQ((place.top - 32) % 20, 0);
      EXPECT_EQ(place.right - place.left, 16);
      EXPECT_EQ(place.bottom - place.top, 11);
      EXPECT_TRUE(SendMessageW(child, STM_GETIMAGE, IMAGE_BITMAP, 0));
      ++flags;
    }
  }
  EXPECT_EQ(flags, 12);

  window.SetRowTicked(0, true);
  window.SetRowBold(0);
  EXPECT_TRUE(window.RowTicked(0));
  EXPECT_FALSE(window.RowTicked(1));
  SendMessageW(window.Row(1), BM_CLICK, 0, 0);  // the user ticks it
  EXPECT_TRUE(window.RowTicked(1));
  LOGFONTW font{};
  GetObjectW(reinterpret_cast<HFONT>(SendMessageW(window.Row(0), WM_GETFONT, 0, 0)), sizeof font,
             &font);
  EXPECT_EQ(font.lfWeight, FW_BOLD);
}

TEST_F(WizardWindowRows, RowsPastTheBoxsEdgeScrollAndNamesKeepTheirAmpersands) {
  HWND panel = window.RowsPanel();
  for (int i = 0; i < 11; ++i) window.AddSubtitleRow(i, L"Row");
  EXPECT_FALSE(GetWindowLongW(panel, GWL_STYLE) & WS_VSCROLL);  // eleven rows fit
  for (int i = 11; i < 20; ++i) window.AddSubtitleRow(i, L"Tom & Jerry " + std::to_wstring(i));
  EXPECT_TRUE(GetWindowLongW(panel, GWL_STYLE) & WS_VSCROLL);
  EXPECT_EQ(Text(window.Row(19)), L"Tom && Jerry 19");  // shown as one "&"

  // Scrolled to the end, the last row lies inside the panel and the box.
  RECT seen;
  SendMessageW(panel, WM_VSCROLL, SB_BOTTOM, 0);
  GetWindowRect(window.Row(19), &seen);
  RECT view, group;
  GetWindowRect(panel, &view);
  GetWindowRect(window.Control(kGrpBxAvancado), &group);
  EXPECT_GE(seen.top, view.top);
  EXPECT_LE(seen.bottom, view.bottom);
  EXPECT_LE(view.bottom, group.bottom);
  // The rows keep their steps while scrolled, and come back to their places.
  EXPECT_EQ(PlaceIn(window.Row(19), panel).top - PlaceIn(window.Row(18), panel).top, 20);
  SendMessageW(panel, WM_VSCROLL, SB_TOP, 0);
  EXPECT_EQ(PlaceIn(window.Row(0), window.Control(kGrpBxAvancado)).top, 28);

  // The label shows "&" as it is.
  EXPECT_TRUE(GetWindowLongW(window.Control(kLblMovieName), GWL_STYLE) & SS_NOPREFIX);
}

TEST_F(WizardWindowRows, PosterShowsJpegPicturesOnly) {
  HWND poster = window.Control(kImgPoster);
  EXPECT_FALSE(window.ShowPoster("GIF89a not a poster"));
  EXPECT_FALSE(window.ShowPoster(""));
  EXPECT_FALSE(SendMessageW(poster, STM_GETIMAGE, IMAGE_BITMAP, 0));
  ASSERT_TRUE(window.ShowPoster(kTinyJpeg));
  EXPECT_TRUE(SendMessageW(poster, STM_GETIMAGE, IMAGE_BITMAP, 0));
  const RECT place = PlaceInParent(poster);
  EXPECT_EQ(place.right - place.left, 4);  // the picture control takes the picture's size
  EXPECT_EQ(place.bottom - place.top, 6);
}

TEST_F(WizardWindowRows, PosterCheckboxReportsItsClicksAndKeepsItsHint) {
  CountingEvents events;
  window.SetEvents(&events);
  EXPECT_EQ(window.PosterCheckboxHint(), L"false");
  window.SetPosterCheckboxVisible(true);
  SendMessageW(window.Control(kChckBxPoster), BM_CLICK, 0, 0);
  EXPECT_EQ(events.posterClicks, 1);
  EXPECT_TRUE(window.PosterCheckboxTicked());
  window.SetPosterCheckboxHint(L"true");
  EXPECT_EQ(window.PosterCheckboxHint(), L"true");
}

// The masks as the processor holds them, not as the runtime remembers them.
#if defined(__i386__)
unsigned X87ControlWord() {
  unsigned short word = 0;
  __asm__ volatile("fnstcw %0" : "=m"(word));
  return word;
}
#endif

unsigned SseControlStatus() {
  unsigned word = 0;
  __asm__ volatile("stmxcsr %0" : "=m"(word));
  return word;
}

TEST(SystemPlatform, MasksEveryFloatingPointException) {
  // Flags left by earlier arithmetic (an inexact result, always) would trap
  // at the next x87 instruction once unmasked: clear them first. _control87,
  // unlike _controlfp, also reaches the denormal mask.
  _clearfp();
  _control87(0, _MCW_EM);
  ASSERT_EQ(SseControlStatus() & 0x1F80u, 0u);
  SystemPlatform().MaskFloatingPointExceptions();
  EXPECT_EQ(SseControlStatus() & 0x1F80u, 0x1F80u);  // six SSE masks
#if defined(__i386__)
  // A 32-bit program computes on the x87 unit too: six masks, 64-bit
  // precision, rounding to nearest.
  EXPECT_EQ(X87ControlWord() & 0xF3Fu, 0x33Fu);
#endif
  // A division by zero now gives infinity instead of a trap.
  volatile double zero = 0.0;
  EXPECT_TRUE(std::isinf(1.0 / zero));
}

}  // namespace
