#include "reply_document.h"

#include <gtest/gtest.h>

#include "base64.h"
#include "memory_reply_sink.h"
#include "text_forms.h"

namespace {

// UTF-16 little or big endian bytes, with a byte-order mark, of ASCII or
// Latin-1 text.
std::string Utf16(const std::string& latin1, bool bigEndian) {
  std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
  for (char c : latin1) {
    if (bigEndian) out.push_back('\0');
    out.push_back(c);
    if (!bigEndian) out.push_back('\0');
  }
  return out;
}

// A film lookup reply, in Latin-1, with an accented note beside its Base64
// values.
const char kMovie[] = "<movie><name>Q2FzYWJsYW5jYQ==</name><id>MTIzNA==</id><note>\xE9t\xE9</note></movie>";

struct EncodingCase {
  const char* name;
  std::string bytes;
};

TEST(ReplyDocument, ReadsTheSameValuesInEveryEncoding) {
  const std::string latin1Body = kMovie;
  std::string utf8Body = latin1Body;
  utf8Body.replace(utf8Body.find("\xE9t\xE9"), 3, "\xC3\xA9t\xC3\xA9");
  const EncodingCase cases[] = {
      {"UTF-8 without declaration", utf8Body},
      {"UTF-8 with byte-order mark", "\xEF\xBB\xBF" + utf8Body},
      {"UTF-8 with BOM and declaration",
       "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" + utf8Body},
      {"UTF-16 LE with byte-order mark", Utf16("<?xml version=\"1.0\"?>" + latin1Body, false)},
      {"UTF-16 BE with byte-order mark", Utf16(latin1Body, true)},
      {"ISO-8859-1 by declaration",
       "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n" + latin1Body},
      {"Windows-1252 by declaration",
       "<?xml version='1.0' encoding='windows-1252' standalone='yes'?>" + latin1Body},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const ReplyDocumentRef document = LoadReplyDocument(c.bytes);
    const ReplyNode movie = FindChildElement(*document, "movie");
    ASSERT_TRUE(movie);
    EXPECT_EQ(ReadReplyText(FindChildElement(movie, "name")), "Casablanca");
    EXPECT_EQ(ReadReplyText(FindChildElement(movie, "id")), "1234");
    EXPECT_EQ(ReadElementText(FindChildElement(movie, "id")), "MTIzNA==");
    EXPECT_EQ(ReadElementText(FindChildElement(movie, "note")), "\xE9t\xE9");
  }
}

TEST(ReplyDocument, TextOfAnElement) {
  const ReplyDocumentRef document = LoadReplyDocument(
      "<r><empty/><open></open><spaced> SGVsbG8= </spaced><cut>SGVs bG8=</cut>"
      "<nofill>SGVsbG8</nofill><split>SGVs<![CDATA[bG8=]]></split>"
      "<wide>\xC5\x81</wide><escaped>&#x41;&amp;</escaped></r>");
  const ReplyNode r = FindChildElement(*document, "r");
  EXPECT_EQ(ReadReplyText(FindChildElement(r, "empty")), "");
  EXPECT_EQ(ReadReplyText(FindChildElement(r, "open")), "");
  EXPECT_EQ(AnsiToText(ReadReplyText(FindChildElement(r, "empty"))), L"");
  // The text is taken as it stands: a leading space ends the decoding.
  EXPECT_EQ(ReadReplyText(FindChildElement(r, "spaced")), "");
  EXPECT_EQ(ReadReplyText(FindChildElement(r, "cut")), "Hel");
  EXPECT_EQ(ReadReplyText(FindChildElement(r, "nofill")), "Hello");
  EXPECT_EQ(ReadReplyText(FindChildElement(r, "split")), "Hello");
  // Narrowing keeps the low byte of each UTF-16 unit: U+0141 gives "A".
  EXPECT_EQ(ReadElementText(FindChildElement(r, "wide")), "A");
  EXPECT_EQ(ReadElementText(FindChildElement(r, "escaped")), "A&");
}

TEST(ReplyDocument, FindsTheFirstChildOfThatName) {
  const ReplyDocumentRef document =
      LoadReplyDocument("<subtitle><id>MQ==</id><id>Mg==</id><date>ZA==</date></subtitle>");
  const ReplyNode subtitle = FindChildElement(*document, "subtitle");
  EXPECT_EQ(ReadReplyText(FindChildElement(subtitle, "id")), "1");
  EXPECT_FALSE(FindChildElement(subtitle, "Id"));  // names are case-sensitive
  EXPECT_FALSE(FindChildElement(*document, "id"));  // top level only
}

TEST(ReplyDocument, UsingAnElementThatWasNotFoundFails) {
  // The list shape where the best-subtitle shape is expected.
  const ReplyDocumentRef document = LoadReplyDocument("<subtitles><s><id>MQ==</id></s></subtitles>");
  const ReplyNode subtitle = FindChildElement(*document, "subtitle");
  EXPECT_FALSE(subtitle);
  EXPECT_THROW(FindChildElement(subtitle, "id"), ReplyFailure);
  EXPECT_THROW(ReadReplyText(subtitle), ReplyFailure);
  EXPECT_THROW(ReadElementText(subtitle), ReplyFailure);
  EXPECT_THROW(ChildCount(subtitle), ReplyFailure);
  EXPECT_THROW(ChildAt(subtitle, 0), ReplyFailure);
  const ReplyNode list = FindChildElement(*document, "subtitles");
  EXPECT_THROW(ChildAt(list, 1), ReplyFailure);
  EXPECT_THROW(RemoveChild(list, ReplyNode()), ReplyFailure);
  // Every failure of a reply is a ServiceFailure for the exchange's guard.
  EXPECT_THROW(ReadReplyText(subtitle), ServiceFailure);
}

TEST(ReplyDocument, BadRepliesFailWithoutCrashing) {
  const std::string cases[] = {
      "",
      "   ",
      "Not Found",
      "<movie><name>Q2Fz",                        // cut off
      "<movie><name>x</movie>",                   // mismatched
      "<a b=\"1></a>",
      std::string("\x00\x01\x02\xFF\xFE", 5),
      "\xFF\xFE<\0",                              // half a UTF-16 document
      "<?xml version=\"1.0\"?>",
      "PK\x03\x04 an archive",
  };
  for (const auto& bytes : cases) {
    EXPECT_THROW(LoadReplyDocument(bytes), ReplyFailure) << bytes;
  }
}

TEST(ReplyDocument, DeeplyNestedRepliesAreReadWithoutExhaustingTheStack) {
  const size_t depth = 300000;
  std::string bytes = "<subtitle><id>";
  for (size_t i = 0; i < depth; ++i) bytes += "<a>";
  bytes += "MTIz";
  for (size_t i = 0; i < depth; ++i) bytes += "</a>";
  bytes += "NDU=</id></subtitle>";
  const ReplyDocumentRef document = LoadReplyDocument(bytes);
  const ReplyNode id = FindChildElement(FindChildElement(*document, "subtitle"), "id");
  EXPECT_EQ(ReadReplyText(id), "12345");
  // One line per element: the text stays in proportion to the reply.
  const std::wstring xml = SerializeReplyDocument(*document);
  EXPECT_LT(xml.size(), 2 * bytes.size());
}

TEST(ReplyDocument, TextContentFollowsDocumentOrder) {
  const ReplyDocumentRef document =
      LoadReplyDocument("<id>M<b>T<c>I</c></b><d/>z<e>N<f>D</f></e>U=</id>");
  EXPECT_EQ(ReadElementText(FindChildElement(*document, "id")), "MTIzNDU=");
}

TEST(ReplyDocument, RepliesLargerThanTheLimitFail) {
  const std::string open = "<subtitles>";
  const std::string close = "</subtitles>";
  std::string bytes = open + std::string(kMaxReplyBytes - open.size() - close.size(), ' ') + close;
  EXPECT_NO_THROW(LoadReplyDocument(bytes));
  bytes.insert(open.size(), " ");
  EXPECT_THROW(LoadReplyDocument(bytes), ReplyFailure);
}

TEST(ReplyDocument, RecordsByIndexCanBeRemovedAndTheRestSentBack) {
  const ReplyDocumentRef document = LoadReplyDocument(
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<subtitles>\n"
      "  <subtitle><id>MQ==</id><name>YQ==</name><date>ZA==</date></subtitle>\n"
      "  <subtitle><id>Mg==</id><name>Yg==</name><date>ZA==</date></subtitle>\n"
      "  <subtitle><id>Mw==</id><name>Yw==</name><date>ZA==</date></subtitle>\n"
      "</subtitles>\n");
  const ReplyNode list = FindChildElement(*document, "subtitles");
  ASSERT_EQ(ChildCount(list), 3u);
  EXPECT_EQ(ReadReplyText(FindChildElement(ChildAt(list, 2), "name")), "c");

  RemoveChild(list, ChildAt(list, 1));
  ASSERT_EQ(ChildCount(list), 2u);
  EXPECT_EQ(ReadReplyText(FindChildElement(ChildAt(list, 1), "id")), "3");

  const std::wstring xml = SerializeReplyDocument(*document);
  EXPECT_EQ(xml,
            L"<?xml version=\"1.0\"?>\r\n"
            L"<subtitles>\r\n"
            L"<subtitle>\r\n"
            L"<id>MQ==</id>\r\n"
            L"<name>YQ==</name>\r\n"
            L"<date>ZA==</date>\r\n"
            L"</subtitle>\r\n"
            L"<subtitle>\r\n"
            L"<id>Mw==</id>\r\n"
            L"<name>Yw==</name>\r\n"
            L"<date>ZA==</date>\r\n"
            L"</subtitle>\r\n"
            L"</subtitles>\r\n");

  RemoveChild(list, ChildAt(list, 1));
  RemoveChild(list, ChildAt(list, 0));
  EXPECT_EQ(ChildCount(list), 0u);
  EXPECT_EQ(SerializeReplyDocument(*document), L"<?xml version=\"1.0\"?>\r\n<subtitles />\r\n");
  // The edited document reads back to the same shape.
  EXPECT_EQ(ChildCount(FindChildElement(*LoadReplyDocument(NarrowText(SerializeReplyDocument(*document))),
                                        "subtitles")),
            0u);
}

TEST(ReplyDocument, ChildrenInOneWalkAreTheChildrenByIndexAndOutliveARemoval) {
  const ReplyDocumentRef document = LoadReplyDocument(
      "<subtitles><s><id>MQ==</id></s>text<s><id>Mg==</id></s><s><id>Mw==</id></s></subtitles>");
  const ReplyNode list = FindChildElement(*document, "subtitles");
  const std::vector<ReplyNode> children = Children(list);
  ASSERT_EQ(children.size(), ChildCount(list));
  for (size_t i = 0; i < children.size(); ++i) {
    EXPECT_EQ(children[i].get(), ChildAt(list, i).get()) << i;
  }
  RemoveChild(list, children[2]);
  RemoveChild(list, children[1]);
  EXPECT_EQ(ReadReplyText(FindChildElement(children[3], "id")), "3");
  EXPECT_EQ(Children(list).size(), 2u);
  EXPECT_THROW(Children(ReplyNode()), ReplyFailure);
}

TEST(ReplyDocument, SerialisedTextKeepsMarkupAndCharacters) {
  const ReplyDocumentRef document =
      LoadReplyDocument("<subtitles><s a=\"x&amp;y\">\xC3\xA9&lt;</s></subtitles>");
  EXPECT_EQ(SerializeReplyDocument(*document),
            L"<?xml version=\"1.0\"?>\r\n<subtitles>\r\n<s a=\"x&amp;y\">\u00e9&lt;</s>\r\n</subtitles>\r\n");
}

TEST(ReplyDocument, LivesWhileAnyoneHoldsIt) {
  ReplyDocumentRef current = LoadReplyDocument("<subtitles><s/></subtitles>");
  std::weak_ptr<ReplyDocument> watch = current;
  ReplyDocumentRef kept = current;
  current = LoadReplyDocument("<subtitle/>");  // the window takes a newer reply
  ASSERT_FALSE(watch.expired());
  EXPECT_EQ(ChildCount(FindChildElement(*kept, "subtitles")), 1u);
  kept.reset();
  EXPECT_TRUE(watch.expired());
}

}  // namespace
