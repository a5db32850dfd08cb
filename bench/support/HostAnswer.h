// The editor's side of the host channel for benchmarks: a document answered from memory.
#pragma once

#include <memory>
#include <string>

#include "uScene.h"

namespace pallix::bench {

// Reads document into the scene model the way an export does, through the host channel.
std::unique_ptr<TScene> ReadSceneFromHost(const std::string& document);

}  // namespace pallix::bench
