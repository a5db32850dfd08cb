#include "uXMLSceneReader.h"

#include <exception>
#include <string_view>
#include <vector>

#include "BasicFn.h"
#include "uPlugin.h"
#include "uXMLReader.h"
#include "uXMLSceneConstants.h"
#include "uXMLWriter.h"

namespace pallix {

namespace {

// part / whole * 50, rounded to the nearest, halves to even.
std::int32_t HalfPercent(std::int32_t part, std::int32_t whole) {
  return static_cast<std::int32_t>(DivideRoundingToEven(std::int64_t{part} * 50, whole));
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
std::uint32_t ReadRGB(const TXMLElement& node) {
  const auto r = static_cast<std::uint32_t>(node.GetIntProperty("r"));
  const auto g = static_cast<std::uint32_t>(node.GetIntProperty("g"));
  const auto b = static_cast<std::uint32_t>(node.GetIntProperty("b"));
  return r | (g << 8) | (b << 16);
}

void ReadXYZ(const TXMLElement& node, TVertex& vertex) {
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

// Builds the scene while the document is parsed, so no node tree is ever held. The document's
// order is the reading order: an element's properties are read when its start tag is, the
// checks that need its content when it ends. The first failure is kept, not raised: a later
// syntax error of the document wins over it.
class TXMLSceneReader::Builder final : public TXMLElementHandler {
 public:
  Builder(const TXMLSceneReader& reader, TScene& scene) : reader_(reader), scene_(scene) {}

  std::exception_ptr error;
  // Positions of the elements that report progress while the scene is read, in order.
  std::vector<std::int32_t> positions;

  void StartElement(const TXMLElement& element) override {
    if (error) return;
    try {
      stack_.push_back(Start(element));
    } catch (...) {
      error = std::current_exception();
    }
  }
  void Text(std::string_view text) override {
    if (!error && stack_.back() == Kind::Tag) tag_ += text;
  }
  void EndElement() override {
    if (error) return;
    try {
      const Kind kind = stack_.back();
      stack_.pop_back();
      End(kind);
    } catch (...) {
      error = std::current_exception();
    }
  }

 private:
  enum class Kind : std::uint8_t {
    Root,
    Materials,
    Category,
    Material,
    Layer,
    Primitives,
    Primitive,
    Tag,
    Vertices,
    Polygons,
    Poly,
    Lights,
    Light,
    Read,  // read whole at its start
    Skip,  // unknown here: skipped with everything inside
  };

  Kind Start(const TXMLElement& e) {
    if (stack_.empty()) return Kind::Root;  // its name is not examined
    const std::string_view name = e.Name();
    switch (stack_.back()) {
      case Kind::Root:
        if (name == "settings") {
          scene_.Ambient = ParseAmbient(e.GetProperty("ambient"));
          scene_.Author = e.GetProperty("author");
          scene_.Comment = e.GetProperty("comment");
          scene_.ShadowOpacity = e.GetIntProperty("shadowOpacity");
          return Kind::Read;
        }
        if (name == "materials") {
          positions.push_back(e.Position());
          return Kind::Materials;
        }
        if (name == "primitives") return Kind::Primitives;
        if (name == "lights") return Kind::Lights;
        break;
      case Kind::Materials:
        if (name == "category") {
          category_ = e.GetProperty("name");
          return Kind::Category;
        }
        break;
      case Kind::Category:
        if (name == "material") {
          StartMaterial(e);
          return Kind::Material;
        }
        break;
      case Kind::Material:
        if (name == "layer") {
          StartLayer(e);
          return Kind::Layer;
        }
        break;
      case Kind::Layer:
        if (name == "color") {
          // r, g and b are read first: their errors come before any of "a".
          const std::uint32_t rgb = ReadRGB(e);
          const std::uint32_t alpha =
              e.HasProperty("a") ? static_cast<std::uint32_t>(e.GetIntProperty("a")) : 255u;
          layer_->Color = rgb | (alpha << 24);
          return Kind::Read;
        }
        if (name == "texture") {
          layer_->TextureFile = e.GetProperty("file");
          return Kind::Read;
        }
        break;
      case Kind::Primitives:
        if (name == "primitive") {
          StartPrimitive(e);
          return Kind::Primitive;
        }
        break;
      case Kind::Primitive:
        if (name == "tag") {
          tag_.clear();
          return Kind::Tag;
        }
        if (name == "vertices") return Kind::Vertices;
        if (name == "polygons") return Kind::Polygons;
        break;
      case Kind::Vertices:
        if (name == "vertex") {
          ReadVertex(e);
          return Kind::Read;
        }
        break;
      case Kind::Polygons:
        if (name == "poly") {
          StartPolygon(e);
          return Kind::Poly;
        }
        break;
      case Kind::Poly:
        if (name == "vertex") {
          ReadCorner(e);
          return Kind::Read;
        }
        break;
      case Kind::Lights:
        if (name == "light") {
          StartLight(e);
          return Kind::Light;
        }
        break;
      case Kind::Light:
        ReadLightPart(e);
        return Kind::Read;
      default:
        break;
    }
    return Kind::Skip;
  }

  void End(Kind kind) {
    switch (kind) {
      case Kind::Layer:
        if (layer_->LayerType == TLayerType::texture && layer_->TextureFile.empty()) {
          Raise("Missing texture node for texture type layer.");
        }
        break;
      case Kind::Tag:
        primitive_->Tag = tag_;
        break;
      case Kind::Poly:
        EndPolygon();
        break;
      case Kind::Primitive:
        primitive_->Compact();
        break;
      default:
        break;
    }
  }

  void StartMaterial(const TXMLElement& e) {
    auto created = std::make_unique<TMaterial>();
    material_ = created.get();
    material_->Category = category_;
    scene_.AddMaterial(std::move(created));
    material_->Id = e.GetProperty("id");
    material_->Name = e.GetProperty("name");
    material_->Used = e.GetBoolProperty("used");
  }

  void StartLayer(const TXMLElement& e) {
    TMaterial& material = *material_;
    // Earlier layers only: a lightmap must be the last one. Any layer after one raises, so only
    // the last layer so far can be one.
    const bool afterLightmap =
        material.LayerCount() > 0 && material.GetLayer(material.LayerCount() - 1)->IsLightmap;
    layer_ = material.GetLayer(material.AddLayer(std::make_unique<TMaterialLayer>()));

    const std::string_view type = e.GetProperty("type");
    const std::int32_t layerType = FindKeyword(kLayerTypeKeywords, type);
    if (layerType >= 0) {
      layer_->LayerType = static_cast<TLayerType>(layerType);
    } else if (type == kLightmapKeyword) {
      layer_->LayerType = TLayerType::texture;
    } else {
      Raise("Unknown layer type \"%s\".", {type});
    }
    layer_->Blend = LookUp<TBlendOperation>(kBlendOperationKeywords, e.GetProperty("blend"),
                                            "Unknown blend operation \"%s\".");
    const bool isLightmap = e.GetProperty("type") == kLightmapKeyword;
    if (afterLightmap) {
      if (isLightmap) Raise("Multiple lightmaps encountered for material \"%s\"", {material.Name});
      Raise("Layers encountered after lightmap for material \"%s\"", {material.Name});
    }
    layer_->IsLightmap = isLightmap;
  }

  void StartPrimitive(const TXMLElement& e) {
    positions.push_back(e.Position());
    primitive_ = scene_.GetPrimitive(scene_.AddPrimitive(std::make_unique<TPrimitive>()));
    TPrimitive& primitive = *primitive_;
    primitive.Id = e.GetProperty("id");
    primitive.Name = e.GetProperty("name");
    primitive.PrimitiveType = LookUp<TPrimitiveType>(kPrimitiveTypeKeywords, e.GetProperty("type"),
                                                     "Unknown primitive type \"%s\".");
    primitive.Visible = e.GetBoolProperty("visible");
    primitive.Snap =
        LookUp<TSnapMethod>(kSnapMethodKeywords, e.GetProperty("snap"), "Unknown snap method \"%s\".");
    primitive.AutoUV = e.GetBoolProperty("autoUV");
  }

  void ReadVertex(const TXMLElement& e) {
    const double scale = reader_.Scale;
    TVertex& vertex = primitive_->AddVertex(e.GetProperty("id"));
    // A float times a float is exact in double: one rounding, as the stored single.
    vertex.X = static_cast<float>(numbers_.Convert(e.GetProperty("x")) * scale);
    vertex.Y = static_cast<float>(numbers_.Convert(e.GetProperty("y")) * scale);
    vertex.Z = static_cast<float>(numbers_.Convert(e.GetProperty("z")) * scale);
  }

  void StartPolygon(const TXMLElement& e) {
    polygon_ = &primitive_->Polygons.emplace_back();
    polygon_->Material = scene_.FindMaterial(e.GetProperty("mid"));
    layers_ = polygon_->Material ? static_cast<std::size_t>(polygon_->Material->LayerCount()) : 0;
    corners_.clear();
    uvs_.clear();
  }

  void ReadCorner(const TXMLElement& e) {
    const std::string_view vid = e.GetProperty("vid");
    TVertex* vertex = primitive_->FindVertex(vid);
    if (!vertex) Raise("Unknown vertex \"%s\" in primitive \"%s\".", {vid, primitive_->Id});
    corners_.push_back(vertex);
    const UVNames& names = UVNamesTable();
    for (std::size_t k = 0; k < layers_; ++k) {
      float u, v;
      if (k < UVNames::kCached) {
        u = numbers_.Convert(e.GetProperty(names.U(k)));
        v = numbers_.Convert(e.GetProperty(names.V(k)));
      } else {
        u = numbers_.Convert(e.GetProperty(UVName('u', k)));
        v = numbers_.Convert(e.GetProperty(UVName('v', k)));
      }
      uvs_.push_back({u, v});
    }
  }

  // The corners and their UVs get exact room in the primitive's arena: polygons are many and
  // small, and per-array allocations would cost more than the coordinates.
  void EndPolygon() {
    TPolygon& polygon = *polygon_;
    const std::size_t n = corners_.size();
    TArena& arena = primitive_->Arena();
    polygon.Vertices.Borrow(arena, n);
    for (TVertex* corner : corners_) polygon.AddVertex(corner);
    if (layers_ == 0 || n == 0) return;
    polygon.UVSets.Borrow(arena, layers_);
    polygon.UVSets.GrowTo(layers_);
    for (std::size_t k = 0; k < layers_; ++k) {
      TUVCoordinates& set = polygon.UVSets[k];
      set.Coordinates.Borrow(arena, n);
      for (std::size_t c = 0; c < n; ++c) {
        const TUVCoordinate& uv = uvs_[c * layers_ + k];
        set.AppendUV(uv.U, uv.V);
      }
    }
  }

  void StartLight(const TXMLElement& e) {
    positions.push_back(e.Position());
    auto created = std::make_unique<TLight>();
    light_ = created.get();
    scene_.AddLight(std::move(created));
    TLight& light = *light_;
    light.Id = e.GetProperty("id");
    light.LightType =
        LookUp<TLightType>(kLightTypeKeywords, e.GetProperty("type"), "Unknown light type \"%s\".");
    light.Name = e.GetProperty("name");
    light.Range = e.GetIntProperty("range");
    light.Active = e.GetBoolProperty("active");
    light.Intensity = e.GetIntProperty("intensity");
  }

  void ReadLightPart(const TXMLElement& e) {
    TLight& light = *light_;
    const std::string_view name = e.Name();
    if (name == "attenuation") {
      light.AttenuationConstant = e.GetFloatProperty("constant");
      light.AttenuationLinear = e.GetFloatProperty("linear");
      light.AttenuationQuadratic = e.GetFloatProperty("quadratic");
    } else if (name == "direction") {
      ReadXYZ(e, light.Direction);
    } else if (name == "position") {
      ReadXYZ(e, light.Position);
    } else if (name == "cone") {
      if (light.LightType != TLightType::spot) Raise("Cone properties only supported for spotlights.");
      light.ConeInner = e.GetIntProperty("inner");
      light.ConeOuter = e.GetIntProperty("outer");
      light.ConeFalloff = e.GetIntProperty("falloff");
    } else if (name == "diffuse") {
      light.Diffuse = ReadRGB(e);
    } else if (name == "specular") {
      light.Specular = ReadRGB(e);
    }
  }

  const TXMLSceneReader& reader_;
  TScene& scene_;
  std::vector<Kind> stack_;  // what each open element is
  std::string category_;
  TMaterial* material_ = nullptr;
  TMaterialLayer* layer_ = nullptr;
  TPrimitive* primitive_ = nullptr;
  TPolygon* polygon_ = nullptr;
  TLight* light_ = nullptr;
  std::string tag_;
  std::size_t layers_ = 0;  // of the polygon's material
  std::vector<TVertex*> corners_;
  std::vector<TUVCoordinate> uvs_;  // corner by corner, layer by layer
  TFloatTexts numbers_;
};

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
  THostAnswer answer = AskHost(SceneRequest());
  auto scene = std::make_unique<TScene>();
  Builder builder(*this, *scene);
  {
    const std::string_view document = Trim(answer.Text());
    if (document.empty()) Raise("The scene document is empty.");
    const bool hasRoot = ParseXMLStream(
        document, builder,
        [this](std::int32_t position, std::int32_t total) { ParseProgress(position, total); }, true);
    if (!hasRoot) Raise("The scene document is empty.");  // comments only
  }
  // The scene holds all it needs: the document goes before anything else is built.
  answer.Block.reset();
  // The reading phase's progress follows the parse's, as if the tree had been walked after it.
  for (const std::int32_t position : builder.positions) NodeProgress(position);
  if (builder.error) std::rethrow_exception(builder.error);
  return scene;
}

void TXMLSceneReader::ParseProgress(std::int32_t position, std::int32_t total) {
  total_ = total;
  if (OnProgress && total > 0) OnProgress(HalfPercent(position, total));
}

void TXMLSceneReader::NodeProgress(std::int32_t position) {
  if (!OnProgress) return;
  // Tiny documents never report a total: the bar sits at the reading phase's start.
  if (total_ <= 0) {
    OnProgress(50);
    return;
  }
  OnProgress(HalfPercent(position, total_) + 50);
}

}  // namespace pallix
