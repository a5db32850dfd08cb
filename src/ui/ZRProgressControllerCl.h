// Reports the stages of an export run: a stage text and a position from 0 to 100.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

namespace pallix {

// What shows the progress: the progress window on Windows, the terminal or nothing elsewhere.
class IProgressView {
 public:
  virtual ~IProgressView() = default;
  virtual void Show() = 0;
  virtual void SetText(std::string_view text) = 0;
  // Also lets pending window messages run.
  virtual void SetPosition(std::int32_t position) = 0;
};

// The platform's own view (TProgressForm on Windows).
std::unique_ptr<IProgressView> CreateProgressView();

class ZRProgressControllerT {
 public:
  explicit ZRProgressControllerT(std::unique_ptr<IProgressView> view = CreateProgressView())
      : view_(std::move(view)) {}

  void Show() { if (view_) view_->Show(); }
  void SetText(std::string_view text) { if (view_) view_->SetText(text); }
  void SetPosition(std::int32_t position) { if (view_) view_->SetPosition(position); }

 private:
  std::unique_ptr<IProgressView> view_;
};

}  // namespace pallix
