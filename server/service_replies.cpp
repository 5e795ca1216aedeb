#include "service_replies.h"

#include <pugixml.hpp>

#include <algorithm>
#include <optional>

#include "base64.h"
#include "form_fields.h"
#include "server_text.h"
#include "zip_builder.h"

ServiceReply BadRequest(const std::string& why, int status) {
  return {status, why + "\n", "text/plain; charset=utf-8"};
}

namespace {

ServiceReply Xml(const std::string& element) { return {200, "<?xml version=\"1.0\"?>" + element, "text/xml"}; }

std::string Element(const std::string& name, const std::string& value) {
  return "<" + name + ">" + value + "</" + name + ">";
}

// A decimal integer that fills the whole text, within [low, high]; at most
// 18 digits, so the value cannot overflow while it is read.
std::optional<int64_t> ParseInteger(const std::string& text, int64_t low, int64_t high) {
  if (text.empty() || text.size() > 19 || (text[0] != '-' && text.size() > 18)) return std::nullopt;
  size_t at = text[0] == '-' ? 1 : 0;
  if (at == text.size()) return std::nullopt;
  int64_t value = 0;
  for (; at < text.size(); ++at) {
    if (text[at] < '0' || text[at] > '9') return std::nullopt;
    value = value * 10 + (text[at] - '0');
  }
  if (text[0] == '-') value = -value;
  if (value < low || value > high) return std::nullopt;
  return value;
}

// The video fingerprint from the "hash" field: Base64 of 16 hex digits.
std::optional<uint64_t> ParseFingerprint(const std::string& hash) {
  const std::string text = DecodeBase64(hash);
  if (text.size() != 16 || text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
    return std::nullopt;
  }
  return std::stoull(text, nullptr, 16);
}

// What every XML lookup asks: a fingerprint and, for subtitles, a language.
struct Lookup {
  uint64_t fingerprint = 0;
  int32_t language = 0;
};

// Reads the fields of a lookup; the reply to send instead when they are bad.
std::optional<ServiceReply> ReadLookup(const std::string& body, bool withLanguage, Lookup& lookup) {
  const auto form = FormFields::Parse(body);
  if (!form) return BadRequest("the body is not a form");
  const auto hash = form->Get("hash");
  if (!hash) return BadRequest("missing field hash");
  const auto fingerprint = ParseFingerprint(*hash);
  if (!fingerprint) return BadRequest("hash is not the Base64 form of a video fingerprint");
  lookup.fingerprint = *fingerprint;
  if (withLanguage) {
    const auto code = form->Get("cod_language");
    if (!code) return BadRequest("missing field cod_language");
    const auto language = ParseInteger(*code, INT32_MIN, INT32_MAX);
    if (!language) return BadRequest("cod_language is not a number");
    lookup.language = static_cast<int32_t>(*language);
  }
  return std::nullopt;
}

std::string SubtitleRecord(const StoredSubtitle& subtitle) {
  return Element("subtitle", Element("id", EncodeBase64(std::to_string(subtitle.id))) +
                                 Element("name", ReplyValue(subtitle.name)) +
                                 Element("date", EncodeBase64(subtitle.date)) +
                                 Element("uses", EncodeBase64(std::to_string(subtitle.uses))));
}

std::string PosterName(int64_t film) { return "cover-" + std::to_string(film) + "-128-198.jpg"; }

ServiceReply Archive(const std::vector<StoredSubtitle>& subtitles, int64_t posterFilm,
                     const std::string& poster) {
  std::vector<ArchiveFile> files;
  for (const auto& subtitle : subtitles) {
    files.push_back({SafeEntryName(subtitle.fileName), subtitle.bytes, subtitle.date});
  }
  if (!poster.empty()) files.push_back({PosterName(posterFilm), poster, {}});
  return {200, BuildArchive(files), "application/zip"};
}

// response=single: the subtitle named by its identifier and date.
ServiceReply SingleFile(SubtitleStore& store, const FormFields& form) {
  const auto idField = form.Get("cod_bsplayer");
  const auto dateField = form.Get("post_date");
  if (!idField || !dateField) return BadRequest("missing field cod_bsplayer or post_date");
  const auto id = ParseInteger(DecodeBase64(*idField), 1, INT64_MAX);
  if (!id) return BadRequest("cod_bsplayer is not the Base64 form of a subtitle number");
  // Look first, count only what is sent: a wrong date takes nothing.
  const auto subtitles = store.TakeSubtitleFiles({*id}, DecodeBase64(*dateField));
  if (subtitles.empty()) return BadRequest("no such subtitle", 404);
  return Archive(subtitles, 0, {});
}

// response=multiple: the records left in the list reply the wizard sends
// back, and the poster of the film when asked.
ServiceReply MultipleFiles(SubtitleStore& store, const FormFields& form) {
  const auto listed = form.Get("subtitles");
  if (!listed) return BadRequest("missing field subtitles");
  pugi::xml_document document;
  if (!document.load_buffer(listed->data(), listed->size(), pugi::parse_default,
                            pugi::encoding_auto)) {
    return BadRequest("subtitles is not XML");
  }
  const pugi::xml_node list = document.child("subtitles");
  if (!list) return BadRequest("subtitles holds no subtitles element");
  std::vector<int64_t> ids;
  for (const pugi::xml_node record : list.children()) {
    const auto id = ParseInteger(DecodeBase64(record.child_value("id")), 1, INT64_MAX);
    if (id && std::find(ids.begin(), ids.end(), *id) == ids.end()) ids.push_back(*id);
  }
  const auto subtitles = store.TakeSubtitleFiles(ids, std::nullopt);
  int64_t film = 0;
  std::string poster;
  if (form.Get("poster").value_or("") == "true") {
    film = ParseInteger(DecodeBase64(form.Get("imdb").value_or("")), 1, INT64_MAX).value_or(0);
    // A film the wizard could not identify: the film of the subtitles.
    if (film == 0 && !subtitles.empty()) film = subtitles.front().film;
    poster = store.Poster(film);
  }
  return Archive(subtitles, film, poster);
}

}  // namespace

ServiceReply MovieByHashReply(SubtitleStore& store, const std::string& body) {
  Lookup lookup;
  if (auto bad = ReadLookup(body, false, lookup)) return *bad;
  const auto film = store.FindFilmByFingerprint(lookup.fingerprint);
  // A movie without name is the wizard's "not identified".
  if (!film) return Xml("<movie></movie>");
  return Xml(Element("movie", Element("name", ReplyValue(film->name)) +
                                  Element("id", EncodeBase64(std::to_string(film->number)))));
}

ServiceReply BestSubtitleReply(SubtitleStore& store, const std::string& body) {
  Lookup lookup;
  if (auto bad = ReadLookup(body, true, lookup)) return *bad;
  const auto best = store.ListSubtitles(lookup.fingerprint, lookup.language, 1);
  // A subtitle without id is the wizard's "nothing found".
  if (best.empty()) return Xml("<subtitle></subtitle>");
  return Xml(SubtitleRecord(best.front()));
}

ServiceReply SubtitleListReply(SubtitleStore& store, const std::string& body) {
  Lookup lookup;
  if (auto bad = ReadLookup(body, true, lookup)) return *bad;
  std::string records;
  for (const auto& subtitle :
       store.ListSubtitles(lookup.fingerprint, lookup.language, kListedSubtitles)) {
    records += SubtitleRecord(subtitle);
  }
  return Xml(Element("subtitles", records));
}

ServiceReply SubtitleFilesReply(SubtitleStore& store, const std::string& body) {
  const auto form = FormFields::Parse(body);
  if (!form) return BadRequest("the body is not a form");
  const std::string response = form->Get("response").value_or("");
  if (response == "single") return SingleFile(store, *form);
  if (response == "multiple") return MultipleFiles(store, *form);
  return BadRequest("response must be single or multiple");
}
