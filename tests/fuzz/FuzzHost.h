// The editor's side of the callback protocol, in memory, for the fuzz targets: the scene
// request is answered with the input, every other request with an empty answer.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "ZRProgressControllerCl.h"
#include "uPlugin.h"

namespace pallix::fuzz {

class MemoryHost {
 public:
  explicit MemoryHost(std::string_view scene) {
    scene_ = scene;
    SetHostCallback(&Callback);
  }
  ~MemoryHost() { SetHostCallback(nullptr); }
  MemoryHost(const MemoryHost&) = delete;
  MemoryHost& operator=(const MemoryHost&) = delete;

 private:
  static std::int32_t PALLIX_STDCALL Callback(HostCallbackRecord* record) {
    const bool scene = std::strstr(record->Request, "<primitives") != nullptr;
    const std::string_view answer = scene ? scene_ : std::string_view();
    if (record->Mode == 0) {
      record->AnswerLength = static_cast<std::int32_t>(answer.size());
    } else if (record->AnswerLength > 0) {
      std::memcpy(record->Answer, answer.data(), answer.size());
    }
    return 0;
  }
  static inline std::string_view scene_;
};

// Percentages must stay within 0..100 whatever the document.
class CheckedProgress : public IProgressView {
 public:
  void Show() override {}
  void SetText(std::string_view) override {}
  void SetPosition(std::int32_t position) override {
    if (position < 0 || position > 100) std::abort();
  }
};

}  // namespace pallix::fuzz
