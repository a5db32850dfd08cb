// The editor's side of the callback protocol, served from files, for exporting saved scene
// documents without the editor: the scene request is answered with the document file, the
// install-directory request with a folder given on the command line.
#pragma once

#include <cstdint>
#include <string>

#include "uPlugin.h"

namespace pallix {

class TFileHost {
 public:
  // Registers itself as the host callback until destroyed. One host at a time.
  TFileHost(std::string sceneFileName, std::string installDirectory);
  ~TFileHost();
  TFileHost(const TFileHost&) = delete;
  TFileHost& operator=(const TFileHost&) = delete;

  // Status codes this host answers with when it cannot serve a request.
  static constexpr std::int32_t kUnknownRequest = 1;
  static constexpr std::int32_t kSceneUnreadable = 2;
  static constexpr std::int32_t kSceneTooLarge = 3;

  static std::int32_t PALLIX_STDCALL Callback(HostCallbackRecord* record);

 private:
  std::int32_t Answer(HostCallbackRecord& record) const;
  std::int32_t AnswerScene(HostCallbackRecord& record) const;
  std::int32_t AnswerText(HostCallbackRecord& record, const std::string& text) const;

  std::string sceneFileName_;
  std::string installDirectory_;
  HostCallback previous_;
};

}  // namespace pallix
