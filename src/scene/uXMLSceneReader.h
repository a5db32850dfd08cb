// Asks the host for the scene and turns its answer into a TScene.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "uScene.h"

namespace pallix {

class TXMLSceneReader {
 public:
  // Every vertex coordinate is multiplied by it; light positions are not.
  float Scale = 1.0f;
  // Percentage done, 0..100: about 0..50 while parsing, 50..100 while reading the tree.
  std::function<void(std::int32_t)> OnProgress;

  // Sends the scene request, parses the answer and returns the new scene.
  std::unique_ptr<TScene> ReadScene();

  // The request document sent to the host.
  static std::string SceneRequest();

 private:
  class Builder;
  void ParseProgress(std::int32_t position, std::int32_t total);
  void NodeProgress(std::int32_t position);

  std::int32_t total_ = 0;  // document length as last reported by the parser
};

}  // namespace pallix
