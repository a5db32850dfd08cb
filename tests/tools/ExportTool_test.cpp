#include "ExportTool.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <clocale>
#include <cstdio>
#include <filesystem>
#include <locale>

#include "SceneGenerator.h"
#include "support/ExportScene.h"
#include "support/TempFolder.h"

namespace pallix {
namespace {

using testing::Exists;
using testing::ListFolder;
using testing::ReadFile;
using testing::TempFolder;
using testing::WriteFile;

constexpr char kUsageLine[] = "usage: pallix-export [options] SCENE OUTPUT\n";

struct Result {
  int status;
  std::string out;
  std::string err;
};

std::string Drain(std::FILE* f) {
  std::string text;
  std::rewind(f);
  char buf[4096];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) text.append(buf, n);
  std::fclose(f);
  return text;
}

Result RunTool(const std::vector<std::string>& args) {
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  const int status = RunExportTool(args, out, err);
  return {status, Drain(out), Drain(err)};
}

class ExportTool : public ::testing::Test {
 protected:
  void SetUp() override {
    scene = testing::WriteExportScene(dir / "level/");
    std::filesystem::create_directories(dir / "out");
  }
  // Runs with the scene and an output in out/, after the given options.
  Result Export(const std::string& output, std::vector<std::string> options = {}) {
    options.push_back(scene);
    options.push_back(dir / "out/" + output);
    return RunTool(options);
  }
  std::string Out(const std::string& name) { return ReadFile(dir / "out/" + name); }

  TempFolder dir;
  std::string scene;
};

TEST_F(ExportTool, UsageErrors) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"only-one"},
      {"a", "b", "c"},
      {"--bogus", "a", "b"},
      {"--normals", "flat", "a", "b"},
      {"--dynamic-lighting=some", "a", "b"},
      {"--scale", "1,5", "a", "b"},
      {"--scale", "abc", "a", "b"},
      {"a", "b", "--prefix"},
      {"--quiet=yes", "a", "b"},
      {"--textures-from", "x", "--install-dir", "y", "a", "b"},
      {"--mesh-version", "1.9", "a", "b"},
      {"--mesh-version=1.30", "a", "b"},  // the file's name for 1.0 is not the option's
      {"--32bit-indices=yes", "a", "b"},
  };
  for (const auto& args : cases) {
    const Result r = RunTool(args);
    EXPECT_EQ(r.status, kExitUsage) << ::testing::PrintToString(args);
    EXPECT_EQ(r.err.rfind("pallix-export: ", 0), 0u) << r.err;
    EXPECT_TRUE(r.err.ends_with(kUsageLine)) << r.err;
    EXPECT_EQ(r.out, "");
  }
  EXPECT_EQ(RunTool({"--scale", "1,5", "a", "b"}).err,
            std::string("pallix-export: '1,5' is not a valid floating point value\n") + kUsageLine);
}

TEST_F(ExportTool, HelpAndVersion) {
  const Result help = RunTool({"--help"});
  EXPECT_EQ(help.status, kExitOk);
  EXPECT_EQ(help.out.rfind(kUsageLine, 0), 0u);
  EXPECT_NE(help.out.find("--textures-from DIR"), std::string::npos);
  EXPECT_EQ(RunTool({"-h"}).out, help.out);
  const Result version = RunTool({"--version"});
  EXPECT_EQ(version.status, kExitOk);
  EXPECT_EQ(version.out, "pallix-export 2.0\n");
}

TEST_F(ExportTool, DefaultsWriteEverythingBesideTheMesh) {
  const Result r = Export("ship.mesh");
  ASSERT_EQ(r.status, kExitOk) << r.err;
  EXPECT_EQ(r.out, "3 submeshes, 11 vertices, 5 faces, 3 materials, 4 textures written\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(ListFolder(dir / "out"),
            "color.bmp lightmap0.bmp old_brick.jpg ship.material ship.mesh wall.png");
  EXPECT_EQ(Out("ship.material").rfind("material Stone\r\n", 0), 0u);  // no prefix
}

TEST_F(ExportTool, BothFormatsDescribeTheSameMesh) {
  ASSERT_EQ(Export("a.XML", {"--quiet"}).status, kExitOk);
  ASSERT_EQ(Export("b.MESH", {"--quiet"}).status, kExitOk);
  EXPECT_EQ(Out("a.XML").rfind("<mesh>", 0), 0u);
  EXPECT_EQ(Out("b.MESH").substr(2, 22), "[MeshSerializer_v1.30]");
  EXPECT_EQ(Out("a.material"), Out("b.material"));
}

TEST_F(ExportTool, EveryOptionHasItsEffect) {
  struct Case {
    std::vector<std::string> options;
    std::string file;     // read after the run
    std::string present;  // must be in it ("" = only the file must exist)
    std::string absent;   // must not be in it, or, with an empty file, a path that must not exist
    std::string output = "x.xml";
  } cases[] = {
      {{}, "x.xml", "<position x=\"1.5\"", ""},
      {{"--scale", "2"}, "x.xml", "<position x=\"3\"", "x=\"1.5\""},
      {{"--scale= 0.5"}, "x.xml", "<position x=\"0.75\"", ""},
      {{}, "x.xml", "<normal ", ""},
      {{"--normals", "none"}, "x.xml", "<position", "<normal "},
      {{"--no-materials"}, "", "", "x.material"},
      {{"--material-path", "m\\sub"}, "m/sub/x.material", "material Stone", ""},
      {{"--no-textures"}, "", "", "old_brick.jpg"},
      {{"--texture-path", "../tex"}, "../tex/old_brick.jpg", "image of", ""},
      {{"--no-lightmaps"}, "", "", "lightmap0.bmp"},
      {{"--no-lightmaps"}, "x.material", "texture wall.png", "lightmap0.bmp"},
      {{"--prefix", "lvl/"}, "x.material", "material lvl/Stone\r\n", ""},
      {{}, "x.material", "scene_blend ", ""},
      {{"--dynamic-lighting", "all"}, "x.material", "material LightMapped0", "scene_blend"},
      {{"--dynamic-lighting", "unlit"}, "x.material", "scene_blend ", ""},
      {{}, "x.mesh", std::string("\x00\x10[MeshSerializer_v1.30]\n\x00\x30", 27), "", "x.mesh"},
      {{"--mesh-version", "1.0"}, "x.mesh", "[MeshSerializer_v1.30]\n", "", "x.mesh"},
      {{"--mesh-version", "1.7"}, "x.mesh", "[MeshSerializer_v1.41]\n", "", "x.mesh"},
      {{"--mesh-version=1.8"}, "x.mesh", "[MeshSerializer_v1.8]\n", "", "x.mesh"},
      {{"--mesh-version", "1.10"}, "x.mesh", "[MeshSerializer_v1.100]\n", "", "x.mesh"},
      {{"--mesh-version", "1.8"}, "x.xml", "<mesh>", "MeshSerializer"},  // XML has no version
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.options));
    TempFolder run;
    std::filesystem::create_directories(run / "out");
    std::vector<std::string> args = c.options;
    args.push_back("--quiet");
    args.push_back(scene);
    args.push_back(run / "out/" + c.output);
    const Result r = RunTool(args);
    ASSERT_EQ(r.status, kExitOk) << r.err;
    EXPECT_EQ(r.out, "");
    if (c.file.empty()) {
      EXPECT_FALSE(Exists(run / "out/" + c.absent));
      continue;
    }
    const std::string text = ReadFile(run / "out/" + c.file);
    EXPECT_NE(text.find(c.present), std::string::npos);
    if (!c.absent.empty()) {
      EXPECT_EQ(text.find(c.absent), std::string::npos);
    }
  }
}

TEST_F(ExportTool, SmoothNormalsDifferFromFaceNormals) {
  ASSERT_EQ(Export("face.xml", {"--quiet", "--no-materials", "--no-textures"}).status, kExitOk);
  ASSERT_EQ(
      Export("smooth.xml", {"--quiet", "--no-materials", "--no-textures", "--normals", "smooth"}).status,
      kExitOk);
  EXPECT_NE(Out("smooth.xml").find("<normal "), std::string::npos);
  EXPECT_NE(Out("face.xml"), Out("smooth.xml"));
}

// One primitive of 21,846 separate triangles: 65,538 vertices in one submesh.
TEST_F(ExportTool, SubmeshOverTheVertexLimit) {
  std::string document =
      "<scene><materials><category name=\"c\"><material id=\"m\" name=\"Red\" used=\"true\">"
      "<layer type=\"color\" blend=\"replace\"><color r=\"255\" g=\"0\" b=\"0\" /></layer>"
      "</material></category></materials><primitives><primitive id=\"p\" name=\"tris\" type=\"userdefined\" "
      "visible=\"true\" snap=\"none\" autoUV=\"false\"><vertices>";
  constexpr int kTriangles = 21846;
  for (int i = 0; i < 3 * kTriangles; ++i) {
    document += "<vertex id=\"" + std::to_string(i) + "\" x=\"" + std::to_string(i) + "\" y=\"" +
                std::to_string(i % 3) + "\" z=\"0\" />";
  }
  document += "</vertices><polygons>";
  for (int t = 0; t < kTriangles; ++t) {
    document += "<poly mid=\"m\">";
    for (int i = 3 * t; i < 3 * t + 3; ++i)
      document += "<vertex vid=\"" + std::to_string(i) + "\" u0=\"0\" v0=\"0\" />";
    document += "</poly>";
  }
  document += "</polygons></primitive></primitives></scene>";
  WriteFile(dir / "big/scene.xml", document);
  const std::string big = dir / "big/scene.xml";

  const Result refused = RunTool({"--no-textures", big, dir / "out/a.mesh"});
  EXPECT_EQ(refused.status, kExitFailed);
  EXPECT_EQ(refused.err, "pallix-export: Submeshes containing > 65536 vertices not supported.\n");
  EXPECT_EQ(ListFolder(dir / "out"), "");  // checked before any file is written

  const Result wide = RunTool({"--no-textures", "--32bit-indices", big, dir / "out/b.mesh"});
  ASSERT_EQ(wide.status, kExitOk) << wide.err;
  EXPECT_EQ(wide.out, "1 submesh, 65538 vertices, 21846 faces, 1 material, 0 textures written\n");
  // Material name "Red", then: no shared vertices, the index count, 32-bit indices.
  const std::string mesh = Out("b.mesh");
  EXPECT_EQ(mesh.substr(38, 10), std::string("Red\n\x00\x02\x00\x01\x00\x01", 10));
  // Header, mesh flag and bounds, submesh fields and indices, geometry with position, normal
  // and one coordinate set (the colour's unit).
  EXPECT_EQ(mesh.size(), 25u + 41 + 6 + 4 + 1 + 4 + 1 + 4 * 65538 + 10 + 54 + 16 + 32 * 65538);
}

TEST_F(ExportTool, TextureSources) {
  // The document elsewhere: its own folder has no textures, --textures-from names them.
  WriteFile(dir / "elsewhere/scene.xml", testing::ExportSceneDocument());
  const std::string moved = dir / "elsewhere/scene.xml";
  {
    const Result r = RunTool({moved, dir / "out/a.mesh"});
    ASSERT_EQ(r.status, kExitOk) << r.err;
    EXPECT_EQ(r.out, "3 submeshes, 11 vertices, 5 faces, 3 materials, 1 texture written\n");  // colour only
  }
  {
    const Result r = RunTool({"--textures-from", dir / "level", moved, dir / "out/b.mesh"});
    EXPECT_EQ(r.out, "3 submeshes, 11 vertices, 5 faces, 3 materials, 4 textures written\n");
  }
  {
    // An editor install folder whose settings name the texture folder.
    WriteFile(dir / "Korvel Editor/Korvel.ini", "[Dirs]\r\ntexturefiles=" + dir / "level/" + "\r\n");
    const Result r = RunTool({"--install-dir", dir / "Korvel Editor", moved, dir / "out/c.mesh"});
    EXPECT_EQ(r.out, "3 submeshes, 11 vertices, 5 faces, 3 materials, 4 textures written\n");
  }
}

TEST_F(ExportTool, OptionsFileWithItsDefaultsAndFlagsOnTop) {
  WriteFile(dir / "Pallix.ini",
            "[options]\r\nfilename=C:\\ignored.mesh\r\nexportTextures=0\r\nmaterialNamePrefix=ini/\r\n");
  {
    const Result r = Export("x.xml", {"--options", dir / "Pallix.ini"});
    ASSERT_EQ(r.status, kExitOk) << r.err;
    EXPECT_EQ(Out("x.xml").find("<normal "), std::string::npos);  // a file without the key: none
    EXPECT_NE(Out("x.material").find("material ini/Stone"), std::string::npos);
    EXPECT_EQ(ListFolder(dir / "out"), "x.material x.xml");
  }
  {
    const Result r =
        Export("y.xml", {"--prefix", "cli/", "--options", dir / "Pallix.ini", "--normals", "face"});
    ASSERT_EQ(r.status, kExitOk) << r.err;
    EXPECT_NE(Out("y.xml").find("<normal "), std::string::npos);
    EXPECT_NE(Out("y.material").find("material cli/Stone"), std::string::npos);
  }
  const Result missing = Export("z.xml", {"--options", dir / "none.ini"});
  EXPECT_EQ(missing.status, kExitFailed);
  EXPECT_EQ(missing.err, "pallix-export: Options file " + dir / "none.ini" + " not found\n");
}

TEST_F(ExportTool, FailuresReportTheSystemsMessage) {
  struct Case {
    std::string document;  // empty: no scene file at all
    std::string message;
  } cases[] = {
      {"", "Scene file " + dir / "level/gone.xml" + " not found"},
      {"garbage", ""},
      {"<scene><primitives><primitive id=\"p\" /></primitives></scene>", ""},
      {"<scene><materials><category name=\"c\"><material id=\"m\" name=\"n\" used=\"1\">"
       "<layer type=\"bogus\" blend=\"replace\" /></material></category></materials></scene>",
       ""},
  };
  for (const Case& c : cases) {
    std::string file = dir / "level/gone.xml";
    if (!c.document.empty()) {
      file = dir / "level/bad.xml";
      WriteFile(file, c.document);
    }
    const Result r = RunTool({file, dir / "out/bad.mesh"});
    EXPECT_EQ(r.status, kExitFailed) << c.document;
    EXPECT_EQ(r.err.rfind("pallix-export: ", 0), 0u) << r.err;
    EXPECT_EQ(r.err.find("usage:"), std::string::npos);
    if (!c.message.empty()) {
      EXPECT_EQ(r.err, "pallix-export: " + c.message + "\n");
    }
    EXPECT_EQ(r.out, "");
  }
  const Result r = RunTool({scene, dir / "no/such/folder/x.mesh"});
  EXPECT_EQ(r.status, kExitFailed);
  EXPECT_EQ(r.err, "pallix-export: Cannot create file " + dir / "no/such/folder/x.mesh" + "\n");
  EXPECT_EQ(ListFolder(dir / "out"), "");
}

TEST_F(ExportTool, ACommaLocaleChangesNoNumber) {
  ASSERT_EQ(Export("c.xml", {"--quiet", "--scale", "0.5"}).status, kExitOk);
  const char* previous = std::setlocale(LC_ALL, nullptr);
  const std::string saved = previous ? previous : "C";
  bool comma = false;
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "de_DE", "German"}) {
    if (std::setlocale(LC_ALL, name) && std::localeconv()->decimal_point[0] == ',') {
      comma = true;
      break;
    }
  }
  if (!comma) GTEST_SKIP() << "no locale with a decimal comma is installed";
  const std::locale global = std::locale::global(std::locale(""));
  const Result r = Export("de.xml", {"--quiet", "--scale", "0.5"});
  std::locale::global(global);
  std::setlocale(LC_ALL, saved.c_str());
  ASSERT_EQ(r.status, kExitOk) << r.err;
  EXPECT_EQ(Out("de.xml"), Out("c.xml"));
  EXPECT_EQ(Out("de.material"), Out("c.material"));
  EXPECT_NE(Out("de.xml").find("x=\"0.75\""), std::string::npos);
}

TEST_F(ExportTool, GeneratedScenes) {
  for (const std::uint64_t seed : {1u, 2u, 3u}) {
    scenegen::Options options;
    options.Seed = seed;
    options.BuildModel = false;
    options.Decorations = seed != 1;
    options.Primitives = 4;
    options.PolygonsPerPrimitive = 20;
    options.UnknownMaterials = false;
    const scenegen::Generated generated = scenegen::Generate(options);
    TempFolder run;
    WriteFile(run / "level/scene.xml", generated.Document);
    scenegen::WriteTextureFiles(generated.TextureFiles, run / "level/");
    std::filesystem::create_directories(run / "out");
    const Result xml = RunTool({"--texture-path", "tex", run / "level/scene.xml", run / "out/level.xml"});
    ASSERT_EQ(xml.status, kExitOk) << xml.err;
    const Result bin = RunTool({"--texture-path", "tex", run / "level/scene.xml", run / "out/level.mesh"});
    ASSERT_EQ(bin.status, kExitOk) << bin.err;
    EXPECT_EQ(xml.out, bin.out);
    EXPECT_NE(xml.out.find(" textures written\n"), std::string::npos);
    EXPECT_TRUE(Exists(run / "out/level.material"));
  }
}

TEST_F(ExportTool, TheSampleLevel) {
  const std::string level = PALLIX_SOURCE_DIR "/examples/sample-level/scene.xml";
  const Result bin = RunTool({level, dir / "out/storeroom.mesh"});
  ASSERT_EQ(bin.status, kExitOk) << bin.err;
  const Result xml = RunTool({"--texture-path", "xml", level, dir / "out/storeroom.xml"});
  ASSERT_EQ(xml.status, kExitOk) << xml.err;
  EXPECT_EQ(bin.out, xml.out);
  EXPECT_EQ(bin.out, "5 submeshes, 93 vertices, 52 faces, 5 materials, 6 textures written\n");
  EXPECT_EQ(ListFolder(dir / "out/xml"),
            "brick.bmp color.bmp crate.bmp floor_lightmap.bmp floor_tiles.bmp stone.bmp");
  EXPECT_EQ(ReadFile(dir / "out/brick.bmp"), ReadFile(PALLIX_SOURCE_DIR "/examples/sample-level/brick.bmp"));
}

// The program itself: exit status and streams as a pipeline sees them.
TEST_F(ExportTool, TheProgram) {
  const std::string program = PALLIX_BINARY_DIR "/pallix-export";
  auto shell = [&](const std::string& args) {
    const std::string command =
        "'" + program + "' " + args + " >'" + dir / "stdout" + "' 2>'" + dir / "stderr" + "'";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  EXPECT_EQ(shell("'" + scene + "' '" + dir / "out/p.mesh" + "'"), kExitOk);
  EXPECT_EQ(ReadFile(dir / "stdout"), "3 submeshes, 11 vertices, 5 faces, 3 materials, 4 textures written\n");
  EXPECT_EQ(ReadFile(dir / "stderr"), "");  // not a terminal: no progress
  EXPECT_EQ(shell("'" + dir / "none.xml" + "' x.mesh"), kExitFailed);
  EXPECT_EQ(shell("--frobnicate"), kExitUsage);
  EXPECT_TRUE(ReadFile(dir / "stderr").ends_with(kUsageLine));
}

}  // namespace
}  // namespace pallix
