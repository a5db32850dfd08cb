#include "ZROgreMeshExporterCl.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "BasicFn.h"
#include "FileHost.h"
#include "OutputFileCl.h"
#include "support/ExportScene.h"
#include "support/RecordingProgress.h"
#include "support/TempFolder.h"

namespace pallix {
namespace {

using testing::Exists;
using testing::ListFolder;
using testing::ReadFile;
using testing::TempFolder;
using testing::WriteFile;

// The plug-in's way: the host names its install folder, whose Korvel.ini names the folder
// the scene's texture names are relative to.
class ExportRun : public ::testing::Test {
 protected:
  void SetUp() override {
    scene = testing::WriteExportScene(dir / "level/");
    WriteFile(dir / "korvel/Korvel.ini", "[Dirs]\r\ntexturefiles=" + dir / "level/" + "\r\n");
    std::filesystem::create_directories(dir / "out");
  }

  std::unique_ptr<ZROgreMeshExporterT> MakeExporter() {
    return std::make_unique<ZROgreMeshExporterT>(MakeRecordingView(progress));
  }
  void Export(const std::string& meshFile, const std::function<void(ZROgreMeshExporterT&)>& setup = {}) {
    TFileHost host(scene, dir / "korvel");
    auto exporter = MakeExporter();
    if (setup) setup(*exporter);
    exporter->Export(meshFile);
  }

  TempFolder dir;
  std::string scene;
  ProgressLog progress;
};

TEST_F(ExportRun, TheExtensionChoosesTheFormatAndNamesTheScript) {
  struct Case {
    const char* mesh;
    const char* script;
    bool xml;
  } cases[] = {
      {"a.mesh", "a.material", false},
      {"b.XML", "b.material", true},
      {"c.final.mesh", "c.final.material", false},
      {"d", "d.material", false},
  };
  for (const Case& c : cases) {
    Export(dir / "out/" + c.mesh, [](ZROgreMeshExporterT& e) { e.exportTextures = false; });
    const std::string mesh = ReadFile(dir / "out/" + c.mesh);
    EXPECT_EQ(mesh.rfind("<mesh>", 0) == 0, c.xml) << c.mesh;
    EXPECT_TRUE(Exists(dir / "out/" + c.script)) << c.mesh;
  }
}

TEST_F(ExportRun, FoldersRelativeToTheMeshFile) {
  struct Case {
    bool materials, textures;
    const char* materialPath;
    const char* texturePath;
    const char* scriptAt;
    const char* texturesAt;
  } cases[] = {
      {true, true, "m", "t\\u", "x/m/ship.material", "x/t/u/"},
      {true, true, "..\\shared", "../shared", "shared/ship.material", "shared/"},
      {false, true, "never", "", nullptr, "x/"},
      {true, false, "", "never", "x/ship.material", nullptr},
  };
  for (const Case& c : cases) {
    TempFolder run;
    std::filesystem::create_directories(run / "x");
    Export(run / "x/ship.xml", [&](ZROgreMeshExporterT& e) {
      e.exportMaterials = c.materials;
      e.exportTextures = c.textures;
      e.materialPath = c.materialPath;
      e.texturePath = c.texturePath;
    });
    if (c.scriptAt) {
      EXPECT_TRUE(Exists(run / c.scriptAt)) << c.scriptAt;
    }
    if (c.texturesAt) {
      EXPECT_TRUE(Exists(run / c.texturesAt + "old_brick.jpg")) << c.texturesAt;
    }
    EXPECT_FALSE(Exists(run / "x/never")) << "folders of disabled outputs are not made";
  }
}

TEST_F(ExportRun, LightmapsCanBeLeftOut) {
  Export(dir / "out/ship.mesh", [](ZROgreMeshExporterT& e) { e.exportLightmaps = false; });
  EXPECT_FALSE(Exists(dir / "out/lightmap0.bmp"));
  EXPECT_TRUE(Exists(dir / "out/wall.png"));
  // old brick, wall, lightmap, colour: the position still moves past the lightmap.
  EXPECT_EQ(progress.From("Copying texture files..."),
            (std::vector<std::string>{"text:Copying texture files...", "pos:0", "pos:0", "pos:25", "pos:50",
                                      "pos:75"}));
}

TEST_F(ExportRun, StageTexts) {
  Export(dir / "out/ship.mesh");
  EXPECT_EQ(progress.events.at(0), "text:Reading Korvel Scene...");
  EXPECT_EQ(progress.events.at(1), "pos:0");
  EXPECT_EQ(progress.events.at(2), "show");
  EXPECT_EQ(progress.Texts(), (std::vector<std::string>{"Reading Korvel Scene...", "Processing materials...",
                                                        "Processing primitives...", "Saving material file...",
                                                        "Copying texture files..."}));
  // Three materials remain: positions 0, 33, 66 after each block.
  EXPECT_EQ(progress.From("Saving material file..."),
            (std::vector<std::string>{"text:Saving material file...", "pos:0", "pos:0", "pos:33", "pos:66",
                                      "text:Copying texture files...", "pos:0", "pos:0", "pos:25", "pos:50",
                                      "pos:75"}));
}

TEST_F(ExportRun, ColourTexturesAreTwoByTwoBitmaps) {
  Export(dir / "out/ship.mesh");
  const unsigned char expected[70] = {
      'B', 'M', 70,  0, 0,   0,   0, 0, 0, 0, 54, 0, 0, 0,  // file header
      40,  0,   0,   0, 2,   0,   0, 0, 2, 0, 0,  0, 1, 0, 24, 0, 0, 0, 0, 0,
      16,  0,   0,   0, 0,   0,   0, 0, 0, 0, 0,  0, 0, 0, 0,  0, 0, 0, 0, 0,  // info header
      1,   128, 255, 1, 128, 255, 0, 0,  // rows: blue, green, red; padded to 8
      1,   128, 255, 1, 128, 255, 0, 0};
  EXPECT_EQ(ReadFile(dir / "out/color.bmp"), std::string(reinterpret_cast<const char*>(expected), 70));
}

TEST_F(ExportRun, ExistingFilesAreReplaced) {
  for (const char* name : {"ship.mesh", "ship.material", "old_brick.jpg", "color.bmp"}) {
    WriteFile(dir / "out/" + name, std::string(100000, '~'));
  }
  Export(dir / "out/ship.mesh");
  EXPECT_EQ(ReadFile(dir / "out/old_brick.jpg"), "image of old brick.jpg");
  EXPECT_EQ(ReadFile(dir / "out/color.bmp").size(), 70u);
  EXPECT_EQ(ReadFile(dir / "out/ship.material").find('~'), std::string::npos);
  EXPECT_EQ(ReadFile(dir / "out/ship.mesh").find("~~~~"), std::string::npos);
}

TEST_F(ExportRun, EmptySceneGivesAnEmptyScriptAndAnEmptyTextureFolder) {
  WriteFile(scene, "<scene><materials /><primitives /></scene>");
  Export(dir / "out/empty.mesh", [](ZROgreMeshExporterT& e) { e.texturePath = "tex"; });
  EXPECT_EQ(ReadFile(dir / "out/empty.material"), "");
  EXPECT_EQ(ListFolder(dir / "out/tex"), "");
  EXPECT_EQ(progress.From("Saving material file..."),
            (std::vector<std::string>{"text:Saving material file...", "pos:0",
                                      "text:Copying texture files...", "pos:0"}));
}

TEST_F(ExportRun, TexturesNeverLandOutsideTheTextureFolder) {
  std::string doc = testing::ExportSceneDocument();
  auto replace = [&](const std::string& from, const std::string& to) {
    doc.replace(doc.find(from), from.size(), to);
  };
  replace("old brick.jpg", "..\\..\\esc ape.jpg");  // name part only
  replace("sub\\wall.png", "sub/..");               // nothing left of the name
  replace("lm\\lightmap0.bmp", "C:");               // empty after the colon
  WriteFile(scene, doc);
  WriteFile(dir / "esc ape.jpg", "escaped");
  WriteFile(dir / "korvel/Korvel.ini", "[Dirs]\r\ntexturefiles=" + dir / "level/sub/" + "\r\n");
  TFileHost host(scene, dir / "korvel");
  auto exporter = MakeExporter();
  exporter->texturePath = "tex";
  exporter->Export(dir / "out/ship.mesh");
  EXPECT_EQ(ListFolder(dir / "out/tex"), "color.bmp esc_ape.jpg");
  EXPECT_EQ(ReadFile(dir / "out/tex/esc_ape.jpg"), "escaped");
  EXPECT_EQ(ListFolder(dir / "out"), "ship.material ship.mesh tex/");
  EXPECT_EQ(exporter->TexturesWritten, 2);
}

// One material per texture, each with one layer and one triangle. "#N" is a colour layer
// without a file, of red N.
std::string TexturesScene(const std::vector<std::string>& textures) {
  std::string doc = R"(<scene><materials><category name="c">)";
  for (std::size_t i = 0; i < textures.size(); ++i) {
    const std::string& t = textures[i];
    doc += "<material id=\"m" + std::to_string(i) + "\" name=\"M" + std::to_string(i) + "\" used=\"true\">";
    doc += t[0] == '#'
               ? R"(<layer type="color" blend="replace"><color r=")" + t.substr(1) + R"(" g="0" b="0" />)"
               : R"(<layer type="texture" blend="replace"><texture file=")" + t + R"(" />)";
    doc += "</layer></material>";
  }
  doc += R"(</category></materials><primitives><primitive id="p" name="p" type="userdefined" visible="true" )"
         R"(snap="none" autoUV="false"><vertices><vertex id="a" x="0" y="0" z="0" /><vertex id="b" x="1" )"
         R"(y="0" z="0" /><vertex id="c" x="0" y="1" z="0" /></vertices><polygons>)";
  for (std::size_t i = 0; i < textures.size(); ++i) {
    doc += "<poly mid=\"m" + std::to_string(i) + "\">";
    for (const char* v : {"a", "b", "c"}) doc += std::string("<vertex vid=\"") + v + R"(" u0="0" v0="0" />)";
    doc += "</poly>";
  }
  return doc + "</polygons></primitive></primitives></scene>";
}

std::string NativeName(std::string name) {
  std::replace(name.begin(), name.end(), '\\', '/');
  return name;
}

// The texture each texture unit of a script names, in order; "" for a unit without one.
std::vector<std::string> ScriptTextures(const std::string& script) {
  std::vector<std::string> names;
  std::size_t at = 0;
  for (std::size_t end; (end = script.find("\r\n", at)) != std::string::npos; at = end + 2) {
    const std::string_view line(script.data() + at, end - at);
    if (line == "            texture_unit") names.emplace_back();
    if (line.starts_with("                texture ")) names.back() = line.substr(24);
  }
  return names;
}

// Texture names: every texture its own file in the texture folder, the mesh and the script
// beside them untouched.
TEST_F(ExportRun, EveryTextureGetsItsOwnFile) {
  struct Case {
    std::vector<std::string> textures;
    std::vector<std::string> written;  // "" : neither written nor named in the script
    const char* texturePath = "";
    const char* materialPath = "";
    bool exportMaterials = true;
    const char* mesh = "level.mesh";
  } cases[] = {
      {{"walls\\brick.bmp", "floors\\brick.bmp", "BRICK.bmp", "brick_2.bmp", "a\\brick"},
       {"brick.bmp", "brick_2.bmp", "BRICK_3.bmp", "brick_2_2.bmp", "brick"}},
      {{"a\\read me", "b\\READ_ME", "c\\Read Me", "x.tar.gz", "y\\x.tar.gz", ".hidden", "z\\.hidden"},
       {"read_me", "READ_ME_2", "Read_Me_3", "x.tar.gz", "x.tar_2.gz", ".hidden", "_2.hidden"}},
      {{"#1", "#2", "#1", "#3", "color_2.bmp"},
       {"color.bmp", "color_2.bmp", "color.bmp", "color_3.bmp", "color_2_2.bmp"}},
      {{"sub/..", "C:", "x\\.", "a.png", "b\\A.PNG"}, {"", "", "", "a.png", "A_2.PNG"}},
      // The mesh and the script are taken names in their own folders.
      {{"level.mesh", "LEVEL.material", "x\\level.mesh", "level"},
       {"level_2.mesh", "LEVEL_2.material", "level_3.mesh", "level"}},
      {{"level.mesh", "level.material"}, {"level.mesh", "level.material"}, "tex"},
      {{"level.mesh", "level.material"}, {"level.mesh", "level_2.material"}, "m", "m"},
      {{"level.mesh", "level.material"}, {"level.mesh", "level_2.material"}, "Tex\\", "tex"},
      {{"level.mesh", "level.material"}, {"level_2.mesh", "level_2.material"}, "m\\..", "."},
      {{"level.mesh", "level.material"}, {"level_2.mesh", "level.material"}, "", "", false},
      {{"level.xml", "level.mesh"}, {"level_2.xml", "level.mesh"}, "", "m", true, "level.xml"},
  };
  int run = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.textures[0]);
    const std::string out = dir / ("out" + std::to_string(run++) + "/");
    std::filesystem::create_directories(out);
    WriteFile(scene, TexturesScene(c.textures));
    for (std::size_t i = 0; i < c.textures.size(); ++i) {
      if (c.textures[i][0] != '#' && !c.written[i].empty()) {
        WriteFile(dir / "level/" + NativeName(c.textures[i]), "image of " + c.textures[i]);
      }
    }
    Export(out + c.mesh, [&](ZROgreMeshExporterT& e) {
      e.texturePath = c.texturePath;
      e.materialPath = c.materialPath;
      e.exportMaterials = c.exportMaterials;
    });
    const std::filesystem::path texFolder =
        std::filesystem::path(out + NativeName(c.texturePath) + "/").lexically_normal();
    for (std::size_t i = 0; i < c.textures.size(); ++i) {
      const std::string& t = c.textures[i];
      if (c.written[i].empty()) continue;
      const std::string file = ReadFile((texFolder / c.written[i]).string());
      if (t[0] == '#') {
        EXPECT_EQ(std::to_string(static_cast<unsigned char>(file.at(56))), t.substr(1)) << c.written[i];
      } else {
        EXPECT_EQ(file, "image of " + t);
      }
    }
    EXPECT_EQ(ReadFile(out + c.mesh).find("image of"), std::string::npos);
    if (c.exportMaterials) {
      EXPECT_EQ(ScriptTextures(ReadFile(out + c.materialPath + "/" + ChangeFileExt(c.mesh, ".material"))),
                c.written);
    }
  }
}

// One material of `layers` layers (a colour, then textures) and one polygon of `corners`
// distinct corners with a coordinate pair per layer.
std::string SizedScene(int corners, int layers) {
  std::string doc = R"(<scene><materials><category name="c"><material id="m" name="M" used="true">)";
  for (int k = 0; k < layers; ++k) {
    // Past 100 layers all paint one colour: one texture, not thousands to copy.
    doc += k == 0 || k >= 100 ? R"(<layer type="color" blend="replace"><color r="1" g="2" b="3" /></layer>)"
                              : R"(<layer type="texture" blend="add"><texture file="t)" + std::to_string(k) +
                                    R"(.png" /></layer>)";
  }
  doc += R"(</material></category></materials><primitives><primitive id="p" name="p" type="userdefined" )"
         R"(visible="true" snap="none" autoUV="false"><vertices>)";
  for (int i = 0; i < corners; ++i) {
    doc += "<vertex id=\"v" + std::to_string(i) + "\" x=\"" + std::to_string(i) + "\" y=\"" +
           std::to_string(i % 5) + "\" z=\"1\" />";
  }
  doc += R"(</vertices><polygons><poly mid="m">)";
  for (int i = 0; i < corners; ++i) {
    doc += "<vertex vid=\"v" + std::to_string(i) + "\"";
    for (int k = 0; k < layers; ++k) {
      doc += " u" + std::to_string(k) + "=\"" + std::to_string(k) + "\" v" + std::to_string(k) + "=\"" +
             std::to_string(i) + "\"";
    }
    doc += " />";
  }
  return doc + "</poly></polygons></primitive></primitives></scene>";
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

std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// Scene model sizes: polygons and materials of any size, first in their primitive, through
// the reader, the conversion and every writer.
TEST_F(ExportRun, SceneModelSizes) {
  struct Case {
    int corners, layers;
    const char* mesh;
    const char* error = nullptr;
  } cases[] = {
      {65, 1, "cap.mesh"},
      {1000, 2, "cylinder.xml"},
      {3, 33, "layers.mesh"},
      {4, 100, "layers.xml"},
      {1000, 100, "both.mesh"},
      {129, 17, "both.xml"},
      {3, 8188, "widest.mesh"},
      // The binary format's vertex size is a 16-bit field.
      {3, 8189, "wide.mesh", "Submeshes with vertices > 65535 bytes not supported."},
      {3, 8189, "wide.xml"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mesh);
    WriteFile(scene, SizedScene(c.corners, c.layers));
    if (c.error) {
      EXPECT_EQ(ErrorOf([&] { Export(dir / "out/" + c.mesh); }), c.error);
      EXPECT_FALSE(Exists(dir / "out/" + c.mesh));
      continue;
    }
    Export(dir / "out/" + c.mesh);
    const std::string mesh = ReadFile(dir / "out/" + c.mesh);
    const auto vertices = static_cast<std::size_t>(c.corners);
    const auto sets = static_cast<std::size_t>(c.layers);
    if (ExtractFileExt(c.mesh) == ".xml") {
      EXPECT_EQ(Count(mesh, "<vertex>"), vertices);
      EXPECT_EQ(Count(mesh, "<texcoord "), vertices * sets);
      EXPECT_EQ(Count(mesh, "<face "), vertices - 2);
    } else {
      // Header, mesh, submesh, geometry, declaration and vertex buffer chunks around the
      // indices and the vertices (position, face normal, the sets).
      const std::size_t stride = 24 + 8 * sets;
      EXPECT_EQ(mesh.size(),
                25 + 41 + 14 + 6 * (vertices - 2) + 10 + 6 + 16 * (2 + sets) + 16 + stride * vertices);
    }
    const std::string script = ReadFile(dir / "out/" + ChangeFileExt(c.mesh, ".material"));
    EXPECT_EQ(Count(script, "texture_unit"), sets);
    EXPECT_EQ(Count(script, "tex_coord_set " + std::to_string(c.layers - 1)), c.layers > 1 ? 1u : 0u);
  }
}

// In memory the run keeps the very files it writes to disk, and the disk is not touched.
TEST_F(ExportRun, FilesCanBeKeptInMemory) {
  for (const std::string mesh : {"ship.mesh", "ship.xml"}) {
    auto setup = [](ZROgreMeshExporterT& e) {
      e.materialPath = "m";
      e.texturePath = "t";
    };
    TempFolder run;
    std::filesystem::create_directories(run / "disk");
    std::filesystem::create_directories(run / "memory");
    TFileHost host(scene, dir / "korvel");
    auto exporter = MakeExporter();
    setup(*exporter);
    exporter->Export(run / "disk/" + mesh);
    std::map<std::string, std::string> onDisk;
    for (const auto& file : exporter->FilesWritten) {
      const std::string bytes = ReadFile(file.FileName);
      EXPECT_EQ(file.Size, bytes.size()) << file.FileName;
      onDisk[file.FileName.substr((run / "disk/").size())] = bytes;
    }
    EXPECT_EQ(onDisk.size(), 6u) << "mesh, script, three textures, a colour";

    std::map<std::string, std::string> inMemory;
    {
      TMemoryOutput memory;
      auto again = MakeExporter();
      setup(*again);
      again->Export(run / "memory/" + mesh);
      for (const auto& [name, bytes] : memory.Files) inMemory[name.substr((run / "memory/").size())] = bytes;
    }
    EXPECT_EQ(inMemory, onDisk);
    EXPECT_EQ(ListFolder(run / "memory"), "");
  }
}

// Failures halfway: nothing half-written, earlier files of those names intact, completed
// files kept.
TEST_F(ExportRun, AnUnwritableMaterialFolderKeepsTheCompletedMesh) {
  Export(dir / "out/good.mesh", [](ZROgreMeshExporterT& e) { e.exportTextures = false; });
  const std::string goodMesh = ReadFile(dir / "out/good.mesh");
  WriteFile(dir / "out/materials", "a file where the folder should be");
  WriteFile(dir / "out/ship.mesh", "old mesh");
  try {
    Export(dir / "out/ship.mesh", [](ZROgreMeshExporterT& e) { e.materialPath = "materials"; });
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot create file " + dir / "out/materials/ship.material");
  }
  EXPECT_EQ(ReadFile(dir / "out/ship.mesh"), goodMesh);
  EXPECT_EQ(ListFolder(dir / "out"), "good.material good.mesh materials ship.mesh");
}

TEST_F(ExportRun, HostErrorsLeaveEarlierFilesUntouched) {
  WriteFile(dir / "out/ship.mesh", "old mesh");
  WriteFile(dir / "out/ship.material", "old script");
  std::filesystem::remove(scene);  // the file host answers with an error status
  try {
    Export(dir / "out/ship.mesh");
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), "Korvel callback returned error code 2");
  }
  EXPECT_EQ(ReadFile(dir / "out/ship.mesh"), "old mesh");
  EXPECT_EQ(ReadFile(dir / "out/ship.material"), "old script");
  EXPECT_EQ(ListFolder(dir / "out"), "ship.material ship.mesh");
}

}  // namespace
}  // namespace pallix
