#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "BasicFn.h"
#include "uXMLReader.h"

namespace pallix {
namespace {

// The value as a node property, so the getters run on what the parser stored.
class Property {
 public:
  explicit Property(const std::string& value) : reader_("<n v=\"" + value + "\" />") {}
  const TXMLNode& Node() { return *reader_.RootNode(); }

 private:
  TXMLStringReader reader_;
};

TEST(XMLNodeBool, Values) {
  const struct {
    const char* value;
    bool expected;
  } cases[] = {{"true", true},  {"TRUE", true},    {"Yes", true},      {"1", true},  {"True ", false},
               {"no", false},   {"", false},       {"false", false},   {"0", false}, {"on", false},
               {" yes", false}, {"&#89;es", true}, {"yes&#32;", false}};
  for (const auto& c : cases) {
    Property p(c.value);
    EXPECT_EQ(p.Node().GetBoolProperty("V"), c.expected) << c.value;
  }
}

TEST(XMLNodeInt, Accepted) {
  const struct {
    const char* value;
    std::int32_t expected;
  } cases[] = {{"0", 0},
               {"-0", 0},
               {"+7", 7},
               {"007", 7},
               {"2147483647", 2147483647},
               {"-2147483648", std::numeric_limits<std::int32_t>::min()},
               {"00000000000000000000042", 42}};
  for (const auto& c : cases) {
    Property p(c.value);
    EXPECT_EQ(p.Node().GetIntProperty("v"), c.expected) << c.value;
  }
}

TEST(XMLNodeInt, Rejected) {
  for (const char* value : {"", "+", "-", " 1", "1 ", "0x10", "$10", "1.0", "1e3", "2147483648",
                            "-2147483649", "99999999999999999999", "--1", "1-", "abc"}) {
    try {
      StrToInt32(value);
      ADD_FAILURE() << value;
    } catch (const Error& e) {
      EXPECT_EQ(std::string(e.what()), "'" + std::string(value) + "' is not a valid integer value");
    }
  }
}

std::string Bits(float f) {
  std::uint32_t u;
  std::memcpy(&u, &f, 4);
  return IntToStr(u);
}

TEST(XMLNodeFloat, Accepted) {
  const struct {
    const char* value;
    float expected;
  } cases[] = {
      {"1.5", 1.5f},
      {"-2e3", -2000.0f},
      {" 1.5  ", 1.5f},
      {"+.5", 0.5f},
      {"5.", 5.0f},
      {"1E2", 100.0f},
      {"1e+2", 100.0f},
      {"0.1", 0.1f},
      {"-0", -0.0f},
      {"0.000", 0.0f},
      {"1e-50", 0.0f},
      {"-1e-50", -0.0f},
      {"1e-45", std::numeric_limits<float>::denorm_min()},
      {"3.4028235e38", std::numeric_limits<float>::max()},
      {"340282356779733642999999999999999999999", std::numeric_limits<float>::max()},
      {"0.00000000000000000000000000000000000000000000000000000000000000000000000000000001e80", 1.0f},
      {"16777217", 16777216.0f},  // exactly halfway: to even
      {"16777219", 16777220.0f},
  };
  for (const auto& c : cases) {
    Property p(c.value);
    EXPECT_EQ(Bits(p.Node().GetFloatProperty("v")), Bits(c.expected)) << c.value;
  }
}

// Rounded first to the 64-bit significand of the extended format, then to single: close to
// a halfway point between two singles this differs from rounding the decimal value once.
TEST(XMLNodeFloat, RoundsThroughExtendedPrecision) {
  const float one = 1.0f;
  const float oneUp = std::nextafter(one, 2.0f);
  const float oneUp2 = std::nextafter(oneUp, 2.0f);
  const struct {
    const char* value;
    float expected;
  } cases[] = {
      // 1 + 2^-24 + 2^-65: within half an extended unit of the halfway point, so to even.
      {"1.00000005960464477541773005431213761085018632002174854278564453125", one},
      // 1 + 2^-24 + 2^-64: exactly half an extended unit, the halfway point is even there.
      {"1.0000000596046447754448351086242752217003726400434970855712890625", one},
      // A hair beyond: the extended value is past the halfway point.
      {"1."
       "0000000596046447754448351086250640826055936518489088141365718487296732064351090230047702789306640625",
       oneUp},
      // Below the halfway point between an odd and an even single.
      {"1.00000017881393432614476994568786238914981367997825145721435546875", oneUp2},
      {"1.000000178813934326117664890567931211353311271214892863579137838314636610448360443115234375", oneUp},
      // Between zero and the smallest single: 2^-150 + 2^-215 goes to zero, 2^-150 + 3 * 2^-215 does not.
      {"7."
       "0064923216240853548085592713647766313507745547738180018697607361213543127548986072497711064235041333"
       "369123786354282720018605526597632593421849378501065075397491455078125E-46",
       0.0f},
      {"7."
       "0064923216240853551883819811951685812497042455562962880385993694661521114060898068829314356492965796"
       "982371359062848160055816579792897780265548135503195226192474365234375E-46",
       std::numeric_limits<float>::denorm_min()},
      // Far more digits than needed: the dropped tail still counts.
      {"1.00000005960464477544483510862427522170037264004349708557128906250000000000000000000000000000000000"
       "00000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
       "00000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
       "00000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
       "00000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
       "00000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
       "00000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
       "00000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
       "00000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000001",
       oneUp},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Bits(StrToSingle(c.value)), Bits(c.expected)) << c.value;
    EXPECT_EQ(Bits(StrToSingle(std::string("-") + c.value)), Bits(-c.expected)) << c.value;
  }
}

TEST(XMLNodeFloat, Rejected) {
  for (const char* value :
       {"", " ", ".", "-.", "+", "1e", "1e+", "e5", "--1", "1.5x", "1..2", "1,5", "\t1.5", "nan", "NaN",
        "inf", "-inf", "infinity", "0x10", "1e400", "3.5e38", "-3.5e38", "1 5", "1.5f", "1e5.5",
        // Just below the overflow threshold, but the extended value is on it.
        "340282356779733661637539395458142568447"}) {
    try {
      StrToSingle(value);
      ADD_FAILURE() << value;
    } catch (const Error& e) {
      EXPECT_EQ(std::string(e.what()), "'" + std::string(value) + "' is not a valid floating point value");
    }
  }
}

// The shortcut for plain decimals must give the very bits of the exact conversion, halfway
// points between singles included, and leave everything else to it.
TEST(XMLNodeFloat, ShortcutMatchesTheExactConversion) {
  std::mt19937_64 random(20261209);
  const auto digits = [&](int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += static_cast<char>('0' + random() % 10);
    return text;
  };
  std::vector<std::string> texts = {"0",
                                    "-0",
                                    "0.0",
                                    "-0.000",
                                    "5.",
                                    ".5",
                                    "-.5",
                                    "+1.5",
                                    " 1.5",
                                    "1.5 ",
                                    "1e5",
                                    "16777217",
                                    "-16777219.0",
                                    "8388608.5",
                                    "33554434",
                                    "9007199254740992",
                                    "9007199254740993",
                                    "0.0000000000000000000001",
                                    "1.0000000000000000000001",
                                    "00000000000000000001.5",
                                    "-",
                                    "1.2.3"};
  for (int n = 0; n < 200000; ++n) {
    std::string text = digits(1 + static_cast<int>(random() % 19));
    const std::size_t point = random() % (text.size() + 1);
    if (point < text.size()) text.insert(point == 0 ? 1 : point, ".");
    if (text.back() == '.') text += digits(1);
    if (random() % 2) text.insert(0, "-");
    texts.push_back(text);
  }
  // Exact halfway points and their neighbours: integers and halves around 2^24 and above,
  // written with and without a fraction.
  for (int n = 0; n < 20000; ++n) {
    const int shift = static_cast<int>(random() % 30);
    const std::uint64_t base = (std::uint64_t{1} << 23) + random() % (std::uint64_t{1} << 23);
    const std::uint64_t scaled = (base << shift) + (std::uint64_t{1} << shift) / 2 + random() % 3 - 1;
    const std::string whole = std::to_string(scaled);
    texts.push_back(whole);
    texts.push_back(whole + ".0");
    texts.push_back(whole.substr(0, whole.size() - 1) + "." + whole.back());
    texts.push_back(std::to_string(base) + ".5");
  }
  // Decimals just beside a halfway point, so close that their double lands on it: only the
  // exact route tells which way they go.
  for (int n = 0; n < 20000; ++n) {
    const float lower = std::ldexp(1.0f + static_cast<float>(random() % (1 << 23)) / (1 << 23),
                                   static_cast<int>(random() % 40) - 10);
    const double half = static_cast<double>(lower) + (std::nextafter(lower, 2 * lower) - lower) / 2.0;
    char exact[80];
    const auto end = std::to_chars(exact, exact + sizeof exact, half, std::chars_format::fixed, 40).ptr;
    std::string text(exact, end);
    const std::size_t first = text.find_first_not_of("0.");
    std::size_t keep = first + 15 + random() % 5;
    if (text.find('.') < keep) ++keep;
    text.resize(std::min(keep, text.size()));
    texts.push_back(text);
    if (text.back() != '9' && text.back() != '.') {
      ++text.back();
      texts.push_back(text);
    }
  }
  // Short texts of any make again and again, for the remembered results: some are one text
  // with a character more.
  for (int n = 0; n < 20000; ++n) {
    std::string text;
    for (std::size_t k = 1 + random() % 9; k > 0; --k) text += "01-.5e \0"[random() % 8];
    texts.push_back(text);
    texts.push_back(text.substr(0, text.size() - 1));
  }
  int differences = 0;
  TFloatTexts remembered;
  for (const std::string& text : texts) {
    std::string fast, exact;
    try {
      fast = Bits(StrToSingle(text));
    } catch (const Error& e) {
      fast = e.what();
    }
    for (int twice = 0; twice < 2; ++twice) {
      std::string cached;
      try {
        cached = Bits(remembered.Convert(text));
      } catch (const Error& e) {
        cached = e.what();
      }
      if (cached != fast && ++differences <= 10) ADD_FAILURE() << text << ": remembered " << cached;
    }
    try {
      exact = Bits(StrToSingleExact(text));
    } catch (const Error& e) {
      exact = e.what();
    }
    if (fast != exact && ++differences <= 10) ADD_FAILURE() << text << ": " << fast << " vs " << exact;
  }
  EXPECT_EQ(differences, 0);
}

TEST(XMLNodeFloat, IgnoresTheProcessLocale) {
  const char* previous = std::setlocale(LC_ALL, nullptr);
  const std::string saved = previous ? previous : "C";
  bool switched = false;
  for (const char* name : {"de_DE.UTF-8", "de_DE", "fr_FR.UTF-8", "German_Germany.1252"}) {
    if (std::setlocale(LC_ALL, name)) {
      switched = true;
      break;
    }
  }
  Property p("1.5");
  const float got = p.Node().GetFloatProperty("v");
  EXPECT_THROW(StrToSingle("1,5"), Error);
  std::setlocale(LC_ALL, saved.c_str());
  EXPECT_EQ(got, 1.5f);
  if (!switched) GTEST_SKIP() << "no locale with a decimal comma installed";
}

}  // namespace
}  // namespace pallix
