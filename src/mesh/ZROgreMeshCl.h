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

// The coordinate sets of one vertex, in set order. Nearly every vertex has three or fewer,
// which live inside the vertex; more move to the heap. Vertices are stored by value, many
// millions of them, so a vertex makes no allocation of its own in the common case.
class TTextureCoordinateList {
 public:
  using value_type = ZROgreTextureCoordinatesT;

  TTextureCoordinateList() = default;
  TTextureCoordinateList(std::initializer_list<value_type> items) { Append(items.begin(), items.size()); }
  TTextureCoordinateList(const TTextureCoordinateList& other) { Append(other.begin(), other.size()); }
  TTextureCoordinateList(TTextureCoordinateList&& other) noexcept { Take(other); }
  TTextureCoordinateList& operator=(const TTextureCoordinateList& other) {
    if (this != &other) {
      clear();
      Append(other.begin(), other.size());
    }
    return *this;
  }
  TTextureCoordinateList& operator=(TTextureCoordinateList&& other) noexcept {
    if (this != &other) {
      FreeHeap();
      Take(other);
    }
    return *this;
  }
  TTextureCoordinateList& operator=(std::initializer_list<value_type> items) {
    clear();
    Append(items.begin(), items.size());
    return *this;
  }
  ~TTextureCoordinateList() { FreeHeap(); }

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
  static constexpr std::uint32_t kInline = 3;
  bool OnHeap() const { return capacity_ > kInline; }
  const value_type* data() const { return OnHeap() ? heap_ : inline_; }
  value_type* data() { return OnHeap() ? heap_ : inline_; }
  // Room made first, then one copy: vertices are copied by the million.
  void Append(const value_type* items, std::size_t count) {
    while (capacity_ - size_ < count) Grow();
    std::copy(items, items + count, data() + size_);
    size_ += static_cast<std::uint32_t>(count);
  }
  // Out of line: rare, and the move from inline to heap storage is kept in one place.
  void Grow();
  void FreeHeap() {
    if (OnHeap()) delete[] heap_;
    capacity_ = kInline;
  }
  // Leaves other empty, inline.
  void Take(TTextureCoordinateList& other) {
    size_ = other.size_;
    capacity_ = other.capacity_;
    if (other.OnHeap()) {
      heap_ = other.heap_;
    } else {
      std::copy(other.inline_, other.inline_ + other.size_, inline_);
    }
    other.size_ = 0;
    other.capacity_ = kInline;
  }

  std::uint32_t size_ = 0;
  std::uint32_t capacity_ = kInline;  // above kInline: the items are on the heap, owned
  union {
    value_type inline_[kInline];
    value_type* heap_;
  };
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

  ZROgreNormalT Normal;
  TTextureCoordinateList TextureCoordinates;

  void CopyFrom(const ZROgreVertexT& source);
  ZROgreVertexT Clone() const { return *this; }
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
  // Held in one block: a submesh's vertices are written and copied front to back.
  std::vector<ZROgreVertexT> Vertices;
  std::vector<ZROgreFaceInfoT> Faces;
  ZROgreMaterialT* Material = nullptr;  // not owned

  std::int32_t VertexCount() const { return static_cast<std::int32_t>(Vertices.size()); }
  // Valid until the next vertex is added.
  const ZROgreVertexT* GetVertex(std::int32_t i) const;
  ZROgreVertexT* GetVertex(std::int32_t i);
  std::int32_t AddVertex(ZROgreVertexT vertex);
  std::int32_t FaceCount() const { return static_cast<std::int32_t>(Faces.size()); }
  const ZROgreFaceInfoT& GetFace(std::int32_t i) const;
  // Inline: conversion adds every face of a level, and the split copies each once.
  void AddFace(std::int32_t i0, std::int32_t i1, std::int32_t i2, ZROgreMaterialT* material) {
    Faces.push_back({{i0, i1, i2}, material});
  }
  // The indices only: the copy names no material.
  void AddFaceCopy(const ZROgreFaceInfoT& face) { Faces.push_back({face.Indices, nullptr}); }
  // Groups faces by their material's position in materialOrder; stable.
  void SortFacesByMaterial(const std::vector<std::unique_ptr<ZROgreMaterialT>>& materialOrder);
  // The same with the positions looked up once for many submeshes; materials missing from
  // them sort last.
  void SortFacesByMaterial(const std::unordered_map<const ZROgreMaterialT*, std::int32_t>& positions);
  // Each material's position in the list, as the sort takes them.
  static std::unordered_map<const ZROgreMaterialT*, std::int32_t> MaterialPositions(
      const std::vector<std::unique_ptr<ZROgreMaterialT>>& materialOrder);
  // Each face's sort key: its material's position, materials missing from positions last.
  void FaceKeys(const std::unordered_map<const ZROgreMaterialT*, std::int32_t>& positions,
                std::vector<std::int32_t>& keys) const;
  // The face indices in the order that groups them by key, stable; false, with order left as
  // it was, when the keys never fall (nothing to move).
  static bool GroupingOrder(const std::vector<std::int32_t>& keys, std::vector<std::uint32_t>& order);
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
