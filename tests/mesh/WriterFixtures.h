// Hand-built meshes and materials for the writer tests.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ZROgreMeshCl.h"
#include "ZROgreMeshExporterCl.h"
#include "support/TempFolder.h"

namespace pallix::testing {

// An exporter without a progress window, owning whatever the test builds.
class WriterScene {
 public:
  WriterScene() : exporter(nullptr) {
    exporter.Materials = std::make_unique<std::vector<std::unique_ptr<ZROgreMaterialT>>>();
    exporter.SubMeshes = std::make_unique<std::vector<std::unique_ptr<ZROgreSubMeshT>>>();
  }

  ZROgreTextureT& Texture(const std::string& fileName, bool lightmap = false) {
    exporter.Textures.push_back(std::make_unique<ZROgreTextureT>(fileName));
    exporter.Textures.back()->IsLightmap = lightmap;
    return *exporter.Textures.back();
  }

  // A material with one unit per texture; unit i reads set i.
  ZROgreMaterialT& Material(const std::string& name, const std::vector<ZROgreTextureT*>& textures = {},
                            const std::vector<std::string>& operations = {}) {
    auto m = std::make_unique<ZROgreMaterialT>();
    m->Name = name;
    for (std::size_t i = 0; i < textures.size(); ++i) {
      m->TextureUnits.push_back(std::make_unique<ZROgreTextureUnitT>(
          textures[i], i < operations.size() ? operations[i] : "modulate", static_cast<std::int32_t>(i)));
      if (textures[i]->IsLightmap) m->IsLightmapped = true;
    }
    exporter.Materials->push_back(std::move(m));
    return *exporter.Materials->back();
  }

  // A submesh of `vertices` vertices in a row, each with `sets` coordinate sets, and faces
  // (i, i+1, i+2) for the first `faces` triples.
  ZROgreSubMeshT& SubMesh(ZROgreMaterialT& material, int vertices, int sets, int faces) {
    auto s = std::make_unique<ZROgreSubMeshT>();
    s->Material = &material;
    for (int i = 0; i < vertices; ++i) {
      ZROgreVertexT v(static_cast<float>(i), static_cast<float>(i) * 0.5f, -1.0f);
      v.Normal.Y = 1;
      for (int j = 0; j < sets; ++j) v.AddTextureCoordinates(static_cast<float>(j), 0.25f);
      s->Vertices.push_back(std::move(v));
    }
    for (int f = 0; f < faces; ++f) {
      ZROgreFaceInfoT face;
      face.Indices = {f, f + 1, f + 2};
      face.Material = &material;
      s->Faces.push_back(face);
    }
    exporter.SubMeshes->push_back(std::move(s));
    return *exporter.SubMeshes->back();
  }

  ZROgreMeshExporterT exporter;
};

}  // namespace pallix::testing
