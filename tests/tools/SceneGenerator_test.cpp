#include "SceneGenerator.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "support/FakeHost.h"
#include "uXMLSceneReader.h"

namespace pallix::scenegen {
namespace {

std::unique_ptr<TScene> ReadBack(const std::string& document, float scale) {
  FakeHost host(document);
  TXMLSceneReader reader;
  reader.Scale = scale;
  return reader.ReadScene();
}

float Scaled(float value, float scale) { return static_cast<float>(static_cast<double>(value) * scale); }

std::int32_t IndexOfVertex(const TPrimitive& p, const TVertex* v) {
  for (std::size_t i = 0; i < p.Vertices.size(); ++i) {
    if (p.Vertices[i].get() == v) return static_cast<std::int32_t>(i);
  }
  return -1;
}

// Everything the reader fills in, compared field by field; coordinates times the scale.
void ExpectSameScene(const TScene& read, const TScene& model, float scale) {
  EXPECT_EQ(read.Ambient, model.Ambient);
  EXPECT_EQ(read.Author, model.Author);
  EXPECT_EQ(read.Comment, model.Comment);
  EXPECT_EQ(read.ShadowOpacity, model.ShadowOpacity);

  ASSERT_EQ(read.MaterialCount(), model.MaterialCount());
  for (std::int32_t i = 0; i < model.MaterialCount(); ++i) {
    const TMaterial& a = *read.GetMaterial(i);
    const TMaterial& b = *model.GetMaterial(i);
    SCOPED_TRACE(b.Id);
    EXPECT_EQ(a.Id, b.Id);
    EXPECT_EQ(a.Name, b.Name);
    EXPECT_EQ(a.Category, b.Category);
    EXPECT_EQ(a.Used, b.Used);
    ASSERT_EQ(a.LayerCount(), b.LayerCount());
    for (std::int32_t k = 0; k < b.LayerCount(); ++k) {
      EXPECT_EQ(a.GetLayer(k)->IsLightmap, b.GetLayer(k)->IsLightmap);
      EXPECT_EQ(a.GetLayer(k)->Blend, b.GetLayer(k)->Blend);
      EXPECT_EQ(a.GetLayer(k)->LayerType, b.GetLayer(k)->LayerType);
      EXPECT_EQ(a.GetLayer(k)->TextureFile, b.GetLayer(k)->TextureFile);
      EXPECT_EQ(a.GetLayer(k)->Color, b.GetLayer(k)->Color);
    }
  }
  ASSERT_EQ(read.Categories.size(), model.Categories.size());
  for (std::size_t c = 0; c < model.Categories.size(); ++c) {
    EXPECT_EQ(read.Categories[c].first, model.Categories[c].first);
    const auto& a = read.Categories[c].second->Materials;
    const auto& b = model.Categories[c].second->Materials;
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < b.size(); ++i)
      EXPECT_EQ(read.IndexOfMaterial(a[i]), model.IndexOfMaterial(b[i]));
  }

  ASSERT_EQ(read.PrimitiveCount(), model.PrimitiveCount());
  for (std::int32_t i = 0; i < model.PrimitiveCount(); ++i) {
    const TPrimitive& a = *read.GetPrimitive(i);
    const TPrimitive& b = *model.GetPrimitive(i);
    SCOPED_TRACE(b.Id);
    EXPECT_EQ(a.Id, b.Id);
    EXPECT_EQ(a.Name, b.Name);
    EXPECT_EQ(a.PrimitiveType, b.PrimitiveType);
    EXPECT_EQ(a.Visible, b.Visible);
    EXPECT_EQ(a.Snap, b.Snap);
    EXPECT_EQ(a.AutoUV, b.AutoUV);
    EXPECT_EQ(a.Tag, b.Tag);
    ASSERT_EQ(a.Vertices.size(), b.Vertices.size());
    for (std::size_t v = 0; v < b.Vertices.size(); ++v) {
      ASSERT_EQ(a.Vertices[v]->Id, b.Vertices[v]->Id);
      ASSERT_EQ(a.Vertices[v]->X, Scaled(b.Vertices[v]->X, scale)) << b.Vertices[v]->Id;
      ASSERT_EQ(a.Vertices[v]->Y, Scaled(b.Vertices[v]->Y, scale)) << b.Vertices[v]->Id;
      ASSERT_EQ(a.Vertices[v]->Z, Scaled(b.Vertices[v]->Z, scale)) << b.Vertices[v]->Id;
    }
    ASSERT_EQ(a.PolygonCount(), b.PolygonCount());
    for (std::int32_t p = 0; p < b.PolygonCount(); ++p) {
      const TPolygon& pa = *a.GetPolygon(p);
      const TPolygon& pb = *b.GetPolygon(p);
      ASSERT_EQ(read.IndexOfMaterial(pa.Material), model.IndexOfMaterial(pb.Material)) << p;
      ASSERT_EQ(pa.VertexCount(), pb.VertexCount()) << p;
      for (std::int32_t c = 0; c < pb.VertexCount(); ++c) {
        ASSERT_NE(pb.GetVertex(c), nullptr);
        ASSERT_EQ(IndexOfVertex(a, pa.GetVertex(c)), IndexOfVertex(b, pb.GetVertex(c))) << p;
      }
      ASSERT_EQ(pa.UVSets.size(), pb.UVSets.size()) << p;
      for (std::size_t k = 0; k < pb.UVSets.size(); ++k) {
        ASSERT_EQ(pa.UVSets[k].Count(), pb.UVSets[k].Count());
        for (std::size_t c = 0; c < pb.UVSets[k].Coordinates.size(); ++c) {
          ASSERT_EQ(pa.UVSets[k].Coordinates[c].U, pb.UVSets[k].Coordinates[c].U);  // never scaled
          ASSERT_EQ(pa.UVSets[k].Coordinates[c].V, pb.UVSets[k].Coordinates[c].V);
        }
      }
    }
  }

  ASSERT_EQ(read.Lights.size(), model.Lights.size());
  for (std::size_t i = 0; i < model.Lights.size(); ++i) {
    const TLight& a = *read.Lights[i];
    const TLight& b = *model.Lights[i];
    SCOPED_TRACE(b.Id);
    EXPECT_EQ(a.Id, b.Id);
    EXPECT_EQ(a.Name, b.Name);
    EXPECT_EQ(a.LightType, b.LightType);
    EXPECT_EQ(a.Position.X, b.Position.X);  // never scaled
    EXPECT_EQ(a.Position.Y, b.Position.Y);
    EXPECT_EQ(a.Position.Z, b.Position.Z);
    EXPECT_EQ(a.Direction.X, b.Direction.X);
    EXPECT_EQ(a.Direction.Y, b.Direction.Y);
    EXPECT_EQ(a.Direction.Z, b.Direction.Z);
    EXPECT_EQ(a.Diffuse, b.Diffuse);
    EXPECT_EQ(a.Specular, b.Specular);
    EXPECT_EQ(a.Active, b.Active);
    EXPECT_EQ(a.Intensity, b.Intensity);
    EXPECT_EQ(a.AttenuationConstant, b.AttenuationConstant);
    EXPECT_EQ(a.AttenuationLinear, b.AttenuationLinear);
    EXPECT_EQ(a.AttenuationQuadratic, b.AttenuationQuadratic);
    EXPECT_EQ(a.Range, b.Range);
    EXPECT_EQ(a.ConeInner, b.ConeInner);
    EXPECT_EQ(a.ConeOuter, b.ConeOuter);
    EXPECT_EQ(a.ConeFalloff, b.ConeFalloff);
  }
}

TEST(SceneGenerator, RoundTrip) {
  struct Case {
    const char* what;
    Options options;
    float scale;
  };
  Options plain;
  plain.Decorations = false;
  plain.Seed = 7;
  Options decorated;
  decorated.Seed = 3;
  decorated.Primitives = 12;
  decorated.Materials = 20;
  Options terrain;
  terrain.Terrain = 20;
  terrain.Materials = 5;
  Options sparse;
  sparse.Seed = 99;
  sparse.Primitives = 30;
  sparse.PolygonsPerPrimitive = 3;
  sparse.Lights = 0;
  for (const Case& c : {Case{"plain", plain, 1.0f}, Case{"decorated", decorated, 2.5f},
                        Case{"terrain", terrain, 0.01f}, Case{"sparse", sparse, -1.0f}}) {
    SCOPED_TRACE(c.what);
    const Generated generated = Generate(c.options);
    ASSERT_NE(generated.Model, nullptr);
    const auto read = ReadBack(generated.Document, c.scale);
    ExpectSameScene(*read, *generated.Model, c.scale);
  }
}

TEST(SceneGenerator, CoversTheDocumentFeatures) {
  Options options;
  options.Materials = 30;
  options.Primitives = 10;
  const Generated g = Generate(options);
  const TScene& m = *g.Model;
  std::set<int> blends, types, cornerCounts, lightTypes;
  bool lightmap = false, color = false, orphan = false, manyLayers = false;
  for (const auto& material : m.Materials) {
    manyLayers |= material->LayerCount() >= 3;
    for (const auto& layer : material->Layers) {
      blends.insert(static_cast<int>(layer->Blend));
      lightmap |= layer->IsLightmap;
      color |= layer->LayerType == TLayerType::color;
    }
  }
  for (const auto& p : m.Primitives) {
    types.insert(static_cast<int>(p->PrimitiveType));
    for (const auto& poly : p->Polygons) {
      cornerCounts.insert(poly->VertexCount());
      orphan |= poly->Material == nullptr;
    }
  }
  for (const auto& light : m.Lights) lightTypes.insert(static_cast<int>(light->LightType));
  EXPECT_EQ(blends.size(), 5u);
  EXPECT_EQ(cornerCounts, (std::set<int>{1, 2, 3, 4, 5, 6, 7, 8}));
  EXPECT_EQ(lightTypes.size(), 3u);
  EXPECT_GT(types.size(), 3u);
  EXPECT_TRUE(lightmap && color && orphan && manyLayers);
  EXPECT_LT(m.Categories.size(), 6u);  // "Walls" and "walls" fold together
  for (const char* piece :
       {"<!--", "<entities>", "<Layer ", "&amp;", "<tag>", "\"V", " U0=\"", "<editorstate"}) {
    EXPECT_NE(g.Document.find(piece), std::string::npos) << piece;
  }
}

TEST(SceneGenerator, TerrainSharesCorners) {
  Options options;
  options.Terrain = 10;
  const Generated g = Generate(options);
  ASSERT_EQ(g.Model->PrimitiveCount(), 1);
  const TPrimitive& t = *g.Model->GetPrimitive(0);
  EXPECT_EQ(t.Vertices.size(), 121u);
  ASSERT_EQ(t.PolygonCount(), 100);
  std::map<const TVertex*, int> uses;
  for (const auto& poly : t.Polygons) {
    ASSERT_EQ(poly->VertexCount(), 4);
    for (const TVertex* v : poly->Vertices) ++uses[v];
  }
  EXPECT_EQ(uses.size(), 121u);
  EXPECT_EQ(uses[t.FindVertex("t12")], 4);  // an inner point belongs to four quads
  EXPECT_EQ(uses[t.FindVertex("t0")], 1);
}

TEST(SceneGenerator, DeterministicAndSized) {
  Options options;
  options.Seed = 42;
  const std::string first = Generate(options).Document;
  EXPECT_EQ(Generate(options).Document, first);
  options.Seed = 43;
  EXPECT_NE(Generate(options).Document, first);

  Options sized;
  sized.TargetMB = 1;
  sized.BuildModel = false;
  const Generated big = Generate(sized);
  EXPECT_EQ(big.Model, nullptr);
  EXPECT_GT(big.Document.size(), 1048576u * 95 / 100);
  EXPECT_LT(big.Document.size(), 1048576u * 105 / 100);

  sized.Terrain = 1;
  const std::size_t terrain = Generate(sized).Document.size();
  EXPECT_GT(terrain, 1048576u * 80 / 100);
  EXPECT_LT(terrain, 1048576u * 120 / 100);
}

TEST(SceneGenerator, WritesBitmapsForTheTextures) {
  const std::string bmp = MakeBitmap(3, 2, 5);
  ASSERT_EQ(bmp.size(), 54u + 2 * 12);  // rows padded to four bytes
  EXPECT_EQ(bmp.substr(0, 2), "BM");
  std::uint32_t size = 0;
  std::memcpy(&size, bmp.data() + 2, 4);  // little-endian host assumed by the test
  EXPECT_EQ(size, bmp.size());
  EXPECT_EQ(bmp[28], 24);  // bits per pixel

  Options options;
  const Generated g = Generate(options);
  ASSERT_FALSE(g.TextureFiles.empty());
  const auto folder = std::filesystem::temp_directory_path() / "pallix_scenegen_textures";
  std::filesystem::remove_all(folder);
  WriteTextureFiles(g.TextureFiles, folder.string());
  for (const std::string& file : g.TextureFiles) {
    std::ifstream in(folder / file, std::ios::binary);
    const std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(content.substr(0, 2), "BM") << file;
  }
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace pallix::scenegen
