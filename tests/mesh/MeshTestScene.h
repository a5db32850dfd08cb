// Small scenes built in code for the conversion and material tests.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "BasicFn.h"
#include "uScene.h"

namespace pallix::test {

struct Layer {
  std::string texture;
  TBlendOperation blend = TBlendOperation::replace;
  TLayerType type = TLayerType::texture;
  bool lightmap = false;
  std::uint32_t color = 0;
};

inline TMaterial* AddMaterial(TScene& scene, const std::string& name, const std::vector<Layer>& layers = {}) {
  auto material = std::make_unique<TMaterial>();
  material->Id = "m" + IntToStr(scene.MaterialCount());
  material->Name = name;
  for (const Layer& l : layers) {
    auto layer = std::make_unique<TMaterialLayer>();
    layer->TextureFile = l.texture;
    layer->Blend = l.blend;
    layer->LayerType = l.type;
    layer->IsLightmap = l.lightmap;
    layer->Color = l.color;
    material->AddLayer(std::move(layer));
  }
  TMaterial* result = material.get();
  scene.AddMaterial(std::move(material));
  return result;
}

inline TPrimitive* AddPrimitive(TScene& scene) {
  auto primitive = std::make_unique<TPrimitive>();
  TPrimitive* result = primitive.get();
  scene.AddPrimitive(std::move(primitive));
  return result;
}

using Corner = std::array<float, 3>;
using UVSet = std::vector<std::pair<float, float>>;

// Each corner gets its own scene vertex; equal positions weld all the same.
inline TPolygon* AddPolygon(TPrimitive& primitive, TMaterial* material, const std::vector<Corner>& corners,
                            const std::vector<UVSet>& uvSets = {}) {
  auto polygon = std::make_unique<TPolygon>();
  polygon->Material = material;
  for (const Corner& c : corners) {
    auto vertex = std::make_unique<TVertex>();
    vertex->Id = "v" + IntToStr(static_cast<std::int64_t>(primitive.Vertices.size()));
    vertex->X = c[0];
    vertex->Y = c[1];
    vertex->Z = c[2];
    polygon->AddVertex(vertex.get());
    primitive.AddVertex(std::move(vertex));
  }
  for (std::size_t s = 0; s < uvSets.size(); ++s) {
    for (const auto& [u, v] : uvSets[s]) polygon->GetUVSet(static_cast<std::int32_t>(s)).AppendUV(u, v);
  }
  TPolygon* result = polygon.get();
  primitive.AddPolygon(std::move(polygon));
  return result;
}

}  // namespace pallix::test
