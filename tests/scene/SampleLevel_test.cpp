#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "support/FakeHost.h"
#include "uXMLSceneReader.h"

namespace pallix {
namespace {

const std::filesystem::path kFolder = std::filesystem::path(PALLIX_SOURCE_DIR) / "examples" / "sample-level";

TEST(SampleLevel, ReadsCompleteWithItsTextures) {
  std::ifstream in(kFolder / "scene.xml", std::ios::binary);
  ASSERT_TRUE(in) << kFolder;
  FakeHost host(std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()));
  TXMLSceneReader reader;
  const auto scene = reader.ReadScene();

  EXPECT_EQ(scene->MaterialCount(), 6);
  EXPECT_EQ(scene->Categories.size(), 3u);
  EXPECT_EQ(scene->PrimitiveCount(), 5);
  ASSERT_EQ(scene->Lights.size(), 3u);
  EXPECT_EQ(scene->Lights[2]->LightType, TLightType::spot);

  bool lightmap = false, color = false;
  for (const auto& material : scene->Materials) {
    for (const auto& layer : material->Layers) {
      lightmap |= layer->IsLightmap;
      color |= layer->LayerType == TLayerType::color;
      if (layer->LayerType == TLayerType::texture) {
        EXPECT_TRUE(std::filesystem::exists(kFolder / layer->TextureFile)) << layer->TextureFile;
      }
    }
  }
  EXPECT_TRUE(lightmap);
  EXPECT_TRUE(color);

  for (const auto& primitive : scene->Primitives) {
    for (const auto& polygon : primitive->Polygons) {
      EXPECT_NE(polygon->Material, nullptr) << primitive->Id;
      EXPECT_GE(polygon->VertexCount(), 3) << primitive->Id;
      // Every face has area: a unit normal.
      const TVertex& n = polygon->CalculateNormal();
      EXPECT_NEAR(n.X * n.X + n.Y * n.Y + n.Z * n.Z, 1.0f, 1e-4f) << primitive->Id;
    }
  }
}

}  // namespace
}  // namespace pallix
