#pragma once

#include <windows.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "unique_resource.h"
#include "wizard_view.h"

class WinHttpBackgroundGet;

// Identifiers of the window's controls.
enum ControlId : int {
  kFirstControl = 100,
  kChckBxPoster = kFirstControl,
  kImgPoster,
  kBtnProximo,
  kLblMovieName,
  kGrpBxAvancado,
  kLblStatus,
  kLabel4,
  kPrgrBrDownloadFile,
  kLabel3,
  kImage1,
  kLabel5,
  kWbBrwsrSocial,
  kControlsEnd,              // one past the last control of the layout
  kFirstSubtitleRow = 1000,  // row i's checkbox ("CheckBox" + i) is kFirstSubtitleRow + i
};

// The flag picture of the subtitle rows, a bitmap resource of the program.
inline constexpr int kFlagBitmapId = 101;

// The wizard's one window (TfrmDownloadManager): a fixed 794 x 450 dialog-like
// window with the poster panel on the left, a three-page notebook on the
// right and the Next button at the bottom right. It is built hidden on the
// notebook's design page 2; the run selects page 0.
class WizardWindow : public WizardView {
 public:
  explicit WizardWindow(HINSTANCE instance);
  ~WizardWindow() override;
  WizardWindow(const WizardWindow&) = delete;
  WizardWindow& operator=(const WizardWindow&) = delete;

  HWND Handle() const { return window_; }
  HWND Control(ControlId id) const;
  HWND Page(int page) const { return pages_[page]; }
  // Row `index`'s checkbox; the rows lie in a panel inside GrpBxAvancado
  // that scrolls them when they pass the box's lower edge.
  HWND Row(int index) const;
  HWND RowsPanel() const { return rowsPanel_; }
  // Keyboard navigation for a message of the loop: true when it was
  // handled (and must not be dispatched).
  bool TranslateDialogMessage(MSG& message);
  bool TrayIconVisible() const { return trayIconAdded_; }

  void SetEvents(WizardEvents* events) override { events_ = events; }
  void Show() override;
  void Hide() override;
  void SetCaption(const std::wstring& caption) override;
  std::wstring Caption() const override;
  void SetMovieNameCaption(const std::wstring& caption) override;
  void SetNextCaption(const std::wstring& caption) override;
  void SetNextVisible(bool visible) override;
  void SetNextEnabled(bool enabled) override;
  int ActivePage() const override { return activePage_; }
  void SelectPage(int page) override;
  void SetProgressMax(uint32_t maximum) override;
  void SetProgressPosition(uint32_t position) override;
  void SetProgressMarquee(bool on) override;
  void ShowTrayBalloon(const std::wstring& title, const std::wstring& text) override;
  void SetPosterCheckboxVisible(bool visible) override;
  bool PosterCheckboxTicked() const override;
  void SetPosterCheckboxHint(const std::wstring& hint) override { posterHint_ = hint; }
  std::wstring PosterCheckboxHint() const override { return posterHint_; }
  bool ShowPoster(const std::string& jpegBytes) override;
  void SetSubtitleGroupVisible(bool visible) override;
  void AddSubtitleRow(int index, const std::wstring& caption) override;
  void SetRowTicked(int index, bool ticked) override;
  bool RowTicked(int index) const override;
  void SetRowBold(int index) override;
  void LoadClosingPage(const std::string& url) override;
  MessageAnswer ShowMessage(const std::wstring& text, const std::wstring& title, MessageIcon icon,
                            MessageButtons buttons, MessageOwner owner) override;
  void ProcessMessages() override;

  // The application's report of a failure that escaped a handler.
  void ShowExceptionReport(const std::wstring& message);

 private:
  static LRESULT CALLBACK WindowProc(HWND, UINT, WPARAM, LPARAM);
  static LRESULT CALLBACK PageProc(HWND, UINT, WPARAM, LPARAM);
  static LRESULT CALLBACK GroupProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
  static LRESULT CALLBACK RowsProc(HWND, UINT, WPARAM, LPARAM);
  LRESULT HandleRowsMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void ScrollRowsTo(int offset);
  void UpdateRowsScrollBar();
  LRESULT HandleWindowMessage(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT HandlePageMessage(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
  template <typename Handler>
  void Dispatch(Handler handler);

  struct ControlLayout;
  HWND AddControl(HWND parent, const ControlLayout& layout, HFONT font);
  void CreateControls();
  void FocusFirstControl();
  bool FocusIsLost() const;
  void PaintWindow(HDC dc);
  void PaintPage(HWND page, HDC dc);

  HINSTANCE instance_;
  HWND window_ = nullptr;
  std::array<HWND, 3> pages_{};
  std::array<HWND, kControlsEnd - kFirstControl> controls_{};  // by id, kept at creation
  int activePage_ = kPageFinish;
  WizardEvents* events_ = nullptr;  // not owned

  // Fonts, brushes and icons the window owns.
  UniqueFont font_;        // Tahoma, 11 pixels
  UniqueFont titleFont_;   // Tahoma, 19 pixels
  UniqueFont statusFont_;  // Tahoma bold, 15 pixels
  UniqueFont smallFont_;   // Tahoma, 12 pixels
  UniqueFont boldFont_;    // Tahoma bold, 11 pixels: the first subtitle row
  UniqueBitmap poster_;
  UniqueBitmap flag_;           // shared by every row's flag image
  UniqueBrush pageBrush_;
  UniqueBrush panelBrush_;
  UniqueIcon icon_;
  bool trayIconAdded_ = false;
  HWND rowsPanel_ = nullptr;
  std::vector<HWND> rows_;  // the row checkboxes, by index; the panel owns them
  int rowsOffset_ = 0;      // how far the rows are scrolled up, in pixels
  // The closing web page, loaded out of sight; dropped with the window.
  std::unique_ptr<WinHttpBackgroundGet> closingPage_;
  std::wstring posterHint_ = L"false";
};
