#include "SceneGenerator.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <span>
#include <string_view>

#include "BasicFn.h"
#include "uXMLSceneConstants.h"

namespace pallix::scenegen {

std::uint64_t Random::Next() {
  std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

std::uint32_t Random::Below(std::uint32_t bound) { return static_cast<std::uint32_t>(Next() % bound); }

std::int32_t Random::Between(std::int32_t low, std::int32_t high) {
  return low + static_cast<std::int32_t>(Below(static_cast<std::uint32_t>(high - low + 1)));
}

namespace {

// Numbers are generated as whole thousandths, so the text is short and exact to write, and
// the model gets what a correct reader makes of that text.
std::string MillisText(std::int64_t millis) {
  std::string text;
  if (millis < 0) {
    text += '-';
    millis = -millis;
  }
  text += std::to_string(millis / 1000);
  std::int64_t fraction = millis % 1000;
  if (fraction != 0) {
    char digits[4] = {static_cast<char>('0' + fraction / 100), static_cast<char>('0' + fraction / 10 % 10),
                      static_cast<char>('0' + fraction % 10), 0};
    std::size_t length = 3;
    while (digits[length - 1] == '0') --length;
    text += '.';
    text.append(digits, length);
  }
  return text;
}

float ParseFloat(std::string_view text) {
  float value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

// Booleans as the editor may spell them, with what the reader must make of each.
struct BoolSpelling {
  const char* text;
  bool value;
};
constexpr std::array<BoolSpelling, 9> kBools = {{{"true", true},
                                                 {"1", true},
                                                 {"yes", true},
                                                 {"TRUE", true},
                                                 {"Yes", true},
                                                 {"false", false},
                                                 {"0", false},
                                                 {"no", false},
                                                 {"on", false}}};

constexpr std::array<const char*, 6> kCategories = {"Walls", "Floors", "walls",
                                                    "Props", "Nature", "Ceilings"};
constexpr std::array<const char*, 10> kTextureStems = {"brick",     "stone", "wood",    "metal",  "grass",
                                                       "old brick", "tiles", "plaster", "marble", "rust"};

class DocumentBuilder {
 public:
  DocumentBuilder(const Options& options, Generated& result)
      : options_(options), random_(options.Seed), out_(result.Document), result_(result) {
    if (options.BuildModel) {
      result.Model = std::make_unique<TScene>();
      model_ = result.Model.get();
    }
  }

  void Build() {
    if (options_.TargetMB > 0) out_.reserve(static_cast<std::size_t>(options_.TargetMB * 1048576.0 * 1.05));
    out_ += "<scene>";
    ++depth_;
    if (options_.Decorations) Comment("Korvel scene, generated");
    Settings();
    PlanMaterials();
    const std::size_t half = options_.Decorations ? materials_.size() / 2 : materials_.size();
    MaterialSection(0, half);
    if (options_.Decorations) Entities();
    if (half < materials_.size()) MaterialSection(half, materials_.size());
    Primitives();
    Lights();
    if (options_.Decorations) Settings();  // overwrites the first
    --depth_;
    Line();
    out_ += "</scene>";
  }

 private:
  struct Layer {
    std::string type;  // keyword as written
    std::string blend;
    std::string file;  // texture and lightmap layers
    bool hasColor = false;
    std::int32_t r = 0, g = 0, b = 0, a = -1;  // a < 0: not written
    bool colorElement = false;
  };
  struct Material {
    std::string id, name, category, used;
    std::vector<Layer> layers;
    TMaterial* model = nullptr;
  };

  // ---- text output

  void Line() {
    out_ += "\r\n";
    out_.append(static_cast<std::size_t>(depth_) * 2, ' ');
  }
  void Open(std::string_view name) {
    Line();
    out_ += '<';
    out_ += name;
  }
  void Attr(std::string_view name, std::string_view value) {
    out_ += ' ';
    out_ += name;
    out_ += "=\"";
    out_ += value;
    out_ += '"';
  }
  void Begin() {
    out_ += '>';
    ++depth_;
  }
  void End() { out_ += " />"; }
  void Close(std::string_view name) {
    --depth_;
    Line();
    out_ += "</";
    out_ += name;
    out_ += '>';
  }
  void Comment(std::string_view text) {
    Line();
    out_ += "<!-- ";
    out_ += text;
    out_ += " -->";
  }
  // An element the reader does not know, with something inside it that would fail if read.
  void Junk(std::string_view name) {
    Open(name);
    Attr("kind", "editor-only");
    Begin();
    Open("layer");
    Attr("type", "unknown");
    End();
    Open("vertex");
    Attr("vid", "nowhere");
    End();
    Close(name);
  }

  std::string_view Pick(std::span<const std::string_view> table) {
    return table[random_.Below(table.size())];
  }
  const BoolSpelling& PickBool() {
    if (options_.Decorations) return kBools[random_.Below(kBools.size())];
    return random_.Chance(50) ? kBools[0] : kBools[5];
  }
  // Attribute names are looked up ignoring letter case; decorated documents vary them.
  std::string Spell(std::string_view name) {
    if (!options_.Decorations || !random_.Chance(5)) return std::string(name);
    std::string upper(name);
    for (char& c : upper) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    return upper;
  }

  // ---- settings

  void Settings() {
    static constexpr char kHex[] = "0123456789ABCDEF0123456789abcdef";
    std::string ambient;
    const std::uint32_t caseOffset = options_.Decorations && random_.Chance(30) ? 16 : 0;
    std::uint32_t value = 0;
    for (int i = 0; i < 8; ++i) {
      const std::uint32_t digit = random_.Below(16);
      value = (value << 4) | digit;
      ambient += kHex[digit + caseOffset];
    }
    const std::int32_t opacity = random_.Between(0, 100);
    const std::uint64_t stamp = random_.Next() % 1000;
    Open("settings");
    Attr("ambient", ambient);
    Attr("author", "Level Designer");
    Attr("comment", "generated &lt;" + std::to_string(stamp) + "&gt;");
    Attr("shadowOpacity", std::to_string(opacity));
    End();
    if (model_) {
      model_->Ambient = value;
      model_->Author = "Level Designer";
      model_->Comment = "generated <" + std::to_string(stamp) + ">";
      model_->ShadowOpacity = opacity;
    }
  }

  // ---- materials

  std::string TextureName(std::uint32_t i) {
    std::string name = kTextureStems[i % kTextureStems.size()];
    if (i >= kTextureStems.size()) name += "_" + std::to_string(i / kTextureStems.size());
    return name + ".bmp";
  }

  void PlanMaterials() {
    const std::int32_t count = std::max(options_.Materials, 1);
    const std::uint32_t textures = static_cast<std::uint32_t>(std::max(4, count / 2));
    std::set<std::string> files;
    for (std::int32_t i = 0; i < count; ++i) {
      Material m;
      m.id = "mat" + std::to_string(i);
      m.name = i % 5 == 4 ? "Moss &amp; Stone " + std::to_string(i) : "Material " + std::to_string(i);
      m.category = kCategories[random_.Below(options_.Decorations ? kCategories.size() : 2)];
      m.used = PickBool().text;
      const std::int32_t layers = random_.Between(1, 3);
      for (std::int32_t k = 0; k < layers; ++k) {
        Layer layer;
        layer.blend = Pick(kBlendOperationKeywords);
        if (random_.Chance(65)) {
          layer.type = "texture";
          layer.file = TextureName(random_.Below(textures));
        } else {
          layer.type = "color";
          layer.colorElement = !options_.Decorations || random_.Chance(95);
          layer.r = random_.Between(0, 255);
          layer.g = random_.Between(0, 255);
          layer.b = random_.Between(0, 255);
          if (random_.Chance(50)) layer.a = random_.Between(0, 255);
        }
        m.layers.push_back(layer);
      }
      if (random_.Chance(30)) {
        Layer lightmap;
        lightmap.type = "lightmap";
        lightmap.blend = Pick(kBlendOperationKeywords);
        lightmap.file = "lightmap_" + std::to_string(i) + ".bmp";
        m.layers.push_back(lightmap);
      }
      for (const Layer& layer : m.layers) {
        if (!layer.file.empty()) files.insert(layer.file);
      }
      materials_.push_back(std::move(m));
    }
    result_.TextureFiles.assign(files.begin(), files.end());
  }

  void MaterialSection(std::size_t first, std::size_t last) {
    Open("materials");
    Begin();
    // One category element per name, materials in their plan order inside it.
    for (const char* category : kCategories) {
      bool opened = false;
      for (std::size_t i = first; i < last; ++i) {
        if (materials_[i].category != category) continue;
        if (!opened) {
          Open("category");
          Attr("name", category);
          Begin();
          opened = true;
        }
        WriteMaterial(materials_[i]);
      }
      if (opened) Close("category");
    }
    Close("materials");
  }

  void WriteMaterial(Material& m) {
    Open("material");
    Attr("id", m.id);
    Attr("name", m.name);
    Attr("used", m.used);
    Begin();
    if (model_) {
      auto created = std::make_unique<TMaterial>();
      m.model = created.get();
      created->Category = m.category;
      model_->AddMaterial(std::move(created));
      m.model->Id = m.id;
      m.model->Name = m.name;
      if (auto at = m.model->Name.find("&amp;"); at != std::string::npos) m.model->Name.replace(at, 5, "&");
      m.model->Used =
          SameTextIgnoringCase(m.used, "true") || m.used == "1" || SameTextIgnoringCase(m.used, "yes");
    }
    if (options_.Decorations && random_.Chance(20)) Junk("editorstate");
    for (const Layer& layer : m.layers) {
      const char* element = options_.Decorations && random_.Chance(10) ? "Layer" : "layer";
      Open(element);
      Attr("type", layer.type);
      Attr("blend", layer.blend);
      if (layer.type == "color" && !layer.colorElement) {
        End();
      } else {
        Begin();
        if (options_.Decorations && random_.Chance(10)) Comment("layer");
        if (layer.type == "color") {
          Open("color");
          Attr(Spell("r"), std::to_string(layer.r));
          Attr("g", std::to_string(layer.g));
          Attr("b", std::to_string(layer.b));
          if (layer.a >= 0) Attr("a", std::to_string(layer.a));
          End();
        } else {
          Open("texture");
          Attr("file", layer.file);
          End();
        }
        Close(element);
      }
      if (m.model) {
        auto created = std::make_unique<TMaterialLayer>();
        created->IsLightmap = layer.type == "lightmap";
        created->LayerType = layer.type == "color" ? TLayerType::color : TLayerType::texture;
        created->Blend = static_cast<TBlendOperation>(FindKeyword(kBlendOperationKeywords, layer.blend));
        created->TextureFile = layer.file;
        if (layer.colorElement) {
          const auto alpha = static_cast<std::uint32_t>(layer.a >= 0 ? layer.a : 255);
          created->Color = static_cast<std::uint32_t>(layer.r) | static_cast<std::uint32_t>(layer.g) << 8 |
                           static_cast<std::uint32_t>(layer.b) << 16 | alpha << 24;
        }
        m.model->AddLayer(std::move(created));
      }
    }
    Close("material");
  }

  void Entities() {
    Open("entities");
    Begin();
    for (int i = 0; i < 3; ++i) {
      Open("entity");
      Attr("name", "spawn" + std::to_string(i));
      Attr("class", "info_player_start");
      Begin();
      Open("position");
      Attr("x", MillisText(random_.Between(-5000, 5000)));
      Attr("y", "0");
      Attr("z", MillisText(random_.Between(-5000, 5000)));
      End();
      Close("entity");
    }
    Close("entities");
  }

  // ---- primitives

  struct Grid {
    std::int32_t columns = 0, rows = 0;  // points
    std::string prefix;                  // vertex ids: prefix + index
  };

  void Primitives() {
    Open("primitives");
    Begin();
    if (options_.Terrain > 0) {
      Terrain(TerrainSize());
    } else {
      const double target = options_.TargetMB * 1048576.0;
      std::int32_t index = 0;
      while (index < options_.Primitives ||
             (target > 0 && static_cast<double>(out_.size()) < target - 4096)) {
        Primitive(index++);
      }
    }
    Close("primitives");
  }

  void PrimitiveStart(const std::string& id, std::string_view type, TPrimitive** model) {
    Open("primitive");
    Attr("id", id);
    const std::string name = "Object " + id;
    Attr("name", name);
    Attr("type", type);
    const BoolSpelling& visible = PickBool();
    Attr("visible", visible.text);
    const std::string_view snap = Pick(kSnapMethodKeywords);
    Attr("snap", snap);
    const BoolSpelling& autoUV = PickBool();
    Attr(options_.Decorations && random_.Chance(20) ? "autouv" : "autoUV", autoUV.text);
    Begin();
    if (model_) {
      auto created = std::make_unique<TPrimitive>();
      *model = created.get();
      created->Id = id;
      created->Name = name;
      created->PrimitiveType = static_cast<TPrimitiveType>(FindKeyword(kPrimitiveTypeKeywords, type));
      created->Visible = visible.value;
      created->Snap = static_cast<TSnapMethod>(FindKeyword(kSnapMethodKeywords, snap));
      created->AutoUV = autoUV.value;
      model_->AddPrimitive(std::move(created));
    }
    if (options_.Decorations && random_.Chance(50)) {
      Open("tag");
      out_ += ">room " + id + " &amp; hall</tag>";
      if (*model) (*model)->Tag = "room " + id + " & hall";
    }
    if (options_.Decorations && random_.Chance(10)) Junk("note");
  }

  // Writes one vertex and files it in the model.
  void Vertex(TPrimitive* model, const std::string& id, std::int64_t x, std::int64_t y, std::int64_t z) {
    const std::string tx = MillisText(x), ty = MillisText(y), tz = MillisText(z);
    Open("vertex");
    Attr("id", id);
    Attr(Spell("x"), tx);
    Attr("y", ty);
    Attr("z", tz);
    End();
    if (model) {
      auto vertex = std::make_unique<TVertex>();
      vertex->Id = id;
      vertex->X = ParseFloat(tx);
      vertex->Y = ParseFloat(ty);
      vertex->Z = ParseFloat(tz);
      model->AddVertex(std::move(vertex));
    }
  }

  // One polygon over grid points (column, row); UVs follow the points.
  void Polygon(TPrimitive* model, const Grid& grid, std::span<const std::array<std::int32_t, 2>> corners,
               std::int32_t materialIndex) {
    const Material* material =
        materialIndex >= 0 ? &materials_[static_cast<std::size_t>(materialIndex)] : nullptr;
    Open("poly");
    Attr("mid", material ? std::string_view(material->id) : std::string_view("no-such-material"));
    Begin();
    TPolygon* polygon = nullptr;
    if (model) {
      polygon = model->GetPolygon(model->AddPolygon(std::make_unique<TPolygon>()));
      polygon->Material = material ? material->model : nullptr;
    }
    if (options_.Decorations && random_.Chance(3)) Junk("hint");
    for (const auto& [column, row] : corners) {
      std::string vid = grid.prefix + std::to_string(row * grid.columns + column);
      if (polygon) polygon->AddVertex(model->FindVertex(vid));
      if (options_.Decorations && random_.Chance(20)) vid[0] = static_cast<char>(vid[0] - 32);  // "V12"
      Open("vertex");
      Attr("vid", vid);
      if (material) {
        for (std::size_t k = 0; k < material->layers.size(); ++k) {
          std::int64_t u, v;
          if (material->layers[k].type == "lightmap") {
            u = column * 1000LL / std::max(grid.columns - 1, 1);
            v = row * 1000LL / std::max(grid.rows - 1, 1);
          } else {
            const std::int64_t step = 125LL * static_cast<std::int64_t>(k + 1);
            u = column * step - 500;
            v = -row * step;
          }
          const std::string tu = MillisText(u), tv = MillisText(v);
          std::string uName = "u", vName = "v";
          uName += std::to_string(k);
          vName += std::to_string(k);
          Attr(Spell(uName), tu);
          Attr(vName, tv);
          if (polygon)
            polygon->GetUVSet(static_cast<std::int32_t>(k)).AppendUV(ParseFloat(tu), ParseFloat(tv));
        }
      }
      End();
    }
    Close("poly");
  }

  std::int32_t PickMaterial() {
    if (random_.Chance(3) && options_.UnknownMaterials) return -1;
    return static_cast<std::int32_t>(random_.Below(static_cast<std::uint32_t>(materials_.size())));
  }

  // A primitive of polygons over a grid of points on a plane: each polygon takes k of the
  // eight border points of a 3 x 3 block, in order, so neighbours share their corners.
  void Primitive(std::int32_t index) {
    const std::string id = "prim" + std::to_string(index);
    TPrimitive* model = nullptr;
    PrimitiveStart(id, Pick(kPrimitiveTypeKeywords), &model);

    const std::int32_t polygons = std::max(options_.PolygonsPerPrimitive, 1);
    Grid grid;
    grid.prefix = "v";
    const std::int32_t blocksPerRow = std::min(random_.Between(1, 12), polygons);
    grid.columns = blocksPerRow + 2;
    grid.rows = (polygons + blocksPerRow - 1) / blocksPerRow + 2;

    // Points on an axis-aligned plane, slightly uneven across it.
    const std::int32_t plane = random_.Between(0, 2);
    const std::int64_t origin[3] = {random_.Between(-100000, 100000), random_.Between(-20000, 20000),
                                    random_.Between(-100000, 100000)};
    const std::int64_t step = random_.Between(250, 4000);
    Open("vertices");
    Begin();
    for (std::int32_t row = 0; row < grid.rows; ++row) {
      for (std::int32_t column = 0; column < grid.columns; ++column) {
        std::int64_t p[3] = {origin[0], origin[1], origin[2]};
        const int a = plane == 2 ? 1 : 0, b = plane == 0 ? 1 : 2, c = 3 - a - b;
        p[a] += column * step;
        p[b] += row * step;
        p[c] += random_.Between(-50, 50);
        Vertex(model, grid.prefix + std::to_string(row * grid.columns + column), p[0], p[1], p[2]);
      }
    }
    Close("vertices");

    static constexpr std::array<std::array<std::int32_t, 2>, 8> kBorder = {
        {{0, 0}, {1, 0}, {2, 0}, {2, 1}, {2, 2}, {1, 2}, {0, 2}, {0, 1}}};
    Open("polygons");
    Begin();
    for (std::int32_t p = 0; p < polygons; ++p) {
      const std::uint32_t roll = random_.Below(100);
      const std::int32_t k = roll < 50 ? 4 : roll < 75 ? 3 : random_.Between(1, 8);
      const std::int32_t column = p % blocksPerRow, row = p / blocksPerRow;
      std::array<std::array<std::int32_t, 2>, 8> corners;
      for (std::int32_t i = 0; i < k; ++i) {
        const auto& offset = kBorder[static_cast<std::size_t>(i * 8 / k)];
        corners[static_cast<std::size_t>(i)] = {column + offset[0], row + offset[1]};
      }
      Polygon(model, grid, std::span(corners.data(), static_cast<std::size_t>(k)), PickMaterial());
    }
    Close("polygons");
    Close("primitive");
  }

  std::int32_t TerrainSize() {
    if (options_.TargetMB <= 0) return options_.Terrain;
    // Measure a small grid, then size the real one to the target.
    Options probe = options_;
    probe.TargetMB = 0;
    probe.Terrain = 32;
    probe.BuildModel = false;
    probe.Lights = 0;
    const Generated small = Generate(probe);
    const double perQuad = static_cast<double>(small.Document.size()) / (32.0 * 32.0);
    return std::max(1, static_cast<std::int32_t>(std::sqrt(options_.TargetMB * 1048576.0 / perQuad)));
  }

  // One N x N grid of quads over (N + 1)^2 shared points, rolling heights, materials by region.
  void Terrain(std::int32_t n) {
    TPrimitive* model = nullptr;
    PrimitiveStart("terrain", "grid", &model);
    Grid grid;
    grid.prefix = "t";
    grid.columns = grid.rows = n + 1;
    const std::int64_t step = 2000;
    Open("vertices");
    Begin();
    for (std::int32_t row = 0; row <= n; ++row) {
      for (std::int32_t column = 0; column <= n; ++column) {
        const std::int64_t height = ((column * 37 + row * 91) % 17) * 40 + random_.Between(0, 99);
        Vertex(model, grid.prefix + std::to_string(row * grid.columns + column), column * step, height,
               row * step);
      }
    }
    Close("vertices");
    std::vector<std::int32_t> regions;
    const std::int32_t regionCount = (n + 15) / 16;
    for (std::int32_t i = 0; i < regionCount * regionCount; ++i) {
      regions.push_back(
          static_cast<std::int32_t>(random_.Below(static_cast<std::uint32_t>(materials_.size()))));
    }
    Open("polygons");
    Begin();
    for (std::int32_t row = 0; row < n; ++row) {
      for (std::int32_t column = 0; column < n; ++column) {
        const std::array<std::array<std::int32_t, 2>, 4> corners = {
            {{column, row}, {column, row + 1}, {column + 1, row + 1}, {column + 1, row}}};
        Polygon(model, grid, corners,
                regions[static_cast<std::size_t>(row / 16 * regionCount + column / 16)]);
      }
    }
    Close("polygons");
    Close("primitive");
  }

  // ---- lights

  void Lights() {
    Open("lights");
    Begin();
    for (std::int32_t i = 0; i < options_.Lights; ++i) Light(i);
    Close("lights");
  }

  void Light(std::int32_t index) {
    const std::string_view type =
        kLightTypeKeywords[static_cast<std::size_t>(index) % kLightTypeKeywords.size()];
    TLight* light = nullptr;
    if (model_) {
      auto created = std::make_unique<TLight>();
      light = created.get();
      model_->AddLight(std::move(created));
    }
    const std::int32_t range = random_.Between(100, 5000), intensity = random_.Between(0, 200);
    const BoolSpelling& active = PickBool();
    Open("light");
    Attr("id", "light" + std::to_string(index));
    Attr("type", type);
    Attr("name", "Lamp " + std::to_string(index));
    Attr("range", std::to_string(range));
    Attr("active", active.text);
    Attr("intensity", std::to_string(intensity));
    Begin();
    if (light) {
      light->Id = "light" + std::to_string(index);
      light->LightType = static_cast<TLightType>(FindKeyword(kLightTypeKeywords, type));
      light->Name = "Lamp " + std::to_string(index);
      light->Range = range;
      light->Active = active.value;
      light->Intensity = intensity;
    }
    // Children in a shuffled order: the reader must not depend on it.
    std::array<int, 6> order = {0, 1, 2, 3, 4, 5};
    if (options_.Decorations) {
      for (std::size_t i = order.size() - 1; i > 0; --i) std::swap(order[i], order[random_.Below(i + 1)]);
    }
    for (int child : order) {
      switch (child) {
        case 0: {
          const std::string c = MillisText(random_.Between(0, 2000)), l = MillisText(random_.Between(0, 100)),
                            q = MillisText(random_.Between(0, 10));
          Open("attenuation");
          Attr("constant", c);
          Attr("linear", l);
          Attr("quadratic", q);
          End();
          if (light) {
            light->AttenuationConstant = ParseFloat(c);
            light->AttenuationLinear = ParseFloat(l);
            light->AttenuationQuadratic = ParseFloat(q);
          }
          break;
        }
        case 1:
        case 2: {
          const std::string x = MillisText(random_.Between(-100000, 100000)),
                            y = MillisText(random_.Between(-100000, 100000)),
                            z = MillisText(random_.Between(-100000, 100000));
          Open(child == 1 ? "direction" : "position");
          Attr("x", x);
          Attr("y", y);
          Attr("z", z);
          End();
          if (light) {
            TVertex& target = child == 1 ? light->Direction : light->Position;
            target.X = ParseFloat(x);
            target.Y = ParseFloat(y);
            target.Z = ParseFloat(z);
          }
          break;
        }
        case 3:
          if (type == "spot") {
            const std::int32_t inner = random_.Between(0, 45), outer = random_.Between(45, 90),
                               falloff = random_.Between(0, 10);
            Open("cone");
            Attr("inner", std::to_string(inner));
            Attr("outer", std::to_string(outer));
            Attr("falloff", std::to_string(falloff));
            End();
            if (light) {
              light->ConeInner = inner;
              light->ConeOuter = outer;
              light->ConeFalloff = falloff;
            }
          }
          break;
        default: {
          const std::int32_t r = random_.Between(0, 255), g = random_.Between(0, 255),
                             b = random_.Between(0, 255);
          Open(child == 4 ? "diffuse" : "specular");
          Attr("r", std::to_string(r));
          Attr("g", std::to_string(g));
          Attr("b", std::to_string(b));
          Attr("a", "255");  // not read for lights
          End();
          if (light) {
            (child == 4 ? light->Diffuse : light->Specular) = static_cast<std::uint32_t>(r) |
                                                              static_cast<std::uint32_t>(g) << 8 |
                                                              static_cast<std::uint32_t>(b) << 16;
          }
          break;
        }
      }
    }
    if (options_.Decorations && random_.Chance(30)) Junk("shadow");
    Close("light");
  }

  const Options& options_;
  Random random_;
  std::string& out_;
  Generated& result_;
  TScene* model_ = nullptr;
  std::int32_t depth_ = 0;
  std::vector<Material> materials_;
};

void PutLE(std::string& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

}  // namespace

Generated Generate(const Options& options) {
  Generated result;
  DocumentBuilder(options, result).Build();
  return result;
}

std::string MakeBitmap(std::int32_t width, std::int32_t height, std::uint32_t seed) {
  const std::uint32_t stride = (static_cast<std::uint32_t>(width) * 3 + 3) & ~3u;
  const std::uint32_t pixels = stride * static_cast<std::uint32_t>(height);
  std::string out;
  out += "BM";
  PutLE(out, 54 + pixels, 4);
  PutLE(out, 0, 4);
  PutLE(out, 54, 4);
  PutLE(out, 40, 4);  // BITMAPINFOHEADER
  PutLE(out, static_cast<std::uint32_t>(width), 4);
  PutLE(out, static_cast<std::uint32_t>(height), 4);
  PutLE(out, 1, 2);
  PutLE(out, 24, 2);
  PutLE(out, 0, 4);  // uncompressed
  PutLE(out, pixels, 4);
  PutLE(out, 2835, 4);  // 72 dpi
  PutLE(out, 2835, 4);
  PutLE(out, 0, 4);
  PutLE(out, 0, 4);
  Random random(seed);
  const std::uint32_t base = static_cast<std::uint32_t>(random.Next());
  for (std::int32_t y = 0; y < height; ++y) {
    std::uint32_t written = 0;
    for (std::int32_t x = 0; x < width; ++x) {
      // A checker of two shades of one colour: easy to tell textures apart.
      const bool dark = ((x / 2) + (y / 2)) % 2 == 0;
      for (int channel = 0; channel < 3; ++channel) {
        const std::uint32_t level = (base >> (8 * channel)) & 0xFF;
        out += static_cast<char>(dark ? level / 2 : level);
      }
      written += 3;
    }
    out.append(stride - written, '\0');
  }
  return out;
}

void WriteTextureFiles(const std::vector<std::string>& files, const std::string& folder) {
  namespace fs = std::filesystem;
  for (const std::string& file : files) {
    std::string relative = file;
    std::replace(relative.begin(), relative.end(), '\\', '/');
    const fs::path path = fs::path(folder) / relative;
    std::error_code error;
    fs::create_directories(path.parent_path(), error);
    std::uint32_t seed = 0;
    for (char c : file) seed = seed * 31 + static_cast<unsigned char>(c);
    const std::string bitmap = MakeBitmap(8, 8, seed);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bitmap.data(), static_cast<std::streamsize>(bitmap.size()));
    if (!out) Raise("Cannot write \"%s\".", {path.string()});
  }
}

}  // namespace pallix::scenegen
