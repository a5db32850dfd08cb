// The editor's side of the host channel for benchmarks: a document answered from memory.
#pragma once

#include <memory>
#include <string>

#include "uScene.h"

namespace pallix::bench {

// Reads document into the scene model the way an export does, through the host channel.
std::unique_ptr<TScene> ReadSceneFromHost(const std::string& document);

// Answers every request with document until StopServing, as the editor answers the scene
// request. The document must outlive the serving.
void ServeDocument(const std::string& document);
void StopServing();

}  // namespace pallix::bench
