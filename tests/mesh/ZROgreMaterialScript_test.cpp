#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "OutputFileCl.h"
#include "mesh/WriterFixtures.h"

namespace pallix {
namespace {

using testing::ReadFile;
using testing::TempFolder;
using testing::WriterScene;

std::string Script(const WriterScene& scene, const ZROgreMaterialT& material) {
  TempFolder dir;
  TOutputFile file(dir / "m.material");
  scene.exporter.WriteMaterialScript(material, file);
  file.Commit();
  return ReadFile(dir / "m.material");
}

std::string Lines(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& l : lines) out += l + "\r\n";
  return out;
}

const std::vector<std::string> kHead = {"material M",   "{",        "    technique", "    {",
                                        "        pass", "        {"};
const std::vector<std::string> kTail = {"        }", "    }", "}"};

std::vector<std::string> Block(const std::vector<std::string>& body, const std::string& head = "material M") {
  std::vector<std::string> out = kHead;
  out[0] = head;
  out.insert(out.end(), body.begin(), body.end());
  out.insert(out.end(), kTail.begin(), kTail.end());
  return out;
}

// A lightmapped material over "C:\tex\brick wall.jpg" and a lightmap, as material building
// leaves it with dynamic lighting for non-lightmapped materials only.
class WorkedExample : public ::testing::Test {
 protected:
  void SetUp() override {
    auto& m =
        scene.Material("LightMapped0",
                       {&scene.Texture("C:\\tex\\brick wall.jpg"), &scene.Texture("lm\\lightmap3.bmp", true)},
                       {"replace", "modulate"});
    material = &m;
  }
  WriterScene scene;
  ZROgreMaterialT* material = nullptr;
  const std::vector<std::string> blend = {"            scene_blend one zero", "            depth_write off"};
  const std::vector<std::string> unit0 = {"            texture_unit", "            {",
                                          "                texture brick_wall.jpg",
                                          "                filtering trilinear", "            }"};
  const std::vector<std::string> unit1 = {"            texture_unit",
                                          "            {",
                                          "                texture lightmap3.bmp",
                                          "                colour_op modulate",
                                          "                tex_coord_set 1",
                                          "                tex_address_mode clamp",
                                          "                filtering linear linear none",
                                          "            }"};
  static std::vector<std::string> Join(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
  }
};

TEST_F(WorkedExample, ByteForByte) {
  EXPECT_EQ(Script(scene, *material), Lines(Block(Join({blend, unit0, unit1}), "material LightMapped0")));
}

TEST_F(WorkedExample, WithoutLightmapsTheLightmapUnitIsLeftOut) {
  scene.exporter.exportLightmaps = false;
  EXPECT_EQ(Script(scene, *material), Lines(Block(Join({blend, unit0}), "material LightMapped0")));
}

TEST_F(WorkedExample, DynamicLightingForAllKeepsModulateAndNoBlend) {
  material->TextureUnits[0]->Operation = "modulate";
  EXPECT_EQ(Script(scene, *material), Lines(Block(Join({unit0, unit1}), "material LightMapped0")));
}

TEST(MaterialScript, NoTextureUnitsGivesNineLines) {
  WriterScene scene;
  EXPECT_EQ(Script(scene, scene.Material("M")), Lines(Block({})));
}

struct UnitCase {
  const char* name;
  std::vector<std::string> operations;
  bool lastIsLightmap;
  bool exportLightmaps;
  std::vector<std::string> body;
};

TEST(MaterialScript, UnitLines) {
  const std::string tu = "            texture_unit", open = "            {", close = "            }";
  const std::string tri = "                filtering trilinear";
  const std::vector<UnitCase> cases = {
      {"alpha blend on unit 0",
       {"alpha_blend"},
       false,
       true,
       {"            scene_blend alpha_blend", "            depth_write off", tu, open,
        "                texture t0.png", tri, close}},
      {"add on unit 0: no blend, no colour_op",
       {"add"},
       false,
       true,
       {tu, open, "                texture t0.png", tri, close}},
      {"empty operation on unit 1, set 2 on unit 2",
       {"modulate", "", "add"},
       false,
       true,
       {tu, open, "                texture t0.png", tri, close, tu, open, "                texture t1.png",
        "                tex_coord_set 1", tri, close, tu, open, "                texture t2.png",
        "                colour_op add", "                tex_coord_set 2", tri, close}},
      {"only a lightmap, left out: blend lines stay",
       {"replace"},
       true,
       false,
       {"            scene_blend one zero", "            depth_write off"}},
      {"left-out lightmap still counts for later units",
       {"modulate", "alpha_blend"},
       false,
       true,
       {tu, open, "                texture t0.png", tri, close, tu, open, "                texture t1.png",
        "                colour_op alpha_blend", "                tex_coord_set 1", tri, close}},
  };
  for (const UnitCase& c : cases) {
    SCOPED_TRACE(c.name);
    WriterScene scene;
    scene.exporter.exportLightmaps = c.exportLightmaps;
    std::vector<ZROgreTextureT*> textures;
    for (std::size_t i = 0; i < c.operations.size(); ++i) {
      const bool lm = c.lastIsLightmap && i + 1 == c.operations.size();
      textures.push_back(&scene.Texture("t" + std::to_string(i) + ".png", lm));
    }
    EXPECT_EQ(Script(scene, scene.Material("M", textures, c.operations)), Lines(Block(c.body)));
  }
}

TEST(MaterialScript, NamesThatOgreWouldSplitAreQuoted) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"Stone", "material Stone"},       {"Lvl/Stone", "material Lvl/Stone"},
      {"my mat", "material \"my mat\""}, {"Lvl:Stone", "material \"Lvl:Stone\""},
      {"a{b", "material \"a{b\""},       {"a}b", "material \"a}b\""},
      {"$var", "material \"$var\""},     {"x&y<z>", "material x&y<z>"},
  };
  for (const auto& [name, line] : cases) {
    WriterScene scene;
    const std::string text = Script(scene, scene.Material(name));
    EXPECT_EQ(text.substr(0, text.find("\r\n")), line);
  }
}

TEST(MaterialScript, TextureNamesLoseFolderAndBlanks) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"C:\\tex\\brick wall.jpg", "brick_wall.jpg"},
      {"C:wall.png", "wall.png"},
      {"color.bmp", "color.bmp"},
      // A forward slash ends a folder too, as on Windows; the copied file has this name.
      {"tex/sub/wall.png", "wall.png"},
      {"a\\b\\\tx y.png", "_x_y.png"},
      // Nothing left to name: the unit has no texture line, which OGRE reads as an empty unit.
      {"sub/..", ""},
      {"C:", ""},
      {"x\\.", ""},
      {"", ""},
  };
  for (const auto& [file, written] : cases) {
    WriterScene scene;
    const std::string text = Script(scene, scene.Material("M", {&scene.Texture(file)}));
    if (written.empty()) {
      EXPECT_EQ(text.find("                texture"), std::string::npos) << file;
      EXPECT_NE(text.find("\r\n            {\r\n                filtering trilinear\r\n"), std::string::npos);
    } else {
      EXPECT_NE(text.find("\r\n                texture " + written + "\r\n"), std::string::npos) << file;
    }
  }
}

TEST(OutputTextureName, ReplacesBlanksAndControlCharacters) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"my wall.jpg", "my_wall.jpg"},
      {"a\tb\nc\rd", "a_b_c_d"},
      {std::string("x\x01y\x1f", 4), "x_y_"},
      {"plain.png", "plain.png"},
      {"\x7f\xe9t\xc3\xa9.png", "\x7f\xe9t\xc3\xa9.png"},  // DEL and 8-bit characters stay
      {"", ""},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(OutputTextureName(in), out) << in;
}

}  // namespace
}  // namespace pallix
