#pragma once

#include <cstdint>
#include <string>

// Pages of the wizard's notebook, by index.
enum WizardPage : int {
  kPageDefault = 0,   // film name and subtitle rows
  kPageDownload = 1,  // progress of the download
  kPageFinish = 2,    // closing page
};

enum class MessageIcon { Information, Exclamation, Error, Question };
enum class MessageButtons { Ok, YesNo };
enum class MessageAnswer { Ok, Yes, No };
// Whose a message box is: the wizard window's (which it disables while it
// is up), or nobody's.
enum class MessageOwner { Window, None };

// The wizard window as the run sees it. The Win32 window implements it; tests
// use a recording fake.
class WizardEvents;

class WizardView {
 public:
  virtual ~WizardView() = default;

  // Where the window sends its events from now on; not owned.
  virtual void SetEvents(WizardEvents* events) = 0;

  // The window is created hidden; only the list of subtitles shows it.
  virtual void Show() = 0;
  // Once the run has ended the window leaves the screen.
  virtual void Hide() = 0;

  virtual void SetCaption(const std::wstring& caption) = 0;
  virtual std::wstring Caption() const = 0;
  virtual void SetMovieNameCaption(const std::wstring& caption) = 0;  // LblMovieName

  virtual void SetNextCaption(const std::wstring& caption) = 0;  // BtnProximo
  virtual void SetNextVisible(bool visible) = 0;
  virtual void SetNextEnabled(bool enabled) = 0;

  virtual int ActivePage() const = 0;
  // Selects a page; an actual change raises the page-change event.
  virtual void SelectPage(int page) = 0;

  virtual void SetProgressMax(uint32_t maximum) = 0;  // PrgrBrDownloadFile
  virtual void SetProgressPosition(uint32_t position) = 0;
  // A bar that only shows that bytes arrive, for a reply of unknown size;
  // off again, the bar shows its range and position.
  virtual void SetProgressMarquee(bool on) = 0;

  virtual void ShowTrayBalloon(const std::wstring& title, const std::wstring& text) = 0;

  // The poster panel: ChckBxPoster ("Descargar Póster") with its hint, and
  // ImgPoster. ShowPoster returns false, changing nothing, for bytes that
  // are no JPEG image.
  virtual void SetPosterCheckboxVisible(bool visible) = 0;
  virtual bool PosterCheckboxTicked() const = 0;
  virtual void SetPosterCheckboxHint(const std::wstring& hint) = 0;
  virtual std::wstring PosterCheckboxHint() const = 0;
  virtual bool ShowPoster(const std::string& jpegBytes) = 0;

  // The subtitle rows inside GrpBxAvancado: row `index` is a flag image and
  // a checkbox with the caption, placed by SubtitleRowPlacement.
  virtual void SetSubtitleGroupVisible(bool visible) = 0;
  virtual void AddSubtitleRow(int index, const std::wstring& caption) = 0;
  virtual void SetRowTicked(int index, bool ticked) = 0;
  virtual bool RowTicked(int index) const = 0;
  virtual void SetRowBold(int index) = 0;

  // Loads the closing web page out of sight; nothing waits for it.
  virtual void LoadClosingPage(const std::string& url) = 0;

  // A modal message box.
  virtual MessageAnswer ShowMessage(const std::wstring& text, const std::wstring& title,
                                    MessageIcon icon, MessageButtons buttons, MessageOwner owner) = 0;

  // Lets painting, clicks and the close box act while a request blocks.
  virtual void ProcessMessages() = 0;
};

// What the window reports to the run: its event handlers.
class WizardEvents {
 public:
  virtual ~WizardEvents() = default;
  virtual void NotebookPageChanged() = 0;
  virtual void BtnProximoClick() = 0;
  virtual void FormClose() = 0;
  virtual void ChckBxPosterClick() = 0;
};
