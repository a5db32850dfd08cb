// The scene reader on any document: a scene whose every part can be reached, or one of the
// system's errors, never anything else.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "BasicFn.h"
#include "FuzzHost.h"
#include "uXMLSceneReader.h"

namespace {

// Reads every field the conversion reads, so the sanitizers see any dangling reference.
void Walk(const pallix::TScene& scene) {
  volatile std::size_t sink = scene.Author.size() + scene.Comment.size();
  for (const auto& material : scene.Materials) {
    for (const auto& layer : material->Layers) sink = sink + layer->TextureFile.size() + layer->Color;
  }
  for (const auto& [name, category] : scene.Categories) {
    for (const pallix::TMaterial* material : category->Materials) sink = sink + material->Name.size();
  }
  for (const auto& primitive : scene.Primitives) {
    for (const auto& polygon : primitive->Polygons) {
      for (const pallix::TVertex* corner : polygon->Vertices) {
        if (corner) sink = sink + corner->Id.size() + static_cast<std::size_t>(corner->X != corner->Y);
      }
      if (polygon->Material) sink = sink + polygon->Material->Id.size();
      for (const auto& set : polygon->UVSets) {
        for (const auto& uv : set.Coordinates) sink = sink + static_cast<std::size_t>(uv.U < uv.V);
      }
    }
  }
  for (const auto& light : scene.Lights) sink = sink + light->Name.size();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const pallix::fuzz::MemoryHost host(std::string_view(reinterpret_cast<const char*>(data), size));
  pallix::fuzz::CheckedProgress progress;
  pallix::TXMLSceneReader reader;
  reader.OnProgress = [&](std::int32_t position) { progress.SetPosition(position); };
  try {
    Walk(*reader.ReadScene());
  } catch (const pallix::Error&) {
  }
  return 0;
}
