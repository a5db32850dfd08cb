// Material building: the scene's materials become output materials, texture units and textures.
#include <unordered_map>

#include "BasicFn.h"
#include "ZROgreMeshCn.h"
#include "ZROgreMeshExporterCl.h"

namespace pallix {

namespace {

// A control character would cut the name in the binary mesh and the script line, so every
// file gets the same name with underscores instead.
std::string CleanMaterialName(std::string name) {
  for (char& c : name) {
    if (static_cast<unsigned char>(c) < 32) c = '_';
  }
  return name;
}

// A colour layer's generated bitmap is named after its file's name part, which for the editor
// ends at a backslash or a drive colon only: "a/b.png" stays one name, as the editor files it.
std::string TextureNameOf(const TMaterialLayer& layer) {
  if (layer.LayerType != TLayerType::color) return layer.TextureFile;
  std::string_view name = layer.TextureFile;
  name.remove_prefix(name.find_last_of("\\:") + 1);  // npos + 1 is 0
  const std::size_t dot = name.rfind('.');
  std::string result = "color";
  result += name.substr(0, dot);
  result += ".bmp";
  return result;
}

// Red, green and blue bytes, then the name: the key of a colour texture.
std::string ColorKey(std::string_view name, std::uint32_t color) {
  std::string key;
  key.reserve(3 + name.size());
  for (int shift = 0; shift < 24; shift += 8) key += static_cast<char>(color >> shift);
  key += name;
  return key;
}

}  // namespace

void ZROgreMeshExporterT::ProcessMaterials(TScene& scene) {
  if (Materials) return;
  Progress.SetText("Processing materials...");
  Progress.SetPosition(0);
  Materials = std::make_unique<std::vector<std::unique_ptr<ZROgreMaterialT>>>();

  const std::int32_t n = scene.MaterialCount();
  for (std::int32_t i = 0; i < n; ++i) {
    const TMaterial& source = *scene.GetMaterial(i);
    auto& material = *Materials->emplace_back(std::make_unique<ZROgreMaterialT>());
    material.Name = CleanMaterialName(materialNamePrefix + source.Name);

    for (std::int32_t j = 0; j < source.LayerCount(); ++j) {
      const TMaterialLayer& layer = *source.GetLayer(j);
      ZROgreTextureT* texture = nullptr;
      if (layer.LayerType == TLayerType::color) {
        // Every use sets the colour: the last layer decides the alpha of a shared texture.
        texture = FindOrAddColorTexture(TextureNameOf(layer), layer.Color);
        texture->Color = layer.Color;
      } else {
        texture = FindOrAddTexture(TextureNameOf(layer));
      }
      if (layer.IsLightmap) {
        material.IsLightmapped = true;
        texture->IsLightmap = true;
        material.Name = CleanMaterialName(materialNamePrefix + Format("LightMapped%d", {LightmapCounter}));
        ++LightmapCounter;
      }
      const std::string_view operation =
          j == 0 && layer.Blend == TBlendOperation::replace ? "modulate" : OgreBlendOperation(layer.Blend);
      material.AddTextureUnit(texture, std::string(operation), j);
    }

    if (material.IsLightmapped && allowDynamicLighting == 1 && material.TextureUnitCount() > 0 &&
        material.GetTextureUnit(0)->Operation == "modulate") {
      material.GetTextureUnit(0)->Operation = "replace";
    }
    Progress.SetPosition(static_cast<std::int32_t>(std::int64_t(i) * 100 / n));
  }
}

void ZROgreMeshExporterT::IndexTextures() {
  TextureIndex& index = textureIndex_;
  if (index.indexed > Textures.size()) index = {};
  for (; index.indexed < Textures.size(); ++index.indexed) {
    const ZROgreTextureT& texture = *Textures[index.indexed];
    index.byName.try_emplace(texture.FileName, index.indexed);
    if (texture.IsColorTexture)
      index.byColor.try_emplace(ColorKey(texture.FileName, texture.Color), index.indexed);
  }
}

ZROgreTextureT* ZROgreMeshExporterT::FindOrAddTexture(const std::string& name) {
  IndexTextures();
  const auto found = textureIndex_.byName.find(name);
  if (found != textureIndex_.byName.end()) {
    ZROgreTextureT* texture = Textures[found->second].get();
    if (texture->FileName == name) return texture;
    // The list was changed behind the index's back: index it afresh.
    textureIndex_ = {};
    return FindOrAddTexture(name);
  }
  textureIndex_.byName.emplace(name, Textures.size());
  ++textureIndex_.indexed;
  return Textures.emplace_back(std::make_unique<ZROgreTextureT>(name)).get();
}

ZROgreTextureT* ZROgreMeshExporterT::FindOrAddColorTexture(const std::string& name, std::uint32_t color) {
  IndexTextures();
  std::string key = ColorKey(name, color);
  const auto found = textureIndex_.byColor.find(key);
  if (found != textureIndex_.byColor.end()) {
    ZROgreTextureT* texture = Textures[found->second].get();
    if (texture->IsColorTexture && texture->FileName == name && ColorKey(name, texture->Color) == key)
      return texture;
    textureIndex_ = {};
    return FindOrAddColorTexture(name, color);
  }
  ZROgreTextureT* texture = FindOrAddTexture(name);
  std::size_t position = textureIndex_.byName.at(name);
  if (texture->IsColorTexture) {
    // The name already paints another colour: this colour gets a texture of its own.
    position = Textures.size();
    texture = Textures.emplace_back(std::make_unique<ZROgreTextureT>(name)).get();
    ++textureIndex_.indexed;
  }
  texture->IsColorTexture = true;
  texture->Color = color;
  textureIndex_.byColor.emplace(std::move(key), position);
  return texture;
}

void ZROgreMeshExporterT::PruneMaterials() {
  if (!Materials) return;
  std::erase_if(*Materials, [](const std::unique_ptr<ZROgreMaterialT>& m) { return !m->Used; });
}

void ZROgreMeshExporterT::PruneTextures() {
  std::unordered_map<const ZROgreTextureT*, std::size_t> position;
  for (std::size_t i = 0; i < Textures.size(); ++i) position.emplace(Textures[i].get(), i);
  std::vector<std::uint8_t> referenced(Textures.size(), 0);
  if (Materials) {
    for (const auto& material : *Materials) {
      for (const auto& unit : material->TextureUnits) {
        const auto found = position.find(unit->Texture);
        if (found == position.end()) Raise("Texture not found in list.");
        referenced[found->second] = 1;
      }
    }
  }
  std::size_t kept = 0;
  for (std::size_t i = 0; i < Textures.size(); ++i) {
    if (referenced[i]) Textures[kept++] = std::move(Textures[i]);
  }
  Textures.resize(kept);
  textureIndex_ = {};  // positions have moved
}

}  // namespace pallix
