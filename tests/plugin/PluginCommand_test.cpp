#include "PluginCommand.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

#include "FloatStateCl.h"
#include "OptionsFm.h"
#include "SystemFn.h"
#include "support/ExportScene.h"
#include "support/FakeHost.h"
#include "support/TempFolder.h"
#include "uPlugin.h"

namespace pallix {
namespace {

using testing::TempFolder;

// RunPluginCommand is the library's boundary: whatever happens, it returns normally and the
// user sees the message (on standard error in this build).
class PluginBoundary : public ::testing::Test {
 protected:
  void SetUp() override { sys::SetModuleFileName(dir / "Pallix.dll"); }
  void TearDown() override {
    SetOptionsFormHook(nullptr);
    sys::SetModuleFileName("");
  }

  // Runs the command and returns what it told the user.
  std::string Run() {
    ::testing::internal::CaptureStderr();
    EXPECT_NO_THROW(RunPluginCommand());
    return ::testing::internal::GetCapturedStderr();
  }

  TempFolder dir;
  int formShown = 0;
};

TEST_F(PluginBoundary, NoCallbackIsReportedBeforeTheWindowShows) {
  SetHostCallback(nullptr);
  SetOptionsFormHook([this](TOptionsForm&) {
    ++formShown;
    return TModalResult::Cancel;
  });
  EXPECT_EQ(Run(), "Pallix: No host callback registered.\n");
  EXPECT_EQ(formShown, 0);
  EXPECT_FALSE(testing::Exists(dir / "Pallix.ini"));
}

TEST_F(PluginBoundary, ErrorsOfTheRunAreShownNotThrown) {
  struct Case {
    const char* scale;
    std::int32_t status;
    void (*fail)();  // runs in the host's answer
    const char* shown;
  };
  const Case cases[] = {
      {"1", 7, nullptr, "Pallix: Korvel callback returned error code 7\n"},
      {"1", -3, nullptr, "Pallix: Korvel callback returned error code -3\n"},
      {".", 0, nullptr, "Pallix: '.' is not a valid floating point value\n"},
      {"1", 0, [] { throw std::bad_alloc(); }, "Pallix: Not enough memory to export this level.\n"},
      {"1", 0, [] { throw std::length_error("vector::reserve"); },
       "Pallix: Not enough memory to export this level.\n"},
  };
  for (const Case& c : cases) {
    FakeHost host([&](const std::string&) {
      if (c.fail) c.fail();
      return std::string("<scene />");
    });
    host.LengthStatus = c.status;
    SetOptionsFormHook([&](TOptionsForm& form) {
      form.edFileName = dir / "ship.mesh";
      form.edScale = c.scale;
      return TModalResult::OK;
    });
    EXPECT_EQ(Run(), c.shown);
    EXPECT_FALSE(testing::Exists(dir / "ship.mesh"));
  }
}

// A host may unmask floating-point exceptions or round another way: the export traps on no
// overflow, writes the same bytes, and the host finds its own state in its callback and after.
TEST_F(PluginBoundary, HostFloatStateNeitherLeaksInNorIsLost) {
  const TFloatState normal = ExportFloatState();
  auto exportWith = [&](const TFloatState& host, const char* scale) {
    FakeHost fake([&](const std::string&) {
      EXPECT_EQ(TFloatState::Current(), host) << "in the callback";
      return testing::ExportSceneDocument();
    });
    SetOptionsFormHook([&](TOptionsForm& form) {
      form.edFileName = dir / "ship.mesh";
      form.edScale = scale;
      form.SetExportTextures(false);
      form.cbNormalsToExport = 2;
      return TModalResult::OK;
    });
    host.Apply();
    const std::string shown = Run();
    const TFloatState after = TFloatState::Current();
    normal.Apply();
    EXPECT_EQ(shown, "");
    EXPECT_EQ(after, host) << "after the run";
    return testing::ReadFile(dir / "ship.mesh") + testing::ReadFile(dir / "ship.material");
  };
  struct Case {
    std::uint16_t x87;
    std::uint32_t mxcsr;
    const char* scale;
  };
  const Case cases[] = {
      {0x0377, 0x3B80, "3e38"},   // overflow unmasked, rounding down
      {0x0F77, 0x7B80, "0.1"},    // overflow unmasked, rounding towards zero
      {0x087F, 0xDF80, "0.1"},    // rounding up, flush to zero
      {0x007F, 0x5FC0, "1e-39"},  // denormals read as zero, 24-bit x87 precision
  };
  for (const Case& c : cases) {
    const TFloatState hostile{c.x87, c.mxcsr};
    EXPECT_EQ(exportWith(hostile, c.scale), exportWith(normal, c.scale)) << "scale " << c.scale;
  }
}

TEST_F(PluginBoundary, CancelShowsNothing) {
  FakeHost host("<scene />");
  SetOptionsFormHook([](TOptionsForm&) { return TModalResult::Cancel; });
  EXPECT_EQ(Run(), "");
  EXPECT_EQ(host.Calls, 0);
}

}  // namespace
}  // namespace pallix
