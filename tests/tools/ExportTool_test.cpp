#include "ExportTool.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <locale>

#include "OutputFileCl.h"
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

constexpr char kUsageLine[] =
    "usage: pallix-export [options] SCENE OUTPUT\n"
    "       pallix-export [options] --out-dir DIR SCENE...\n";

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
      {"--out-dir", "d"},
      {"--jobs", "0", "--out-dir", "d", "a"},
      {"--jobs=2x", "--out-dir", "d", "a"},
      {"--jobs", "2", "a", "b"},
      {"--xml", "a", "b"},
      {"--strict=1", "a", "b"},
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
    EXPECT_EQ(r.err.find("pallix-export: warning: texture " + dir / "elsewhere/old brick.jpg not copied"),
              0u);
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
  EXPECT_EQ(r.err, "pallix-export: Cannot create file " + dir / "no/such/folder/x.mesh" +
                       "\npallix-export: (No such file or directory)\n");
  EXPECT_EQ(ListFolder(dir / "out"), "");

  // A write the system refuses halfway (here: beyond the largest file allowed).
  const Result big = [&] {
    const testing::FileSizeLimit limit(1000);
    return RunTool({scene, dir / "out/big.xml"});
  }();
  EXPECT_EQ(big.status, kExitFailed);
  EXPECT_EQ(big.err, "pallix-export: Cannot create file " + dir / "out/big.xml" +
                         "\npallix-export: (File too large)\n");
  EXPECT_EQ(ListFolder(dir / "out"), "");
}

// Every file and link below a folder, with what it holds or points to.
std::string Snapshot(const std::string& folder) {
  std::string out;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    out += entry.path().string() + ": ";
    if (entry.is_symlink()) {
      out += "-> " + std::filesystem::read_symlink(entry.path()).string();
    } else if (entry.is_regular_file()) {
      out += ReadFile(entry.path().string());
    }
    out += "\n";
  }
  return out;
}

// OUTPUT and the material script never replace the scene document, a texture the run copies
// from, or an existing file that is not an OGRE mesh; OUTPUT is never a FIFO or a device.
// A refused run writes nothing at all.
TEST_F(ExportTool, OutputsNeverOverwritten) {
  namespace fs = std::filesystem;
  // What is there before the run, given the run's folder and OUTPUT.
  using Setup = std::function<void(const TempFolder&, const std::string&)>;
  auto put = [](std::string content) -> Setup {
    return [=](const TempFolder&, const std::string& output) { WriteFile(output, content); };
  };
  auto link = [](std::string to) -> Setup {
    return [=](const TempFolder& run, const std::string& output) {
      fs::create_symlink(to[0] == '/' ? to : run / to, output);
    };
  };
  const Setup hardLink = [](const TempFolder& run, const std::string& output) {
    fs::create_hard_link(run / "level/scene.xml", output);
  };
  const Setup fifo = [](const TempFolder&, const std::string& output) { mkfifo(output.c_str(), 0600); };
  const Setup folder = [](const TempFolder&, const std::string& output) { fs::create_directories(output); };
  const Setup swapped = [](const TempFolder& run, const std::string&) {
    WriteFile(run / "out/mesh.xml", "<mesh/>");
  };
  const Setup scriptTexture = [](const TempFolder& run, const std::string&) {
    std::string doc = testing::ExportSceneDocument();
    WriteFile(run / "level/scene.xml", doc.replace(doc.find("old brick.jpg"), 13, "ship.material"));
  };
  const std::string mesh("\0\x10[MeshSerializer_v1.100]\n", 26);
  const std::string xmlMesh = "\xEF\xBB\xBF<?xml?>\n<!-- c -->\n<!DOCTYPE mesh [<!ENTITY a \">\">]><mesh>";
  const std::string sceneDocument = ": it is the scene document @level/scene.xml";
  const std::string notMesh = ": it is not an OGRE mesh file (--force replaces it)";
  const std::string special = " is neither a regular file nor a folder";
  struct Case {
    std::string output;  // in the run's folder, like every name here
    Setup setup;
    std::vector<std::string> options;
    int status;
    std::string says;  // on standard error, "@" standing for the run's folder
    std::string scene = "level/scene.xml";
  } cases[] = {
      {"level/scene.xml", {}, {}, 1, "Not writing @level/scene.xml" + sceneDocument},
      {"level/../level/./scene.xml", {}, {"--force"}, 1, "./scene.xml" + sceneDocument},
      {"out/link.mesh", link("level/scene.xml"), {}, 1, "Not writing @out/link.mesh" + sceneDocument},
      {"out/hard.mesh", hardLink, {}, 1, "Not writing @out/hard.mesh" + sceneDocument},
      {"level/ship.mesh",
       put(mesh),
       {"--material-path=../out"},
       1,
       "ship.material: it is the scene document @out/ship.material",
       "out/ship.material"},
      {"level/old brick.jpg", {}, {"--force"}, 1, "brick.jpg: it is the texture file @level/old brick.jpg"},
      {"level/ship.mesh", scriptTexture, {}, 1, "material: it is the texture file @level/ship.material"},
      // The arguments swapped: an XML mesh read as a scene, the scene document as OUTPUT.
      {"level/scene.xml", swapped, {}, 1, "Not replacing @level/scene.xml" + notMesh, "out/mesh.xml"},
      {"out/notes.mesh", put("notes"), {}, 1, notMesh},
      {"out/empty.mesh", put(""), {}, 1, notMesh},
      {"out/x.xml", put("<?xml version=\"1.0\"?>\n<meshes />"), {}, 1, notMesh},
      {"out/short.mesh", put(mesh.substr(0, 12)), {}, 1, notMesh},
      {"out/link.mesh", link("notes.txt"), {}, 1, notMesh},
      {"out/notes.mesh", put("notes"), {"--force"}, 0, ""},
      {"out/x.xml", put(xmlMesh), {}, 0, ""},
      {"out/x.mesh", put(mesh), {}, 0, ""},
      {"out/swapped.mesh", put(std::string("\x10\0", 2) + mesh.substr(2)), {}, 0, ""},
      {"out/link.mesh", link("meshes/real.mesh"), {}, 0, ""},  // the link stays
      // Nothing the mesh could be written to as a file.
      {"-", {}, {}, 2, "OUTPUT must name a file: the mesh cannot go to standard output"},
      {"out/fifo.mesh", fifo, {}, 2, special},
      {"out/null.mesh", link("/dev/null"), {}, 2, "OUTPUT @out/null.mesh" + special},
      {"out/dir.mesh", folder, {}, 1, "Cannot create file @out/dir.mesh\npallix-export: (Is a directory)\n"},
  };
  for (const Case& c : cases) {
    TempFolder run;
    testing::WriteExportScene(run / "level/");
    WriteFile(run / "notes.txt", "notes");
    WriteFile(run / "meshes/real.mesh", mesh);
    WriteFile(run / "level/ship.material", "not a script");
    fs::create_directories(run / "out");
    const std::string output = c.output == "-" ? c.output : run / c.output;
    if (c.setup) c.setup(run, output);
    if (!Exists(run / c.scene)) fs::copy_file(run / "level/scene.xml", run / c.scene);
    SCOPED_TRACE(c.output + " " + ::testing::PrintToString(c.options));
    const std::string before = Snapshot(run.Path());
    std::vector<std::string> args = c.options;
    args.insert(args.end(), {"--quiet", run / c.scene, output});
    const Result r = RunTool(args);
    EXPECT_EQ(r.status, c.status) << r.err;
    if (c.status == 0) {
      const std::string written = ReadFile(output);
      EXPECT_TRUE(written.rfind("<mesh>", 0) == 0 || written.rfind(mesh.substr(0, 19), 0) == 0);
      EXPECT_EQ(fs::is_symlink(output), c.output == "out/link.mesh");
      continue;
    }
    std::string says = c.says;
    for (std::size_t at; (at = says.find('@')) != std::string::npos;) says.replace(at, 1, run.Path());
    EXPECT_EQ(r.err.rfind("pallix-export: ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find(says), std::string::npos) << r.err;
    EXPECT_EQ(Snapshot(run.Path()), before);
  }
}

// A texture that cannot be copied ends nothing, but says so; the summary counts only the
// files written.
TEST_F(ExportTool, TexturesNotCopiedAreWarnedAbout) {
  std::filesystem::remove(dir / "level/old brick.jpg");
  std::filesystem::remove(dir / "level/sub/wall.png");
  ASSERT_EQ(mkfifo((dir / "level/sub/wall.png").c_str(), 0600), 0);  // a copy would wait forever
  std::filesystem::remove(dir / "level/lm/lightmap0.bmp");
  std::filesystem::create_symlink("/dev/zero", dir / "level/lm/lightmap0.bmp");  // and never end
  const Result r = Export("ship.mesh");
  EXPECT_EQ(r.status, kExitOk);
  EXPECT_EQ(r.out, "3 submeshes, 11 vertices, 5 faces, 3 materials, 1 texture written\n");
  const std::string level = dir / "level/";
  const std::string out = dir / "out/";
  EXPECT_EQ(r.err, "pallix-export: warning: texture " + level + "old brick.jpg not copied to " + out +
                       "old_brick.jpg (No such file or directory)\n"
                       "pallix-export: warning: texture " +
                       level + "sub/wall.png not copied to " + out +
                       "wall.png (not a regular file)\n"
                       "pallix-export: warning: texture " +
                       level + "lm/lightmap0.bmp not copied to " + out +
                       "lightmap0.bmp (not a regular file)\n");
  EXPECT_EQ(ListFolder(dir / "out"), "color.bmp ship.material ship.mesh");
}

// Interrupted while a file is in the making: its temporary goes, and the signal ends the
// process as it would have.
TEST_F(ExportTool, SignalsRemoveTemporaries) {
  for (const int sig : {SIGINT, SIGTERM}) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      RemoveTemporariesOnSignals();
      TOutputFile mesh(dir / "out/x.mesh");
      mesh.Write("partial");
      kill(getpid(), sig);
      _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << status;
    EXPECT_EQ(ListFolder(dir / "out"), "");
  }
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

  // Into the level's own folder: its textures stay as they are, only the colour is written.
  std::filesystem::copy(PALLIX_SOURCE_DIR "/examples/sample-level", dir / "own");
  struct stat before {};
  ASSERT_EQ(stat((dir / "own/brick.bmp").c_str(), &before), 0);
  const Result own = RunTool({dir / "own/scene.xml", dir / "own/storeroom.mesh"});
  ASSERT_EQ(own.status, kExitOk) << own.err;
  EXPECT_EQ(own.out, "5 submeshes, 93 vertices, 52 faces, 5 materials, 1 texture written\n");
  EXPECT_EQ(own.err, "");
  struct stat after {};
  ASSERT_EQ(stat((dir / "own/brick.bmp").c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
}

// Batches: a failing scene stops none of the others, every scene's lines come in the order
// given, two scenes of one name never write the same files.
TEST_F(ExportTool, Batches) {
  WriteFile(dir / "level/bad.xml", "garbage");
  WriteFile(dir / "other/Scene.xml", testing::ExportSceneDocument());
  std::filesystem::copy_file(scene, dir / "level/b.xml");
  std::string blue = testing::ExportSceneDocument();
  WriteFile(dir / "level/blue.xml", blue.replace(blue.find("r=\"255\""), 7, "r=\"0\"  "));
  const std::string summary = "3 submeshes, 11 vertices, 5 faces, 3 materials, 4 textures written\n";
  const std::string textures = "color.bmp lightmap0.bmp old_brick.jpg ";
  struct Case {
    std::vector<std::string> args;  // "@" stands for the level folder, "#" for the run's
    int status;
    std::string out, err, files;
  } cases[] = {
      {{"--jobs", "2", "@scene.xml", "@bad.xml", "@b.xml"},
       1,
       "@scene.xml: " + summary + "@b.xml: " + summary,
       "pallix-export: @bad.xml: Unexpected text encountered outside root node.\n"
       "pallix-export: 1 of 3 scenes failed\n",
       "b.material b.mesh " + textures + "scene.material scene.mesh wall.png"},
      {{"--jobs=1", "--xml", "--no-textures", "--material-path", "m", "@b.xml", "@scene.xml"},
       0,
       "@b.xml: 3 submeshes, 11 vertices, 5 faces, 3 materials, 0 textures written\n@scene.xml: "
       "3 submeshes, 11 vertices, 5 faces, 3 materials, 0 textures written\n",
       "",
       "b.xml m/ scene.xml"},
      // Sharing the textures of one folder, but not a colour bitmap of another colour.
      {{"--no-lightmaps", "@b.xml", "@blue.xml", "@scene.xml"},
       1,
       "@b.xml: 3 submeshes, 11 vertices, 5 faces, 3 materials, 3 textures written\n@scene.xml: 3 submeshes, "
       "11 "
       "vertices, 5 faces, 3 materials, 3 textures written\n",
       "pallix-export: @blue.xml: Texture file #out/color.bmp was written by @b.xml too, from another "
       "texture: "
       "it holds either one\npallix-export: 1 of 3 scenes failed\n",
       "b.material b.mesh blue.material blue.mesh color.bmp old_brick.jpg scene.material scene.mesh "
       "wall.png"},
      {{"--quiet", "@scene.xml", "@../other/Scene.xml", "@bad.xml"},
       1,
       "",
       "pallix-export: @../other/Scene.xml: Not writing #out/Scene.mesh: @scene.xml has the same "
       "name\npallix-export: @bad.xml: Unexpected text encountered outside root node.\n"
       "pallix-export: 2 of 3 scenes failed\n",
       textures + "scene.material scene.mesh wall.png"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    std::filesystem::remove_all(dir / "out");
    auto at = [&](std::string text) {
      for (std::size_t i; (i = text.find('@')) != std::string::npos;) text.replace(i, 1, dir / "level/");
      for (std::size_t i; (i = text.find('#')) != std::string::npos;) text.replace(i, 1, dir / "");
      return text;
    };
    std::vector<std::string> args = {"--out-dir", dir / "out"};
    for (const std::string& arg : c.args) args.push_back(at(arg));
    const Result r = RunTool(args);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.out, at(c.out));
    EXPECT_EQ(r.err, at(c.err));
    EXPECT_EQ(ListFolder(dir / "out"), c.files);
  }
  // The same files as one scene at a time.
  ASSERT_EQ(RunTool({"--quiet", scene, dir / "one.mesh"}).status, kExitOk);
  EXPECT_EQ(ReadFile(dir / "out/scene.mesh"), ReadFile(dir / "one.mesh"));
  EXPECT_EQ(ReadFile(dir / "out/scene.material"), ReadFile(dir / "one.material"));
}

// The report, valid against its schema and true to the files on disk, also for failures.
TEST_F(ExportTool, Reports) {
  WriteFile(dir / "level/bad.xml", "garbage");
  WriteFile(dir / "elsewhere/scene.xml", testing::ExportSceneDocument());  // no textures there
  const std::string counts =
      "\"counts\": {\"submeshes\": 3, \"vertices\": 11, \"faces\": 5, \"materials\": 3, \"textures\": ";
  const std::string notCopied = "{\"source\": \"" + dir / "elsewhere/old brick.jpg\", \"target\": \"";
  struct Case {
    std::vector<std::string> args;
    int status;
    std::vector<std::string> says;  // in the report, in this order
    std::string err = "";           // how standard error ends
  } cases[] = {
      {{scene, dir / "out/a.mesh"},
       0,
       {"\"status\": 0", "\"outcome\": \"ok\"", counts + "4}", "a.mesh\", \"size\": "}},
      {{dir / "elsewhere/scene.xml", dir / "out/a.mesh"},
       0,
       {"\"outcome\": \"ok\"", counts + "1}", notCopied, "\"reason\": \"No such file or directory\"}"}},
      {{"--strict", dir / "elsewhere/scene.xml", dir / "out/a.mesh"},
       1,
       {"\"status\": 1", "\"outcome\": \"failed\",\n      \"message\": \"3 textures not copied\"",
        counts + "1}", "a.material\", \"size\": ", notCopied},
       "pallix-export: 3 textures not copied\n"},
      {{"--strict", scene, dir / "out/a.xml"}, 0, {"\"outcome\": \"ok\"", counts + "4}"}},
      {{"--out-dir", dir / "out", scene, dir / "level/bad.xml", dir / "elsewhere/scene.xml"},
       1,
       {"\"input\": \"" + scene, "\"input\": \"" + dir / "level/bad.xml", "\"message\": \"Unexpected text",
        "\"input\": \"" + dir / "elsewhere/scene.xml", "\"message\": \"Not writing "}},
      {{dir / "level/bad.xml", dir / "out/a.mesh"},
       1,
       {"\"outcome\": \"failed\"", "\"files\": []"},
       "pallix-export: Unexpected text encountered outside root node.\n"},
      {{scene, dir / "none/a.mesh"}, 1, {"\"reason\": \"No such file or directory\""}},
  };
  std::string reports;
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    const std::string report = dir / ("report" + std::to_string(++n) + ".json");
    std::vector<std::string> args = {"--quiet", "--report", report};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const Result r = RunTool(args);
    EXPECT_EQ(r.status, c.status);
    EXPECT_TRUE(r.err.ends_with(c.err)) << r.err;
    const std::string text = ReadFile(report);
    std::size_t at = 0;
    for (const std::string& part : c.says) {
      at = text.find(part, at);
      EXPECT_NE(at, std::string::npos) << part << "\nin\n" << text;
    }
    reports += " '" + report + "'";
  }
  const std::string validate = "python3 '" PALLIX_SOURCE_DIR
                               "/tests/tools/validate-report.py' '" PALLIX_SOURCE_DIR
                               "/docs/export-report.schema.json'" +
                               reports;
  EXPECT_EQ(std::system(validate.c_str()), 0) << validate;
  // Never over a scene document.
  const std::string before = ReadFile(scene);
  EXPECT_EQ(RunTool({"--report", scene, scene, dir / "out/b.mesh"}).status, kExitFailed);
  EXPECT_EQ(ReadFile(scene), before);
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
