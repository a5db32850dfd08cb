#include <gtest/gtest.h>

#include "MeshTestScene.h"
#include "ZROgreMeshExporterCl.h"
#include "support/RecordingProgress.h"

namespace pallix {
namespace {

using test::AddMaterial;
using test::Layer;
constexpr auto kReplace = TBlendOperation::replace;
constexpr auto kModulate = TBlendOperation::modulate;
constexpr auto kAlpha = TBlendOperation::alphablend;

class MaterialBuildingTest : public ::testing::Test {
 protected:
  ZROgreMaterialT& Built(std::int32_t i) { return *(*exporter.Materials)[static_cast<std::size_t>(i)]; }
  std::vector<std::string> TextureNames() const {
    std::vector<std::string> names;
    for (const auto& t : exporter.Textures) names.push_back(t->FileName);
    return names;
  }

  TScene scene;
  ProgressLog log;
  ZROgreMeshExporterT exporter{MakeRecordingView(log)};
};

TEST_F(MaterialBuildingTest, NamesWithPrefixLightmapCounterAndControlCharacters) {
  exporter.materialNamePrefix = "Lvl1_";
  AddMaterial(scene, "Stone", {{"stone.jpg"}});
  AddMaterial(scene, "Lit", {{"a.jpg"}, {"lm0.png", TBlendOperation::modulate, TLayerType::texture, true}});
  AddMaterial(scene, "my mat\nwith\tbreak\x7f", {});
  AddMaterial(scene, "Lit too", {{"lm1.png", kReplace, TLayerType::texture, true}});
  exporter.ProcessMaterials(scene);
  EXPECT_EQ(Built(0).Name, "Lvl1_Stone");
  EXPECT_EQ(Built(1).Name, "Lvl1_LightMapped0");
  EXPECT_EQ(Built(2).Name, "Lvl1_my mat_with_break\x7f");
  EXPECT_EQ(Built(3).Name, "Lvl1_LightMapped1");
  EXPECT_TRUE(Built(1).IsLightmapped);
  EXPECT_FALSE(Built(0).IsLightmapped);
  EXPECT_EQ(exporter.LightmapCounter, 2);
}

TEST_F(MaterialBuildingTest, ControlCharactersInThePrefixBecomeUnderscoresToo) {
  exporter.materialNamePrefix = "a\rb/";
  AddMaterial(scene, "m", {{"lm.png", kReplace, TLayerType::texture, true}});
  exporter.ProcessMaterials(scene);
  EXPECT_EQ(Built(0).Name, "a_b/LightMapped0");
}

TEST_F(MaterialBuildingTest, TextureRecordsAreSharedByName) {
  AddMaterial(scene, "a", {{"walls\\brick.jpg"}, {"walls\\brick.jpg", TBlendOperation::add}});
  AddMaterial(scene, "b", {{"Walls\\brick.jpg"}, {"", kReplace, TLayerType::color, false, 0x11223344}});
  AddMaterial(scene, "c", {{"", kReplace, TLayerType::color, false, 0x55667788}});
  AddMaterial(
      scene, "d",
      {{"C:\\tex\\wall.png", kReplace, TLayerType::color}, {"x/y/stone.tga", kReplace, TLayerType::color}});
  AddMaterial(scene, "e",
              {{"D:old.brick.jpg", kReplace, TLayerType::color},
               {"walls\\brick.jpg", kReplace, TLayerType::texture, true}});
  // Only a backslash or a colon ends a folder; the extension starts at the last full stop.
  AddMaterial(scene, "f",
              {{"z/y/stone.tga", kReplace, TLayerType::color}, {"dir.v2/wall", kReplace, TLayerType::color}});
  // A colour layer shares an earlier colour texture of its name only with the same red, green
  // and blue; a texture that only texture layers have used is shared whatever the colour.
  AddMaterial(scene, "g", {{"", kReplace, TLayerType::color, false, 0xFF223344}, {"color.bmp"}});
  AddMaterial(scene, "h",
              {{"colorwood.bmp"},
               {"wood.png", kReplace, TLayerType::color, false, 0x000000FF},
               {"x\\wood.jpg", kReplace, TLayerType::color, false, 0x0000FF00},
               {"wood", kReplace, TLayerType::color, false, 0x7F0000FF}});
  exporter.ProcessMaterials(scene);
  ASSERT_EQ(TextureNames(), (std::vector<std::string>{"walls\\brick.jpg", "Walls\\brick.jpg", "color.bmp",
                                                      "color.bmp", "colorwall.bmp", "colorx/y/stone.bmp",
                                                      "colorold.brick.bmp", "colorz/y/stone.bmp",
                                                      "colordir.bmp", "colorwood.bmp", "colorwood.bmp"}));
  EXPECT_EQ(Built(0).GetTextureUnit(0)->Texture, Built(0).GetTextureUnit(1)->Texture);
  auto textureOf = [&](std::int32_t material, std::int32_t unit) {
    const ZROgreTextureT* t = Built(material).GetTextureUnit(unit)->Texture;
    for (std::size_t i = 0; i < exporter.Textures.size(); ++i) {
      if (exporter.Textures[i].get() == t) return static_cast<int>(i);
    }
    return -1;
  };
  EXPECT_EQ((std::vector<int>{textureOf(1, 1), textureOf(2, 0), textureOf(6, 0), textureOf(6, 1)}),
            (std::vector<int>{2, 3, 2, 2}));
  EXPECT_EQ((std::vector<int>{textureOf(7, 0), textureOf(7, 1), textureOf(7, 2), textureOf(7, 3)}),
            (std::vector<int>{9, 9, 10, 9}));
  // Every use sets the colour: the last layer decides the alpha of a shared one.
  EXPECT_EQ(exporter.Textures[2]->Color, 0xFF223344u);
  EXPECT_EQ(exporter.Textures[3]->Color, 0x55667788u);
  EXPECT_EQ(exporter.Textures[9]->Color, 0x7F0000FFu);
  EXPECT_TRUE(exporter.Textures[9]->IsColorTexture);
  EXPECT_TRUE(exporter.Textures[3]->IsColorTexture);
  EXPECT_TRUE(exporter.Textures[0]->IsLightmap);
  EXPECT_FALSE(exporter.Textures[0]->IsColorTexture);
  for (int j = 0; j < 2; ++j) EXPECT_EQ(Built(4).GetTextureUnit(j)->TextureCoordinateSet, j);
}

TEST_F(MaterialBuildingTest, OperationsAndTheDynamicLightingRule) {
  struct Case {
    const char* name;
    std::vector<Layer> layers;
    std::uint8_t allowDynamicLighting;
    std::vector<std::string> operations;
  };
  const Layer lightmap{"lm.png", kModulate, TLayerType::texture, true};
  const std::vector<Case> cases = {
      {"first replace modulates, later replace replaces",
       {{"a", kReplace},
        {"b", kReplace},
        {"c", TBlendOperation::ignore},
        {"d", TBlendOperation::add},
        {"e", kAlpha}},
       1,
       {"modulate", "replace", "", "add", "alpha_blend"}},
      {"lightmapped, non-lightmapped only", {{"a", kReplace}, lightmap}, 1, {"replace", "modulate"}},
      {"lightmapped, first layer modulate", {{"a", kModulate}, lightmap}, 1, {"replace", "modulate"}},
      {"lightmapped, all materials", {{"a", kReplace}, lightmap}, 0, {"modulate", "modulate"}},
      {"lightmapped alpha blend stays", {{"a", kAlpha}, lightmap}, 1, {"alpha_blend", "modulate"}},
      {"not lightmapped keeps modulate", {{"a", kReplace}, {"b", kModulate}}, 1, {"modulate", "modulate"}},
      {"lightmap alone", {lightmap}, 1, {"replace"}},
  };
  for (const Case& c : cases) {
    TScene s;
    AddMaterial(s, "m", c.layers);
    ProgressLog l;
    ZROgreMeshExporterT e(MakeRecordingView(l));
    e.allowDynamicLighting = c.allowDynamicLighting;
    e.ProcessMaterials(s);
    std::vector<std::string> operations;
    for (const auto& unit : (*e.Materials)[0]->TextureUnits) operations.push_back(unit->Operation);
    EXPECT_EQ(operations, c.operations) << c.name;
  }
}

TEST_F(MaterialBuildingTest, ProgressPerMaterialAndRunsOnce) {
  for (int i = 0; i < 3; ++i) AddMaterial(scene, "m");
  exporter.ProcessMaterials(scene);
  EXPECT_EQ(log.events,
            (std::vector<std::string>{"text:Processing materials...", "pos:0", "pos:0", "pos:33", "pos:66"}));
  AddMaterial(scene, "late");
  exporter.ProcessMaterials(scene);
  EXPECT_EQ(exporter.Materials->size(), 3u);
  EXPECT_EQ(log.events.size(), 5u);

  TScene empty;
  ProgressLog l;
  ZROgreMeshExporterT e(MakeRecordingView(l));
  e.ProcessMaterials(empty);
  EXPECT_EQ(l.events, (std::vector<std::string>{"text:Processing materials...", "pos:0"}));
  EXPECT_TRUE(e.Materials && e.Materials->empty());
}

TEST_F(MaterialBuildingTest, PruningKeepsOrderAndDropsWhatNothingUses) {
  AddMaterial(scene, "a", {{"t1"}, {"shared"}});
  AddMaterial(scene, "b", {{"t2"}, {"shared"}});
  AddMaterial(scene, "c", {{"t3"}});
  AddMaterial(scene, "d", {{"t4"}});
  exporter.ProcessMaterials(scene);
  Built(0).Used = true;
  Built(3).Used = true;
  exporter.PruneMaterials();
  exporter.PruneTextures();
  ASSERT_EQ(exporter.Materials->size(), 2u);
  EXPECT_EQ(Built(0).Name, "a");
  EXPECT_EQ(Built(1).Name, "d");
  EXPECT_EQ(TextureNames(), (std::vector<std::string>{"t1", "shared", "t4"}));
}

TEST_F(MaterialBuildingTest, AUnitWhoseTextureIsNotListedIsRefused) {
  AddMaterial(scene, "a", {{"t1"}});
  exporter.ProcessMaterials(scene);
  Built(0).Used = true;
  ZROgreTextureT stray("stray");
  Built(0).AddTextureUnit(&stray, "", 1);
  try {
    exporter.PruneTextures();
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), "Texture not found in list.");
  }
  EXPECT_EQ(exporter.Textures.size(), 1u);
}

}  // namespace
}  // namespace pallix
