#include "ZROgreVertexListCl.h"

#include <gtest/gtest.h>

#include <bit>
#include <random>

namespace pallix {
namespace {

std::uint32_t Bits(float f) { return std::bit_cast<std::uint32_t>(f); }

ZROgreVertexT Candidate(float x, float y, float z, std::vector<std::pair<float, float>> uvs = {},
                        ZROgreNormalT normal = {}) {
  ZROgreVertexT v(x, y, z);
  for (const auto& [u, w] : uvs) v.AddTextureCoordinates(u, w);
  v.Normal = normal;
  return v;
}

ZROgreNormalT Up() {
  ZROgreNormalT n;
  n.Z = 1;
  return n;
}

TEST(VertexListTest, WeldOrAppend) {
  struct Step {
    ZROgreVertexT candidate;
    std::int32_t index;
  };
  struct Case {
    const char* name;
    std::vector<Step> steps;
  };
  const Case cases[] = {
      {"same corner twice", {{Candidate(1, 2, 3, {{0, 0}}), 0}, {Candidate(1, 2, 3, {{0, 0}}), 0}}},
      {"different coordinates", {{Candidate(1, 2, 3, {{0, 0}}), 0}, {Candidate(1, 2, 3, {{0, 1}}), 1}}},
      {"stored without sets takes a candidate with sets",
       {{Candidate(1, 2, 3), 0}, {Candidate(1, 2, 3, {{5, 6}}), 0}, {Candidate(1, 2, 3, {{5, 6}}), 0}}},
      {"stored with sets refuses a candidate without",
       {{Candidate(1, 2, 3, {{5, 6}}), 0}, {Candidate(1, 2, 3), 1}}},
      {"set counts differ", {{Candidate(1, 2, 3, {{5, 6}}), 0}, {Candidate(1, 2, 3, {{5, 6}, {0, 0}}), 1}}},
      {"zero normals never prevent a weld", {{Candidate(1, 2, 3), 0}, {Candidate(1, 2, 3, {}, Up()), 0}}},
      {"stored normal must match", {{Candidate(1, 2, 3, {}, Up()), 0}, {Candidate(1, 2, 3), 1}}},
      {"signed zeros never weld",
       {{Candidate(0, 1, 0), 0}, {Candidate(-0.0f, 1, 0), 1}, {Candidate(0, 1, 0), 0}}},
      {"indices in order of first appearance",
       {{Candidate(1, 0, 0), 0}, {Candidate(2, 0, 0), 1}, {Candidate(1, 0, 0), 0}, {Candidate(3, 0, 0), 2}}},
  };
  for (const Case& c : cases) {
    ZROgreVertexListT list;
    for (const Step& s : c.steps) EXPECT_EQ(list.AddVertex(s.candidate), s.index) << c.name;
  }
}

TEST(VertexListTest, MatchedVertexTakesTheCandidatesData) {
  ZROgreVertexListT list;
  EXPECT_EQ(list.IndexOfItem(Candidate(0, 0, 0)), -1);
  list.AddVertex(Candidate(1, 2, 3));
  list.AddVertex(Candidate(1, 2, 3, {{5, 6}}, Up()));
  ASSERT_EQ(list.Count(), 1);
  EXPECT_EQ(list.GetVertex(0)->TextureCoordinateCount(), 1);
  EXPECT_TRUE(list.GetVertex(0)->Normal.IsEqual(Up()));
}

TEST(VertexListTest, NewestEqualVertexWins) {
  // Two vertices at one position, both accepting the last candidate: the later one is found.
  ZROgreVertexListT list;
  list.AddVertex(Candidate(1, 1, 1));
  list.AddVertex(Candidate(1, 1, 1, {{1, 1}}));      // welds into 0, which now has sets
  EXPECT_EQ(list.AddVertex(Candidate(1, 1, 1)), 1);  // refused by 0
  // Both 0 (sets (1,1)) and 1 (no sets) accept this one; the newest is 1.
  EXPECT_EQ(list.AddVertex(Candidate(1, 1, 1, {{1, 1}})), 1);
}

// The list as first written: 2047 buckets over a coarse hash of the top ten bits of each
// coordinate, chains newest first, no growth.
class NaiveVertexList {
 public:
  static std::int32_t Bucket(const ZROgreVertexT& v) {
    const std::uint32_t h = (Bits(v.X) >> 22) + (Bits(v.Y) >> 22) * 1024 + (Bits(v.Z) >> 22) * 1048576;
    return static_cast<std::int32_t>(h % 2047);
  }
  static bool Same(const ZROgreVertexT& a, const ZROgreVertexT& b) {
    if (!(a.X == b.X && a.Y == b.Y && a.Z == b.Z)) return false;
    if (b.TextureCoordinateCount() > 0) {
      if (a.TextureCoordinateCount() != b.TextureCoordinateCount()) return false;
      for (int i = 0; i < b.TextureCoordinateCount(); ++i) {
        const auto& p = a.GetTextureCoordinates(i);
        const auto& q = b.GetTextureCoordinates(i);
        if (!(p.U == q.U && p.V == q.V)) return false;
      }
    }
    if (b.Normal.X != 0 || b.Normal.Y != 0 || b.Normal.Z != 0) {
      return a.Normal.X == b.Normal.X && a.Normal.Y == b.Normal.Y && a.Normal.Z == b.Normal.Z;
    }
    return true;
  }
  std::int32_t AddVertex(const ZROgreVertexT& c) {
    auto& chain = chains_[static_cast<std::size_t>(Bucket(c))];
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
      if (Same(c, items[static_cast<std::size_t>(*it)])) {
        items[static_cast<std::size_t>(*it)].CopyFrom(c);
        return *it;
      }
    }
    items.push_back(c.Clone());
    chain.push_back(static_cast<std::int32_t>(items.size() - 1));
    return chain.back();
  }
  std::vector<ZROgreVertexT> items;

 private:
  std::vector<std::vector<std::int32_t>> chains_ = std::vector<std::vector<std::int32_t>>(2047);
};

TEST(VertexListTest, NaiveBucketsAreTheCoarseOnes) {
  const std::pair<ZROgreVertexT, std::int32_t> cases[] = {
      {Candidate(1, 0, 0), 254},    {Candidate(1.25f, 0, 0), 254}, {Candidate(1.49f, 0, 0), 254},
      {Candidate(1.5f, 0, 0), 255}, {Candidate(0, 1, 0), 127},     {Candidate(0, 0, 1), 1087},
      {Candidate(0, 0, 0), 0}};
  for (const auto& [v, bucket] : cases) EXPECT_EQ(NaiveVertexList::Bucket(v), bucket);
}

bool SameBits(const ZROgreVertexT& a, const ZROgreVertexT& b) {
  if (Bits(a.X) != Bits(b.X) || Bits(a.Y) != Bits(b.Y) || Bits(a.Z) != Bits(b.Z)) return false;
  if (Bits(a.Normal.X) != Bits(b.Normal.X) || Bits(a.Normal.Y) != Bits(b.Normal.Y) ||
      Bits(a.Normal.Z) != Bits(b.Normal.Z)) {
    return false;
  }
  if (a.TextureCoordinateCount() != b.TextureCoordinateCount()) return false;
  for (int i = 0; i < a.TextureCoordinateCount(); ++i) {
    if (Bits(a.GetTextureCoordinates(i).U) != Bits(b.GetTextureCoordinates(i).U) ||
        Bits(a.GetTextureCoordinates(i).V) != Bits(b.GetTextureCoordinates(i).V)) {
      return false;
    }
  }
  return true;
}

TEST(VertexListTest, WeldsExactlyLikeTheCoarseBucketList) {
  std::mt19937 rng(77);
  auto pick = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng); };
  // Few distinct values so that equal positions, signed zeros and stale chains are common.
  const float coords[] = {0.0f, -0.0f, 1.0f, 1.25f, -1.0f, 3.5f, 1e-40f, 65536.0f};
  const float uvs[] = {0.0f, -0.0f, 0.5f, 1.0f};
  const float normals[] = {0.0f, -0.0f, 1.0f, -1.0f};
  for (int round = 0; round < 200; ++round) {
    ZROgreVertexListT fast;
    NaiveVertexList naive;
    const std::size_t candidates = 1 + pick(400);
    for (std::size_t n = 0; n < candidates; ++n) {
      ZROgreVertexT c(coords[pick(8)], coords[pick(8)], coords[pick(8)]);
      const std::size_t sets = pick(3);
      for (std::size_t s = 0; s < sets; ++s) c.AddTextureCoordinates(uvs[pick(4)], uvs[pick(4)]);
      if (pick(2) == 0) {
        c.Normal.X = normals[pick(4)];
        c.Normal.Y = normals[pick(4)];
        c.Normal.Z = normals[pick(4)];
      }
      ASSERT_EQ(fast.AddVertex(c), naive.AddVertex(c)) << "round " << round << " candidate " << n;
    }
    ASSERT_EQ(fast.Count(), static_cast<std::int32_t>(naive.items.size()));
    for (std::int32_t i = 0; i < fast.Count(); ++i) {
      ASSERT_TRUE(SameBits(*fast.GetVertex(i), naive.items[static_cast<std::size_t>(i)]))
          << round << " " << i;
    }
  }
}

}  // namespace
}  // namespace pallix
