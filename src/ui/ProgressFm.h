// The progress view: a small window on Windows (win32/ProgressFm.cpp), the stage and
// percentage on the terminal elsewhere (ProgressFm.cpp).
#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>

#include "ZRProgressControllerCl.h"

namespace pallix {

#if defined(_WIN32)

// "Progress": a label and a bar from 0 to 100; created hidden, removed when released.
class TProgressForm : public IProgressView {
 public:
  TProgressForm();
  ~TProgressForm() override;
  TProgressForm(const TProgressForm&) = delete;
  TProgressForm& operator=(const TProgressForm&) = delete;

  void Show() override;
  // Shows at the next SetPosition.
  void SetText(std::string_view text) override;
  // Positions outside 0 to 100 are held at the nearest end; then pending messages run.
  void SetPosition(std::int32_t position) override;

 private:
  struct Window;
  std::unique_ptr<Window> window_;
};

#else

// One line on a terminal, redrawn in place: drawn only when it changes, never as wide as the
// terminal (read at each draw, as the window may be resized), so the cursor never moves to a
// new row; erased by Clear and when the line goes.
class TTerminalLine {
 public:
  // Silent unless enabled.
  TTerminalLine(std::FILE* out, bool enabled) : out_(out), enabled_(enabled) {}
  ~TTerminalLine() { Clear(); }
  TTerminalLine(const TTerminalLine&) = delete;
  TTerminalLine& operator=(const TTerminalLine&) = delete;

  bool Enabled() const { return enabled_; }
  void Draw(std::string line);
  // Erases the line, so that other output starts on a clean row.
  void Clear();

 private:
  std::FILE* out_;
  bool enabled_;
  std::size_t length_ = 0;  // of the line on screen; 0 when none is
  std::string shown_;
};

class TProgressForm : public IProgressView {
 public:
  // Writes only when `enabled` and stderr is a terminal; otherwise silent.
  explicit TProgressForm(bool enabled);

  void Show() override {}
  void SetText(std::string_view text) override {
    text_ = text;
    textChanged_ = text_ != shownText_;
  }
  void SetPosition(std::int32_t position) override;

 private:
  TTerminalLine line_;
  std::string text_ = "Progress...";
  std::string shownText_;
  std::int32_t shownPercent_ = -1;
  // Whether text_ differs from what is shown: positions come by the hundred thousand, texts
  // a few times a run, so the comparison is made when the text is set.
  bool textChanged_ = true;
};

#endif

// Whether views made by CreateProgressView write to the terminal (off unless a front end
// asks). No effect on Windows, where the view is the window.
void EnableTerminalProgress(bool enabled);

}  // namespace pallix
