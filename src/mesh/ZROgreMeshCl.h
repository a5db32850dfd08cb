// The exporter's picture of what it writes: vertices, faces, submeshes, materials, textures.
// Every float field holds a value rounded to single precision when it was stored.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace pallix {

class ZROgreMaterialT;
class ZROgreTextureT;

struct ZROgreTextureCoordinatesT {
  float U;
  float V;
  bool IsEqual(const ZROgreTextureCoordinatesT& other) const { return U == other.U && V == other.V; }
};

// The coordinate sets of one vertex, in set order. Nearly every vertex has one or two, which
// live inside the vertex; more move to the heap. Millions of vertices thus save as many
// allocations.
class TTextureCoordinateList {
 public:
  using value_type = ZROgreTextureCoordinatesT;

  TTextureCoordinateList() = default;
  TTextureCoordinateList(std::initializer_list<value_type> items) { Append(items.begin(), items.size()); }
  TTextureCoordinateList(const TTextureCoordinateList& other) { Append(other.begin(), other.size()); }
  TTextureCoordinateList& operator=(const TTextureCoordinateList& other) {
    if (this != &other) {
      clear();
      Append(other.begin(), other.size());
    }
    return *this;
  }
  TTextureCoordinateList& operator=(std::initializer_list<value_type> items) {
    clear();
    Append(items.begin(), items.size());
    return *this;
  }

  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  const value_type* begin() const { return data(); }
  const value_type* end() const { return data() + size_; }
  const value_type& operator[](std::size_t i) const { return data()[i]; }
  value_type& operator[](std::size_t i) { return data()[i]; }
  void push_back(const value_type& item) {
    if (size_ == capacity_) Grow();
    data()[size_++] = item;
  }
  // Keeps the capacity: a reused list allocates no more.
  void clear() { size_ = 0; }

 private:
  static constexpr std::uint32_t kInline = 2;
  const value_type* data() const { return heap_ ? heap_.get() : inline_.data(); }
  value_type* data() { return heap_ ? heap_.get() : inline_.data(); }
  void Append(const value_type* items, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) push_back(items[i]);
  }
  void Grow() {
    auto grown = std::make_unique<value_type[]>(std::size_t{capacity_} * 2);
    std::copy(begin(), end(), grown.get());
    heap_ = std::move(grown);
    capacity_ *= 2;
  }

  std::uint32_t size_ = 0;
  std::uint32_t capacity_ = kInline;
  std::array<value_type, kInline> inline_{};
  std::unique_ptr<value_type[]> heap_;
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

  TTextureCoordinateList TextureCoordinates;
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

// Each vertex has an allocation of its own; writers walking millions of them ask for the ones a
// few steps ahead, so the memory's latency overlaps the work on the current one.
inline void PrefetchAhead(const std::vector<std::unique_ptr<ZROgreVertexT>>& vertices, std::size_t i) {
#if defined(__GNUC__)
  constexpr std::size_t kAhead = 12;
  if (i + kAhead < vertices.size()) {
    // A vertex may straddle two cache lines.
    const char* v = reinterpret_cast<const char*>(vertices[i + kAhead].get());
    __builtin_prefetch(v);
    __builtin_prefetch(v + sizeof(ZROgreVertexT) - 1);
  }
#else
  (void)vertices;
  (void)i;
#endif
}

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
  // The same with the positions looked up once for many submeshes; materials missing from
  // them sort last.
  void SortFacesByMaterial(const std::unordered_map<const ZROgreMaterialT*, std::int32_t>& positions);
  ZROgreNormalT FaceNormal(const ZROgreFaceInfoT& face) const;
  bool FaceTouchesPosition(const ZROgreFaceInfoT& face, const ZROgreBaseVertexT& vertex) const;
  void CalculateSmoothNormals();
};

class ZROgreTextureT {
 public:
  explicit ZROgreTextureT(std::string fileName) : FileName(std::move(fileName)) {}
  std::string FileName;
  // The file it is written as and the script names, unique in its folder; empty until the
  // export run names the textures, and for a texture without a usable name.
  std::string OutputName;
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
