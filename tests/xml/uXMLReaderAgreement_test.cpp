// The reader against the plain character-by-character one on many generated documents,
// well-formed and damaged: every token, text, position, message and progress call must agree.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "support/NaiveXMLReader.h"

namespace pallix {
namespace {

class DocumentMaker {
 public:
  explicit DocumentMaker(std::uint32_t seed) : rnd_(seed) {}

  std::string Make() {
    std::string doc;
    if (Chance(4)) doc += Pick({" ", "\r\n", "<!-- lead -->", "\t"});
    Element(doc, 0);
    if (Chance(4)) doc += Pick({" ", "\r\n", "<!-- tail --->-->", "x"});
    const int damage = Chance(2) ? 0 : 1 + static_cast<int>(rnd_() % 3);
    for (int k = 0; k < damage && !doc.empty(); ++k) Damage(doc);
    return doc;
  }

 private:
  bool Chance(int oneIn) { return rnd_() % static_cast<std::uint32_t>(oneIn) == 0; }
  std::string Pick(std::initializer_list<const char*> options) {
    return *(options.begin() + rnd_() % options.size());
  }
  std::string Name() { return Pick({"a", "B", "vertex", "Poly", "x.y", "_z-1", "LONGNAMEWITHCAPS", "v0"}); }
  std::string Value() {
    std::string v;
    const int parts = static_cast<int>(rnd_() % 4);
    for (int k = 0; k < parts; ++k) {
      v += Pick({"1.5", "-2e3", "&amp;", "&lt;&gt;", "&#65;", "&#321;", "&#2147483647;", "&#x41;", "&zz;",
                 "&", "<", ">", "'", "\r\n", "\t", "text", " ", "&quot;", "\xE9"});
    }
    return v;
  }
  std::string Text() {
    std::string t;
    const int parts = 1 + static_cast<int>(rnd_() % 3);
    for (int k = 0; k < parts; ++k) {
      t += Pick({" ", "\r\n", "word", "&amp;", "&#10;", "&apos;", "\n", "x&y", "&lt;b&gt;", "\xFF"});
    }
    return t;
  }
  void Element(std::string& doc, int depth) {
    const std::string name = Name();
    doc += "<" + name;
    const int props = static_cast<int>(rnd_() % 4);
    for (int k = 0; k < props; ++k) {
      doc += k == 0 ? Pick({" ", "\r\n", "\t"}) : Pick({" ", "\r\n", ""});
      doc += Pick({"x", "Y", "id", "x", "shadowOpacity", "u0"});
      doc += Pick({"=", " = ", "=\r\n"});
      doc += "\"" + Value() + "\"";
    }
    const int children = depth > 3 ? 0 : static_cast<int>(rnd_() % 4);
    if (children == 0 && Chance(2)) {
      doc += Pick({" />", "/>", " / >", "\r\n/>"});
      return;
    }
    doc += Pick({">", " >", "\r\n>"});
    for (int k = 0; k < children; ++k) {
      if (Chance(2)) doc += Text();
      if (Chance(5)) doc += Pick({"<!-- c -->", "<!---->", "<!-- - -- --->-->", "<!x>"});
      Element(doc, depth + 1);
    }
    if (Chance(2)) doc += Text();
    doc += "</" + (Chance(10) ? Name() : name) + ">";
  }
  void Damage(std::string& doc) {
    const std::size_t at = rnd_() % doc.size();
    static const char kAlphabet[] = "<>/=\"'!-&#; aZ0\r\n\t?:[";
    const char c = kAlphabet[rnd_() % (sizeof kAlphabet - 1)];
    switch (rnd_() % 3) {
      case 0:
        doc.insert(doc.begin() + static_cast<std::ptrdiff_t>(at), c);
        break;
      case 1:
        doc.erase(at, 1);
        break;
      default:
        doc[at] = c;
        break;
    }
  }

  std::mt19937 rnd_;
};

TEST(XMLReaderAgreement, GeneratedDocuments) {
  DocumentMaker maker(20240607);
  int failures = 0;
  int parsed = 0;
  for (int k = 0; k < 20000 && failures < 5; ++k) {
    const std::string doc = maker.Make();
    const std::string problem = naive::Disagreement(doc);
    if (!problem.empty()) {
      ++failures;
      ADD_FAILURE() << problem << "\n" << doc;
    }
    parsed += naive::Parse(doc).error.empty();
  }
  // Both kinds must be well represented for the comparison to mean something.
  EXPECT_GT(parsed, 3000);
  EXPECT_LT(parsed, 16000);
}

// Long documents cross the progress interval many times and the storage chunks' edges.
TEST(XMLReaderAgreement, LargeDocuments) {
  for (const std::uint32_t seed : {1u, 2u, 3u}) {
    DocumentMaker maker(seed);
    std::string doc = "<root>";
    while (doc.size() < 100000) {
      std::string part = maker.Make();
      if (naive::Parse("<r>" + part + "</r>").error.empty()) doc += part;
    }
    doc += "</root>";
    EXPECT_EQ(naive::Disagreement(doc), "") << seed;
  }
}

}  // namespace
}  // namespace pallix
