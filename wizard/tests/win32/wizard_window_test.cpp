#include "wizard_window.h"

#include <commctrl.h>
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
  int pageChanges = 0, clicks = 0, closes = 0;
};

RECT PlaceInParent(HWND control) {
  RECT rect;
  GetWindowRect(control, &rect);
  MapWindowPoints(HWND_DESKTOP, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

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
      {kChckBxPoster, {17, 222, 114, 239}, L"Descargar Póster", false},
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

TEST(SystemPlatform, MasksEveryFloatingPointException) {
  _controlfp(0, _MCW_EM);  // unmask all
  SystemPlatform().MaskFloatingPointExceptions();
  EXPECT_EQ(_controlfp(0, 0) & _MCW_EM, static_cast<unsigned>(_MCW_EM));
  // A division by zero now gives infinity instead of a trap.
  volatile double zero = 0.0;
  EXPECT_TRUE(std::isinf(1.0 / zero));
}

}  // namespace
