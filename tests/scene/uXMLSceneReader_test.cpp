#include "uXMLSceneReader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <tuple>
#include <vector>

#include "BasicFn.h"
#include "support/FakeHost.h"

namespace pallix {
namespace {

std::string Doc(const std::string& body) { return "<scene>" + body + "</scene>"; }

std::unique_ptr<TScene> Read(const std::string& answer, float scale = 1.0f) {
  FakeHost host(answer);
  TXMLSceneReader reader;
  reader.Scale = scale;
  return reader.ReadScene();
}

std::string ReadError(const std::string& answer) {
  try {
    Read(answer);
  } catch (const Error& e) {
    return e.what();
  }
  return "(no error)";
}

const char* const kSettings =
    R"(<settings ambient="FF8040C0" author="Ann" comment="first" shadowOpacity="40" />)";

// A material section with one material of the given layers.
std::string Material(const std::string& layers, const std::string& id = "m1",
                     const std::string& name = "Stone") {
  return R"(<materials><category name="Walls"><material id=")" + id + R"(" name=")" + name +
         R"(" used="true">)" + layers + "</material></category></materials>";
}

const char* const kTextureLayer = R"(<layer type="texture" blend="replace"><texture file="a.bmp" /></layer>)";
const char* const kLightmapLayer =
    R"(<layer type="lightmap" blend="modulate"><texture file="lm.bmp" /></layer>)";

// A primitive with the given vertices and polygons sections.
std::string Primitive(const std::string& inner, const std::string& id = "p1") {
  return R"(<primitives><primitive id=")" + id +
         R"(" name="Box" type="cube" visible="false" snap="center" autoUV="yes">)" + inner +
         "</primitive></primitives>";
}

const char* const kTriangleVertices =
    R"(<vertices><vertex id="a" x="0" y="0" z="0" /><vertex id="B" x="1.5" y="-2" z="0.25" />)"
    R"(<vertex id="c" x="0" y="1" z="0" /></vertices>)";

TEST(SceneReader, SendsTheRequestDocument) {
  FakeHost host(Doc(""));
  TXMLSceneReader reader;
  reader.ReadScene();
  ASSERT_EQ(host.Requests.size(), 1u);
  EXPECT_EQ(host.Calls, 2);
  EXPECT_EQ(host.Requests[0],
            "<request version=\"1.6\">\r\n"
            "  <materials subset=\"all\" />\r\n"
            "  <primitives subset=\"all\" />\r\n"
            "  <lights subset=\"all\" />\r\n"
            "</request>");
}

TEST(SceneReader, ReadsAWholeScene) {
  const std::string doc =
      "\r\n  " +
      Doc(std::string(kSettings) +
          Material(std::string(kTextureLayer) +
                   R"(<layer type="color" blend="add"><color r="10" g="20" b="30" /></layer>)" +
                   kLightmapLayer) +
          Primitive(std::string("<tag>north wall</tag>") + kTriangleVertices +
                    R"(<polygons><poly mid="m1">)"
                    R"(<vertex vid="A" u0="0.5" v0="1" u1="2" v1="3" u2="4" v2="5" />)"
                    R"(<vertex vid="b" u0="0.1" v0="0.2" u1="0" v1="0" u2="0" v2="0" />)"
                    R"(<vertex vid="c" u0="-1" v0="1e-3" u1="0" v1="0" u2="0" v2="0" />)"
                    R"(</poly><poly mid="none"><vertex vid="c" /></poly></polygons>)") +
          R"(<lights><light id="l1" type="spot" name="Lamp" range="500" active="no" intensity="80">)"
          R"(<attenuation constant="0.5" linear="0.25" quadratic="0.125" />)"
          R"(<direction x="0" y="-1" z="0" /><position x="1.5" y="2" z="3" />)"
          R"(<cone inner="10" outer="20" falloff="2" />)"
          R"(<diffuse r="255" g="128" b="1" a="7" /><specular r="1" g="2" b="3" />)"
          R"(</light></lights>)") +
      std::string("\0\0 \r\n", 5);
  const auto scene = Read(doc, 2.0f);

  EXPECT_EQ(scene->Ambient, 0xFF8040C0u);
  EXPECT_EQ(scene->Comment, "first");
  EXPECT_EQ(scene->ShadowOpacity, 40);

  ASSERT_EQ(scene->MaterialCount(), 1);
  const TMaterial& m = *scene->GetMaterial(0);
  ASSERT_EQ(scene->Categories.size(), 1u);
  EXPECT_EQ(scene->Categories[0].second->Materials[0], &m);
  ASSERT_EQ(m.LayerCount(), 3);
  EXPECT_EQ(m.GetLayer(0)->TextureFile, "a.bmp");
  EXPECT_EQ(m.GetLayer(0)->LayerType, TLayerType::texture);
  EXPECT_EQ(m.GetLayer(1)->LayerType, TLayerType::color);
  EXPECT_EQ(m.GetLayer(1)->Blend, TBlendOperation::add);
  EXPECT_EQ(m.GetLayer(1)->Color, 0xFF1E140Au);
  EXPECT_TRUE(m.GetLayer(2)->IsLightmap);
  EXPECT_EQ(m.GetLayer(2)->LayerType, TLayerType::texture);
  EXPECT_TRUE(m.HasLightmap());

  ASSERT_EQ(scene->PrimitiveCount(), 1);
  const TPrimitive& p = *scene->GetPrimitive(0);
  EXPECT_EQ(p.PrimitiveType, TPrimitiveType::cube);
  EXPECT_FALSE(p.Visible);
  EXPECT_EQ(p.Snap, TSnapMethod::center);
  EXPECT_TRUE(p.AutoUV);
  EXPECT_EQ(p.Tag, "north wall");
  ASSERT_EQ(p.Vertices.size(), 3u);
  EXPECT_EQ(p.Vertices[1]->X, 3.0f);  // scaled
  EXPECT_EQ(p.Vertices[1]->Y, -4.0f);
  EXPECT_EQ(p.Vertices[1]->Z, 0.5f);

  ASSERT_EQ(p.PolygonCount(), 2);
  const TPolygon& poly = *p.GetPolygon(0);
  EXPECT_EQ(poly.Material, &m);
  ASSERT_EQ(poly.VertexCount(), 3);
  EXPECT_EQ(poly.GetVertex(0), p.Vertices[0].get());  // vid matched ignoring case
  EXPECT_EQ(poly.GetVertex(1), p.Vertices[1].get());
  ASSERT_EQ(poly.UVSets.size(), 3u);
  ASSERT_EQ(poly.UVSets[0].Count(), 3);
  EXPECT_EQ(poly.UVSets[0].Coordinates[0].U, 0.5f);  // not scaled
  EXPECT_EQ(poly.UVSets[0].Coordinates[1].U, 0.1f);
  EXPECT_EQ(poly.UVSets[0].Coordinates[2].V, 1e-3f);
  EXPECT_EQ(poly.UVSets[2].Coordinates[0].V, 5.0f);
  const TPolygon& orphan = *p.GetPolygon(1);
  EXPECT_EQ(orphan.Material, nullptr);
  EXPECT_EQ(orphan.VertexCount(), 1);
  EXPECT_TRUE(orphan.UVSets.empty());

  ASSERT_EQ(scene->Lights.size(), 1u);
  const TLight& l = *scene->Lights[0];
  EXPECT_EQ(l.LightType, TLightType::spot);
  EXPECT_FALSE(l.Active);
  EXPECT_EQ(l.AttenuationConstant, 0.5f);
  EXPECT_EQ(l.AttenuationQuadratic, 0.125f);
  EXPECT_EQ(l.Position.X, 1.5f);  // light positions are not scaled
  EXPECT_EQ(l.Position.Z, 3.0f);
  EXPECT_EQ(l.ConeInner, 10);
  EXPECT_EQ(l.Diffuse, 0x000180FFu);  // "a" is not read for lights
  EXPECT_EQ(l.Specular, 0x00030201u);
}

TEST(SceneReader, ColorPacking) {
  struct Case {
    const char* attributes;
    std::uint32_t color;
  };
  const Case cases[] = {
      {R"(r="10" g="20" b="30")", 0xFF1E140Au},         {R"(r="10" g="20" b="30" a="0")", 0x001E140Au},
      {R"(R="10" G="20" B="30" A="128")", 0x801E140Au},  // attribute names ignore case
      {R"(r="256" g="0" b="0" a="0")", 0x00000100u},     // spills into green, unmasked
      {R"(r="0" g="0" b="0" a="-1")", 0xFF000000u},
  };
  for (const Case& c : cases) {
    const auto scene = Read(Doc(Material(std::string(R"(<layer type="color" blend="replace"><color )") +
                                         c.attributes + " /></layer>")));
    EXPECT_EQ(scene->GetMaterial(0)->GetLayer(0)->Color, c.color) << c.attributes;
  }
  // A color layer without a color element keeps 0 and needs no texture.
  const auto plain = Read(Doc(Material(R"(<layer type="color" blend="alphablend" />)")));
  EXPECT_EQ(plain->GetMaterial(0)->GetLayer(0)->Color, 0u);
  EXPECT_EQ(plain->GetMaterial(0)->GetLayer(0)->Blend, TBlendOperation::alphablend);
}

TEST(SceneReader, AmbientKeepsItsWrittenOrder) {
  struct Case {
    const char* value;
    std::uint32_t ambient;
  };
  for (const Case& c : {Case{"FF8040C0", 0xFF8040C0u}, Case{"ff8040c0", 0xFF8040C0u},
                        Case{"00000001xyz", 0x00000001u}, Case{"0a0B0c0D", 0x0A0B0C0Du}}) {
    const auto scene = Read(Doc(std::string(R"(<settings ambient=")") + c.value +
                                R"(" author="" comment="" shadowOpacity="0" />)"));
    EXPECT_EQ(scene->Ambient, c.ambient) << c.value;
  }
}

TEST(SceneReader, LaterSectionsAddAndLaterSettingsOverwrite) {
  const auto scene =
      Read(Doc(std::string(kSettings) + Material(kTextureLayer, "m1", "First") +
               Primitive(std::string(kTriangleVertices) +
                         R"(<polygons><poly mid="m2"><vertex vid="a" /></poly></polygons>)") +
               Material(kTextureLayer, "m2", "Second") +
               R"(<settings ambient="00000000" author="Bo" comment="" shadowOpacity="-3" />)" +
               Primitive(std::string(kTriangleVertices) +
                             R"(<polygons><poly mid="m2"><vertex vid="a" u0="1" v0="2" /></poly></polygons>)",
                         "p2")));
  ASSERT_EQ(scene->MaterialCount(), 2);
  EXPECT_EQ(scene->GetMaterial(1)->Name, "Second");
  EXPECT_EQ(scene->Ambient, 0u);
  EXPECT_EQ(scene->Author, "Bo");
  EXPECT_EQ(scene->Comment, "");
  EXPECT_EQ(scene->ShadowOpacity, -3);
  ASSERT_EQ(scene->PrimitiveCount(), 2);
  // Materials must come first: m2 is not known yet to the first primitive.
  EXPECT_EQ(scene->GetPrimitive(0)->GetPolygon(0)->Material, nullptr);
  EXPECT_EQ(scene->GetPrimitive(1)->GetPolygon(0)->Material, scene->GetMaterial(1));
}

TEST(SceneReader, SkipsUnknownElementsAndFoldsElementNames) {
  const auto scene = Read(Doc(
      R"(<!-- editor comment --><extra><materials><category name="x"><material id="no" name="no" used="0" /></category></materials></extra>)"
      R"(<MATERIALS><Category name="c"><Material id="m" name="M" used="1"><note><layer type="bogus" blend="x" /></note>)"
      R"(<Layer type="texture" blend="ignore"><Texture file="t.bmp" /><other /></Layer></Material></Category>)"
      R"(<material id="stray" name="s" used="1" /></MATERIALS>)"
      R"(<entities><entity name="spawn" /></entities>)"));
  ASSERT_EQ(scene->MaterialCount(), 1);
  EXPECT_EQ(scene->GetMaterial(0)->Id, "m");
  ASSERT_EQ(scene->GetMaterial(0)->LayerCount(), 1);
  EXPECT_EQ(scene->GetMaterial(0)->GetLayer(0)->TextureFile, "t.bmp");
  EXPECT_EQ(scene->GetMaterial(0)->GetLayer(0)->Blend, TBlendOperation::ignore);
}

TEST(SceneReader, LayerOrderAroundTheLightmap) {
  const auto fine = Read(Doc(Material(std::string(kTextureLayer) + kLightmapLayer)));
  EXPECT_TRUE(fine->GetMaterial(0)->GetLayer(1)->IsLightmap);
  EXPECT_FALSE(fine->GetMaterial(0)->GetLayer(0)->IsLightmap);
}

TEST(SceneReader, Errors) {
  struct Case {
    std::string document;
    const char* message;
  };
  const std::string ok = R"(<vertex vid="a" />)";
  const Case cases[] = {
      {"", "The scene document is empty."},
      {" \r\n\t ", "The scene document is empty."},
      {"<!-- nothing -->", "The scene document is empty."},
      {Doc(Material(R"(<layer type="Texture" blend="replace" />)")), "Unknown layer type \"Texture\"."},
      {Doc(Material(R"(<layer type="texture" blend="Add" />)")), "Unknown blend operation \"Add\"."},
      {Doc(Material(std::string(kTextureLayer) + kLightmapLayer + kTextureLayer, "m1", "Brick")),
       "Layers encountered after lightmap for material \"Brick\""},
      {Doc(Material(std::string(kLightmapLayer) + kLightmapLayer, "m1", "Brick")),
       "Multiple lightmaps encountered for material \"Brick\""},
      {Doc(Material(R"(<layer type="lightmap" blend="add"><texture file="" /></layer>)")),
       "Missing texture node for texture type layer."},
      {Doc(Material(R"(<layer type="texture" blend="add"><color r="1" g="1" b="1" /></layer>)")),
       "Missing texture node for texture type layer."},
      {Doc(Material(R"(<layer blend="add" />)")), "Property \"type\" not found for node \"layer\"."},
      // The colour's own values are read before its optional alpha.
      {Doc(Material(R"(<layer type="color" blend="add"><color a="x" g="1" b="1" /></layer>)")),
       "Property \"r\" not found for node \"color\"."},
      {Doc(R"(<settings ambient="FF8040C0" author="" shadowOpacity="1" />)"),
       "Property \"comment\" not found for node \"settings\"."},
      {Doc(R"(<settings ambient="FF80" author="" comment="" shadowOpacity="1" />)"),
       "Invalid ambient color \"FF80\"."},
      {Doc(R"(<settings ambient="#FF8040C0" author="" comment="" shadowOpacity="1" />)"),
       "Invalid ambient color \"#FF8040C0\"."},
      {Doc(R"(<primitives><primitive id="p" name="" type="box" visible="1" snap="none" autoUV="0" /></primitives>)"),
       "Unknown primitive type \"box\"."},
      {Doc(R"(<primitives><primitive id="p" name="" type="cube" visible="1" snap="grid" autoUV="0" /></primitives>)"),
       "Unknown snap method \"grid\"."},
      {Doc(R"(<primitives><primitive id="p" name="" type="DirectionalLight" visible="1" snap="none" autoUV="0" />)"
           R"(</primitives>)"),
       "Unknown primitive type \"DirectionalLight\"."},
      {Doc(Primitive(
           std::string(kTriangleVertices) + R"(<polygons><poly mid="x"><vertex vid="d" /></poly></polygons>)",
           "wall")),
       "Unknown vertex \"d\" in primitive \"wall\"."},
      {Doc(Primitive(R"(<polygons><poly mid="x">)" + ok + "</poly></polygons>" + kTriangleVertices)),
       "Unknown vertex \"a\" in primitive \"p1\"."},
      {Doc(Primitive(R"(<vertices><vertex id="a" x="1" y="2" /></vertices>)")),
       "Property \"z\" not found for node \"vertex\"."},
      {Doc(Material(std::string(kTextureLayer) + kLightmapLayer) +
           Primitive(
               std::string(kTriangleVertices) +
               R"(<polygons><poly mid="m1"><vertex vid="a" u0="0" v0="0" u1="0" /></poly></polygons>)")),
       "Property \"v1\" not found for node \"vertex\"."},
      {Doc(R"(<lights><light id="l" type="area" name="" range="1" active="1" intensity="1" /></lights>)"),
       "Unknown light type \"area\"."},
      {Doc(R"(<lights><light id="l" type="point" name="" range="1" active="1" intensity="1">)"
           R"(<cone inner="1" outer="2" falloff="3" /></light></lights>)"),
       "Cone properties only supported for spotlights."},
      {Doc(R"(<lights><light id="l" type="spot" name="" range="1" active="1" intensity="1">)"
           R"(<diffuse r="1" g="2" /></light></lights>)"),
       "Property \"b\" not found for node \"diffuse\"."},
      // Several faults: the first scene fault in document order wins over later ones, and any
      // fault of the document's syntax wins over the scene's, wherever it stands.
      {Doc(Material(R"(<layer type="Texture" blend="replace" />)") +
           R"(<primitives><primitive id="p" name="" type="box" visible="1" snap="none" autoUV="0" /></primitives>)"),
       "Unknown layer type \"Texture\"."},
      {Doc(Material(R"(<layer type="texture" blend="add"><color r="1" g="1" /></layer>)")),
       "Property \"b\" not found for node \"color\"."},
      {"<scene>" + Material(R"(<layer type="Texture" blend="replace" />)"),
       "Closing tag missing for opening tag scene"},
      {Doc(Material(R"(<layer type="Texture" blend="replace" />)")) + "<scene />",
       "Only 1 root node supported."},
      {Doc(Primitive(R"(<vertices><vertex id="a" x="1" y="2" /></vertices>)")) + "x",
       "Unexpected text encountered outside root node."},
      {Doc(Material(R"(<layer blend="add" />)") + "<A></b>"),
       "Opening tag \"a\" doesn't mach closing tag \"b\" (1,147)"},
  };
  for (const Case& c : cases) EXPECT_EQ(ReadError(c.document), c.message) << c.document;
}

TEST(SceneReader, SyntaxErrorsFarIntoALargeDocumentKeepTheirLineAndColumn) {
  // The read part of a large document is given back while the rest is parsed; the line and
  // column of a later fault are still counted from the document's start.
  // Line ends before and after the first half: the last line may begin long before the fault.
  // Documents of 8 MB and more are held in a block of their own, given back in large pages.
  const std::vector<std::tuple<const char*, const char*, std::size_t>> lineEnds = {{"\r\n", "\r\n", 3 << 20},
                                                                                   {"\n", "\n", 3 << 20},
                                                                                   {"", "", 3 << 20},
                                                                                   {"\r\n", "\n", 3 << 20},
                                                                                   {"\r\n", "\n", 9 << 20}};
  for (const auto& [early, late, size] : lineEnds) {
    const char* const lineEnd = late;
    std::string doc = "<scene>";
    while (doc.size() < size) {
      doc += std::string(R"(<primitives id="x" />)") + (doc.size() < size / 2 ? early : late);
    }
    doc += "<bad/></scene>";
    const std::size_t bad = doc.size() - 10;
    std::int32_t line = 1, column = 1;
    for (std::size_t i = 0; i <= bad; ++i) {
      if (doc[i] == '\r') {
        ++line;
        column = 1;
      } else if (doc[i] != '\n') {
        ++column;
      }
    }
    EXPECT_EQ(ReadError(doc), "Unexpected character '/' in input (..." + doc.substr(bad - 9, 10) +
                                  "), position (" + std::to_string(line) + "," + std::to_string(column) +
                                  ").")
        << lineEnd;
  }
}

TEST(SceneReader, HostErrorsPropagate) {
  FakeHost host(Doc(""));
  host.LengthStatus = 5;
  TXMLSceneReader reader;
  try {
    reader.ReadScene();
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), "Korvel callback returned error code 5");
  }
}

TEST(SceneReader, ProgressOfATinyDocumentStaysAtFifty) {
  // Fewer than 32 tokens: the parser never reports a total.
  FakeHost host(Doc(R"(<materials /><materials></materials><lights>)"
                    R"(<light id="l" type="point" name="" range="1" active="1" intensity="1" /></lights>)"));
  TXMLSceneReader reader;
  std::vector<std::int32_t> reports;
  reader.OnProgress = [&](std::int32_t percent) { reports.push_back(percent); };
  reader.ReadScene();
  EXPECT_EQ(reports, (std::vector<std::int32_t>{50, 50, 50}));
}

TEST(SceneReader, ProgressFollowsThePositionsOfSectionsPrimitivesAndLights) {
  std::string primitives;
  for (int i = 0; i < 12; ++i) primitives += Primitive(kTriangleVertices, "p" + std::to_string(i));
  const std::string doc =
      Doc(Material(kTextureLayer) + primitives +
          R"(<lights><light id="l" type="point" name="" range="1" active="1" intensity="1" /></lights>)");
  FakeHost host(doc);
  TXMLSceneReader reader;
  std::vector<std::int32_t> reports;
  reader.OnProgress = [&](std::int32_t percent) { reports.push_back(percent); };
  reader.ReadScene();

  // A node's position is just past its name; ties round to even.
  std::vector<std::int32_t> expected;
  const double total = static_cast<double>(doc.size());
  for (const char* name : {"<materials>", "<primitive ", "<light "}) {
    for (std::size_t at = doc.find(name); at != std::string::npos; at = doc.find(name, at + 1)) {
      const double position = static_cast<double>(at + std::string(name).size() + 1);
      expected.push_back(static_cast<std::int32_t>(std::nearbyint(position * 50 / total)) + 50);
    }
  }
  const std::size_t reading = expected.size();
  ASSERT_GT(reports.size(), reading);
  const std::vector<std::int32_t> tail(reports.end() - static_cast<std::ptrdiff_t>(reading), reports.end());
  EXPECT_EQ(tail, expected);
  for (std::size_t i = 0; i + reading < reports.size(); ++i) {
    EXPECT_LE(reports[i], 50);
    if (i > 0) {
      EXPECT_GE(reports[i], reports[i - 1]);
    }
  }
}

TEST(SceneReader, ProgressTiesRoundToEven) {
  // 100 characters, 36 tokens: the parser reports once, at the 32nd token (position 90);
  // materials sits at position 65, and 65 / 100 * 50 = 32.5 goes to 32.
  std::string doc = "<s>";
  for (int i = 0; i < 10; ++i) doc += "<b />";
  doc += "<materials />";
  for (int i = 0; i < 6; ++i) doc += "<b />";
  doc += "</s>";
  ASSERT_EQ(doc.size(), 100u);
  FakeHost host(doc);
  TXMLSceneReader reader;
  std::vector<std::int32_t> reports;
  reader.OnProgress = [&](std::int32_t percent) { reports.push_back(percent); };
  reader.ReadScene();
  EXPECT_EQ(reports, (std::vector<std::int32_t>{45, 82}));
}

}  // namespace
}  // namespace pallix
