#include "ProgressFm.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace pallix {
namespace {

// Runs `body` with stderr on a fresh pseudo-terminal of the given width (0: unknown) and
// returns what reached the terminal.
template <class Body>
std::string OnTerminal(Body body, unsigned short columns = 0) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return "<no pty>";
  const int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
  winsize size{};
  size.ws_col = columns;
  ioctl(slave, TIOCSWINSZ, &size);
  std::fflush(stderr);
  const int saved = dup(2);
  dup2(slave, 2);
  body();
  std::fflush(stderr);
  dup2(saved, 2);
  close(saved);
  close(slave);
  fcntl(master, F_SETFL, O_NONBLOCK);
  std::string out;
  char buf[256];
  for (ssize_t n; (n = read(master, buf, sizeof buf)) > 0;) out.append(buf, static_cast<std::size_t>(n));
  close(master);
  return out;
}

TEST(ProgressFormTest, RedrawsOnlyChangesAndErasesTheLineAtTheEnd) {
  struct Case {
    unsigned short columns;
    std::string expected;
  } const cases[] = {
      // Repeated positions and texts are not drawn again; the last line is blanked out.
      {0, "\rProcessing materials... 12%\rCopying 100%               \rCopying 0%  \r          \r"},
      // A narrow terminal gets lines one column shorter than its width, never wrapped.
      {12, "\rProcessing \rCopying 100\rCopying 0% \r          \r"},
  };
  for (const Case& c : cases) {
    const std::string shown = OnTerminal(
        [] {
          TProgressForm form(true);
          form.Show();
          form.SetText("Processing materials...");
          form.SetPosition(12);
          form.SetPosition(12);
          form.SetText("Processing materials...");
          form.SetPosition(12);
          form.SetText("Copying");
          form.SetPosition(150);
          form.SetPosition(100);
          form.SetPosition(-3);
        },
        c.columns);
    if (shown == "<no pty>") GTEST_SKIP() << "no pseudo-terminal here";
    EXPECT_EQ(shown, c.expected) << c.columns;
  }

  EXPECT_EQ(OnTerminal([] {
              TProgressForm form(false);
              form.SetText("x");
              form.SetPosition(5);
            }),
            "");
}

TEST(ProgressFormTest, SilentWhenStderrIsNoTerminal) {
  testing::internal::CaptureStderr();
  {
    TProgressForm form(true);
    form.SetText("x");
    form.SetPosition(5);
  }
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

}  // namespace
}  // namespace pallix
