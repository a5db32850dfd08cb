// A progress view that records every call, for tests that check stage texts and positions.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ZRProgressControllerCl.h"

namespace pallix {

// Events as text: "show", "text:<stage text>", "pos:<position>". The log must outlive the view.
struct ProgressLog {
  std::vector<std::string> events;

  std::vector<std::int32_t> Positions() const;
  std::vector<std::string> Texts() const;
  // The events from the first "text:<text>" on (empty when that text never came).
  std::vector<std::string> From(const std::string& text) const;
};

std::unique_ptr<IProgressView> MakeRecordingView(ProgressLog& log);

}  // namespace pallix
