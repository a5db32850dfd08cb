// The install-directory lookup and the export command, against a scripted host.
#include <gtest/gtest.h>

#include <functional>

#include "BasicFn.h"
#include "OptionsFm.h"
#include "PluginCommand.h"
#include "SystemFn.h"
#include "support/TempFolder.h"
#include "uPlugin.h"

namespace pallix {
namespace {

using testing::ReadFile;
using testing::TempFolder;
using testing::WriteFile;

// Answers each request with answer(request); every callback call is counted.
struct ScriptedHost {
  std::function<std::string(const std::string&)> answer;
  std::int32_t status = 0;
  std::vector<std::string> requests;
  int calls = 0;
  std::string pending;
};
ScriptedHost* gScripted = nullptr;

std::int32_t PALLIX_STDCALL ScriptedCallback(HostCallbackRecord* r) {
  ++gScripted->calls;
  if (gScripted->status != 0) return gScripted->status;
  if (r->Mode == 0) {
    gScripted->requests.push_back(r->Request);
    gScripted->pending = gScripted->answer(r->Request);
    r->AnswerLength = static_cast<std::int32_t>(gScripted->pending.size());
  } else {
    gScripted->pending.copy(r->Answer, static_cast<std::size_t>(r->AnswerLength));
  }
  return 0;
}

class HostFolders : public ::testing::Test {
 protected:
  void SetUp() override {
    gScripted = &host;
    SetHostCallback(&ScriptedCallback);
  }
  void TearDown() override {
    SetHostCallback(nullptr);
    gScripted = nullptr;
  }
  void Answer(const std::string& text) {
    host.answer = [text](const std::string&) { return text; };
  }
  ScriptedHost host;
  TempFolder dir;
};

TEST_F(HostFolders, InstallDirectoryRequestAndAnswers) {
  struct Case {
    const char* answer;
    const char* directory;
  } cases[] = {
      {"\r\n  <answer><installdirectory>C:\\Korvel</installdirectory></answer>  \r\n", "C:\\Korvel"},
      {"<a><InstallDirectory>first</InstallDirectory><INSTALLDIRECTORY>second</INSTALLDIRECTORY></a>",
       "second"},
      {"<a><other>x</other></a>", ""},
      {"<installdirectory>root itself</installdirectory>", ""},
      {"", ""},
      {"  \r\n", ""},
  };
  for (const Case& c : cases) {
    Answer(c.answer);
    EXPECT_EQ(GetInstallDirectory(), c.directory) << c.answer;
  }
  EXPECT_EQ(host.requests.at(0), "<request version=\"1.6\">\r\n  <installdirectory />\r\n</request>");
}

TEST_F(HostFolders, TextureFolderFromTheSettingsFileEveryTime) {
  WriteFile(dir / "Korvel.ini", "[dirs]\r\nTextureFiles = D:\\tex\r\n");
  Answer("<a><installdirectory>" + dir.Path() + "</installdirectory></a>");  // ends with a separator
  EXPECT_EQ(GetTextureFilesFolder(), "D:\\tex");                             // no separator added
  EXPECT_EQ(GetTextureFilesFolder(), "D:\\tex");
  EXPECT_EQ(host.calls, 4);  // nothing cached: two full exchanges
  Answer("<a><installdirectory>" + dir / "nowhere" + "</installdirectory></a>");
  EXPECT_EQ(GetTextureFilesFolder(), "");
}

TEST_F(HostFolders, HostErrorStatusEndsTheLookup) {
  host.status = -7;
  try {
    GetTextureFilesFolder();
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), "Korvel callback returned error code -7");
  }
}

// The command behind PluginExecute, with the options window answered by a hook.
class ExportCommand : public HostFolders {
 protected:
  void SetUp() override {
    HostFolders::SetUp();
    sys::SetModuleFileName(dir / "Pallix.dll");
    WriteFile(dir / "Pallix.ini", "[options]\r\nscale=2\r\n");
  }
  void TearDown() override {
    SetOptionsFormHook(nullptr);
    sys::SetModuleFileName("");
    HostFolders::TearDown();
  }
};

TEST_F(ExportCommand, CancelAsksNothingAndKeepsTheOptions) {
  SetOptionsFormHook([](TOptionsForm& form) {
    form.edScale = "5";
    return TModalResult::Cancel;
  });
  EXPECT_NO_THROW(RunExportCommand());
  EXPECT_EQ(host.calls, 0);
  EXPECT_EQ(ReadFile(dir / "Pallix.ini"), "[options]\r\nscale=2\r\n");
}

TEST_F(ExportCommand, OptionsAreSavedBeforeAFailingExport) {
  host.status = 9;
  SetOptionsFormHook([&](TOptionsForm& form) {
    form.edFileName = dir / "ship.mesh";
    form.edScale = "0.5";
    return TModalResult::OK;
  });
  try {
    RunExportCommand();
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), "Korvel callback returned error code 9");
  }
  EXPECT_NE(ReadFile(dir / "Pallix.ini").find("scale=0.5\r\n"), std::string::npos);
  EXPECT_FALSE(testing::Exists(dir / "ship.mesh"));
}

TEST_F(ExportCommand, ABadScaleEndsTheRunBeforeTheHostIsAsked) {
  SetOptionsFormHook([&](TOptionsForm& form) {
    form.edFileName = dir / "ship.mesh";
    form.edScale = ".";
    return TModalResult::OK;
  });
  try {
    RunExportCommand();
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), "'.' is not a valid floating point value");
  }
  EXPECT_EQ(host.calls, 0);
  EXPECT_NE(ReadFile(dir / "Pallix.ini").find("scale=.\r\n"), std::string::npos);
}

}  // namespace
}  // namespace pallix
