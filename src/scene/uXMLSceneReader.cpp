#include "uXMLSceneReader.h"

#include <cmath>
#include <string_view>

#include "BasicFn.h"
#include "uPlugin.h"
#include "uXMLReader.h"
#include "uXMLSceneConstants.h"
#include "uXMLWriter.h"

namespace pallix {

namespace {

// Children are read by index; names arrive folded to lower case.
template <typename F>
void ForEachChild(const TXMLNode& node, std::string_view name, F&& read) {
  const std::int32_t count = node.ChildCount();
  for (std::int32_t i = 0; i < count; ++i) {
    const TXMLNode* child = node.GetChild(i);
    if (child && child->Name() == name) read(*child);
  }
}

// Room for n more items without giving up the vector's doubling.
template <typename V>
void ReserveMore(V& items, std::size_t n) {
  const std::size_t needed = items.size() + n;
  if (needed > items.capacity()) items.reserve(std::max(needed, items.capacity() * 2));
}

// part / whole * 50, rounded to the nearest, halves to even. Multiplying first keeps a true
// half exact (both products are exact in double), so ties round the same everywhere.
std::int32_t HalfPercent(std::int32_t part, std::int32_t whole) {
  return static_cast<std::int32_t>(std::nearbyint(static_cast<double>(part) * 50 / whole));
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The first eight characters as hexadecimal, in written order: "FF8040C0" is 0xFF8040C0.
std::uint32_t ParseAmbient(std::string_view value) {
  std::uint32_t result = 0;
  for (std::size_t i = 0; i < 8; ++i) {
    const int digit = i < value.size() ? HexDigit(value[i]) : -1;
    if (digit < 0) Raise("Invalid ambient color \"%s\".", {value});
    result = (result << 4) | static_cast<std::uint32_t>(digit);
  }
  return result;
}

// Components are neither limited nor masked: a value above 255 spills into the next byte.
std::uint32_t ReadRGB(const TXMLNode& node) {
  const auto r = static_cast<std::uint32_t>(node.GetIntProperty("r"));
  const auto g = static_cast<std::uint32_t>(node.GetIntProperty("g"));
  const auto b = static_cast<std::uint32_t>(node.GetIntProperty("b"));
  return r | (g << 8) | (b << 16);
}

void ReadXYZ(const TXMLNode& node, TVertex& vertex) {
  vertex.X = node.GetFloatProperty("x");
  vertex.Y = node.GetFloatProperty("y");
  vertex.Z = node.GetFloatProperty("z");
}

template <typename Enum, std::size_t N>
Enum LookUp(const std::array<std::string_view, N>& table, std::string_view value, std::string_view error) {
  const std::int32_t ordinal = FindKeyword(table, value);
  if (ordinal < 0) Raise(error, {value});
  return static_cast<Enum>(ordinal);
}

// "u0", "v0", "u1", ...
std::string UVName(char axis, std::size_t layer) {
  std::string name(1, axis);
  name += IntToStr(static_cast<std::int64_t>(layer));
  return name;
}

// The names for the usual layer counts, built once.
class UVNames {
 public:
  static constexpr std::size_t kCached = 16;
  UVNames() {
    for (std::size_t k = 0; k < kCached; ++k) {
      u_[k] = UVName('u', k);
      v_[k] = UVName('v', k);
    }
  }
  std::string_view U(std::size_t k) const { return u_[k]; }
  std::string_view V(std::size_t k) const { return v_[k]; }

 private:
  std::array<std::string, kCached> u_, v_;
};

const UVNames& UVNamesTable() {
  static const UVNames names;
  return names;
}

}  // namespace

std::string TXMLSceneReader::SceneRequest() {
  TXMLStringWriter writer;
  writer.OpenTag("request");
  writer.AddProperty("version", "1.6");
  for (const char* section : {"materials", "primitives", "lights"}) {
    writer.OpenTag(section);
    writer.AddProperty("subset", "all");
    writer.CloseTag(section);
  }
  writer.CloseTag("request");
  return writer.GetText();
}

std::unique_ptr<TScene> TXMLSceneReader::ReadScene() {
  std::string answer = SendHostRequest(SceneRequest());
  TrimAnswer(answer);
  if (answer.empty()) Raise("The scene document is empty.");

  TXMLStringReader reader(std::move(answer));
  reader.OnProgress = [this](std::int32_t position, std::int32_t total) { ParseProgress(position, total); };
  const TXMLNode* root = reader.RootNode();
  if (!root) Raise("The scene document is empty.");  // comments only

  auto scene = std::make_unique<TScene>();
  const std::int32_t count = root->ChildCount();
  for (std::int32_t i = 0; i < count; ++i) {
    const TXMLNode& child = *root->GetChild(i);
    const std::string_view name = child.Name();
    if (name == "settings") {
      ReadSettings(child, *scene);
    } else if (name == "materials") {
      ReadMaterials(child, *scene);
    } else if (name == "primitives") {
      ReadPrimitives(child, *scene);
    } else if (name == "lights") {
      ReadLights(child, *scene);
    }
  }
  return scene;
}

void TXMLSceneReader::ParseProgress(std::int32_t position, std::int32_t total) {
  total_ = total;
  if (OnProgress && total > 0) OnProgress(HalfPercent(position, total));
}

void TXMLSceneReader::NodeProgress(const TXMLNode& node) {
  if (!OnProgress) return;
  // Tiny documents never report a total: the bar sits at the reading phase's start.
  if (total_ <= 0) {
    OnProgress(50);
    return;
  }
  OnProgress(HalfPercent(node.Position(), total_) + 50);
}

void TXMLSceneReader::ReadSettings(const TXMLNode& node, TScene& scene) {
  scene.Ambient = ParseAmbient(node.GetProperty("ambient"));
  scene.Author = node.GetProperty("author");
  scene.Comment = node.GetProperty("comment");
  scene.ShadowOpacity = node.GetIntProperty("shadowOpacity");
}

void TXMLSceneReader::ReadMaterials(const TXMLNode& node, TScene& scene) {
  NodeProgress(node);
  ForEachChild(node, "category", [&](const TXMLNode& category) {
    const std::string_view name = category.GetProperty("name");
    ForEachChild(category, "material",
                 [&](const TXMLNode& material) { ReadMaterial(material, name, scene); });
  });
}

void TXMLSceneReader::ReadMaterial(const TXMLNode& node, std::string_view category, TScene& scene) {
  auto created = std::make_unique<TMaterial>();
  TMaterial& material = *created;
  material.Category = category;
  scene.AddMaterial(std::move(created));
  material.Id = node.GetProperty("id");
  material.Name = node.GetProperty("name");
  material.Used = node.GetBoolProperty("used");
  ForEachChild(node, "layer", [&](const TXMLNode& layer) { ReadLayer(layer, material); });
}

void TXMLSceneReader::ReadLayer(const TXMLNode& node, TMaterial& material) {
  // Earlier layers only: a lightmap must be the last one. Any layer after one raises, so only
  // the last layer so far can be one.
  const bool afterLightmap =
      material.LayerCount() > 0 && material.GetLayer(material.LayerCount() - 1)->IsLightmap;
  TMaterialLayer& layer = *material.GetLayer(material.AddLayer(std::make_unique<TMaterialLayer>()));

  const std::string_view type = node.GetProperty("type");
  const std::int32_t layerType = FindKeyword(kLayerTypeKeywords, type);
  if (layerType >= 0) {
    layer.LayerType = static_cast<TLayerType>(layerType);
  } else if (type == kLightmapKeyword) {
    layer.LayerType = TLayerType::texture;
  } else {
    Raise("Unknown layer type \"%s\".", {type});
  }
  layer.Blend = LookUp<TBlendOperation>(kBlendOperationKeywords, node.GetProperty("blend"),
                                        "Unknown blend operation \"%s\".");

  const bool isLightmap = node.GetProperty("type") == kLightmapKeyword;
  if (afterLightmap) {
    if (isLightmap) Raise("Multiple lightmaps encountered for material \"%s\"", {material.Name});
    Raise("Layers encountered after lightmap for material \"%s\"", {material.Name});
  }
  layer.IsLightmap = isLightmap;

  const std::int32_t count = node.ChildCount();
  for (std::int32_t i = 0; i < count; ++i) {
    const TXMLNode& child = *node.GetChild(i);
    if (child.Name() == "color") {
      // r, g and b are read first: their errors come before any of "a".
      const std::uint32_t rgb = ReadRGB(child);
      const std::uint32_t alpha =
          child.HasProperty("a") ? static_cast<std::uint32_t>(child.GetIntProperty("a")) : 255u;
      layer.Color = rgb | (alpha << 24);
    } else if (child.Name() == "texture") {
      layer.TextureFile = child.GetProperty("file");
    }
  }
  if (layer.LayerType == TLayerType::texture && layer.TextureFile.empty()) {
    Raise("Missing texture node for texture type layer.");
  }
}

void TXMLSceneReader::ReadPrimitives(const TXMLNode& node, TScene& scene) {
  ForEachChild(node, "primitive", [&](const TXMLNode& primitive) { ReadPrimitive(primitive, scene); });
}

void TXMLSceneReader::ReadPrimitive(const TXMLNode& node, TScene& scene) {
  NodeProgress(node);
  TPrimitive& primitive = *scene.GetPrimitive(scene.AddPrimitive(std::make_unique<TPrimitive>()));
  primitive.Id = node.GetProperty("id");
  primitive.Name = node.GetProperty("name");
  primitive.PrimitiveType = LookUp<TPrimitiveType>(kPrimitiveTypeKeywords, node.GetProperty("type"),
                                                   "Unknown primitive type \"%s\".");
  primitive.Visible = node.GetBoolProperty("visible");
  primitive.Snap =
      LookUp<TSnapMethod>(kSnapMethodKeywords, node.GetProperty("snap"), "Unknown snap method \"%s\".");
  primitive.AutoUV = node.GetBoolProperty("autoUV");

  const std::int32_t count = node.ChildCount();
  for (std::int32_t i = 0; i < count; ++i) {
    const TXMLNode& child = *node.GetChild(i);
    const std::string_view name = child.Name();
    if (name == "tag") {
      primitive.Tag = child.Text();
    } else if (name == "vertices") {
      ReadVertices(child, primitive);
    } else if (name == "polygons") {
      ReserveMore(primitive.Polygons, static_cast<std::size_t>(child.ChildCount()));
      ForEachChild(child, "poly", [&](const TXMLNode& poly) { ReadPolygon(poly, primitive, scene); });
    }
  }
}

void TXMLSceneReader::ReadVertices(const TXMLNode& node, TPrimitive& primitive) {
  primitive.ReserveVertices(static_cast<std::size_t>(node.ChildCount()));
  const double scale = Scale;
  ForEachChild(node, "vertex", [&](const TXMLNode& child) {
    auto vertex = std::make_unique<TVertex>();
    vertex->Id = child.GetProperty("id");
    TVertex& stored = *vertex;
    primitive.AddVertex(std::move(vertex));
    // A float times a float is exact in double: one rounding, as the stored single.
    stored.X = static_cast<float>(child.GetFloatProperty("x") * scale);
    stored.Y = static_cast<float>(child.GetFloatProperty("y") * scale);
    stored.Z = static_cast<float>(child.GetFloatProperty("z") * scale);
  });
}

void TXMLSceneReader::ReadPolygon(const TXMLNode& node, TPrimitive& primitive, const TScene& scene) {
  TPolygon& polygon = *primitive.GetPolygon(primitive.AddPolygon(std::make_unique<TPolygon>()));
  polygon.Material = scene.FindMaterial(node.GetProperty("mid"));
  const std::size_t layers = polygon.Material ? static_cast<std::size_t>(polygon.Material->LayerCount()) : 0;

  // Exact room for the corners and their UVs, from the primitive's arena: polygons are
  // many and small, and per-array allocations would cost more than the coordinates.
  const auto corners = static_cast<std::size_t>(node.ChildCount());
  TArena& arena = primitive.Arena();
  polygon.Vertices.Borrow(arena, corners);

  const UVNames& names = UVNamesTable();
  ForEachChild(node, "vertex", [&](const TXMLNode& child) {
    const std::string_view vid = child.GetProperty("vid");
    TVertex* vertex = primitive.FindVertex(vid);
    if (!vertex) Raise("Unknown vertex \"%s\" in primitive \"%s\".", {vid, primitive.Id});
    polygon.AddVertex(vertex);
    if (layers > 0 && polygon.UVSets.empty()) {
      polygon.UVSets.Borrow(arena, layers);
      polygon.UVSets.GrowTo(layers);
      for (TUVCoordinates& set : polygon.UVSets) set.Coordinates.Borrow(arena, corners);
    }
    for (std::size_t k = 0; k < layers; ++k) {
      float u, v;
      if (k < UVNames::kCached) {
        u = child.GetFloatProperty(names.U(k));
        v = child.GetFloatProperty(names.V(k));
      } else {
        u = child.GetFloatProperty(UVName('u', k));
        v = child.GetFloatProperty(UVName('v', k));
      }
      polygon.UVSets[k].AppendUV(u, v);
    }
  });
}

void TXMLSceneReader::ReadLights(const TXMLNode& node, TScene& scene) {
  ForEachChild(node, "light", [&](const TXMLNode& light) { ReadLight(light, scene); });
}

void TXMLSceneReader::ReadLight(const TXMLNode& node, TScene& scene) {
  NodeProgress(node);
  auto created = std::make_unique<TLight>();
  TLight& light = *created;
  scene.AddLight(std::move(created));
  light.Id = node.GetProperty("id");
  light.LightType =
      LookUp<TLightType>(kLightTypeKeywords, node.GetProperty("type"), "Unknown light type \"%s\".");
  light.Name = node.GetProperty("name");
  light.Range = node.GetIntProperty("range");
  light.Active = node.GetBoolProperty("active");
  light.Intensity = node.GetIntProperty("intensity");

  const std::int32_t count = node.ChildCount();
  for (std::int32_t i = 0; i < count; ++i) {
    const TXMLNode& child = *node.GetChild(i);
    const std::string_view name = child.Name();
    if (name == "attenuation") {
      light.AttenuationConstant = child.GetFloatProperty("constant");
      light.AttenuationLinear = child.GetFloatProperty("linear");
      light.AttenuationQuadratic = child.GetFloatProperty("quadratic");
    } else if (name == "direction") {
      ReadXYZ(child, light.Direction);
    } else if (name == "position") {
      ReadXYZ(child, light.Position);
    } else if (name == "cone") {
      if (light.LightType != TLightType::spot) Raise("Cone properties only supported for spotlights.");
      light.ConeInner = child.GetIntProperty("inner");
      light.ConeOuter = child.GetIntProperty("outer");
      light.ConeFalloff = child.GetIntProperty("falloff");
    } else if (name == "diffuse") {
      light.Diffuse = ReadRGB(child);
    } else if (name == "specular") {
      light.Specular = ReadRGB(child);
    }
  }
}

}  // namespace pallix
