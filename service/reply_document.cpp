#include "reply_document.h"

#include <cctype>
#include <sstream>

#include <pugixml.hpp>

#include "base64.h"
#include "memory_reply_sink.h"
#include "text_forms.h"

namespace {

pugi::xml_node Node(const ReplyNode& node) { return pugi::xml_node(node.get()); }

pugi::xml_node Required(const ReplyNode& node) {
  if (!node) throw ReplyFailure("reply element not found");
  return Node(node);
}

bool StartsWith(const std::string& text, const char* prefix) {
  return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

std::string Lowercase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The encoding named by an 8-bit document's XML declaration, lowercase, or
// empty. Looks only at a declaration at the very start.
std::string DeclaredEncoding(const std::string& bytes) {
  if (!StartsWith(bytes, "<?xml")) return {};
  const size_t end = bytes.find("?>");
  if (end == std::string::npos) return {};
  const std::string declaration = bytes.substr(0, end);
  size_t at = declaration.find("encoding");
  if (at == std::string::npos) return {};
  at = declaration.find_first_of("\"'", at);
  if (at == std::string::npos) return {};
  const size_t close = declaration.find(declaration[at], at + 1);
  if (close == std::string::npos) return {};
  return Lowercase(declaration.substr(at + 1, close - at - 1));
}

bool HasByteOrderMark(const std::string& bytes) {
  return StartsWith(bytes, "\xEF\xBB\xBF") || StartsWith(bytes, "\xFF\xFE") ||
         StartsWith(bytes, "\xFE\xFF");
}

// All text below `element`, in document order. Walks the tree without
// recursion: a reply may nest elements deeper than the stack would allow.
std::string TextContent(pugi::xml_node element) {
  std::string out;
  pugi::xml_node node = element.first_child();
  while (node && node != element) {
    if (node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata) out += node.value();
    if (node.type() == pugi::node_element && node.first_child()) {
      node = node.first_child();
      continue;
    }
    while (node != element && !node.next_sibling()) node = node.parent();
    if (node != element) node = node.next_sibling();
  }
  return out;
}

}  // namespace

ReplyDocument::ReplyDocument() : document_(std::make_unique<pugi::xml_document>()) {}
ReplyDocument::~ReplyDocument() = default;

ReplyNode ReplyDocument::Root() const { return ReplyNode(document_->internal_object()); }

ReplyDocumentRef LoadReplyDocument(const std::string& replyBytes) {
  if (replyBytes.size() > kMaxReplyBytes) throw ReplyFailure("reply larger than its limit");
  auto document = std::make_shared<ReplyDocument>();
  pugi::xml_parse_result result;
  const std::string declared = HasByteOrderMark(replyBytes) ? "" : DeclaredEncoding(replyBytes);
  if (declared == "windows-1252" || declared == "cp1252") {
    // pugixml knows ISO-8859-1 but not its Windows superset.
    const std::string utf8 = pugi::as_utf8(Windows1252ToText(replyBytes));
    result = document->xml().load_buffer(utf8.data(), utf8.size(), pugi::parse_default,
                                         pugi::encoding_utf8);
  } else {
    result = document->xml().load_buffer(replyBytes.data(), replyBytes.size(),
                                         pugi::parse_default, pugi::encoding_auto);
  }
  if (!result) throw ReplyFailure(std::string("reply is not well-formed XML: ") + result.description());
  return document;
}

ReplyNode FindChildElement(const ReplyDocument& document, const std::string& name) {
  return FindChildElement(document.Root(), name);
}

ReplyNode FindChildElement(const ReplyNode& parent, const std::string& name) {
  return ReplyNode(Required(parent).child(name.c_str()).internal_object());
}

size_t ChildCount(const ReplyNode& element) {
  const pugi::xml_node node = Required(element);
  size_t count = 0;
  for (auto it = node.begin(); it != node.end(); ++it) ++count;
  return count;
}

ReplyNode ChildAt(const ReplyNode& element, size_t index) {
  size_t i = 0;
  for (pugi::xml_node child : Required(element).children()) {
    if (i++ == index) return ReplyNode(child.internal_object());
  }
  throw ReplyFailure("reply element has no child at that index");
}

std::vector<ReplyNode> Children(const ReplyNode& element) {
  std::vector<ReplyNode> children;
  for (pugi::xml_node child : Required(element).children()) {
    children.emplace_back(child.internal_object());
  }
  return children;
}

void RemoveChild(const ReplyNode& parent, const ReplyNode& child) {
  if (!Required(parent).remove_child(Required(child))) {
    throw ReplyFailure("reply node is not a child of that element");
  }
}

std::string ReadElementText(const ReplyNode& element) {
  return NarrowText(pugi::as_wide(TextContent(Required(element))));
}

std::string ReadReplyText(const ReplyNode& element) {
  return DecodeBase64(ReadElementText(element));
}

std::wstring SerializeReplyDocument(const ReplyDocument& document) {
  std::ostringstream out;
  // One node a line, without indentation: indenting would make the text
  // grow with the square of the nesting depth.
  document.xml().save(out, "", pugi::format_indent, pugi::encoding_utf8);
  const std::wstring text = pugi::as_wide(out.str());
  std::wstring lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(L'\n', start);
    if (end == std::wstring::npos) end = text.size();
    lines.append(text, start, end - start);
    lines += L"\r\n";
    start = end + 1;
  }
  return lines;
}
