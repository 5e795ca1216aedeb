#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "service_failure.h"

namespace pugi {
struct xml_node_struct;
class xml_document;
}  // namespace pugi

// A node of a reply document, or nothing (what FindChildElement gives when
// no child has the name). A handle: valid while its document lives and the
// node is in it. Using nothing where a node is needed raises ReplyFailure.
class ReplyNode {
 public:
  ReplyNode() = default;
  explicit ReplyNode(pugi::xml_node_struct* node) : node_(node) {}

  explicit operator bool() const { return node_ != nullptr; }
  pugi::xml_node_struct* get() const { return node_; }

 private:
  pugi::xml_node_struct* node_ = nullptr;
};

// The XML document parsed from one reply. Shared: the window's current
// reply document and the operation that made it may both hold it, and it
// goes away with its last reference.
class ReplyDocument {
 public:
  ReplyDocument();
  ~ReplyDocument();
  ReplyDocument(const ReplyDocument&) = delete;
  ReplyDocument& operator=(const ReplyDocument&) = delete;

  // The document node: its child nodes are the document's top-level nodes.
  ReplyNode Root() const;

  pugi::xml_document& xml() const { return *document_; }

 private:
  std::unique_ptr<pugi::xml_document> document_;
};

using ReplyDocumentRef = std::shared_ptr<ReplyDocument>;

// Raised for a reply that is not well-formed XML or too large, and for the
// use of a node that was not found.
class ReplyFailure : public ServiceFailure {
 public:
  using ServiceFailure::ServiceFailure;
};

// Parses a whole reply buffer into a new document. The encoding comes from
// the document itself: a byte-order mark (UTF-8, UTF-16, UTF-32), else the
// XML declaration (ISO-8859-1, Windows-1252), else UTF-8. Raises
// ReplyFailure for a reply that is not well-formed XML or larger than
// kMaxReplyBytes.
ReplyDocumentRef LoadReplyDocument(const std::string& replyBytes);

// The first child node of `parent` (the document's top level, or an element)
// with that name, or nothing.
ReplyNode FindChildElement(const ReplyDocument& document, const std::string& name);
ReplyNode FindChildElement(const ReplyNode& parent, const std::string& name);

// The element's child nodes (elements and non-blank texts) by index.
// ChildAt walks from the first child on every call: loops over a list take
// Children instead.
size_t ChildCount(const ReplyNode& element);
ReplyNode ChildAt(const ReplyNode& element, size_t index);  // ReplyFailure when out of range

// All of the element's child nodes, in order, in one walk: what ChildAt
// gives for 0 to ChildCount - 1. Removing one of them leaves the handles
// of the others valid.
std::vector<ReplyNode> Children(const ReplyNode& element);

// Takes `child` out of `parent`'s child nodes; the child's handle is then
// no longer valid.
void RemoveChild(const ReplyNode& parent, const ReplyNode& child);

// The element's text content (empty for an element without content), each
// UTF-16 unit narrowed to 8 bits: a value as the service spelled it.
std::string ReadElementText(const ReplyNode& element);

// ReadElementText, then decoded with DecodeBase64: a value's bytes.
std::string ReadReplyText(const ReplyNode& element);

// The whole document as XML text, as lines each followed by CR LF, the
// last one included: the form in which the edited list reply goes back to
// the service.
std::wstring SerializeReplyDocument(const ReplyDocument& document);
