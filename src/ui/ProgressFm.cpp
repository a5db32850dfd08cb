#include "ProgressFm.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>

#include "BasicFn.h"

namespace pallix {

namespace {
std::atomic<bool> gTerminalProgress{false};

// Columns the line may fill: one less than the terminal's width, so the cursor never moves
// to a new row. 0 when the width is unknown (no limit then).
std::size_t LineRoom(int fd) {
  winsize size{};
  if (ioctl(fd, TIOCGWINSZ, &size) != 0 || size.ws_col == 0) return 0;
  return size.ws_col > 1 ? static_cast<std::size_t>(size.ws_col - 1) : 1;
}
}  // namespace

void EnableTerminalProgress(bool enabled) { gTerminalProgress = enabled; }

TProgressForm::TProgressForm(bool enabled) : enabled_(enabled && isatty(fileno(stderr)) == 1) {}

TProgressForm::~TProgressForm() {
  // The line goes when the run ends; what follows starts on a clean row.
  if (lastLength_ > 0) {
    if (const std::size_t room = LineRoom(fileno(stderr)); room > 0)
      lastLength_ = std::min(lastLength_, room);
    std::fprintf(stderr, "\r%*s\r", static_cast<int>(lastLength_), "");
    std::fflush(stderr);
  }
}

void TProgressForm::SetPosition(std::int32_t position) {
  if (!enabled_) return;
  // Like a bar, the display holds positions at its ends.
  const std::int32_t percent = std::clamp(position, 0, 100);
  // Most calls repeat what is shown: a terminal write costs more than the work between them.
  if (percent == shownPercent_ && text_ == shownText_) return;
  shownPercent_ = percent;
  shownText_ = text_;
  std::string line = text_ + " " + IntToStr(percent) + "%";
  // Read each time: the window may have been resized since.
  if (const std::size_t room = LineRoom(fileno(stderr)); room > 0) {
    line.resize(std::min(line.size(), room));
    lastLength_ = std::min(lastLength_, room);
  }
  const std::size_t length = line.size();
  // Blank out what is left of a longer previous line.
  if (length < lastLength_) line.append(lastLength_ - length, ' ');
  lastLength_ = length;
  std::fputs(("\r" + line).c_str(), stderr);
  std::fflush(stderr);
}

std::unique_ptr<IProgressView> CreateProgressView() {
  return std::make_unique<TProgressForm>(gTerminalProgress.load());
}

}  // namespace pallix
