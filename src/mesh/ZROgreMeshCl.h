// The exporter's picture of what it writes: vertices, faces, submeshes, materials, textures.
// Every float field holds a value rounded to single precision when it was stored.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace pallix {

class ZROgreMaterialT;
class ZROgreTextureT;

struct ZROgreTextureCoordinatesT {
  float U;
  float V;
  bool IsEqual(const ZROgreTextureCoordinatesT& other) const { return U == other.U && V == other.V; }
};

struct ZROgreBaseVertexT {
  float X = 0, Y = 0, Z = 0;

  void AssignXYZ(const ZROgreBaseVertexT& source) {
    X = source.X;
    Y = source.Y;
    Z = source.Z;
  }
  // Exact comparison: +0 and -0 are equal.
  bool IsEqual(const ZROgreBaseVertexT& other) const { return X == other.X && Y == other.Y && Z == other.Z; }
  ZROgreBaseVertexT Add(const ZROgreBaseVertexT& other) const;
  ZROgreBaseVertexT Subtract(const ZROgreBaseVertexT& other) const;
  ZROgreBaseVertexT CrossProduct(const ZROgreBaseVertexT& other) const;
};

struct ZROgreNormalT : ZROgreBaseVertexT {
  void Normalize();
};

class ZROgreVertexT : public ZROgreBaseVertexT {
 public:
  ZROgreVertexT(float x, float y, float z) {
    X = x;
    Y = y;
    Z = z;
  }

  std::vector<ZROgreTextureCoordinatesT> TextureCoordinates;
  ZROgreNormalT Normal;

  void CopyFrom(const ZROgreVertexT& source);
  std::unique_ptr<ZROgreVertexT> Clone() const { return std::make_unique<ZROgreVertexT>(*this); }
  std::int32_t TextureCoordinateCount() const { return static_cast<std::int32_t>(TextureCoordinates.size()); }
  const ZROgreTextureCoordinatesT& GetTextureCoordinates(std::int32_t i) const;
  void AddTextureCoordinates(float u, float v) { TextureCoordinates.push_back({u, v}); }
  void ClearTextureCoordinates() { TextureCoordinates.clear(); }
  bool HasTextureCoordinates() const { return !TextureCoordinates.empty(); }
  bool HasNormal() const { return Normal.X != 0 || Normal.Y != 0 || Normal.Z != 0; }
};

struct ZROgreFaceInfoT {
  std::array<std::int32_t, 3> Indices{};
  ZROgreMaterialT* Material = nullptr;  // not owned

  std::int32_t GetIndex(int corner) const { return Indices[static_cast<std::size_t>(corner)]; }
  void SetIndex(int corner, std::int32_t value) { Indices[static_cast<std::size_t>(corner)] = value; }
};

class ZROgreSubMeshT {
 public:
  std::vector<std::unique_ptr<ZROgreVertexT>> Vertices;
  std::vector<ZROgreFaceInfoT> Faces;
  ZROgreMaterialT* Material = nullptr;  // not owned

  std::int32_t VertexCount() const { return static_cast<std::int32_t>(Vertices.size()); }
  ZROgreVertexT* GetVertex(std::int32_t i) const;
  std::int32_t AddVertex(std::unique_ptr<ZROgreVertexT> vertex);
  std::int32_t FaceCount() const { return static_cast<std::int32_t>(Faces.size()); }
  const ZROgreFaceInfoT& GetFace(std::int32_t i) const;
  void AddFace(std::int32_t i0, std::int32_t i1, std::int32_t i2, ZROgreMaterialT* material);
  void AddFaceCopy(const ZROgreFaceInfoT& face);
  // Groups faces by their material's position in materialOrder; stable.
  void SortFacesByMaterial(const std::vector<std::unique_ptr<ZROgreMaterialT>>& materialOrder);
  ZROgreNormalT FaceNormal(const ZROgreFaceInfoT& face) const;
  bool FaceTouchesPosition(const ZROgreFaceInfoT& face, const ZROgreBaseVertexT& vertex) const;
  void CalculateSmoothNormals();
};

class ZROgreTextureT {
 public:
  explicit ZROgreTextureT(std::string fileName) : FileName(std::move(fileName)) {}
  std::string FileName;
  bool IsColorTexture = false;
  std::uint32_t Color = 0;
  bool IsLightmap = false;
};

class ZROgreTextureUnitT {
 public:
  ZROgreTextureUnitT(ZROgreTextureT* texture, std::string operation, std::int32_t set)
      : Texture(texture), Operation(std::move(operation)), TextureCoordinateSet(set) {}
  ZROgreTextureT* Texture;  // not owned
  std::string Operation;
  std::int32_t TextureCoordinateSet;
};

class ZROgreMaterialT {
 public:
  std::string Name;
  std::vector<std::unique_ptr<ZROgreTextureUnitT>> TextureUnits;
  bool Used = false;
  bool IsLightmapped = false;

  std::int32_t TextureUnitCount() const { return static_cast<std::int32_t>(TextureUnits.size()); }
  ZROgreTextureUnitT* GetTextureUnit(std::int32_t i) const;
  void AddTextureUnit(ZROgreTextureT* texture, std::string operation, std::int32_t set);
};

}  // namespace pallix
