#include "uStringDictionary.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "BasicFn.h"

namespace pallix {
namespace {

TEST(StringDictionary, MissingKeyThenSet) {
  TStringDictionary d;
  EXPECT_FALSE(d.ContainsKey("k"));
  try {
    d.GetValue("k");
    FAIL();
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), "Key \"k\" not found.");
  }
  d.SetValue("k", "1");
  // The cache from the failed lookup must not hide the new key.
  EXPECT_EQ(d.GetValue("k"), "1");
  EXPECT_TRUE(d.ContainsKey("K"));
  EXPECT_EQ(d.GetValue("K"), "1");
}

TEST(StringDictionary, CacheFollowsReplacedValues) {
  TStringDictionary d;
  d.SetValue("a", "1");
  EXPECT_TRUE(d.ContainsKey("a"));
  d.SetValue("A", "2");
  EXPECT_EQ(d.GetValue("a"), "2");
  EXPECT_EQ(d.Count(), 1);
  EXPECT_EQ(d.Key(0), "a");
}

// Below and beyond the switch to hashed lookup, in every order and letter case.
TEST(StringDictionary, TwentyKeysAnyOrderAnyCase) {
  for (const int count : {5, 11, 12, 20}) {
    TStringDictionary d;
    std::vector<std::string> keys;
    for (int k = 0; k < count; ++k) {
      keys.push_back("Key" + IntToStr(k));
      d.SetValue(keys.back(), "v" + IntToStr(k));
    }
    EXPECT_EQ(d.IsHashed(), count >= 12) << count;
    std::vector<int> order(static_cast<std::size_t>(count));
    for (int k = 0; k < count; ++k) order[static_cast<std::size_t>(k)] = k;
    std::shuffle(order.begin(), order.end(), std::mt19937(count));
    for (const int k : order) {
      const std::string asked = (k % 2) ? LowerCase(keys[static_cast<std::size_t>(k)]) : "KEY" + IntToStr(k);
      ASSERT_TRUE(d.ContainsKey(asked)) << asked;
      EXPECT_EQ(d.GetValue(asked), "v" + IntToStr(k));
    }
    d.SetValue("KEY3", "again");
    EXPECT_EQ(d.Count(), count);
    EXPECT_EQ(d.GetValue("key3"), "again");
    EXPECT_EQ(d.Key(3), "Key3");
    EXPECT_FALSE(d.ContainsKey("Key" + IntToStr(count)));
  }
}

}  // namespace
}  // namespace pallix
