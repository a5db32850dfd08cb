#include "uXMLWriter.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "BasicFn.h"
#include "XMLWriterCl.h"
#include "uBufferedStringStream.h"

namespace pallix {
namespace {

struct LayoutCase {
  const char* label;
  std::function<void(TXMLWriter&)> script;
  const char* expected;
};

class WriterLayout : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(WriterLayout, WritesExactBytes) {
  TXMLStringWriter w;
  GetParam().script(w);
  EXPECT_EQ(w.GetText(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WriterLayout,
    ::testing::Values(LayoutCase{"empty", [](TXMLWriter&) {}, ""},
                      LayoutCase{"short_form",
                                 [](TXMLWriter& w) {
                                   w.OpenTag("a");
                                   w.CloseTag("a");
                                 },
                                 "<a />"},
                      LayoutCase{"properties_only",
                                 [](TXMLWriter& w) {
                                   w.OpenTag("a");
                                   w.AddProperty("a", "1");
                                   w.AddProperty("b", "2");
                                   w.CloseTag("a");
                                 },
                                 "<a a=\"1\" b=\"2\" />"},
                      LayoutCase{"child",
                                 [](TXMLWriter& w) {
                                   w.OpenTag("a");
                                   w.OpenTag("b");
                                   w.CloseTag("b");
                                   w.CloseTag("a");
                                 },
                                 "<a>\r\n  <b />\r\n</a>"},
                      LayoutCase{"three_levels",
                                 [](TXMLWriter& w) {
                                   w.OpenTag("a");
                                   w.OpenTag("b");
                                   w.OpenTag("c");
                                   w.CloseTag("c");
                                   w.CloseTag("b");
                                   w.OpenTag("d");
                                   w.AddProperty("x", "y");
                                   w.CloseTag("d");
                                   w.CloseTag("a");
                                 },
                                 "<a>\r\n  <b>\r\n    <c />\r\n  </b>\r\n  <d x=\"y\" />\r\n</a>"},
                      LayoutCase{"close_name_differs",
                                 [](TXMLWriter& w) {
                                   w.OpenTag("a");
                                   w.CloseTag("A");
                                 },
                                 "<a>\r\n</A>"},
                      LayoutCase{"second_top_level_on_same_line",
                                 [](TXMLWriter& w) {
                                   w.OpenTag("a");
                                   w.CloseTag("a");
                                   w.OpenTag("b");
                                   w.CloseTag("b");
                                 },
                                 "<a /><b />"},
                      LayoutCase{"markup_in_values_is_escaped",
                                 [](TXMLWriter& w) {
                                   w.OpenTag("m");
                                   w.AddProperty("name", "a&b<c>\"d\"'e");
                                   w.AddProperty("n", "&&");
                                   w.CloseTag("m");
                                 },
                                 "<m name=\"a&amp;b&lt;c&gt;&quot;d&quot;'e\" n=\"&amp;&amp;\" />"},
                      LayoutCase{"bytes_above_127_pass",
                                 [](TXMLWriter& w) {
                                   w.OpenTag("m");
                                   w.AddProperty("n", "\xE9t\xE9\t\r\n");
                                   w.CloseTag("m");
                                 },
                                 "<m n=\"\xE9t\xE9\t\r\n\" />"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(XMLStringWriter, SceneRequest) {
  TXMLStringWriter w;
  w.OpenTag("request");
  w.AddProperty("version", "1.6");
  for (const char* name : {"materials", "primitives", "lights"}) {
    w.OpenTag(name);
    w.AddProperty("subset", "all");
    w.CloseTag(name);
  }
  w.CloseTag("request");
  EXPECT_EQ(w.GetText(),
            "<request version=\"1.6\">\r\n"
            "  <materials subset=\"all\" />\r\n"
            "  <primitives subset=\"all\" />\r\n"
            "  <lights subset=\"all\" />\r\n"
            "</request>");
}

TEST(XMLStringWriter, PropertyWithoutOpenTagRaisesAndWritesNothing) {
  const std::function<void(TXMLWriter&)> scripts[] = {
      [](TXMLWriter&) {},
      [](TXMLWriter& w) {
        w.OpenTag("a");
        w.CloseTag("a");
      },
      [](TXMLWriter& w) {
        w.OpenTag("a");
        w.OpenTag("b");
        w.CloseTag("b");
      },
  };
  for (const auto& script : scripts) {
    TXMLStringWriter w;
    script(w);
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
    const std::string piece = "0123456789";
    all += piece;
    EXPECT_EQ(s.AppendBytes(piece.data(), piece.size()), piece.size());
  }
  EXPECT_EQ(s.Capacity(), 1024u);
  EXPECT_EQ(s.GetText(), all);
  EXPECT_EQ(s.Capacity(), 1000u);
}

TEST(BufferedStringStream, GrowsAgainAfterBeingCutToNothing) {
  TBufferedStringStream s(1);
  EXPECT_EQ(s.GetText(), "");
  EXPECT_EQ(s.Capacity(), 0u);
  EXPECT_EQ(s.AppendBytes("abc", 3), 3u);
  EXPECT_EQ(s.AppendBytes("", 0), 0u);
  EXPECT_EQ(s.GetText(), "abc");
}

class FileWriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::path(PALLIX_BINARY_DIR) / "xml_writer_test";
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  static std::string ReadAll(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }
  std::filesystem::path dir_;
};

// Enough elements to drain the buffer several times: file and string bytes must agree.
TEST_F(FileWriterTest, SameBytesAsStringWriter) {
  const auto script = [](TXMLWriter& w) {
    w.OpenTag("mesh");
    for (int i = 0; i < 20000; ++i) {
      w.OpenTag("vertex");
      w.AddProperty("x", IntToStr(i));
      w.AddProperty("name", "a<b");
      w.CloseTag("vertex");
    }
    w.CloseTag("mesh");
  };
  TXMLStringWriter s;
  script(s);
  const auto path = dir_ / "big.xml";
  {
    XMLFileWriterT f(path.string());
    script(f);
    f.Commit();
  }
  const std::string written = ReadAll(path);
  EXPECT_GT(written.size(), 200000u);
  EXPECT_EQ(written, s.GetText());
}

TEST_F(FileWriterTest, ReplacesExistingFileOnCommitOnly) {
  const auto path = dir_ / "m.xml";
  std::ofstream(path, std::ios::binary) << "old";
  {
    XMLFileWriterT f(path.string());
    f.OpenTag("a");
    f.CloseTag("a");
  }
  EXPECT_EQ(ReadAll(path), "old");
  {
    XMLFileWriterT f(path.string());
    f.OpenTag("a");
    f.CloseTag("a");
    f.Commit();
  }
  EXPECT_EQ(ReadAll(path), "<a />");
}

TEST_F(FileWriterTest, UncreatableFileRaises) {
  const std::string path = (dir_ / "missing" / "m.xml").string();
  try {
    XMLFileWriterT f(path);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot create file " + path);
  }
  EXPECT_FALSE(std::filesystem::exists(path));
}

}  // namespace
}  // namespace pallix
