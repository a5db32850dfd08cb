#include "uXMLWriter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "BasicFn.h"
#include "XMLWriterCl.h"
#include "support/TempFolder.h"
#include "uBufferedStringStream.h"

namespace pallix {
namespace {

// One writer call: '<' OpenTag(a), '=' AddProperty(a, b), '>' CloseTag(a).
struct Op {
  char kind;
  const char* a;
  const char* b = "";
};

void Play(TXMLWriter& w, const std::vector<Op>& ops) {
  for (const Op& op : ops) {
    if (op.kind == '<') w.OpenTag(op.a);
    if (op.kind == '=') w.AddProperty(op.a, op.b);
    if (op.kind == '>') w.CloseTag(op.a);
  }
}

TEST(XMLStringWriter, Layout) {
  const struct {
    std::vector<Op> ops;
    const char* expected;
  } cases[] = {
      {{}, ""},
      {{{'<', "a"}, {'>', "a"}}, "<a />"},
      {{{'<', "a"}, {'=', "a", "1"}, {'=', "b", "2"}, {'>', "a"}}, "<a a=\"1\" b=\"2\" />"},
      {{{'<', "a"}, {'<', "b"}, {'>', "b"}, {'>', "a"}}, "<a>\r\n  <b />\r\n</a>"},
      {{{'<', "a"},
        {'<', "b"},
        {'<', "c"},
        {'>', "c"},
        {'>', "b"},
        {'<', "d"},
        {'=', "x", "y"},
        {'>', "d"},
        {'>', "a"}},
       "<a>\r\n  <b>\r\n    <c />\r\n  </b>\r\n  <d x=\"y\" />\r\n</a>"},
      {{{'<', "a"}, {'>', "A"}}, "<a>\r\n</A>"},  // names differ: no short form
      {{{'<', "a"}, {'>', "a"}, {'<', "b"}, {'>', "b"}}, "<a /><b />"},
      // Markup characters in values would make the document unreadable; nothing else changes.
      {{{'<', "m"}, {'=', "name", "a&b<c>\"d\"'e"}, {'=', "n", "&&"}, {'>', "m"}},
       "<m name=\"a&amp;b&lt;c&gt;&quot;d&quot;'e\" n=\"&amp;&amp;\" />"},
      {{{'<', "m"}, {'=', "n", "\xE9t\xE9\t\r\n"}, {'>', "m"}}, "<m n=\"\xE9t\xE9\t\r\n\" />"},
      {{{'<', "request"},
        {'=', "version", "1.6"},
        {'<', "materials"},
        {'=', "subset", "all"},
        {'>', "materials"},
        {'<', "primitives"},
        {'=', "subset", "all"},
        {'>', "primitives"},
        {'<', "lights"},
        {'=', "subset", "all"},
        {'>', "lights"},
        {'>', "request"}},
       "<request version=\"1.6\">\r\n  <materials subset=\"all\" />\r\n  <primitives subset=\"all\" />\r\n"
       "  <lights subset=\"all\" />\r\n</request>"},
  };
  for (const auto& c : cases) {
    TXMLStringWriter w;
    Play(w, c.ops);
    EXPECT_EQ(w.GetText(), c.expected);
  }
}

TEST(XMLStringWriter, PropertyWithoutOpenTagRaisesAndWritesNothing) {
  const std::vector<Op> scripts[] = {{}, {{'<', "a"}, {'>', "a"}}, {{'<', "a"}, {'<', "b"}, {'>', "b"}}};
  for (const auto& ops : scripts) {
    TXMLStringWriter w;
    Play(w, ops);
    const std::string before = w.GetText();
    try {
      w.AddProperty("p", "1");
      ADD_FAILURE() << "no error after " << before;
    } catch (const Error& e) {
      EXPECT_STREQ(e.what(), "Couldn't add property \"p\". No tag opened.");
    }
    EXPECT_EQ(w.GetText(), before);
  }
}

TEST(BufferedStringStream, DoublesUntilItFits) {
  TBufferedStringStream s(256);
  std::string all;
  for (int i = 0; i < 100; ++i) {
    all += "0123456789";
    EXPECT_EQ(s.AppendBytes("0123456789", 10), 10u);
  }
  EXPECT_EQ(s.Capacity(), 1024u);
  EXPECT_EQ(s.GetText(), all);
  EXPECT_EQ(s.Capacity(), 1000u);
  // Cut to nothing, it must still grow.
  TBufferedStringStream empty(1);
  EXPECT_EQ(empty.GetText(), "");
  EXPECT_EQ(empty.AppendBytes("abc", 3), 3u);
  EXPECT_EQ(empty.GetText(), "abc");
}

// Each test its own folder: tests run in parallel processes.
class FileWriterTest : public ::testing::Test {
 protected:
  testing::TempFolder dir_;
};

// Indentation deeper than the writer keeps ready, and values far beyond its first buffer.
TEST(XMLStringWriter, DeepNestingAndLongValues) {
  constexpr int kDepth = 150;
  TXMLStringWriter w;
  std::string expected;
  for (int d = 0; d < kDepth; ++d) {
    w.OpenTag("e");
    expected += (d ? ">\r\n" + std::string(2 * d, ' ') : "") + "<e";
  }
  const std::string quotes(5000, '"');
  w.AddProperty("v", quotes);
  expected += " v=\"";
  for (std::size_t i = 0; i < quotes.size(); ++i) expected += "&quot;";
  expected += "\" />";
  w.CloseTag("e");
  for (int d = kDepth - 2; d >= 0; --d) {
    w.CloseTag("e");
    expected += "\r\n" + std::string(2 * d, ' ') + "</e>";
  }
  EXPECT_EQ(w.GetText(), expected);
}

// Text laid out by the caller closes a pending start tag and lets the element end in the long form.
TEST(XMLStringWriter, CallerText) {
  TXMLStringWriter w;
  w.OpenTag("a");
  w.AddProperty("n", "1");
  EXPECT_EQ(w.Depth(), 1u);
  const std::string child = "\r\n  <b />";
  char* p = w.BeginText(child.size());
  child.copy(p, child.size());
  w.EndText(p + child.size());
  w.OpenTag("c");
  w.CloseTag("c");
  w.CloseTag("a");
  EXPECT_EQ(w.GetText(), "<a n=\"1\">\r\n  <b />\r\n  <c />\r\n</a>");
}

// Enough elements to drain the buffer several times, some of them laid out by the caller.
void WriteBigDocument(TXMLWriter& w) {
  w.OpenTag("mesh");
  for (int i = 0; i < 100000; ++i) {
    w.OpenTag("vertex");
    w.AddProperty("x", IntToStr(i));
    w.AddProperty("name", "a<b");
    w.CloseTag("vertex");
    const std::string text = "\r\n  <n i=\"" + IntToStr(i) + "\" />";
    char* p = w.BeginText(text.size());
    text.copy(p, text.size());
    w.EndText(p + text.size());
  }
  w.CloseTag("mesh");
}

// File and string bytes must agree.
TEST_F(FileWriterTest, SameBytesAsStringWriter) {
  TXMLStringWriter s;
  WriteBigDocument(s);
  const std::string path = dir_ / "big.xml";
  {
    XMLFileWriterT f(path);
    WriteBigDocument(f);
    f.Commit();
  }
  EXPECT_GT(s.GetText().size(), 4000000u);
  EXPECT_EQ(testing::ReadFile(path), s.GetText());
}

TEST_F(FileWriterTest, ReplacesExistingFileOnCommitOnly) {
  const std::string path = dir_ / "m.xml";
  testing::WriteFile(path, "old");
  for (const bool commit : {false, true}) {
    for (const bool big : {false, true}) {
      {
        XMLFileWriterT f(path);
        if (big && !commit) WriteBigDocument(f);  // abandoned with blocks being written
        Play(f, {{'<', "a"}, {'>', "a"}});
        if (commit) f.Commit();
      }
      EXPECT_EQ(testing::ReadFile(path), commit ? "<a />" : "old");
    }
  }
  EXPECT_EQ(testing::ListFolder(dir_.Path()), "m.xml");
}

// A block the system refuses while the writer goes on (here: beyond the largest file
// allowed) fails the document with the system's reason, and leaves nothing behind.
TEST_F(FileWriterTest, RefusedBlockRaises) {
  const std::string path = dir_ / "m.xml";
  std::string what, reason;
  try {
    const testing::FileSizeLimit limit(1000000);
    XMLFileWriterT f(path);
    WriteBigDocument(f);
    f.Commit();
  } catch (const Error& e) {
    what = e.what();
    reason = e.Reason();
  }
  EXPECT_EQ(what, "Cannot create file " + path);
  EXPECT_EQ(reason, "File too large");
  EXPECT_EQ(testing::ListFolder(dir_.Path()), "");
}

TEST_F(FileWriterTest, UncreatableFileRaises) {
  const std::string path = dir_ / "missing/m.xml";
  try {
    XMLFileWriterT f(path);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot create file " + path);
  }
}

}  // namespace
}  // namespace pallix
