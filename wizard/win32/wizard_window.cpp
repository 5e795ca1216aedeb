#include "wizard_window.h"

#include <commctrl.h>
#include <shellapi.h>

#include <exception>
#include <utility>

#include "app_icon.h"
#include "code_page.h"
#include "control_text.h"
#include "jpeg_picture.h"
#include "subtitle_rows.h"
#include "winhttp_client.h"

namespace {

const wchar_t kWindowClass[] = L"TfrmDownloadManager";
const wchar_t kPageClass[] = L"MorvaneNotebookPage";
const wchar_t kRowsClass[] = L"MorvaneSubtitleRows";
const wchar_t kApplicationTitle[] = L"Morvane";
constexpr UINT kTrayIconId = 1;

constexpr int kClientWidth = 794;
constexpr int kClientHeight = 450;
constexpr RECT kPageArea = {165, 0, 165 + 629, 402};
constexpr COLORREF kPageBorder = RGB(143, 156, 175);
constexpr COLORREF kPanelFill = RGB(249, 249, 249);
constexpr RECT kPanelOnDownloadPage = {19, 21, 19 + 590, 21 + 98};  // Shape5
constexpr RECT kPosterFrame = {16, 16, 16 + 130, 16 + 200};         // Shape4
// The panel inside GrpBxAvancado (590 x 250) through which the rows are
// seen: within the box's frame, below its caption.
constexpr int kRowsPanelLeft = 2;
constexpr int kRowsPanelWidth = 590 - 2 * kRowsPanelLeft;
constexpr int kRowsPanelHeight = kRowsViewBottom - kRowsViewTop;
constexpr int kPosterCheckboxWidth = 97;  // ChckBxPoster's design width

HFONT MakeTahoma(int pixelHeight, int weight) {
  LOGFONTW font{};
  font.lfHeight = -pixelHeight;  // character height, not cell height
  font.lfWeight = weight;
  font.lfCharSet = DEFAULT_CHARSET;
  font.lfQuality = DEFAULT_QUALITY;
  lstrcpynW(font.lfFaceName, L"Tahoma", LF_FACESIZE);
  return CreateFontIndirectW(&font);
}

}  // namespace

// One control of the layout: class, text, style, place and size.
struct WizardWindow::ControlLayout {
  const wchar_t* className;
  const wchar_t* text;
  DWORD style;
  int left, top, width, height;
  ControlId id;
};

namespace {



// A label sizes itself to its text, as an auto-sized label does.
void FitLabelToText(HWND label, HFONT font) {
  const int length = GetWindowTextLengthW(label);
  std::wstring text(length + 1, L'\0');
  GetWindowTextW(label, text.data(), length + 1);
  text.resize(length);
  HDC dc = GetDC(label);
  HGDIOBJ old = SelectObject(dc, font);
  SIZE size{};
  GetTextExtentPoint32W(dc, text.c_str(), length, &size);
  SelectObject(dc, old);
  ReleaseDC(label, dc);
  SetWindowPos(label, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

std::wstring WindowText(HWND window) {
  const int length = GetWindowTextLengthW(window);
  std::wstring text(length + 1, L'\0');
  const int copied = GetWindowTextW(window, text.data(), length + 1);
  text.resize(copied);
  return text;
}

// The window's own procedures: the frame, a notebook page, the rows panel.
void RegisterClasses(HINSTANCE instance, WNDPROC windowProc, WNDPROC pageProc, WNDPROC rowsProc) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = windowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kWindowClass;
  RegisterClassExW(&windowClass);  // a second registration fails harmlessly

  WNDCLASSEXW pageClass = windowClass;
  pageClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  pageClass.lpszClassName = kPageClass;
  pageClass.lpfnWndProc = pageProc;
  RegisterClassExW(&pageClass);

  WNDCLASSEXW rowsClass = pageClass;
  rowsClass.lpszClassName = kRowsClass;
  rowsClass.lpfnWndProc = rowsProc;
  RegisterClassExW(&rowsClass);
}

// The object behind one of the window's own windows. Each is created with
// the object as its creation parameter, kept from WM_NCCREATE on, so that
// every message from the first reaches the object.
WizardWindow* OwnerOf(HWND window, UINT message, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  return reinterpret_cast<WizardWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

// A checkbox is as wide as its box, a gap and its text need, and never
// narrower than designed.
int CheckboxWidthFor(HWND checkbox, HFONT font, int designWidth) {
  const std::wstring text = WindowText(checkbox);
  HDC dc = GetDC(checkbox);
  HGDIOBJ old = SelectObject(dc, font);
  SIZE size{};
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
  SelectObject(dc, old);
  ReleaseDC(checkbox, dc);
  const int needed = size.cx + GetSystemMetrics(SM_CXMENUCHECK) + 2 * GetSystemMetrics(SM_CXEDGE) + 4;
  return needed > designWidth ? needed : designWidth;
}

}  // namespace

WizardWindow::WizardWindow(HINSTANCE instance) : instance_(instance) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  RegisterClasses(instance, &WindowProc, &PageProc, &RowsProc);

  font_.reset(MakeTahoma(11, FW_NORMAL));
  titleFont_.reset(MakeTahoma(19, FW_NORMAL));
  statusFont_.reset(MakeTahoma(15, FW_BOLD));
  smallFont_.reset(MakeTahoma(12, FW_NORMAL));
  boldFont_.reset(MakeTahoma(11, FW_BOLD));
  flag_.reset(static_cast<HBITMAP>(
      LoadImageW(instance, MAKEINTRESOURCEW(kFlagBitmapId), IMAGE_BITMAP, 0, 0, 0)));
  pageBrush_.reset(CreateSolidBrush(RGB(255, 255, 255)));
  panelBrush_.reset(CreateSolidBrush(kPanelFill));
  icon_.reset(CreateAppIcon());

  // Fixed single border, only the close box, centred on the desktop.
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
  RECT frame = {0, 0, kClientWidth, kClientHeight};
  AdjustWindowRectEx(&frame, style, FALSE, 0);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  const int left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  const int top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  window_ = CreateWindowExW(WS_EX_APPWINDOW, kWindowClass, kApplicationTitle, style, left, top,
                            width, height, nullptr, nullptr, instance, this);
  SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_.get()));
  SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_.get()));
  CreateControls();
}

WizardWindow::~WizardWindow() {
  if (trayIconAdded_) {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = window_;
    data.uID = kTrayIconId;
    Shell_NotifyIconW(NIM_DELETE, &data);
  }
  if (window_) {
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
  }
  // The fonts, brushes and the icon go with their owners, after the
  // controls that use them.
}

void WizardWindow::CreateControls() {
  for (int i = 0; i < 3; ++i) {
    // Tab and the arrow keys go into the pages' controls.
    pages_[i] = CreateWindowExW(WS_EX_CONTROLPARENT, kPageClass, nullptr,
                                WS_CHILD | WS_CLIPSIBLINGS, kPageArea.left,
                                kPageArea.top, kPageArea.right - kPageArea.left,
                                kPageArea.bottom - kPageArea.top, window_, nullptr, instance_,
                                this);
  }
  // The notebook shows its design page until the run selects page 0.
  ShowWindow(pages_[kPageFinish], SW_SHOW);

  // Left panel and button strip.
  AddControl(window_, {WC_STATICW, nullptr, WS_VISIBLE | SS_BITMAP, 17, 17, 128, 198, kImgPoster},
             font_.get());
  HWND poster = AddControl(window_,
                           {WC_BUTTONW, L"Descargar Póster", BS_AUTOCHECKBOX | WS_TABSTOP, 17, 222,
                            kPosterCheckboxWidth, 17, kChckBxPoster},
                           font_.get());
  // The caption is shown whole even where the font is wider than designed.
  SetWindowPos(poster, nullptr, 0, 0, CheckboxWidthFor(poster, font_.get(), kPosterCheckboxWidth), 17,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  // The default button: Enter presses it.
  AddControl(window_,
             {WC_BUTTONW, L"Próximo >", WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 676, 413, 100,
              25, kBtnProximo},
             font_.get());

  // Page 0, "Default".
  AddControl(
      pages_[kPageDefault],
      {WC_STATICW, L"Película", WS_VISIBLE | SS_LEFT | SS_NOPREFIX, 19, 25, 590, 48, kLblMovieName},
      titleFont_.get());
  HWND group = AddControl(pages_[kPageDefault],
                          {WC_BUTTONW, L"Subtítulos encontrados ordenados por número de usos",
                           BS_GROUPBOX, 19, 79, 590, 250, kGrpBxAvancado},
                          font_.get());
  // The rows live in the group box; their colours come from the page.
  SetWindowSubclass(group, &GroupProc, 0, 0);
  SetWindowLongPtrW(group, GWL_EXSTYLE,
                    GetWindowLongPtrW(group, GWL_EXSTYLE) | WS_EX_CONTROLPARENT);
  rowsPanel_ =
      CreateWindowExW(WS_EX_CONTROLPARENT, kRowsClass, nullptr,
                      WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, kRowsPanelLeft, kRowsViewTop,
                      kRowsPanelWidth, kRowsPanelHeight, group, nullptr, instance_, this);
  ShowScrollBar(rowsPanel_, SB_VERT, FALSE);

  // Page 1, "download".
  FitLabelToText(AddControl(pages_[kPageDownload],
                            {WC_STATICW, L"Descargar mejores subtítulos",
                             WS_VISIBLE | SS_LEFT | SS_NOPREFIX, 33, 27, 0, 0, kLblStatus},
                            statusFont_.get()),
                 statusFont_.get());
  FitLabelToText(AddControl(pages_[kPageDownload],
                            {WC_STATICW, L"Por favor, espere la descarga del subtítulos",
                             WS_VISIBLE | SS_LEFT | SS_NOPREFIX, 33, 51, 0, 0, kLabel4},
                            smallFont_.get()),
                 smallFont_.get());
  HWND bar = AddControl(
      pages_[kPageDownload],
      {PROGRESS_CLASSW, nullptr, WS_VISIBLE, 33, 68, 560, 27, kPrgrBrDownloadFile}, font_.get());
  SendMessageW(bar, PBM_SETRANGE32, 0, 100);
  SendMessageW(bar, PBM_SETPOS, 0, 0);

  // Page 2, "finish".
  FitLabelToText(AddControl(pages_[kPageFinish],
                            {WC_STATICW, L"Proceso terminado", WS_VISIBLE | SS_LEFT | SS_NOPREFIX,
                             35, 27, 0, 0, kLabel3},
                            titleFont_.get()),
                 titleFont_.get());
  HWND image =
      AddControl(pages_[kPageFinish],
                 {WC_STATICW, nullptr, WS_VISIBLE | SS_ICON, 35, 56, 16, 16, kImage1}, font_.get());
  SendMessageW(image, STM_SETICON, reinterpret_cast<WPARAM>(icon_.get()), 0);
  FitLabelToText(AddControl(pages_[kPageFinish],
                            {WC_STATICW, L"¡Obrigado por la confianza!",
                             WS_VISIBLE | SS_LEFT | SS_NOPREFIX, 57, 56, 0, 0, kLabel5},
                            font_.get()),
                 font_.get());
  // Host of the closing web page; it lies beyond the page's right edge.
  AddControl(pages_[kPageFinish],
             {WC_STATICW, nullptr, WS_VISIBLE, 700, 352, 426, 224, kWbBrwsrSocial}, font_.get());
}

// Builds one control of the layout and keeps its handle under its id.
HWND WizardWindow::AddControl(HWND parent, const ControlLayout& layout, HFONT font) {
  HWND control = CreateWindowExW(0, layout.className, layout.text, WS_CHILD | layout.style,
                                 layout.left, layout.top, layout.width, layout.height, parent,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(layout.id)),
                                 instance_, nullptr);
  SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  controls_[layout.id - kFirstControl] = control;
  return control;
}

HWND WizardWindow::Control(ControlId id) const {
  const int slot = id - kFirstControl;
  return slot >= 0 && slot < static_cast<int>(controls_.size()) ? controls_[slot] : nullptr;
}

void WizardWindow::Show() {
  ShowWindow(window_, SW_SHOW);
  UpdateWindow(window_);
  FocusFirstControl();
}

// The first row while the rows are seen, else Next where it can be pressed,
// else the window itself, so that the keys always reach the wizard.
void WizardWindow::FocusFirstControl() {
  HWND next = Control(kBtnProximo);
  if (!rows_.empty() && IsWindowVisible(rows_[0])) {
    SetFocus(rows_[0]);
  } else if (IsWindowVisible(next) && IsWindowEnabled(next)) {
    SetFocus(next);
  } else {
    SetFocus(window_);
  }
}

// No control of the window has the focus, or the one that had it is hidden.
bool WizardWindow::FocusIsLost() const {
  HWND focus = GetFocus();
  return !focus || focus == window_ || !IsWindowVisible(focus);
}

bool WizardWindow::TranslateDialogMessage(MSG& message) {
  return IsDialogMessageW(window_, &message) != FALSE;
}

HWND WizardWindow::Row(int index) const {
  return index >= 0 && index < static_cast<int>(rows_.size()) ? rows_[index] : nullptr;
}

void WizardWindow::Hide() { ShowWindow(window_, SW_HIDE); }

void WizardWindow::SetCaption(const std::wstring& caption) {
  SetWindowTextW(window_, caption.c_str());
}

std::wstring WizardWindow::Caption() const { return WindowText(window_); }

void WizardWindow::SetMovieNameCaption(const std::wstring& caption) {
  SetWindowTextW(Control(kLblMovieName), caption.c_str());
}

void WizardWindow::SetNextCaption(const std::wstring& caption) {
  SetWindowTextW(Control(kBtnProximo), caption.c_str());
}

void WizardWindow::SetNextVisible(bool visible) {
  ShowWindow(Control(kBtnProximo), visible ? SW_SHOW : SW_HIDE);
}

void WizardWindow::SetNextEnabled(bool enabled) {
  EnableWindow(Control(kBtnProximo), enabled);
  if (enabled && IsWindowVisible(window_) && FocusIsLost()) FocusFirstControl();
}

void WizardWindow::SelectPage(int page) {
  if (page < 0 || page >= static_cast<int>(pages_.size()) || page == activePage_) return;
  ShowWindow(pages_[page], SW_SHOW);
  ShowWindow(pages_[activePage_], SW_HIDE);
  activePage_ = page;
  if (events_) events_->NotebookPageChanged();
  // A page that hid the focused control hands the focus on.
  if (IsWindowVisible(window_) && FocusIsLost()) FocusFirstControl();
}

void WizardWindow::SetProgressMax(uint32_t maximum) {
  SendMessageW(Control(kPrgrBrDownloadFile), PBM_SETRANGE32, 0, static_cast<LPARAM>(maximum));
}

void WizardWindow::SetProgressPosition(uint32_t position) {
  SendMessageW(Control(kPrgrBrDownloadFile), PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void WizardWindow::SetProgressMarquee(bool on) {
  HWND bar = Control(kPrgrBrDownloadFile);
  const LONG_PTR style = GetWindowLongPtrW(bar, GWL_STYLE);
  SetWindowLongPtrW(bar, GWL_STYLE, on ? style | PBS_MARQUEE : style & ~PBS_MARQUEE);
  SendMessageW(bar, PBM_SETMARQUEE, on, 30);  // a step every 30 ms
  InvalidateRect(bar, nullptr, TRUE);
}

void WizardWindow::ShowTrayBalloon(const std::wstring& title, const std::wstring& text) {
  NOTIFYICONDATAW data{};
  data.cbSize = sizeof data;
  data.hWnd = window_;
  data.uID = kTrayIconId;
  data.uFlags = NIF_ICON | NIF_TIP;
  data.hIcon = icon_.get();
  lstrcpynW(data.szTip, kApplicationTitle, ARRAYSIZE(data.szTip));
  if (!trayIconAdded_) trayIconAdded_ = Shell_NotifyIconW(NIM_ADD, &data) != FALSE;

  data.uFlags = NIF_INFO;
  data.dwInfoFlags = NIIF_INFO;
  lstrcpynW(data.szInfoTitle, title.c_str(), ARRAYSIZE(data.szInfoTitle));
  lstrcpynW(data.szInfo, text.c_str(), ARRAYSIZE(data.szInfo));
  Shell_NotifyIconW(NIM_MODIFY, &data);
}

void WizardWindow::SetPosterCheckboxVisible(bool visible) {
  ShowWindow(Control(kChckBxPoster), visible ? SW_SHOW : SW_HIDE);
}

bool WizardWindow::PosterCheckboxTicked() const {
  return SendMessageW(Control(kChckBxPoster), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

bool WizardWindow::ShowPoster(const std::string& jpegBytes) {
  UniqueBitmap picture = DecodeJpeg(jpegBytes);
  if (!picture) return false;
  // The picture control takes the picture's size.
  SendMessageW(Control(kImgPoster), STM_SETIMAGE, IMAGE_BITMAP,
               reinterpret_cast<LPARAM>(picture.get()));
  poster_ = std::move(picture);
  return true;
}

void WizardWindow::SetSubtitleGroupVisible(bool visible) {
  ShowWindow(Control(kGrpBxAvancado), visible ? SW_SHOW : SW_HIDE);
  if (visible && IsWindowVisible(window_)) FocusFirstControl();
}

void WizardWindow::AddSubtitleRow(int index, const std::wstring& caption) {
  // Places within the group box, less the panel's own place and the scroll.
  const RowPlacement place = SubtitleRowPlacement(index);
  const int dy = -kRowsViewTop - rowsOffset_;
  HWND flag = CreateWindowExW(0, WC_STATICW, nullptr, WS_CHILD | WS_VISIBLE | SS_BITMAP,
                              place.flagLeft - kRowsPanelLeft, place.flagTop + dy, 16, 11,
                              rowsPanel_, nullptr, instance_, nullptr);
  SendMessageW(flag, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(flag_.get()));
  // The name is shown as it is, "&" included.
  HWND row = CreateWindowExW(
      0, WC_BUTTONW, LiteralControlCaption(caption).c_str(),
      WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX | BS_NOTIFY,
      place.checkLeft - kRowsPanelLeft, place.checkTop + dy, place.checkWidth, kRowHeight,
      rowsPanel_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstSubtitleRow + index)),
      instance_, nullptr);
  SendMessageW(row, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
  if (index >= static_cast<int>(rows_.size())) rows_.resize(index + 1);
  rows_[index] = row;
  UpdateRowsScrollBar();
}

void WizardWindow::SetRowTicked(int index, bool ticked) {
  SendMessageW(Row(index), BM_SETCHECK, ticked ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool WizardWindow::RowTicked(int index) const {
  return SendMessageW(Row(index), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void WizardWindow::SetRowBold(int index) {
  SendMessageW(Row(index), WM_SETFONT, reinterpret_cast<WPARAM>(boldFont_.get()), TRUE);
}

// The scroll bar appears once the rows pass the box's lower edge.
void WizardWindow::UpdateRowsScrollBar() {
  const int maximum = RowsScrollMaximum(static_cast<int>(rows_.size()));
  SCROLLINFO info{};
  info.cbSize = sizeof info;
  info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
  info.nMin = 0;
  info.nMax = kRowsPanelHeight + maximum - 1;
  info.nPage = kRowsPanelHeight;
  info.nPos = rowsOffset_;
  ShowScrollBar(rowsPanel_, SB_VERT, maximum > 0);
  if (maximum > 0) SetScrollInfo(rowsPanel_, SB_VERT, &info, TRUE);
}

void WizardWindow::ScrollRowsTo(int offset) {
  const int maximum = RowsScrollMaximum(static_cast<int>(rows_.size()));
  offset = offset < 0 ? 0 : (offset > maximum ? maximum : offset);
  if (offset == rowsOffset_) return;
  // Every flag and checkbox moves by the same step; the panel repaints.
  const int dy = rowsOffset_ - offset;
  for (HWND child = GetWindow(rowsPanel_, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    RECT place;
    GetWindowRect(child, &place);
    MapWindowPoints(HWND_DESKTOP, rowsPanel_, reinterpret_cast<POINT*>(&place), 2);
    SetWindowPos(child, nullptr, place.left, place.top + dy, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  InvalidateRect(rowsPanel_, nullptr, TRUE);
  rowsOffset_ = offset;
  SetScrollPos(rowsPanel_, SB_VERT, offset, TRUE);
}

LRESULT CALLBACK WizardWindow::RowsProc(HWND panel, UINT message, WPARAM wParam, LPARAM lParam) {
  WizardWindow* self = OwnerOf(panel, message, lParam);
  if (!self) return DefWindowProcW(panel, message, wParam, lParam);
  if (message == WM_NCCREATE) self->rowsPanel_ = panel;
  return self->HandleRowsMessage(message, wParam, lParam);
}

LRESULT WizardWindow::HandleRowsMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_VSCROLL: {
      SCROLLINFO info{};
      info.cbSize = sizeof info;
      info.fMask = SIF_ALL;
      GetScrollInfo(rowsPanel_, SB_VERT, &info);
      int offset = rowsOffset_;
      switch (LOWORD(wParam)) {
        case SB_LINEUP: offset -= kRowStep; break;
        case SB_LINEDOWN: offset += kRowStep; break;
        case SB_PAGEUP: offset -= static_cast<int>(info.nPage); break;
        case SB_PAGEDOWN: offset += static_cast<int>(info.nPage); break;
        case SB_THUMBTRACK:
        case SB_THUMBPOSITION: offset = info.nTrackPos; break;
        case SB_TOP: offset = 0; break;
        case SB_BOTTOM: offset = RowsScrollMaximum(static_cast<int>(rows_.size())); break;
      }
      ScrollRowsTo(offset);
      return 0;
    }
    case WM_MOUSEWHEEL:
      ScrollRowsTo(rowsOffset_ - GET_WHEEL_DELTA_WPARAM(wParam) / WHEEL_DELTA * 3 * kRowStep);
      return 0;
    case WM_COMMAND:
      // A row that takes the focus (by Tab) is scrolled into sight.
      if (HIWORD(wParam) == BN_SETFOCUS) {
        const int index = LOWORD(wParam) - kFirstSubtitleRow;
        if (Row(index)) {
          ScrollRowsTo(RowsOffsetShowing(index, rowsOffset_, static_cast<int>(rows_.size())));
        }
      }
      return 0;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
      return SendMessageW(GetParent(rowsPanel_), message, wParam, lParam);
    case WM_NOTIFY: {
      // A themed checkbox may paint with a font of its own: each row is told
      // to use the font it was given (the first row's is bold).
      auto* draw = reinterpret_cast<NMCUSTOMDRAW*>(lParam);
      if (draw->hdr.code == NM_CUSTOMDRAW && draw->dwDrawStage == CDDS_PREPAINT) {
        auto font = reinterpret_cast<HFONT>(SendMessageW(draw->hdr.hwndFrom, WM_GETFONT, 0, 0));
        if (font) {
          SelectObject(draw->hdc, font);
          return CDRF_NEWFONT;
        }
      }
      break;
    }
  }
  return DefWindowProcW(rowsPanel_, message, wParam, lParam);
}

void WizardWindow::LoadClosingPage(const std::string& url) {
  // The page lies beyond the window's edge: it is loaded, never shown. The
  // request is the window's and goes with it.
  closingPage_ = std::make_unique<WinHttpBackgroundGet>(PageClientSettings(), url);
}

MessageAnswer WizardWindow::ShowMessage(const std::wstring& text, const std::wstring& title,
                                        MessageIcon icon, MessageButtons buttons, MessageOwner owner) {
  // A box comes to the front even when the window is never shown (the best
  // subtitle mode), so it cannot wait unseen behind other windows.
  UINT flags = (buttons == MessageButtons::YesNo ? MB_YESNO : MB_OK) | MB_SETFOREGROUND;
  switch (icon) {
    case MessageIcon::Information: flags |= MB_ICONINFORMATION; break;
    case MessageIcon::Exclamation: flags |= MB_ICONEXCLAMATION; break;
    case MessageIcon::Error: flags |= MB_ICONERROR; break;
    case MessageIcon::Question: flags |= MB_ICONQUESTION; break;
  }
  // A box without owner does not disable the window by itself; no click
  // reaches the window while it is up.
  const bool owned = owner == MessageOwner::Window;
  const bool disable = !owned && IsWindowEnabled(window_);
  if (disable) EnableWindow(window_, FALSE);
  const int answer = MessageBoxW(owned ? window_ : nullptr, text.c_str(), title.c_str(), flags);
  if (disable) EnableWindow(window_, TRUE);
  if (answer == IDYES) return MessageAnswer::Yes;
  if (answer == IDNO) return MessageAnswer::No;
  return MessageAnswer::Ok;
}

void WizardWindow::ProcessMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      // Leave it for the message loop.
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    if (TranslateDialogMessage(message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

void WizardWindow::ShowExceptionReport(const std::wstring& message) {
  MessageBoxW(window_, message.c_str(), kApplicationTitle, MB_OK | MB_ICONERROR);
}

// Runs one event handler; a failure that escapes it is reported, never
// passed through the window procedure.
template <typename Handler>
void WizardWindow::Dispatch(Handler handler) {
  if (!events_) return;
  try {
    handler();
  } catch (const std::exception& failure) {
    ShowExceptionReport(CodePageToWide(failure.what(), CP_UTF8));
  } catch (...) {
    ShowExceptionReport(L"");
  }
}

LRESULT CALLBACK WizardWindow::WindowProc(HWND window, UINT message, WPARAM wParam,
                                          LPARAM lParam) {
  WizardWindow* self = OwnerOf(window, message, lParam);
  if (!self) return DefWindowProcW(window, message, wParam, lParam);
  if (message == WM_NCCREATE) self->window_ = window;
  return self->HandleWindowMessage(message, wParam, lParam);
}

LRESULT CALLBACK WizardWindow::PageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  WizardWindow* self = OwnerOf(page, message, lParam);
  if (!self) return DefWindowProcW(page, message, wParam, lParam);
  return self->HandlePageMessage(page, message, wParam, lParam);
}

LRESULT WizardWindow::HandleWindowMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CLOSE:
      // The run decides what closing means; the window is destroyed by its
      // owner once the run has ended, never under a running handler.
      Dispatch([this] { events_->FormClose(); });
      return 0;
    case DM_GETDEFID: {
      // Enter presses Next where it can be pressed.
      HWND next = Control(kBtnProximo);
      if (IsWindowVisible(next) && IsWindowEnabled(next)) return MAKELRESULT(kBtnProximo, DC_HASDEFID);
      return 0;
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == IDCANCEL) {
        // Esc acts as the close box.
        Dispatch([this] { events_->FormClose(); });
        return 0;
      }
      if (LOWORD(wParam) == kBtnProximo && HIWORD(wParam) == BN_CLICKED) {
        Dispatch([this] { events_->BtnProximoClick(); });
        return 0;
      }
      if (LOWORD(wParam) == kChckBxPoster && HIWORD(wParam) == BN_CLICKED) {
        Dispatch([this] { events_->ChckBxPosterClick(); });
        return 0;
      }
      break;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window_, &paint);
      PaintWindow(dc);
      EndPaint(window_, &paint);
      return 0;
    }
  }
  return DefWindowProcW(window_, message, wParam, lParam);
}

LRESULT WizardWindow::HandlePageMessage(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(page, &paint);
      PaintPage(page, dc);
      EndPaint(page, &paint);
      return 0;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
      // Labels take the colour of what lies behind them.
      HDC dc = reinterpret_cast<HDC>(wParam);
      const bool onPanel = page == pages_[kPageDownload];
      SetBkColor(dc, onPanel ? kPanelFill : RGB(255, 255, 255));
      return reinterpret_cast<LRESULT>(onPanel ? panelBrush_.get() : pageBrush_.get());
    }
    case WM_COMMAND:
      return SendMessageW(window_, message, wParam, lParam);
  }
  return DefWindowProcW(page, message, wParam, lParam);
}

LRESULT CALLBACK WizardWindow::GroupProc(HWND group, UINT message, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR, DWORD_PTR) {
  if (message == WM_CTLCOLORSTATIC || message == WM_CTLCOLORBTN) {
    return SendMessageW(GetParent(group), message, wParam, lParam);
  }
  return DefSubclassProc(group, message, wParam, lParam);
}

void WizardWindow::PaintWindow(HDC dc) {
  // The poster's frame (Shape4); the poster itself is a control above it.
  HGDIOBJ oldPen = SelectObject(dc, GetStockObject(BLACK_PEN));
  HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(WHITE_BRUSH));
  Rectangle(dc, kPosterFrame.left, kPosterFrame.top, kPosterFrame.right, kPosterFrame.bottom);
  SelectObject(dc, oldBrush);
  SelectObject(dc, oldPen);
}

void WizardWindow::PaintPage(HWND page, HDC dc) {
  RECT area;
  GetClientRect(page, &area);
  HPEN border = CreatePen(PS_SOLID, 1, kPageBorder);
  HGDIOBJ oldPen = SelectObject(dc, border);
  HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
  Rectangle(dc, area.left, area.top, area.right, area.bottom);
  if (page == pages_[kPageDownload]) {
    HPEN outline = CreatePen(PS_SOLID, 1, GetSysColor(COLOR_SCROLLBAR));
    SelectObject(dc, outline);
    SelectObject(dc, panelBrush_.get());
    Rectangle(dc, kPanelOnDownloadPage.left, kPanelOnDownloadPage.top, kPanelOnDownloadPage.right,
              kPanelOnDownloadPage.bottom);
    SelectObject(dc, border);
    DeleteObject(outline);
  }
  SelectObject(dc, oldBrush);
  SelectObject(dc, oldPen);
  DeleteObject(border);
}
