// The best-subtitle mode: one lookup, one download, placed beside the video.
#include "archive_reply_sink.h"
#include "download_manager.h"
#include "form_bodies.h"
#include "program_constants.h"
#include "service_endpoints.h"
#include "service_request.h"
#include "text_forms.h"
#include "wizard_texts.h"

bool DownloadManager::GetBestSubtitle(int32_t languageCode) {
  const std::wstring body = BestSubtitleLookupBody(languageCode, runRequest_.encodedFingerprint);
  // One guard over the lookup, the download and the placing: whatever is
  // not handled further in means "nothing found".
  try {
    MemoryReplySink reply;
    SendServiceRequest(clients_.track, kBestSubtitleByHashPath, body, reply);
    currentReplyDocument_ = LoadReplyDocument(reply);
    const ReplyNode subtitle = FindChildElement(*currentReplyDocument_, "subtitle");
    const std::wstring identifier = AnsiToText(ReadReplyText(FindChildElement(subtitle, "id")));
    const std::wstring date = AnsiToText(ReadReplyText(FindChildElement(subtitle, "date")));
    return DownloadBestSubtitle(identifier, date);
  } catch (...) {
    return false;
  }
}

bool DownloadManager::DownloadBestSubtitle(const std::wstring& identifier,
                                           const std::wstring& date) {
  if (identifier.empty() || date.empty()) return false;

  view_.ShowTrayBalloon(std::wstring(L"Subtítulos ") + kDisplayVersion,
                        L"A descargar mejor subtítulo...");
  const std::wstring archivePath = workingFolder_ + kArchiveFileName;
  files_.RemoveFile(archivePath);
  archiveStream_ = files_.CreateArchiveStream(archivePath);
  if (!archiveStream_) return false;

  const std::wstring body = SingleFileBody(identifier, date);
  try {
    ArchiveReplySink archive(archiveStream_);
    downloading_ = true;
    SendServiceRequest(clients_.file, kSubtitleFilesPath, body, archive);
    downloading_ = false;
    PlaceSubtitleFiles();
  } catch (...) {
    downloading_ = false;
    // What arrived of a failed download is no archive anybody reads (the
    // next download starts by deleting it): it goes, rather than being left
    // in the temporary folder or, when that is the working folder, beside
    // the user's videos.
    if (archiveStream_) archiveStream_->Close();
    archiveStream_.reset();
    files_.RemoveFile(archivePath);
    // A download the user stopped by closing the window needs no message:
    // the run is already ending.
    if (!closedDuringDownload_) {
      ShowMessage(kDownloadErrorText, kDownloadErrorTitle, MessageIcon::Error,
                        MessageButtons::Ok, MessageOwner::Window);
    }
    return false;
  }
  if (archiveStream_) archiveStream_->Close();
  archiveStream_.reset();
  return true;
}
