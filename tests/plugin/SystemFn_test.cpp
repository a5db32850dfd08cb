#include "SystemFn.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/TempFolder.h"

namespace pallix {
namespace {

using testing::Exists;
using testing::ReadFile;
using testing::TempFolder;
using testing::WriteFile;

constexpr char kIni[] =
    "; comment=ignored\r\n"
    "[Other]\r\n"
    "scale=9\r\n"
    "[  OPTIONS ]\r\n"
    "  Scale  =  2.5  \r\n"
    "scale=3\r\n"
    "prefix=\"quoted\"\r\n"
    "half=\"open\r\n"
    "empty=\r\n"
    "novalue\r\n"
    "[options]\r\n"
    "late=found only in a second section of the same name\r\n";

TEST(Profile, ReadsWithTheSystemRules) {
  TempFolder dir;
  const std::string ini = dir / "a.ini";
  WriteFile(ini, kIni);
  struct Case {
    const char* section;
    const char* key;
    const char* expected;
  } cases[] = {
      {"options", "scale", "2.5"},      // names ignore case, blanks go, the first entry wins
      {"OTHER", "SCALE", "9"},          // the same key in another section is another value
      {"options", "prefix", "quoted"},  // one pair of quotes is dropped
      {"options", "half", "\"open"},   {"options", "empty", ""},    {"options", "novalue", ""},
      {"options", "late", "def"},  // only the first section of a name is read
      {"options", "comment", "def"},   {"missing", "scale", "def"}, {"options", "missing", "def"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(sys::ReadIniString(ini, c.section, c.key, "def"), c.expected) << c.section << "/" << c.key;
  }
  EXPECT_EQ(sys::ReadIniString(dir / "none.ini", "options", "scale", "1"), "1");
}

TEST(Profile, ReadsFilesWithBareLineFeeds) {
  TempFolder dir;
  WriteFile(dir / "a.ini", "[Dirs]\ntexturefiles=/data/tex/\n");
  EXPECT_EQ(sys::ReadIniString(dir / "a.ini", "dirs", "TextureFiles", ""), "/data/tex/");
}

TEST(Profile, WritingCreatesTheFileAndSection) {
  TempFolder dir;
  const std::string ini = dir / "sub/new.ini";
  std::filesystem::create_directories(dir / "sub");
  ASSERT_TRUE(sys::WriteIniString(ini, "options", "filename", "C:\\out\\a b.mesh"));
  ASSERT_TRUE(sys::WriteIniString(ini, "options", "scale", "1"));
  EXPECT_EQ(ReadFile(ini), "[options]\r\nfilename=C:\\out\\a b.mesh\r\nscale=1\r\n");
  ASSERT_TRUE(sys::WriteIniString(ini, "more", "x", "y"));
  EXPECT_EQ(ReadFile(ini), "[options]\r\nfilename=C:\\out\\a b.mesh\r\nscale=1\r\n\r\n[more]\r\nx=y\r\n");
  EXPECT_EQ(testing::ListFolder(dir / "sub"), "new.ini");  // no temporary left
}

TEST(Profile, WritingUpdatesInPlaceAndKeepsTheRest) {
  TempFolder dir;
  const std::string ini = dir / "a.ini";
  WriteFile(ini, "; keep me\n[Options]\nScale = 2\nother=1\n\n[next]\nscale=5\n");
  ASSERT_TRUE(sys::WriteIniString(ini, "options", "scale", "0.5"));
  ASSERT_TRUE(sys::WriteIniString(ini, "options", "prefix", "p/"));
  ASSERT_TRUE(sys::WriteIniString(ini, "next", "tail", "t"));
  EXPECT_EQ(ReadFile(ini),
            "; keep me\n[Options]\nScale=0.5\nother=1\nprefix=p/\n\n[next]\nscale=5\ntail=t\n");
}

TEST(Profile, WritingIntoAMissingFolderFails) {
  TempFolder dir;
  EXPECT_FALSE(sys::WriteIniString(dir / "no/such/a.ini", "options", "scale", "1"));
}

TEST(Folders, ExpandAgainstTheBaseWithoutMovingTheCurrentDirectory) {
  TempFolder dir;
  std::filesystem::create_directories(dir / "out");
  const std::string base = dir / "out/";
  const auto cwd = std::filesystem::current_path();
  struct Case {
    std::string folder;
    std::string base;
    std::string expected;
  } cases[] = {
      {"", base, base},
      {".", base, base},
      {"materials", base, base + "materials/"},
      {"a\\b", base, base + "a/b/"},
      {"..\\shared", base, dir / "shared/"},
      {"../shared/", dir / "out", dir / "shared/"},
      {"/abs/./x/../y", base, "/abs/y/"},
      {"../../../../../../../../../../..", base, "/"},
      {"m", "", cwd.string() + "/m/"},  // no base: the current directory
      {"m", dir / "absent/", cwd.string() + "/m/"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(sys::ExpandFolder(c.folder, c.base), c.expected) << c.folder << " against " << c.base;
  }
  EXPECT_EQ(std::filesystem::current_path(), cwd);
}

TEST(Folders, ForceFoldersMakesParentsAndReportsFailure) {
  TempFolder dir;
  EXPECT_TRUE(sys::ForceFolders(dir / "a/b/c/"));
  EXPECT_TRUE(std::filesystem::is_directory(dir / "a/b/c"));
  EXPECT_TRUE(sys::ForceFolders(dir / "a/b"));  // already there
  WriteFile(dir / "file", "x");
  EXPECT_FALSE(sys::ForceFolders(dir / "file/sub/"));
}

TEST(Module, DefaultsToTheRunningProgramAndCanBeSet) {
  const std::string self = sys::ModuleFileName();
  EXPECT_TRUE(sys::FileExists(self)) << self;
  sys::SetModuleFileName("/opt/korvel/plugins/Pallix.so");
  EXPECT_EQ(sys::ModuleFileName(), "/opt/korvel/plugins/Pallix.so");
  sys::SetModuleFileName("");
  EXPECT_EQ(sys::ModuleFileName(), self);
}

}  // namespace
}  // namespace pallix
