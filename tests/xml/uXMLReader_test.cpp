#include "uXMLReader.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "BasicFn.h"

namespace pallix {
namespace {

std::string ParseError(std::string document) {
  TXMLStringReader reader(std::move(document));
  try {
    reader.RootNode();
  } catch (const Error& e) {
    return e.what();
  }
  return "(no error)";
}

// A compact picture of a tree: name[props]{text}(children), to compare whole trees at once.
std::string Dump(const TXMLNode* node) {
  if (!node) return "-";
  std::string out(node->Name());
  if (!node->Text().empty()) out += "{" + std::string(node->Text()) + "}";
  if (node->ChildCount() > 0) {
    out += "(";
    for (int i = 0; i < node->ChildCount(); ++i) out += (i ? "," : "") + Dump(node->GetChild(i));
    out += ")";
  }
  return out;
}

struct ErrorCase {
  const char* document;
  const char* message;
};

TEST(XMLReaderErrors, ExactMessages) {
  const ErrorCase cases[] = {
      {"<scene/>", "Unexpected character '/' in input (...<scene/>), position (1,8)."},
      {"<?xml version=\"1.0\"?>", "Unexpected character '?' in input (...<?xml vers), position (1,3)."},
      {"<a b='1' />", "Unexpected character ''' in input (...<a b='1' /), position (1,7)."},
      {"<a b />", "Unexpected character '/' in input (...<a b />), position (1,7)."},
      {"<!DOCTYPE a><a></a>", "Unexpected character 'D' in input (...<!DOCTYPE ), position (1,4)."},
      {"<a><![CDATA[x]]></a>", "Unexpected character '[' in input (...<a><![CDAT), position (1,7)."},
      {"< a />", "Unexpected character ' ' in input (...< a />), position (1,3)."},
      {"<a:b />", "Unexpected character ':' in input (...<a:b />), position (1,4)."},
      {"<a></a >", "Unexpected character ' ' in input (...<a></a >), position (1,8)."},
      {"<abcdefghij><k x=\"1\"=/>", "Unexpected character '=' in input (...><k x=\"1\"=), position (1,22)."},
      {"<a\xE9 />", "Unexpected character '\xE9' in input (...<a\xE9 />), position (1,4)."},
      {"<a>\r\n  <b>\r\n</a>", "Opening tag \"b\" doesn't mach closing tag \"a\" (3,5)"},
      {"<a>\n<b>\n</a>", "Opening tag \"b\" doesn't mach closing tag \"a\" (1,11)"},  // LF alone: one line
      {"<a>\r\n\r\n  <b x=\"1\" ?", "Unexpected character '?' in input (...<b x=\"1\" ?), position (3,13)."},
      {"<a><b></a>", "Opening tag \"b\" doesn't mach closing tag \"a\" (1,11)"},
      {"<A><B></A>", "Opening tag \"b\" doesn't mach closing tag \"a\" (1,11)"},
      {"<a></>>", "Opening tag \"a\" doesn't mach closing tag \">\" (1,8)"},
      {"<a>", "Closing tag missing for opening tag a"},
      {"<Root><Inner>", "Closing tag missing for opening tag inner"},
      {"<a></a><b></b>", "Only 1 root node supported."},
      {"x<a></a>", "Unexpected text encountered outside root node."},
      {"<a></a>x", "Unexpected text encountered outside root node."},
      {"</a>", "Closing tag \"a\" found while no element is open (1,5)"},
      {"<a>&#2147483648;</a>", "Character reference \"&#2147483648;\" is out of range."},
      {"<a b=\"&#99999999999;\" />", "Character reference \"&#99999999999;\" is out of range."},
      {"<a/", "Unexpected character '/' in input (...<a/), position (1,4)."},
      {"<a /x>", "Unexpected character 'x' in input (...<a /x>), position (1,6)."},
      {"<a><!x></a>", "Unexpected character 'x' in input (...<a><!x></a), position (1,7)."},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseError(c.document), c.message) << c.document;
}

TEST(XMLReaderErrors, EndOfInputInsideMarkup) {
  for (const char* document :
       {"<",           "<a",           "<a ",   "<a b",    "<a b=", "<a b=\"", "<a b=\"1",
        "<a b=\"1\"",  "<a /",         "<a></", "<a></a",  "<!",    "<!-",     "<a><!-- x",
        "<a><!-- x -", "<a><!-- x --", "<a b ", "<a b = ", "<Ab",   "<aB ",    "<A B"}) {
    EXPECT_EQ(ParseError(document), "Unexpected end of input.") << document;
  }
}

TEST(XMLReaderErrors, FailedParseHandsOutNothingAndRepeats) {
  TXMLStringReader reader("<a><b></a>");
  EXPECT_THROW(reader.RootNode(), Error);
  EXPECT_EQ(reader.TreeBytes(), 0u);
  EXPECT_THROW(reader.RootNode(), Error);
}

struct TreeCase {
  std::string document;
  std::string tree;
};

TEST(XMLReaderTrees, Shapes) {
  const TreeCase cases[] = {
      {"<scene />", "scene"},
      {"<a ></a>", "a"},
      {"<a\r\n></a>", "a"},
      {"<a x=\"1\"y=\"2\" />", "a"},
      {"<a x=\"1\"/>", "a"},
      {"<a><b /><c></c><d x=\"1\" /></a>", "a(b,c,d)"},
      {"<!-- c --><a><!-- d -->x<b />y</a>", "a{xy}(b)"},
      {"<a><!-- a - b -- c --->x--></a>", "a"},
      {"<a>  <b> t </b>\r\n</a>", "a(b{ t })"},
      {"<a>1 &lt; 2 &amp;&amp; 3 &#65;&#321;&#x41;&zz;&</a>", "a{1 < 2 && 3 AA&#x41;&zz;&}"},
      {"<a>&amp</a>", "a{&amp}"},
      {"<a>&#99999999999x;</a>", "a{&#99999999999x;}"},  // not all digits: no number at all
      {"<a>&&amp;&#;&AMP;&nbsp;&apos;&quot;&gt;</a>", "a{&&&#;&AMP;&nbsp;'\">}"},
      {"<a>&#0000000065;&#256;x</a>", std::string("a{A\0x}", 6)},
      {"<Scene><Layer/ ></Scene>", "-"},
      {"", "-"},
      {"  \r\n\t ", "-"},
      {"<!-- only a comment --> <!---->", "-"},
      {"<a>x<!-- c -->y<b>z</b>w</a>", "a{xyw}(b{z})"},
      {"<a>&amp;x<b/ >y&lt;</a>", "-"},
  };
  for (const auto& c : cases) {
    TXMLStringReader reader(c.document);
    std::string got;
    try {
      got = Dump(reader.RootNode());
    } catch (const Error& e) {
      got = "-";
    }
    EXPECT_EQ(got, c.tree) << c.document;
  }
}

TEST(XMLReaderTrees, PropertiesFoldedNamesAndValues) {
  TXMLStringReader reader(
      "<A B=\"1\" C = \"x\" ShadowOpacity=\"70\" v=\"a&amp;b&quot;c\" e=\"\"\r\n"
      " m=\"line1\r\nline2\t<>\" b=\"2\" k\r\n=\"cr\" _=\"u\"></a>");
  const TXMLNode* a = reader.RootNode();
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->Name(), "a");
  EXPECT_EQ(a->GetProperty("b"), "2");  // a repeated name replaces the value
  EXPECT_EQ(a->GetProperty("C"), "x");
  EXPECT_EQ(a->GetProperty("v"), "a&b\"c");
  EXPECT_EQ(a->GetProperty("e"), "");
  EXPECT_EQ(a->GetProperty("m"), "line1\r\nline2\t<>");
  for (const char* name : {"shadowOpacity", "SHADOWOPACITY", "shadowopacity"}) {
    EXPECT_TRUE(a->HasProperty(name)) << name;
    EXPECT_EQ(a->GetProperty(name), "70");
  }
  EXPECT_EQ(a->GetProperty("K"), "cr");
  EXPECT_EQ(a->GetProperty("_"), "u");
  for (const char* name : {"", "shadow", "shadowOpacityX", "b=", "b=\"2", "x", "k-", "k\r", "\x7F"}) {
    EXPECT_FALSE(a->HasProperty(name)) << name;
  }
}

TEST(XMLReaderTrees, ManyRepeatedPropertiesKeepTheLastValue) {
  std::string doc = "<a";
  for (int round = 0; round < 3; ++round) {
    for (int k = 0; k < 40; ++k) doc += " P" + IntToStr(k) + "=\"" + IntToStr(round * 100 + k) + "\"";
  }
  doc += " />";
  TXMLStringReader reader(doc);
  const TXMLNode* a = reader.RootNode();
  for (int k = 0; k < 40; ++k) EXPECT_EQ(a->GetIntProperty("p" + IntToStr(k)), 200 + k);
}

TEST(XMLReaderTrees, MissingPropertyAndChildIndex) {
  TXMLStringReader reader("<scene><vertex x=\"1\" /></scene>");
  const TXMLNode* scene = reader.RootNode();
  const TXMLNode* vertex = scene->GetChild(0);
  EXPECT_EQ(vertex->ChildCount(), 0);
  EXPECT_EQ(vertex->GetChild(5), nullptr);
  EXPECT_EQ(vertex->GetChild(-1), nullptr);
  try {
    vertex->GetProperty("y");
    FAIL();
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), "Property \"y\" not found for node \"vertex\".");
  }
  for (const int bad : {1, -1, 100}) {
    try {
      scene->GetChild(bad);
      FAIL() << bad;
    } catch (const Error& e) {
      EXPECT_EQ(std::string(e.what()), "List index out of bounds (" + IntToStr(bad) + ")");
    }
  }
  EXPECT_THROW(vertex->GetBoolProperty("y"), Error);
  EXPECT_THROW(vertex->GetIntProperty("y"), Error);
  EXPECT_THROW(vertex->GetFloatProperty("y"), Error);
}

TEST(XMLReaderPositions, NodePositions) {
  TXMLStringReader reader("<a><b /></a>");
  const TXMLNode* a = reader.RootNode();
  EXPECT_EQ(a->Position(), 4);
  EXPECT_EQ(a->GetChild(0)->Position(), 7);
  TXMLStringReader longer("<!-- x -->\r\n<root k=\"v\">\r\n  <child>t</child>\r\n</root>");
  const TXMLNode* root = longer.RootNode();
  EXPECT_EQ(root->Position(), 19);
  EXPECT_EQ(root->GetChild(0)->Position(), 36);
}

TEST(XMLReaderProgress, EveryThirtySecondToken) {
  // <r> + 33 elements of 3 tokens each (open, property name, property value) ... closing tokens too.
  std::string doc = "<r>";
  std::vector<std::int32_t> expectedPositions;
  int tokens = 1;
  const auto note = [&](std::int32_t position) {
    if (++tokens % 32 == 0) expectedPositions.push_back(position);
  };
  while (tokens < 100) {
    doc += "<e ";
    note(static_cast<std::int32_t>(doc.size()) + 1);  // open tag, completed by the blank
    doc += "k=";
    note(static_cast<std::int32_t>(doc.size()) + 1);
    doc += "\"v\"";
    note(static_cast<std::int32_t>(doc.size()) + 1);
    doc += "/";
    note(static_cast<std::int32_t>(doc.size()) + 1);  // the "/" after a value closes the element
    doc += ">";
  }
  doc += "</r>";
  std::vector<std::pair<std::int32_t, std::int32_t>> calls;
  TXMLStringReader reader(doc);
  reader.OnProgress = [&](std::int32_t position, std::int32_t total) { calls.emplace_back(position, total); };
  ASSERT_NE(reader.RootNode(), nullptr);
  ASSERT_EQ(calls.size(), expectedPositions.size());
  for (std::size_t k = 0; k < calls.size(); ++k) {
    EXPECT_EQ(calls[k].first, expectedPositions[k]);
    EXPECT_EQ(calls[k].second, static_cast<std::int32_t>(doc.size()));
  }
}

}  // namespace
}  // namespace pallix

namespace pallix {
namespace {

TEST(XMLReaderDepth, MillionNestedElements) {
  constexpr int kDepth = 1000000;
  std::string open;
  open.reserve(kDepth * 3);
  for (int k = 0; k < kDepth; ++k) open += "<a>";
  std::string closed = open;
  closed.reserve(open.size() + kDepth * 4);
  for (int k = 0; k < kDepth; ++k) closed += "</a>";
  {
    TXMLStringReader reader(std::move(closed));
    const TXMLNode* node = reader.RootNode();
    int depth = 1;
    while (node->ChildCount() == 1) {
      node = node->GetChild(0);
      ++depth;
    }
    EXPECT_EQ(depth, kDepth);
    EXPECT_EQ(node->Position(), 3 * kDepth + 1);
  }
  EXPECT_EQ(ParseError(std::move(open)), "Closing tag missing for opening tag a");
}

}  // namespace
}  // namespace pallix

namespace pallix {
namespace {

// The streamed element answers lookups as the tree's node does, in any order of asking.
TEST(XMLReaderStream, LookupsMatchTheTree) {
  struct Row {
    const char* document;
    std::vector<const char*> asked;  // in this order, some twice
  };
  const std::vector<Row> rows = {
      {R"(<v id="1" x="2" y="3" z="4"/>)", {"id", "x", "y", "z", "x", "w"}},
      {R"(<v id="1" x="2" y="3" z="4"/>)", {"z", "y", "x", "id", "ID", "X"}},
      {R"(<v b="1" B="2" b="3"/>)", {"b", "B", "b"}},
      {R"(<v vid="a" u0="1" v0="2" u1="3" v1="4" u0="5"/>)", {"vid", "u0", "v0", "u1", "v1"}},
      {R"(<v type="t" blend="b" Type="u"/>)", {"type", "blend"}},
      {R"(<v a="&amp;" b="x" c="&lt;&gt;"/>)", {"a", "b", "c", "a"}},
      {R"(<v a="1"/>)", {"", "a ", "\r", " a", "aa"}},
      {R"(<v u0="0" v0="1" u1="2" v1="3" u2="4" v2="5" u3="6" v3="7" u4="8" v4="9"/>)",
       {"u0", "v0", "u1", "v1", "u3", "v2", "u4", "v4", "u0"}},
  };
  struct Handler final : TXMLElementHandler {
    const std::vector<const char*>* asked = nullptr;
    std::vector<std::string> got;
    void StartElement(const TXMLElement& e) override {
      for (const char* name : *asked)
        got.push_back(e.HasProperty(name) ? std::string(e.GetProperty(name)) : "-");
    }
    void Text(std::string_view) override {}
    void EndElement() override {}
  };
  for (const Row& row : rows) {
    TXMLStringReader reader(row.document);
    std::vector<std::string> expected;
    for (const char* name : row.asked) {
      expected.push_back(
          reader.RootNode()->HasProperty(name) ? std::string(reader.RootNode()->GetProperty(name)) : "-");
    }
    Handler handler;
    handler.asked = &row.asked;
    ParseXMLStream(row.document, handler, nullptr);
    EXPECT_EQ(handler.got, expected) << row.document;
  }
}

}  // namespace
}  // namespace pallix
