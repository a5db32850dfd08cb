// The scene as the editor describes it: materials with layers, primitives with vertices
// and polygons, lights and settings.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pallix {

// Ordinals are binding: they index the keyword tables and the output blend table.
enum class TLayerType : std::uint8_t { texture, color };
enum class TBlendOperation : std::uint8_t { ignore, replace, add, modulate, alphablend };
enum class TPrimitiveType : std::uint8_t {
  rectangle,
  cube,
  pyramid,
  cylinder,
  polyline,
  vertice,
  sphere,
  torus,
  plane,
  userdefined,
  prefab,
  undefined,
  grid,
  pointlight,
  directionalLight,
  spotlight,
  primitive,
  light,
  ellipse,
  text
};
enum class TSnapMethod : std::uint8_t { none, vertex, center, location };
enum class TLightType : std::uint8_t { point, directional, spot };

class TMaterial;

class TMaterialLayer {
 public:
  bool IsLightmap = false;
  TBlendOperation Blend = TBlendOperation::replace;
  TLayerType LayerType = TLayerType::texture;
  std::string TextureFile;
  std::uint32_t Color = 0;  // R in the low byte, then G, B, A
};

class TMaterial {
 public:
  std::string Id;
  std::string Name;
  std::string Category;
  bool Used = false;
  std::vector<std::unique_ptr<TMaterialLayer>> Layers;

  std::int32_t LayerCount() const { return static_cast<std::int32_t>(Layers.size()); }
  TMaterialLayer* GetLayer(std::int32_t index) const;
  std::int32_t AddLayer(std::unique_ptr<TMaterialLayer> layer);
  bool HasLightmap() const;
};

class TMaterialCategory {
 public:
  std::string Name;
  std::vector<TMaterial*> Materials;  // not owned
  std::int32_t AddMaterial(TMaterial* material);
};

class TVertex {
 public:
  float X = 0, Y = 0, Z = 0;
  std::string Id;
};

class TUVCoordinate {
 public:
  float U = 0, V = 0;
};

class TUVCoordinates {
 public:
  std::vector<TUVCoordinate> Coordinates;
  // Grows the list with (0, 0) entries as needed.
  TUVCoordinate& GetCoordinate(std::int32_t index);
  void AppendUV(float u, float v) { Coordinates.push_back({u, v}); }
  std::int32_t Count() const { return static_cast<std::int32_t>(Coordinates.size()); }
};

class TPolygon {
 public:
  std::vector<TVertex*> Vertices;  // corners; not owned
  TMaterial* Material = nullptr;   // not owned
  std::vector<TUVCoordinates> UVSets;
  TVertex Normal;

  std::int32_t VertexCount() const { return static_cast<std::int32_t>(Vertices.size()); }
  TVertex* GetVertex(std::int32_t index) const;
  std::int32_t AddVertex(TVertex* vertex);
  // Grows UVSets with empty sets as needed.
  TUVCoordinates& GetUVSet(std::int32_t index);
  // Newell's sum with the divisor clamped at 0.001; stored in Normal.
  const TVertex& CalculateNormal();
};

class TPrimitive {
 public:
  TPrimitive();
  ~TPrimitive();
  TPrimitive(const TPrimitive&) = delete;
  TPrimitive& operator=(const TPrimitive&) = delete;

  std::string Id;
  std::string Name;
  TPrimitiveType PrimitiveType = TPrimitiveType::userdefined;
  bool Visible = true;
  TSnapMethod Snap = TSnapMethod::none;
  bool AutoUV = false;
  std::string Tag;
  std::vector<std::unique_ptr<TVertex>> Vertices;  // insertion order
  std::vector<std::unique_ptr<TPolygon>> Polygons;

  // Files the vertex under its Id (set first); duplicates are kept, lookups find the first.
  void AddVertex(std::unique_ptr<TVertex> vertex);
  // Ignores letter case; nullptr when absent.
  TVertex* FindVertex(std::string_view id) const;

  std::int32_t PolygonCount() const { return static_cast<std::int32_t>(Polygons.size()); }
  TPolygon* GetPolygon(std::int32_t index) const;
  std::int32_t AddPolygon(std::unique_ptr<TPolygon> polygon);

 private:
  class VertexIndex;
  std::unique_ptr<VertexIndex> index_;
};

class TLight {
 public:
  std::string Id;
  std::string Name;
  TLightType LightType = TLightType::point;
  TVertex Position;
  TVertex Direction;
  std::uint32_t Diffuse = 0;
  std::uint32_t Specular = 0;
  bool Active = true;
  std::int32_t Intensity = 100;
  float AttenuationConstant = 1.0f;
  float AttenuationLinear = 0.0f;
  float AttenuationQuadratic = 3.0e-6f;
  std::int32_t Range = 1000;
  std::int32_t ConeInner = 0;
  std::int32_t ConeOuter = 0;
  std::int32_t ConeFalloff = 0;
};

class TScene {
 public:
  TScene();
  ~TScene();
  TScene(const TScene&) = delete;
  TScene& operator=(const TScene&) = delete;

  std::vector<std::unique_ptr<TMaterial>> Materials;
  std::vector<std::pair<std::string, std::unique_ptr<TMaterialCategory>>> Categories;
  std::vector<std::unique_ptr<TPrimitive>> Primitives;
  std::vector<std::unique_ptr<TLight>> Lights;
  std::string Name = "Korvel Scene";
  std::string Author;
  std::string Comment;
  std::uint32_t Ambient = 0xFFFFFFFFu;
  std::int32_t ShadowOpacity = 75;

  std::int32_t MaterialCount() const { return static_cast<std::int32_t>(Materials.size()); }
  TMaterial* GetMaterial(std::int32_t index) const;
  // Category must be set first: the material is filed under it.
  void AddMaterial(std::unique_ptr<TMaterial> material);
  // -1 when absent (nullptr gives -1).
  std::int32_t IndexOfMaterial(const TMaterial* material) const;
  // Exact Id comparison; nullptr when absent. Hashed: materials are indexed by the Id they
  // carry at their first lookup, so set Ids before looking anything up.
  TMaterial* FindMaterial(std::string_view id) const;

  std::int32_t PrimitiveCount() const { return static_cast<std::int32_t>(Primitives.size()); }
  TPrimitive* GetPrimitive(std::int32_t index) const;
  std::int32_t AddPrimitive(std::unique_ptr<TPrimitive> primitive);
  std::int32_t AddLight(std::unique_ptr<TLight> light);

 private:
  class MaterialIndex;
  mutable std::unique_ptr<MaterialIndex> materialIndex_;
};

}  // namespace pallix
