#include "FileHost.h"

#include <algorithm>
#include <cassert>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>

#include "uXMLReader.h"

namespace pallix {

namespace {

TFileHost* gActive = nullptr;

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// The reader decodes the five named entities; these three are enough inside element text.
std::string EscapeText(const std::string& text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

enum class Request { Unknown, Scene, InstallDirectory };

Request Classify(const char* text) {
  if (!text) return Request::Unknown;
  try {
    TXMLStringReader reader{std::string(text)};
    const TXMLNode* root = reader.RootNode();
    if (!root || root->Name() != "request") return Request::Unknown;
    bool scene = false;
    for (std::int32_t i = 0; i < root->ChildCount(); ++i) {
      const std::string_view name = root->GetChild(i)->Name();
      if (name == "installdirectory") return Request::InstallDirectory;
      if (name == "materials" || name == "primitives" || name == "lights") scene = true;
    }
    return scene ? Request::Scene : Request::Unknown;
  } catch (...) {
    return Request::Unknown;
  }
}

}  // namespace

TFileHost::TFileHost(std::string sceneFileName, std::string installDirectory)
    : sceneFileName_(std::move(sceneFileName)),
      installDirectory_(std::move(installDirectory)),
      previous_(GetHostCallback()) {
  assert(!gActive);
  gActive = this;
  SetHostCallback(&TFileHost::Callback);
}

TFileHost::~TFileHost() {
  SetHostCallback(previous_);
  gActive = nullptr;
}

std::int32_t PALLIX_STDCALL TFileHost::Callback(HostCallbackRecord* record) {
  if (!gActive || !record) return kUnknownRequest;
  return gActive->Answer(*record);
}

std::int32_t TFileHost::Answer(HostCallbackRecord& record) const {
  switch (Classify(record.Request)) {
    case Request::Scene:
      return AnswerScene(record);
    case Request::InstallDirectory:
      return AnswerText(record, "<answer><installdirectory>" + EscapeText(installDirectory_) +
                                    "</installdirectory></answer>");
    case Request::Unknown:
      break;
  }
  return kUnknownRequest;
}

std::int32_t TFileHost::AnswerText(HostCallbackRecord& record, const std::string& text) const {
  if (text.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) return kSceneTooLarge;
  if (record.Mode == 0) {
    record.AnswerLength = static_cast<std::int32_t>(text.size());
  } else if (record.Answer && record.AnswerLength > 0) {
    std::memcpy(record.Answer, text.data(), std::min<std::size_t>(text.size(), record.AnswerLength));
  }
  return 0;
}

std::int32_t TFileHost::AnswerScene(HostCallbackRecord& record) const {
  // The document goes straight from the file into the plug-in's buffer: it is never held twice.
  FilePtr file(std::fopen(sceneFileName_.c_str(), "rb"));
  if (!file) return kSceneUnreadable;
  if (record.Mode == 0) {
    if (std::fseek(file.get(), 0, SEEK_END) != 0) return kSceneUnreadable;
    const long size = std::ftell(file.get());
    if (size < 0) return kSceneUnreadable;
    if (size > std::numeric_limits<std::int32_t>::max()) return kSceneTooLarge;
    record.AnswerLength = static_cast<std::int32_t>(size);
    return 0;
  }
  if (!record.Answer || record.AnswerLength <= 0) return 0;
  const std::size_t want = static_cast<std::size_t>(record.AnswerLength);
  const std::size_t got = std::fread(record.Answer, 1, want, file.get());
  // A document that changed size between the two calls is not the one that was measured.
  if (got != want || std::ferror(file.get())) return kSceneUnreadable;
  return 0;
}

}  // namespace pallix
