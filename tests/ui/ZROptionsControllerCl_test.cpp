#include "ZROptionsControllerCl.h"

#include <gtest/gtest.h>

#include <cmath>

#include "BasicFn.h"
#include "SystemFn.h"
#include "support/TempFolder.h"

namespace pallix {
namespace {

using testing::ReadFile;
using testing::TempFolder;
using testing::WriteFile;

// The controller finds its file beside the library; here the "library" lives in a temp folder.
class OptionsStore : public ::testing::Test {
 protected:
  void SetUp() override { sys::SetModuleFileName(dir / "Pallix.dll"); }
  void TearDown() override {
    sys::SetModuleFileName("");
    SetOptionsFormHook(nullptr);
  }
  std::string IniName() const { return dir / "Pallix.ini"; }

  TempFolder dir;
};

struct FormValues {
  std::string fileName, scale;
  bool materials;
  std::string materialPath;
  bool textures;
  std::string texturePath;
  bool lightmaps;
  std::string prefix;
  int normals, lighting;
  bool materialPathEnabled, texturePathEnabled;
};

FormValues Values(const TOptionsForm& f) {
  return {f.edFileName,
          f.edScale,
          f.chkExportMaterials(),
          f.edMaterialPath,
          f.chkExportTextures(),
          f.edTexturePath,
          f.chkExportLightmaps(),
          f.edMaterialNamePrefix,
          f.cbNormalsToExport,
          f.cbAllowDynamicLighting,
          f.edMaterialPathEnabled(),
          f.edTexturePathEnabled()};
}

void ExpectValues(const FormValues& a, const FormValues& b) {
  EXPECT_EQ(a.fileName, b.fileName);
  EXPECT_EQ(a.scale, b.scale);
  EXPECT_EQ(a.materials, b.materials);
  EXPECT_EQ(a.materialPath, b.materialPath);
  EXPECT_EQ(a.textures, b.textures);
  EXPECT_EQ(a.texturePath, b.texturePath);
  EXPECT_EQ(a.lightmaps, b.lightmaps);
  EXPECT_EQ(a.prefix, b.prefix);
  EXPECT_EQ(a.normals, b.normals);
  EXPECT_EQ(a.lighting, b.lighting);
  EXPECT_EQ(a.materialPathEnabled, b.materialPathEnabled);
  EXPECT_EQ(a.texturePathEnabled, b.texturePathEnabled);
}

TEST_F(OptionsStore, FileNameIsTheLibrarysWithIni) {
  ZROptionsControllerT c;
  EXPECT_EQ(c.OptionsFileName(), dir / "Pallix.ini");
}

TEST_F(OptionsStore, TwoColumnsOfDefaults) {
  {
    SCOPED_TRACE("no file: the window's own defaults");
    ZROptionsControllerT c;
    c.LoadOptions();
    ExpectValues(Values(c.Form()), {"", "1", true, "", true, "", true, "Test/", 1, 1, true, true});
  }
  {
    SCOPED_TRACE("a file without keys: the file's defaults");
    WriteFile(IniName(), "[options]\r\n");
    ZROptionsControllerT c;
    c.LoadOptions();
    ExpectValues(Values(c.Form()), {"", "1", true, "", true, "", true, "", 0, 1, true, true});
  }
}

TEST_F(OptionsStore, LoadsEveryKey) {
  WriteFile(IniName(),
            "[Options]\r\nfilename=C:\\out\\ship.mesh\r\nscale= +1.50E+0 \r\nexportMaterials=0\r\n"
            "materialPath=..\\m\r\nexportTextures=0\r\ntexturePath=t\r\nexportLightmaps=0\r\n"
            "materialNamePrefix=ship/\r\nnormalsToExport=2\r\nallowDynamicLighting=0\r\n");
  ZROptionsControllerT c;
  c.LoadOptions();
  ExpectValues(Values(c.Form()), {"C:\\out\\ship.mesh", "+1.50E+0", false, "..\\m", false, "t", false,
                                  "ship/", 2, 0, false, false});
}

TEST_F(OptionsStore, ValuesThatAreNoNumbersOrOutOfRange) {
  struct Case {
    const char* text;
    bool materials;  // default true
    int normals;     // fresh window: 1; file default 0
    int lighting;    // default 1
  } cases[] = {
      {"exportMaterials=2\r\nnormalsToExport=7\r\nallowDynamicLighting=5", true, 1, 1},
      {"exportMaterials=-1\r\nnormalsToExport=-1\r\nallowDynamicLighting=-1", true, 1, 1},
      {"exportMaterials=abc\r\nnormalsToExport=abc\r\nallowDynamicLighting=x", true, 0, 1},
      {"exportMaterials=0x\r\nnormalsToExport=2.0\r\nallowDynamicLighting=0", true, 0, 0},
      {"exportMaterials= 0 \r\nnormalsToExport=+2\r\nallowDynamicLighting=99999999999", false, 2, 1},
      {"exportMaterials=+-0\r\nnormalsToExport=+-1\r\nallowDynamicLighting=--0", true, 0, 1},
  };
  for (const Case& c : cases) {
    WriteFile(IniName(), std::string("[options]\r\n") + c.text + "\r\n");
    ZROptionsControllerT controller;
    controller.LoadOptions();
    EXPECT_EQ(controller.Form().chkExportMaterials(), c.materials) << c.text;
    EXPECT_EQ(controller.Form().cbNormalsToExport, c.normals) << c.text;
    EXPECT_EQ(controller.Form().cbAllowDynamicLighting, c.lighting) << c.text;
  }
}

TEST_F(OptionsStore, SavesTheTenKeysInOrder) {
  ZROptionsControllerT c;
  TOptionsForm& f = c.Form();
  f.edFileName = "C:\\out\\a b.xml";
  f.edScale = "2e3";
  f.SetExportTextures(false);
  f.edTexturePath = "tex";
  f.cbNormalsToExport = 2;
  c.SaveOptions();
  EXPECT_EQ(ReadFile(IniName()),
            "[options]\r\nfilename=C:\\out\\a b.xml\r\nscale=2e3\r\nexportMaterials=1\r\nmaterialPath=\r\n"
            "exportTextures=0\r\ntexturePath=tex\r\nexportLightmaps=1\r\nmaterialNamePrefix=Test/\r\n"
            "normalsToExport=2\r\nallowDynamicLighting=1\r\n");
  ZROptionsControllerT again;
  again.LoadOptions();
  ExpectValues(Values(again.Form()), Values(f));
}

TEST_F(OptionsStore, ExecuteSavesOnlyOnOk) {
  WriteFile(IniName(), "[options]\r\nscale=3\r\n");
  for (const TModalResult result : {TModalResult::Cancel, TModalResult::OK}) {
    SetOptionsFormHook([&](TOptionsForm& form) {
      EXPECT_EQ(form.edScale, "3");  // loaded before it is shown
      form.edMaterialNamePrefix = "lvl/";
      return result;
    });
    ZROptionsControllerT c;
    c.Execute();
    EXPECT_EQ(c.Accepted(), result == TModalResult::OK);
    const bool saved = ReadFile(IniName()).find("materialNamePrefix=lvl/") != std::string::npos;
    EXPECT_EQ(saved, result == TModalResult::OK);
  }
}

TEST_F(OptionsStore, AnUnwritableFileIsNoError) {
  sys::SetModuleFileName(dir / "missing/Pallix.dll");
  SetOptionsFormHook([](TOptionsForm&) { return TModalResult::OK; });
  ZROptionsControllerT c;
  EXPECT_NO_THROW(c.Execute());
  EXPECT_TRUE(c.Accepted());
  EXPECT_FALSE(testing::Exists(dir / "missing"));
}

TEST_F(OptionsStore, CheckBoxesDriveThePathBoxes) {
  TOptionsForm f;
  f.SetExportMaterials(false);
  EXPECT_FALSE(f.edMaterialPathEnabled());
  EXPECT_TRUE(f.edTexturePathEnabled());
  f.SetExportTextures(false);
  f.SetExportMaterials(true);
  EXPECT_TRUE(f.edMaterialPathEnabled());
  EXPECT_FALSE(f.edTexturePathEnabled());
}

TEST_F(OptionsStore, Getters) {
  ZROptionsControllerT c;
  TOptionsForm& f = c.Form();
  struct Case {
    int normalsIndex, normals, lightingIndex, lighting;
  } cases[] = {{0, 0, 0, 0}, {2, 2, 1, 1}, {-1, 1, -1, 1}, {3, 1, 2, 1}};
  for (const Case& k : cases) {
    f.cbNormalsToExport = k.normalsIndex;
    f.cbAllowDynamicLighting = k.lightingIndex;
    EXPECT_EQ(c.normalsToExport(), k.normals);
    EXPECT_EQ(c.allowDynamicLighting(), k.lighting);
  }
  f.edScale = " 0.1 ";
  EXPECT_EQ(c.scale(), 0.1f);
  f.edScale = ".";
  try {
    c.scale();
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), "'.' is not a valid floating point value");
  }
}

TEST(ScaleText, Conversion) {
  struct Case {
    const char* text;
    bool ok;
    float value;
  } cases[] = {
      {"1", true, 1.0f},     {"1.5", true, 1.5f},    {".5", true, 0.5f},      {"5.", true, 5.0f},
      {"-2", true, -2.0f},   {"+2", true, 2.0f},     {"2e3", true, 2000.0f},  {"2E-1", true, 0.2f},
      {"  3  ", true, 3.0f}, {"1e-400", true, 0.0f}, {"", false, 0},          {"   ", false, 0},
      {".", false, 0},       {"+", false, 0},        {"1,5", false, 0},       {"e5", false, 0},
      {"1e", false, 0},      {"1e+", false, 0},      {"inf", false, 0},       {"nan", false, 0},
      {"0x10", false, 0},    {"--1", false, 0},      {"+-1", false, 0},       {"1e39", false, 0},
      {"1 2", false, 0},     {"\t1", false, 0},      {"0.001e500", false, 0}, {"1000e-400", true, 0.0f},
  };
  for (const Case& c : cases) {
    float value = -99;
    EXPECT_EQ(TryTextToFloat(c.text, value), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(value, c.value) << c.text;
    }
  }
}

}  // namespace
}  // namespace pallix
