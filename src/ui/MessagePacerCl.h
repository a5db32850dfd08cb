// When the progress window lets the thread's waiting messages run. Each run costs a round trip
// to the window system, and a large level reports hundreds of thousands of positions; the
// window and the host still repaint and answer when messages run at every change of what the
// window shows and at least every kIntervalMs of work in between.
#pragma once

#include <cstdint>

namespace pallix {

class TMessagePacer {
 public:
  static constexpr std::uint64_t kIntervalMs = 50;

  // The text shown changed: the next position lets messages run.
  void TextChanged() { textChanged_ = true; }

  // At a position update: true when messages should run now. shownPosition is what the bar
  // shows; nowMs any millisecond clock.
  bool Due(std::int32_t shownPosition, std::uint64_t nowMs) {
    if (!textChanged_ && ran_ && shownPosition == lastPosition_ && nowMs - lastRunMs_ < kIntervalMs)
      return false;
    textChanged_ = false;
    ran_ = true;
    lastPosition_ = shownPosition;
    lastRunMs_ = nowMs;
    return true;
  }

 private:
  bool textChanged_ = false;
  bool ran_ = false;
  std::int32_t lastPosition_ = 0;
  std::uint64_t lastRunMs_ = 0;
};

}  // namespace pallix
