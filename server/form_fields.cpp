#include "form_fields.h"

namespace {
const std::string kRestField = "subtitles";
}

std::optional<FormFields> FormFields::Parse(const std::string& body) {
  if (body.empty()) return std::nullopt;
  FormFields form;
  size_t at = 0;
  while (at <= body.size()) {
    const size_t equals = body.find('=', at);
    const size_t amp = body.find('&', at);
    if (equals == std::string::npos || (amp != std::string::npos && amp < equals) ||
        equals == at) {
      return std::nullopt;
    }
    std::string name = body.substr(at, equals - at);
    if (name == kRestField) {
      form.fields_.emplace_back(std::move(name), body.substr(equals + 1));
      break;
    }
    const size_t end = amp == std::string::npos ? body.size() : amp;
    form.fields_.emplace_back(std::move(name), body.substr(equals + 1, end - equals - 1));
    if (amp == std::string::npos) break;
    at = amp + 1;
  }
  return form;
}

std::optional<std::string> FormFields::Get(const std::string& name) const {
  for (const auto& [key, value] : fields_) {
    if (key == name) return value;
  }
  return std::nullopt;
}
