#include "uScene.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <string>

#include "BasicFn.h"

namespace pallix {
namespace {

std::unique_ptr<TMaterial> MakeMaterial(const std::string& id, const std::string& category) {
  auto m = std::make_unique<TMaterial>();
  m->Id = id;
  m->Category = category;
  return m;
}

std::unique_ptr<TVertex> MakeVertex(const std::string& id, float x = 0, float y = 0, float z = 0) {
  auto v = std::make_unique<TVertex>();
  v->Id = id;
  v->X = x;
  v->Y = y;
  v->Z = z;
  return v;
}

template <typename F>
std::string ErrorOf(F&& f) {
  try {
    f();
  } catch (const Error& e) {
    return e.what();
  }
  return "(no error)";
}

TEST(SceneModel, Defaults) {
  TScene scene;
  EXPECT_EQ(scene.Name, "Korvel Scene");
  EXPECT_EQ(scene.Ambient, 0xFFFFFFFFu);
  EXPECT_EQ(scene.ShadowOpacity, 75);

  TPrimitive primitive;
  EXPECT_TRUE(primitive.Visible);
  EXPECT_EQ(primitive.PrimitiveType, TPrimitiveType::userdefined);
  EXPECT_EQ(static_cast<int>(TPrimitiveType::userdefined), 9);
  EXPECT_EQ(primitive.Snap, TSnapMethod::none);
  EXPECT_FALSE(primitive.AutoUV);

  TMaterialLayer layer;
  EXPECT_EQ(layer.Blend, TBlendOperation::replace);
  EXPECT_EQ(layer.LayerType, TLayerType::texture);
  EXPECT_FALSE(layer.IsLightmap);
  EXPECT_EQ(layer.Color, 0u);

  TLight light;
  EXPECT_EQ(light.LightType, TLightType::point);
  EXPECT_TRUE(light.Active);
  EXPECT_EQ(light.Intensity, 100);
  EXPECT_EQ(light.Range, 1000);
  EXPECT_EQ(light.AttenuationConstant, 1.0f);
  EXPECT_EQ(light.AttenuationLinear, 0.0f);
  EXPECT_EQ(std::bit_cast<std::uint32_t>(light.AttenuationQuadratic), 0x3649539Cu);
}

TEST(SceneModel, CategoriesFoldLetterCaseAndKeepTheFirstName) {
  TScene scene;
  scene.AddMaterial(MakeMaterial("a", "Walls"));
  scene.AddMaterial(MakeMaterial("b", "Floors"));
  scene.AddMaterial(MakeMaterial("c", "walls"));
  scene.AddMaterial(MakeMaterial("d", ""));
  ASSERT_EQ(scene.Categories.size(), 3u);
  EXPECT_EQ(scene.Categories[0].first, "Walls");
  EXPECT_EQ(scene.Categories[0].second->Name, "Walls");
  ASSERT_EQ(scene.Categories[0].second->Materials.size(), 2u);
  EXPECT_EQ(scene.Categories[0].second->Materials[0], scene.GetMaterial(0));
  EXPECT_EQ(scene.Categories[0].second->Materials[1], scene.GetMaterial(2));
  EXPECT_EQ(scene.Categories[1].second->Materials[0], scene.GetMaterial(1));
  EXPECT_EQ(scene.Categories[2].first, "");
  EXPECT_EQ(scene.MaterialCount(), 4);
}

TEST(SceneModel, MaterialLookups) {
  TScene scene;
  EXPECT_EQ(scene.FindMaterial("mat"), nullptr);
  scene.AddMaterial(MakeMaterial("mat", "c"));
  scene.AddMaterial(MakeMaterial("other", "c"));
  scene.AddMaterial(MakeMaterial("mat", "c"));
  EXPECT_EQ(scene.FindMaterial("Mat"), nullptr);
  EXPECT_EQ(scene.FindMaterial("mat"), scene.GetMaterial(0));
  EXPECT_EQ(scene.FindMaterial("other"), scene.GetMaterial(1));
  EXPECT_EQ(scene.FindMaterial(""), nullptr);

  // Materials filed after a lookup (a second materials section) are found too.
  scene.AddMaterial(MakeMaterial("late", "c"));
  EXPECT_EQ(scene.FindMaterial("late"), scene.GetMaterial(3));

  // The reader files a material before it knows its Id.
  auto pending = MakeMaterial("", "c");
  TMaterial* raw = pending.get();
  scene.AddMaterial(std::move(pending));
  raw->Id = "named-later";
  EXPECT_EQ(scene.FindMaterial("named-later"), raw);

  TMaterial stranger;
  EXPECT_EQ(scene.IndexOfMaterial(scene.GetMaterial(1)), 1);
  EXPECT_EQ(scene.IndexOfMaterial(&stranger), -1);
  EXPECT_EQ(scene.IndexOfMaterial(nullptr), -1);

  // A renamed material is not found under its old Id.
  scene.GetMaterial(1)->Id = "renamed";
  EXPECT_EQ(scene.FindMaterial("other"), nullptr);
  EXPECT_EQ(scene.FindMaterial("renamed"), scene.GetMaterial(1));
}

TEST(SceneModel, FindVertexIgnoresLetterCaseAndFindsTheFirst) {
  TPrimitive p;
  EXPECT_EQ(p.FindVertex("pt"), nullptr);
  p.AddVertex(MakeVertex("pt", 1));
  p.AddVertex(MakeVertex("PT", 2));
  p.AddVertex(MakeVertex("", 3));
  EXPECT_EQ(p.FindVertex("Pt")->X, 1.0f);
  EXPECT_EQ(p.FindVertex("pT")->X, 1.0f);
  EXPECT_EQ(p.FindVertex("")->X, 3.0f);
  EXPECT_EQ(p.FindVertex("p"), nullptr);
  EXPECT_EQ(p.FindVertex("ptx"), nullptr);
  EXPECT_EQ(p.Vertices.size(), 3u);  // duplicates are kept
}

TEST(SceneModel, FindVertexByNumberedIdsFindsTheFirst) {
  // Levels name vertices v0, v1, ...; ids out of that pattern, repeated or in other letter
  // case still find the first vertex of that id. X is the vertex's position.
  struct Case {
    std::vector<std::string> ids;
    std::vector<std::pair<std::string, float>> lookups;  // -1: not found
  };
  const Case cases[] = {
      {{"v0", "v1", "v2"}, {{"v1", 1}, {"V2", 2}, {"v01", -1}, {"v3", -1}, {"v", -1}, {"v-1", -1}}},
      {{"v0", "v1", "v1", "V1"}, {{"v1", 1}, {"V1", 1}, {"v2", -1}, {"v3", -1}}},
      {{"v0", "x", "v2", "v0"}, {{"v2", 2}, {"V0", 0}, {"x", 1}}},
      {{"v1", "v1", "v0"}, {{"v1", 0}, {"v0", 2}}},
      {{"v0", "v01", "v2"}, {{"v01", 1}, {"v1", -1}, {"v2", 2}}},
      {{"v0", "v1", "v2", "v1"}, {{"v1", 1}, {"v10", -1}}},
  };
  for (const Case& c : cases) {
    TPrimitive p;
    for (std::size_t i = 0; i < c.ids.size(); ++i) p.AddVertex(MakeVertex(c.ids[i], static_cast<float>(i)));
    for (const auto& [id, x] : c.lookups) {
      const TVertex* v = p.FindVertex(id);
      EXPECT_EQ(v ? v->X : -1.0f, x) << c.ids.size() << " " << id;
    }
  }
}

TEST(SceneModel, FindVertexScalesToManyVertices) {
  TPrimitive p;
  constexpr int kCount = 200000;
  for (int i = 0; i < kCount; ++i) p.AddVertex(MakeVertex("Vx" + std::to_string(i), static_cast<float>(i)));
  for (int i = 0; i < kCount; i += 7) {
    const TVertex* v = p.FindVertex("vX" + std::to_string(i));
    ASSERT_NE(v, nullptr) << i;
    ASSERT_EQ(v->X, static_cast<float>(i));
  }
  EXPECT_EQ(p.FindVertex("vx" + std::to_string(kCount)), nullptr);
  EXPECT_EQ(p.FindVertex("vx-1"), nullptr);
}

TEST(SceneModel, NewellNormals) {
  const double f = 0.01f;
  const float kTiny = static_cast<float>(f * f / 0.001);
  struct Case {
    const char* what;
    std::vector<std::array<float, 3>> corners;
    std::array<float, 3> normal;
  };
  const Case cases[] = {
      {"triangle", {{0, 0, 0}, {0, 1, 0}, {1, 0, 0}}, {0, 0, 1}},
      {"reversed", {{1, 0, 0}, {0, 1, 0}, {0, 0, 0}}, {0, 0, -1}},
      {"quad in xz", {{0, 0, 0}, {0, 0, 2}, {2, 0, 2}, {2, 0, 0}}, {0, -1, 0}},
      {"collinear", {{0, 0, 0}, {1, 1, 1}, {2, 2, 2}}, {0, 0, 0}},
      // The sum, about 0.0001, is below the 0.001 clamp: the normal stays short (about 0.1).
      {"tiny", {{0, 0, 0}, {0, 0.01f, 0}, {0.01f, 0, 0}}, {0, 0, kTiny}},
  };
  for (const Case& c : cases) {
    TPrimitive p;
    TPolygon poly;
    for (std::size_t i = 0; i < c.corners.size(); ++i) {
      p.AddVertex(MakeVertex(std::to_string(i), c.corners[i][0], c.corners[i][1], c.corners[i][2]));
      poly.AddVertex(p.Vertices.back().get());
    }
    const TVertex& n = poly.CalculateNormal();
    EXPECT_EQ(&n, poly.Normal()) << c.what;
    EXPECT_EQ(&poly.CalculateNormal(), &n) << "the same object again";
    EXPECT_EQ(n.X, c.normal[0]) << c.what;
    EXPECT_EQ(n.Y, c.normal[1]) << c.what;
    EXPECT_EQ(n.Z, c.normal[2]) << c.what;
  }
}

TEST(SceneModel, NormalOfAnEmptyPolygonIsZero) {
  TPolygon poly;
  EXPECT_EQ(poly.Normal(), nullptr);
  const TVertex& n = poly.CalculateNormal();
  EXPECT_EQ(n.X, 0.0f);
  EXPECT_EQ(n.Y, 0.0f);
  EXPECT_EQ(n.Z, 0.0f);
}

TEST(SceneModel, GrowingAccessors) {
  TPolygon poly;
  TUVCoordinates& third = poly.GetUVSet(2);
  ASSERT_EQ(poly.UVSets.size(), 3u);
  EXPECT_EQ(&third, &poly.UVSets[2]);
  EXPECT_EQ(poly.UVSets[0].Count(), 0);
  EXPECT_EQ(poly.UVSets[1].Count(), 0);
  poly.GetUVSet(0).AppendUV(0.5f, 0.25f);
  EXPECT_EQ(poly.GetUVSet(0).Count(), 1);
  EXPECT_EQ(poly.UVSets.size(), 3u);  // asking again does not grow

  TUVCoordinates set;
  set.AppendUV(1, 2);
  TUVCoordinate& c = set.GetCoordinate(3);
  EXPECT_EQ(set.Count(), 4);
  EXPECT_EQ(set.Coordinates[0].U, 1.0f);
  EXPECT_EQ(set.Coordinates[0].V, 2.0f);
  EXPECT_EQ(set.Coordinates[2].U, 0.0f);
  EXPECT_EQ(c.U, 0.0f);
  EXPECT_EQ(c.V, 0.0f);
}

TEST(SceneModel, CompactListsOutgrowBorrowedStorage) {
  TArena arena;
  TCompactList<int> numbers;
  numbers.Borrow(arena, 2);
  numbers.push_back(1);
  numbers.push_back(2);
  const int* borrowed = numbers.begin();
  numbers.push_back(3);  // past the borrowed room: moves to its own storage
  EXPECT_NE(numbers.begin(), borrowed);
  ASSERT_EQ(numbers.size(), 3u);
  EXPECT_EQ(numbers[0] + numbers[1] + numbers[2], 6);
  numbers.Borrow(arena, 10);  // ignored: the list already has storage
  EXPECT_EQ(numbers.size(), 3u);

  // Items that own storage themselves survive the move and are freed once.
  TPolygon polygon;
  polygon.UVSets.Borrow(arena, 1);
  polygon.GetUVSet(0).AppendUV(1, 2);
  polygon.GetUVSet(0).Coordinates.Borrow(arena, 4);  // ignored, it has grown on the heap
  polygon.GetUVSet(3).GetCoordinate(5).U = 7;
  ASSERT_EQ(polygon.UVSets.size(), 4u);
  EXPECT_EQ(polygon.GetUVSet(0).Count(), 1);
  EXPECT_EQ(polygon.GetUVSet(0).GetCoordinate(0).V, 2.0f);
  EXPECT_EQ(polygon.GetUVSet(3).Count(), 6);
  EXPECT_EQ(polygon.GetUVSet(3).Coordinates[5].U, 7.0f);

  TCompactList<TUVCoordinates> moved(std::move(polygon.UVSets));
  EXPECT_TRUE(polygon.UVSets.empty());
  EXPECT_EQ(moved.size(), 4u);
  EXPECT_EQ(moved[3].Coordinates[5].U, 7.0f);
}

TEST(SceneModel, ArenaHandsOutAlignedDisjointRoom) {
  TArena arena;
  char* a = arena.Allocate<char>(3);
  double* b = arena.Allocate<double>(2);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(b) % alignof(double), 0u);
  EXPECT_GE(reinterpret_cast<char*>(b), a + 3);
  const std::size_t small = arena.BytesReserved();
  std::int64_t* big = arena.Allocate<std::int64_t>(100000);  // a block of its own
  big[99999] = 1;
  EXPECT_EQ(arena.BytesReserved(), small + 800000);
  double* c = arena.Allocate<double>(1);  // still from the first block
  EXPECT_EQ(c, b + 2);
  EXPECT_EQ(arena.BytesReserved(), small + 800000);
  EXPECT_LE(small, 1024u);  // a small primitive keeps a small block

  // Requests larger than the block the arena would open next get all the room they ask for.
  const std::pair<std::size_t, std::size_t> requests[] = {{0, 513}, {0, 16384}, {8, 2000}, {8, 16385}};
  for (const auto& [first, bytes] : requests) {
    TArena fresh;
    if (first) fresh.Allocate<char>(first);
    std::fill_n(fresh.Allocate<char>(bytes), bytes, 'x');
    EXPECT_GE(fresh.BytesReserved(), first + bytes) << bytes;
  }
}

TEST(SceneModel, AddersReturnTheNewIndexAndGettersCheckBounds) {
  TScene scene;
  EXPECT_EQ(scene.AddPrimitive(std::make_unique<TPrimitive>()), 0);
  EXPECT_EQ(scene.AddPrimitive(std::make_unique<TPrimitive>()), 1);
  EXPECT_EQ(scene.AddLight(std::make_unique<TLight>()), 0);
  TPrimitive& p = *scene.GetPrimitive(1);
  EXPECT_EQ(p.AddPolygon(std::make_unique<TPolygon>()), 0);
  TPolygon& poly = *p.GetPolygon(0);
  EXPECT_EQ(poly.AddVertex(nullptr), 0);  // an empty corner is stored
  EXPECT_EQ(poly.GetVertex(0), nullptr);
  TMaterial m;
  EXPECT_EQ(m.AddLayer(std::make_unique<TMaterialLayer>()), 0);
  EXPECT_FALSE(m.HasLightmap());
  EXPECT_EQ(m.AddLayer(std::make_unique<TMaterialLayer>()), 1);
  m.GetLayer(1)->IsLightmap = true;
  EXPECT_TRUE(m.HasLightmap());

  EXPECT_EQ(ErrorOf([&] { scene.GetPrimitive(2); }), "List index out of bounds (2)");
  EXPECT_EQ(ErrorOf([&] { scene.GetMaterial(0); }), "List index out of bounds (0)");
  EXPECT_EQ(ErrorOf([&] { p.GetPolygon(-1); }), "List index out of bounds (-1)");
  EXPECT_EQ(ErrorOf([&] { poly.GetVertex(1); }), "List index out of bounds (1)");
  EXPECT_EQ(ErrorOf([&] { m.GetLayer(2); }), "List index out of bounds (2)");
  EXPECT_EQ(ErrorOf([&] { poly.GetUVSet(-1); }), "List index out of bounds (-1)");
}

}  // namespace
}  // namespace pallix
