#include "HostAnswer.h"

#include <cstring>

#include "uPlugin.h"
#include "uXMLSceneReader.h"

namespace pallix::bench {

namespace {

const std::string* gAnswer = nullptr;

// Announces the document, then copies it into the answer.
std::int32_t PALLIX_STDCALL AnswerDocument(HostCallbackRecord* record) {
  if (record->Mode == 0) {
    record->AnswerLength = static_cast<std::int32_t>(gAnswer->size());
  } else {
    std::memcpy(record->Answer, gAnswer->data(), gAnswer->size());
  }
  return 0;
}

}  // namespace

std::unique_ptr<TScene> ReadSceneFromHost(const std::string& document) {
  ServeDocument(document);
  TXMLSceneReader reader;
  auto scene = reader.ReadScene();
  StopServing();
  return scene;
}

void ServeDocument(const std::string& document) {
  gAnswer = &document;
  SetHostCallback(&AnswerDocument);
}

void StopServing() {
  SetHostCallback(nullptr);
  gAnswer = nullptr;
}

}  // namespace pallix::bench
