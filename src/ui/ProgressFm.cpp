#include "ProgressFm.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>

#include "BasicFn.h"

namespace pallix {

namespace {
std::atomic<bool> gTerminalProgress{false};
}

void EnableTerminalProgress(bool enabled) { gTerminalProgress = enabled; }

TProgressForm::TProgressForm(bool enabled) : enabled_(enabled && isatty(fileno(stderr)) == 1) {}

TProgressForm::~TProgressForm() {
  if (wrote_) std::fputc('\n', stderr);
}

void TProgressForm::SetPosition(std::int32_t position) {
  if (!enabled_) return;
  // Like a bar, the display holds positions at its ends.
  std::string line = text_ + " " + IntToStr(std::clamp(position, 0, 100)) + "%";
  const std::size_t length = line.size();
  // Blank out what is left of a longer previous line.
  if (length < lastLength_) line.append(lastLength_ - length, ' ');
  lastLength_ = length;
  std::fputs(("\r" + line).c_str(), stderr);
  std::fflush(stderr);
  wrote_ = true;
}

std::unique_ptr<IProgressView> CreateProgressView() {
  return std::make_unique<TProgressForm>(gTerminalProgress.load());
}

}  // namespace pallix
