// The list mode's download: the ticked subtitles in one archive.
#include <stdexcept>

#include "archive_reply_sink.h"
#include "utf8_text.h"
#include "wizard_texts.h"
#include "download_manager.h"
#include "form_bodies.h"
#include "service_endpoints.h"
#include "service_request.h"

void DownloadManager::DownloadSelectedSubtitles() {
  const std::wstring archivePath = workingFolder_ + kArchiveFileName;
  files_.RemoveFile(archivePath);
  archiveStream_ = files_.CreateArchiveStream(archivePath);
  if (!archiveStream_) {
    // Not the service's failure: it ends the click and is reported as such.
    throw std::runtime_error(Utf8(L"No se puede crear el archivo \"" + archivePath + L"\"."));
  }

  // The service gets its own list back without the unticked records: row i
  // is record i. The records are gathered in one walk (a reply may list very
  // many); removing one leaves the others' handles valid.
  if (rowCount_ > 0) {
    const ReplyNode subtitles = FindChildElement(*currentReplyDocument_, "subtitles");
    const std::vector<ReplyNode> records = Children(subtitles);
    for (int i = rowCount_ - 1; i >= 0; --i) {
      if (!view_.RowTicked(i)) RemoveChild(subtitles, records.at(i));
    }
  }
  const std::wstring body = MultipleFilesBody(filmIdentifier_, view_.PosterCheckboxHint(),
                                              SerializeReplyDocument(*currentReplyDocument_));
  try {
    ArchiveReplySink archive(archiveStream_);
    downloading_ = true;
    SendServiceRequest(clients_.file, kSubtitleFilesPath, body, archive);
    downloading_ = false;
  } catch (...) {
    downloading_ = false;
    if (!closedDuringDownload_) {
      ShowMessage(kDownloadErrorText, kDownloadErrorTitle, MessageIcon::Error,
                        MessageButtons::Ok, MessageOwner::Window);
    }
    Terminate();
  }
  if (archiveStream_) archiveStream_->Close();
  archiveStream_.reset();
}
