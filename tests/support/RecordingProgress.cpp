#include "RecordingProgress.h"

#include <algorithm>

namespace pallix {

namespace {

class RecordingView : public IProgressView {
 public:
  explicit RecordingView(ProgressLog& log) : log_(log) {}
  void Show() override { log_.events.push_back("show"); }
  void SetText(std::string_view text) override { log_.events.push_back("text:" + std::string(text)); }
  void SetPosition(std::int32_t position) override {
    log_.events.push_back("pos:" + std::to_string(position));
  }

 private:
  ProgressLog& log_;
};

}  // namespace

std::vector<std::int32_t> ProgressLog::Positions() const {
  std::vector<std::int32_t> out;
  for (const auto& e : events) {
    if (e.rfind("pos:", 0) == 0) out.push_back(std::stoi(e.substr(4)));
  }
  return out;
}

std::vector<std::string> ProgressLog::Texts() const {
  std::vector<std::string> out;
  for (const auto& e : events) {
    if (e.rfind("text:", 0) == 0) out.push_back(e.substr(5));
  }
  return out;
}

std::vector<std::string> ProgressLog::From(const std::string& text) const {
  const auto it = std::find(events.begin(), events.end(), "text:" + text);
  return {it, events.end()};
}

std::unique_ptr<IProgressView> MakeRecordingView(ProgressLog& log) {
  return std::make_unique<RecordingView>(log);
}

}  // namespace pallix
