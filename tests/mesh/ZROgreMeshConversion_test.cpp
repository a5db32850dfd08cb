#include <gtest/gtest.h>

#include <cmath>

#include "MeshTestScene.h"
#include "ZROgreMeshExporterCl.h"
#include "support/RecordingProgress.h"

namespace pallix {
namespace {

using test::AddMaterial;
using test::AddPolygon;
using test::AddPrimitive;
using Faces = std::vector<std::array<std::int32_t, 3>>;

class ConversionTest : public ::testing::Test {
 protected:
  // Material building, conversion, pruning and the split, as the export run calls them.
  void Convert(std::uint8_t normals = 0) {
    exporter.normalsToExport = normals;
    exporter.BuildMesh(scene);
  }
  std::size_t SubMeshCount() const { return exporter.SubMeshes->size(); }
  ZROgreSubMeshT& Sub(std::size_t i) { return *(*exporter.SubMeshes)[i]; }
  static Faces FacesOf(const ZROgreSubMeshT& s) {
    Faces out;
    for (const auto& f : s.Faces) out.push_back(f.Indices);
    return out;
  }
  static std::vector<float> Xs(const ZROgreSubMeshT& s) {
    std::vector<float> out;
    for (const auto& v : s.Vertices) out.push_back(v.X);
    return out;
  }

  TScene scene;
  ProgressLog log;
  ZROgreMeshExporterT exporter{MakeRecordingView(log)};
};

TEST_F(ConversionTest, QuadBecomesTwoReversedFanTriangles) {
  TMaterial* m = AddMaterial(scene, "m", {{"t.png"}});
  AddPolygon(*AddPrimitive(scene), m, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}},
             {{{0, 0}, {1, 0}, {1, 1}, {0, 1}}});
  Convert();
  ASSERT_EQ(SubMeshCount(), 1u);
  const ZROgreSubMeshT& s = Sub(0);
  EXPECT_EQ(s.Material->Name, "m");
  EXPECT_EQ(s.VertexCount(), 4);
  EXPECT_EQ(FacesOf(s), (Faces{{2, 1, 0}, {3, 2, 0}}));
  EXPECT_EQ(s.GetFace(0).Material, nullptr);
  EXPECT_EQ(s.GetVertex(2)->GetTextureCoordinates(0).U, 1);
  EXPECT_EQ(s.GetVertex(3)->GetTextureCoordinates(0).V, 1);
  EXPECT_FALSE(s.GetVertex(0)->HasNormal());
}

TEST_F(ConversionTest, SharedEdgeWeldsUnlessFaceNormalsDiffer) {
  struct Case {
    std::uint8_t normals;
    std::int32_t vertices;
  };
  for (const Case c : {Case{0, 4}, Case{1, 6}, Case{2, 4}, Case{3, 4}}) {
    TScene s;
    TMaterial* m = AddMaterial(s, "m", {{"t.png"}});
    TPrimitive* p = AddPrimitive(s);
    const test::UVSet uv{{0, 0}, {1, 0}, {0, 1}};
    AddPolygon(*p, m, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {uv});
    AddPolygon(*p, m, {{1, 0, 0}, {0, 1, 0}, {1, 1, 1}}, {{{1, 0}, {0, 1}, {1, 1}}});
    ProgressLog l;
    ZROgreMeshExporterT e(MakeRecordingView(l));
    e.normalsToExport = c.normals;
    e.ProcessMaterials(s);
    e.ProcessPrimitives(s);
    EXPECT_EQ((*e.SubMeshes)[0]->VertexCount(), c.vertices) << int(c.normals);
  }
}

TEST_F(ConversionTest, FaceNormalsComeFromThePolygon) {
  TMaterial* m = AddMaterial(scene, "m");
  TPolygon* p = AddPolygon(*AddPrimitive(scene), m, {{0, 0, 0}, {0, 1, 0}, {1, 0, 0}});
  Convert(1);
  const TVertex& expected = p->CalculateNormal();
  ASSERT_EQ(Sub(0).VertexCount(), 3);
  for (const auto& v : Sub(0).Vertices) {
    EXPECT_EQ(v.Normal.X, expected.X);
    EXPECT_EQ(v.Normal.Y, expected.Y);
    EXPECT_EQ(v.Normal.Z, expected.Z);
    EXPECT_EQ(v.TextureCoordinateCount(), 0);
  }
  EXPECT_EQ(Sub(0).GetVertex(0)->Normal.Z, 1);
}

TEST_F(ConversionTest, SmoothBoxCornersShareOneNormal) {
  TMaterial* m = AddMaterial(scene, "m", {{"t.png"}});
  TPrimitive* p = AddPrimitive(scene);
  // Six quads; each face gets its own texture coordinates, so corners do not weld across faces.
  const std::vector<std::vector<test::Corner>> quads = {
      {{0, 0, 0}, {0, 1, 0}, {1, 1, 0}, {1, 0, 0}}, {{0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}},
      {{0, 0, 0}, {1, 0, 0}, {1, 0, 1}, {0, 0, 1}}, {{0, 1, 0}, {0, 1, 1}, {1, 1, 1}, {1, 1, 0}},
      {{0, 0, 0}, {0, 0, 1}, {0, 1, 1}, {0, 1, 0}}, {{1, 0, 0}, {1, 1, 0}, {1, 1, 1}, {1, 0, 1}}};
  for (std::size_t q = 0; q < quads.size(); ++q) {
    const float u = float(q);
    // Listed counter-clockwise seen from outside; the scene's front side is the clockwise one.
    AddPolygon(*p, m, {quads[q].rbegin(), quads[q].rend()}, {{{u, 0}, {u, 1}, {u, 2}, {u, 3}}});
  }
  Convert(2);
  const ZROgreSubMeshT& s = Sub(0);
  ASSERT_EQ(s.VertexCount(), 24);
  for (const auto& v : s.Vertices) {
    const float len = std::sqrt(v.Normal.X * v.Normal.X + v.Normal.Y * v.Normal.Y + v.Normal.Z * v.Normal.Z);
    EXPECT_NEAR(len, 1.0f, 1e-6f);
    // Points outwards along the corner's diagonal.
    EXPECT_EQ(v.Normal.X > 0, v.X > 0.5f);
    EXPECT_EQ(v.Normal.Y > 0, v.Y > 0.5f);
    EXPECT_EQ(v.Normal.Z > 0, v.Z > 0.5f);
    for (const auto& w : s.Vertices) {
      if (w.IsEqual(v)) {
        EXPECT_TRUE(w.Normal.IsEqual(v.Normal));
      }
    }
  }
}

TEST_F(ConversionTest, SplitByMaterialKeepsOnlyUsedVerticesInListOrder) {
  TMaterial* a = AddMaterial(scene, "A");
  TMaterial* b = AddMaterial(scene, "B");
  TPrimitive* p = AddPrimitive(scene);
  // Welded vertices 0..5 along x; B's polygon comes first in the primitive.
  AddPolygon(*p, a, {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}});
  AddPolygon(*p, b, {{2, 0, 0}, {3, 0, 0}, {4, 0, 0}, {5, 0, 0}});
  AddPolygon(*p, a, {{0, 0, 0}, {2, 0, 0}, {3, 0, 0}});
  AddPrimitive(scene);  // no faces: contributes no submesh
  TPrimitive* q = AddPrimitive(scene);
  AddPolygon(*q, b, {{9, 0, 0}, {8, 0, 0}, {7, 0, 0}});
  Convert();
  ASSERT_EQ(SubMeshCount(), 3u);
  EXPECT_EQ(Sub(0).Material->Name, "A");
  EXPECT_EQ(Xs(Sub(0)), (std::vector<float>{0, 1, 2, 3}));
  EXPECT_EQ(FacesOf(Sub(0)), (Faces{{2, 1, 0}, {3, 2, 0}, {3, 2, 0}}));
  EXPECT_EQ(Sub(1).Material->Name, "B");
  EXPECT_EQ(Xs(Sub(1)), (std::vector<float>{2, 3, 4, 5}));
  EXPECT_EQ(FacesOf(Sub(1)), (Faces{{2, 1, 0}, {3, 2, 0}}));
  EXPECT_EQ(Xs(Sub(2)), (std::vector<float>{9, 8, 7}));
  // The split copies: a vertex both materials use exists in each submesh.
  EXPECT_NE(Sub(0).GetVertex(2), Sub(1).GetVertex(0));
}

TEST(Conversion, BuildMeshSplitsAsTheSeparateStepsDo) {
  // The run splits each primitive as soon as it is converted, before unused materials are pruned.
  const auto build = [](TScene& s) {
    AddMaterial(s, "unused");
    TMaterial* a = AddMaterial(s, "A", {{"a.png"}});
    AddMaterial(s, "unused too");
    TMaterial* b = AddMaterial(s, "B");
    TPrimitive* p = AddPrimitive(s);
    AddPolygon(*p, b, {{2, 0, 0}, {3, 0, 0}, {4, 1, 0}, {5, 0, 0}});
    AddPolygon(*p, a, {{0, 0, 0}, {2, 0, 0}, {3, 0, 0}}, {{{0, 0}, {1, 0}, {1, 1}}});
    AddPolygon(*p, b, {{0, 0, 0}, {2, 0, 0}, {3, 0, 0}});
    AddPolygon(*p, a, {{2, 0, 0}, {3, 0, 0}});
    AddPrimitive(s);
    AddPolygon(*AddPrimitive(s), a, {{9, 0, 0}, {8, 0, 1}, {7, 0, 0}});
  };
  for (const std::uint8_t normals : {0, 1, 2}) {
    TScene one, two;
    build(one);
    build(two);
    ZROgreMeshExporterT fused(nullptr), steps(nullptr);
    fused.normalsToExport = steps.normalsToExport = normals;
    fused.BuildMesh(one);
    steps.ProcessMaterials(two);
    steps.ProcessPrimitives(two);
    steps.PruneMaterials();
    steps.PruneTextures();
    steps.SplitSubMeshesByMaterial();
    ASSERT_EQ(fused.SubMeshes->size(), steps.SubMeshes->size());
    for (std::size_t i = 0; i < fused.SubMeshes->size(); ++i) {
      const ZROgreSubMeshT& f = *(*fused.SubMeshes)[i];
      const ZROgreSubMeshT& t = *(*steps.SubMeshes)[i];
      EXPECT_EQ(f.Material->Name, t.Material->Name);
      ASSERT_EQ(f.VertexCount(), t.VertexCount());
      for (std::int32_t v = 0; v < f.VertexCount(); ++v)
        EXPECT_TRUE(f.GetVertex(v)->IsEqual(*t.GetVertex(v)));
      ASSERT_EQ(f.FaceCount(), t.FaceCount());
      for (std::int32_t k = 0; k < f.FaceCount(); ++k) EXPECT_EQ(f.GetFace(k).Indices, t.GetFace(k).Indices);
    }
  }
}

TEST_F(ConversionTest, PolygonsWithFewerThanThreeCornersAreSkipped) {
  TMaterial* used = AddMaterial(scene, "used", {{"u.png"}});
  TMaterial* unused = AddMaterial(scene, "unused", {{"n.png"}});
  AddPolygon(*AddPrimitive(scene), unused, {{0, 0, 0}, {1, 0, 0}});
  AddPolygon(*AddPrimitive(scene), used, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
  Convert();
  ASSERT_EQ(SubMeshCount(), 1u);
  ASSERT_EQ(exporter.Materials->size(), 1u);
  EXPECT_EQ((*exporter.Materials)[0]->Name, "used");
  ASSERT_EQ(exporter.Textures.size(), 1u);
  EXPECT_EQ(exporter.Textures[0]->FileName, "u.png");
}

TEST_F(ConversionTest, PolygonWithoutAListedMaterialStopsTheRun) {
  TMaterial stray;
  struct Case {
    TMaterial* material;
    std::vector<test::Corner> corners;
  };
  for (const Case& c : {Case{nullptr, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}}, Case{&stray, {{0, 0, 0}}}}) {
    TScene s;
    AddMaterial(s, "m");
    AddPolygon(*AddPrimitive(s), c.material, c.corners);
    ProgressLog l;
    ZROgreMeshExporterT e(MakeRecordingView(l));
    e.ProcessMaterials(s);
    try {
      e.ProcessPrimitives(s);
      ADD_FAILURE() << "no error";
    } catch (const Error& error) {
      EXPECT_STREQ(error.what(), "List index out of bounds (-1)");
    }
  }
}

TEST_F(ConversionTest, ProgressPerPrimitiveRoundsHalvesToEven) {
  struct Case {
    int primitives;
    std::vector<std::int32_t> positions;
  };
  const Case cases[] = {
      {4, {0, 25, 50, 75, 0}}, {8, {0, 12, 25, 38, 50, 62, 75, 88, 0}}, {1, {0, 0}}, {3, {0, 33, 67, 0}}};
  for (const Case& c : cases) {
    TScene s;
    AddMaterial(s, "m");
    for (int i = 0; i < c.primitives; ++i) AddPrimitive(s);
    ProgressLog l;
    ZROgreMeshExporterT e(MakeRecordingView(l));
    e.ProcessMaterials(s);
    const std::size_t before = l.events.size();
    e.ProcessPrimitives(s);
    std::vector<std::string> events(l.events.begin() + static_cast<std::ptrdiff_t>(before), l.events.end());
    ProgressLog tail{events};
    EXPECT_EQ(tail.Positions(), c.positions) << c.primitives;
    EXPECT_EQ(tail.Texts(), (std::vector<std::string>{"Processing primitives..."}));
    EXPECT_EQ(events[events.size() - 2], "text:Processing primitives...");
  }
}

}  // namespace
}  // namespace pallix
