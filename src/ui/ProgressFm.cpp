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

TProgressForm::TProgressForm(bool enabled) : line_(stderr, enabled && isatty(fileno(stderr)) == 1) {}

void TProgressForm::SetPosition(std::int32_t position) {
  if (!line_.Enabled()) return;
  // Like a bar, the display holds positions at its ends.
  const std::int32_t percent = std::clamp(position, 0, 100);
  // Most calls repeat what is shown: a terminal write costs more than the work between them.
  if (percent == shownPercent_ && !textChanged_) return;
  shownPercent_ = percent;
  shownText_ = text_;
  textChanged_ = false;
  line_.Draw(text_ + " " + IntToStr(percent) + "%");
}

void TTerminalLine::Draw(std::string line) {
  if (!enabled_ || line == shown_) return;
  shown_ = line;
  if (const std::size_t room = LineRoom(fileno(out_)); room > 0) {
    line.resize(std::min(line.size(), room));
    length_ = std::min(length_, room);
  }
  const std::size_t length = line.size();
  // Blank out what is left of a longer previous line.
  if (length < length_) line.append(length_ - length, ' ');
  length_ = length;
  std::fputs(("\r" + line).c_str(), out_);
  std::fflush(out_);
}

void TTerminalLine::Clear() {
  if (length_ == 0) return;
  if (const std::size_t room = LineRoom(fileno(out_)); room > 0) length_ = std::min(length_, room);
  std::fprintf(out_, "\r%*s\r", static_cast<int>(length_), "");
  std::fflush(out_);
  length_ = 0;
  shown_.clear();
}

std::unique_ptr<IProgressView> CreateProgressView() {
  return std::make_unique<TProgressForm>(gTerminalProgress.load());
}

}  // namespace pallix
