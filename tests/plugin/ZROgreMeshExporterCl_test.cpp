#include "ZROgreMeshExporterCl.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "BasicFn.h"
#include "FileHost.h"
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
