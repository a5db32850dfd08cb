#include "MessagePacerCl.h"

#include <gtest/gtest.h>

namespace pallix {
namespace {

TEST(MessagePacer, RunsOnEveryVisibleChangeAndOtherwiseEvery50ms) {
  struct Step {
    std::uint64_t ms;
    std::int32_t position;
    bool text;  // SetText before this position
    bool due;
  };
  const Step steps[] = {
      {1000, 0, false, true},   // the first update always shows
      {1001, 0, false, false},  // nothing new to show
      {1049, 0, false, false},  // 49 ms later: not yet
      {1050, 0, false, true},   // 50 ms of work since messages last ran
      {1051, 1, false, true},   // the bar moves
      {1052, 1, false, false},  // nothing new again
      {1053, 1, true, true},    // a new stage text
      {1054, 1, false, false},  // nothing new again
      {1055, 0, true, true},    // a new stage starting at 0
      {1056, 0, false, false},  // nothing new again
      {500, 0, false, true},    // a clock that went back (GetTickCount wraps)
  };
  TMessagePacer pacer;
  for (const Step& s : steps) {
    if (s.text) pacer.TextChanged();
    EXPECT_EQ(pacer.Due(s.position, s.ms), s.due) << "position " << s.position << " at " << s.ms << " ms";
  }
}

}  // namespace
}  // namespace pallix
