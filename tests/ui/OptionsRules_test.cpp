#include "OptionsRules.h"

#include <gtest/gtest.h>

namespace pallix {
namespace {

TEST(OptionsRules, ScaleText) {
  struct Case {
    const char* text;
    bool valid;
  };
  const Case cases[] = {
      {"1", true},    {"1.5", true},  {".5", true},   {"2e3", true},   {"   3", true}, {"-0.25", true},
      {"+7", true},   {"1.", true},   {".", true},    {"+.", true},    {"1E-3", true}, {"4e+12", true},
      {"007", true},  {"3 ", false},  {"1,5", false}, {"", false},     {"   ", false}, {"+", false},
      {"-", false},   {"abc", false}, {"1e", false},  {"1e+", false},  {"e5", false},  {"1.2.3", false},
      {"--1", false}, {"\t1", false}, {"1 5", false}, {"0x10", false}, {".e1", true},  {"1.5x", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsValidScaleText(c.text), c.valid) << '"' << c.text << '"';
}

TEST(OptionsRules, ProblemsListedInOrder) {
  struct Case {
    const char* fileName;
    const char* scale;
    std::vector<std::string> problems;
  };
  const std::string missing = "- File name is missing";
  const std::string badExt = "- File name doesn't have a correct extension (.mesh or .xml)";
  const std::string badScale = "- Scale is not a valid floating point number";
  const Case cases[] = {
      {"C:\\out\\ship.mesh", "1", {}},
      {"C:\\out\\ship.MESH", "1", {}},
      {"C:\\out\\ship.Xml", "1", {}},
      {"", "abc", {missing, badScale}},
      {"", "1", {missing}},
      {"C:\\out\\ship.mesh2", "1", {badExt}},
      {"C:\\out\\ship", "1", {badExt}},
      {"C:\\out.mesh\\ship", "1", {badExt}},
      {"C:\\out\\ship.mesh.bak", "x", {badExt, badScale}},
      {"C:\\out\\ship.mesh", ".", {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(InputProblems(c.fileName, c.scale), c.problems) << c.fileName << " / " << c.scale;
  }
}

TEST(OptionsRules, ErrorTextEndsEveryLine) {
  EXPECT_EQ(InputErrorText({"- a", "- b"}),
            "Some input was either missing or incorrect. Please correct the issues specified below:"
            "\r\n\r\n- a\r\n- b\r\n");
}

TEST(OptionsRules, RelativeFolder) {
  struct Case {
    const char* base;
    const char* chosen;
    const char* stored;
  };
  const Case cases[] = {
      {"C:\\out\\", "C:\\out\\materials", "materials"},
      {"C:\\out\\", "C:\\out\\a\\b", "a\\b"},
      {"C:\\out\\", "C:\\shared", "..\\shared"},
      {"C:\\out\\", "C:\\out", "..\\out"},
      {"C:\\out\\", "D:\\m", "D:\\m"},
      {"C:\\out\\", "", ""},  // cancelled browser
      {"c:\\Out\\", "C:\\OUT\\Tex", "Tex"},
      {"C:\\out\\deep\\", "C:\\other\\x", "..\\..\\other\\x"},
      {"C:\\out\\deep\\", "C:\\out\\x\\y", "..\\x\\y"},
      {"C:\\out\\", "C:\\", "..\\"},
      {"", "C:\\m", "C:\\m"},  // no folder in the file name
      {"", "", ""},
      {"out\\", "", ""},  // cancelled with a relative file name
      {"\\\\srv\\share\\out\\", "", ""},
      {"\\\\srv\\share\\out\\", "\\\\SRV\\Share\\out\\tex", "tex"},
      {"\\\\srv\\share\\out\\", "\\\\other\\share\\tex", "\\\\other\\share\\tex"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RelativeFolder(c.base, c.chosen), c.stored) << c.base << " + " << c.chosen;
  }
}

TEST(OptionsRules, FoldersFromFileName) {
  EXPECT_EQ(FileDialogFolder("C:\\out\\ship.mesh"), "C:\\out");
  EXPECT_EQ(FileDialogFolder("C:\\ship.mesh"), "C:\\");
  EXPECT_EQ(FileDialogFolder("ship.mesh"), "");
  EXPECT_EQ(FileDialogFolder(""), "");
  EXPECT_EQ(BrowseBaseFolder("C:\\out\\ship.mesh"), "C:\\out\\");
  EXPECT_EQ(BrowseBaseFolder("ship.mesh"), "");
}

TEST(OptionsRules, PrefixFollowsChosenFileUnlessEmpty) {
  EXPECT_EQ(PrefixAfterFileChoice("Test/", "C:\\out\\ship.mesh"), "ship/");
  EXPECT_EQ(PrefixAfterFileChoice("x", "C:\\out\\ship.final.xml"), "ship.final/");
  EXPECT_EQ(PrefixAfterFileChoice("x", "C:\\out\\noext"), "noext/");
  EXPECT_EQ(PrefixAfterFileChoice("", "C:\\out\\ship.mesh"), "");
}

TEST(OptionsRules, Drive) {
  EXPECT_EQ(ExtractFileDrive("C:\\x"), "C:");
  EXPECT_EQ(ExtractFileDrive("\\\\srv\\share\\x"), "\\\\srv\\share");
  EXPECT_EQ(ExtractFileDrive("\\\\srv"), "\\\\srv");
  EXPECT_EQ(ExtractFileDrive("\\x"), "");
  EXPECT_EQ(ExtractFileDrive("x"), "");
}

}  // namespace
}  // namespace pallix
