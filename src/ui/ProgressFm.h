// The progress view without a window system: the stage and percentage on the terminal.
#pragma once

#include <string>

#include "ZRProgressControllerCl.h"

namespace pallix {

class TProgressForm : public IProgressView {
 public:
  // Writes only when `enabled` and stderr is a terminal; otherwise silent.
  explicit TProgressForm(bool enabled);
  ~TProgressForm() override;

  void Show() override {}
  void SetText(std::string_view text) override { text_ = text; }
  void SetPosition(std::int32_t position) override;

 private:
  bool enabled_;
  bool wrote_ = false;
  std::size_t lastLength_ = 0;
  std::string text_ = "Progress...";
};

// Whether views made by CreateProgressView write to the terminal (off unless a front end asks).
void EnableTerminalProgress(bool enabled);

}  // namespace pallix
