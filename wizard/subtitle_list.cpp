// The list mode's list of subtitles: one ticked-or-not row per subtitle.
#include "download_manager.h"
#include "form_bodies.h"
#include "service_endpoints.h"
#include "service_request.h"
#include "text_forms.h"

bool DownloadManager::LoadSubtitleList(int32_t languageCode,
                                       const std::string& encodedFingerprint) {
  view_.Show();
  const std::wstring body = SubtitleListBody(languageCode, encodedFingerprint);
  // Any failure ends the list where it arose, as a list without subtitles;
  // rows built before it stay, unseen.
  try {
    MemoryReplySink reply;
    SendServiceRequest(clients_.track, kSubtitlesByHashPath, body, reply);
    currentReplyDocument_ = LoadReplyDocument(reply);
    const ReplyNode subtitles = FindChildElement(*currentReplyDocument_, "subtitles");
    // One walk over the records: a reply may list very many.
    const std::vector<ReplyNode> records = Children(subtitles);
    const int count = static_cast<int>(records.size());
    for (int i = 0; i < count; ++i) {
      const ReplyNode name = FindChildElement(records[i], "name");
      const std::wstring caption = AnsiToText(ReadReplyText(name));
      view_.AddSubtitleRow(i, caption);
      rowCount_ = i + 1;
      view_.SetRowTicked(0, true);
      view_.SetRowBold(0);
    }
  } catch (...) {
    return false;
  }
  return rowCount_ > 0;
}
