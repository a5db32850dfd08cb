#include "PluginCommand.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

#include "OptionsFm.h"
#include "SystemFn.h"
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

TEST_F(PluginBoundary, CancelShowsNothing) {
  FakeHost host("<scene />");
  SetOptionsFormHook([](TOptionsForm&) { return TModalResult::Cancel; });
  EXPECT_EQ(Run(), "");
  EXPECT_EQ(host.Calls, 0);
}

}  // namespace
}  // namespace pallix
