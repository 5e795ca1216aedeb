#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

// A request body as the wizard sends it: "name=value" pairs joined by "&",
// values verbatim (never percent-encoded, so a Base64 "+" stays a "+").
// The "subtitles" field carries XML text and comes last: its value is the
// whole rest of the body, "&" and "=" included.
class FormFields {
 public:
  // Nothing for a body that is no form: empty, or a piece without "=" or
  // without a name.
  static std::optional<FormFields> Parse(const std::string& body);

  // The first field of that name; nothing when absent.
  std::optional<std::string> Get(const std::string& name) const;

 private:
  std::vector<std::pair<std::string, std::string>> fields_;
};
