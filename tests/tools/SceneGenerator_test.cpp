#include "SceneGenerator.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>

#include "support/FakeHost.h"
#include "support/TempFolder.h"
#include "uXMLSceneReader.h"

namespace pallix::scenegen {
namespace {

// Exact text of a value: floats in their shortest round-trip form.
std::string Piece(float value) {
  char text[32];
  return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
}
std::string Piece(const std::string& value) { return '"' + value + '"'; }
std::string Piece(const char* value) { return value; }
template <typename Integer>
std::string Piece(Integer value) {
  return std::to_string(value);
}

std::unique_ptr<TScene> ReadBack(const std::string& document, float scale) {
  FakeHost host(document);
  TXMLSceneReader reader;
  reader.Scale = scale;
  return reader.ReadScene();
}

// Every field the reader fills in, one item a line; vertex coordinates times the scale and
// cross references as positions, so two scenes compare as texts with a readable diff.
std::string Dump(const TScene& scene, float scale) {
  std::string out;
  const auto add = [&out](auto... parts) {
    ((out += Piece(parts), out += ' '), ...);
    out += '\n';
  };
  add("settings", scene.Ambient, scene.Author, scene.Comment, scene.ShadowOpacity);
  for (const auto& m : scene.Materials) {
    add("material", m->Id, m->Name, m->Category, m->Used);
    for (const auto& l : m->Layers) {
      add(" layer", l->IsLightmap, int(l->Blend), int(l->LayerType), l->TextureFile, l->Color);
    }
  }
  for (const auto& [name, category] : scene.Categories) {
    add("category", name);
    for (const TMaterial* m : category->Materials) add(" filed", scene.IndexOfMaterial(m));
  }
  for (const auto& p : scene.Primitives) {
    add("primitive", p->Id, p->Name, int(p->PrimitiveType), p->Visible, int(p->Snap), p->AutoUV, p->Tag);
    std::map<const TVertex*, std::size_t> position;
    for (const auto& v : p->Vertices) {
      position[v.get()] = position.size();
      const auto scaled = [scale](float c) { return static_cast<float>(static_cast<double>(c) * scale); };
      add(" vertex", v->Id, scaled(v->X), scaled(v->Y), scaled(v->Z));
    }
    for (const auto& poly : p->Polygons) {
      add(" poly", scene.IndexOfMaterial(poly->Material));
      for (const TVertex* corner : poly->Vertices) add("  corner", position.at(corner));
      for (const TUVCoordinates& set : poly->UVSets) {
        out += "  uv";
        for (const TUVCoordinate& uv : set.Coordinates) out += ' ' + Piece(uv.U) + ',' + Piece(uv.V);
        out += '\n';
      }
    }
  }
  for (const auto& l : scene.Lights) {
    add("light", l->Id, l->Name, int(l->LightType), l->Position.X, l->Position.Y, l->Position.Z,
        l->Direction.X, l->Direction.Y, l->Direction.Z, l->Diffuse, l->Specular, l->Active, l->Intensity,
        l->AttenuationConstant, l->AttenuationLinear, l->AttenuationQuadratic, l->Range, l->ConeInner,
        l->ConeOuter, l->ConeFalloff);
  }
  return out;
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
    EXPECT_EQ(Dump(*read, 1.0f), Dump(*generated.Model, c.scale));
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

TEST(SceneGenerator, KnownMaterialsOnly) {
  Options options;
  options.Materials = 30;
  options.Primitives = 10;
  options.UnknownMaterials = false;
  const Generated g = Generate(options);
  for (const auto& p : g.Model->Primitives) {
    for (const auto& poly : p->Polygons) EXPECT_NE(poly->Material, nullptr);
  }
  EXPECT_EQ(g.Document.find("no-such-material"), std::string::npos);
  EXPECT_EQ(Dump(*ReadBack(g.Document, 1.0f), 1.0f), Dump(*g.Model, 1.0f));
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
  const pallix::testing::TempFolder folder;
  WriteTextureFiles(g.TextureFiles, folder.Path());
  for (const std::string& file : g.TextureFiles) {
    std::ifstream in(std::filesystem::path(folder.Path()) / file, std::ios::binary);
    const std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(content.substr(0, 2), "BM") << file;
  }
}

}  // namespace
}  // namespace pallix::scenegen
