// The scene as the editor describes it: materials with layers, primitives with vertices
// and polygons, lights and settings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
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

// Storage for the many small arrays of a primitive's polygons: carved from big blocks and
// released all at once, without a per-array allocation.
class TArena {
 public:
  TArena() = default;
  ~TArena() { Release(); }
  TArena(const TArena&) = delete;
  TArena& operator=(const TArena&) = delete;

  // Uninitialised room for count items of T, aligned for T.
  template <typename T>
  T* Allocate(std::size_t count) {
    static_assert(alignof(T) <= kAlignment);
    return static_cast<T*>(Allocate(count * sizeof(T)));
  }
  std::size_t BytesReserved() const { return reserved_; }
  // Gives every block back; nothing carved from them may be used afterwards.
  void Release() {
    // One at a time: a long chain must not free itself recursively.
    while (last_) last_ = std::move(last_->previous);
    next_ = nullptr;
    left_ = reserved_ = 0;
  }

 private:
  static constexpr std::size_t kAlignment = 8;
  struct TBlock;
  struct TBlockFree {
    void operator()(TBlock* block) const;
  };
  // Each block starts with the block made before it, so a small primitive's arena costs no
  // allocation beyond its blocks.
  struct alignas(kAlignment) TBlock {
    std::unique_ptr<TBlock, TBlockFree> previous;
  };
  static_assert(sizeof(TBlock) % kAlignment == 0);

  // Most requests fit the current block: only opening a block is out of line.
  void* Allocate(std::size_t bytes) {
    bytes = (bytes + kAlignment - 1) & ~(kAlignment - 1);
    if (bytes > left_) return AllocateInNewBlock(bytes);
    void* result = next_;
    next_ += bytes;
    left_ -= bytes;
    return result;
  }
  void* AllocateInNewBlock(std::size_t bytes);
  std::byte* NewBlock(std::size_t bytes);

  std::unique_ptr<TBlock, TBlockFree> last_;
  std::byte* next_ = nullptr;
  std::size_t left_ = 0;
  std::size_t reserved_ = 0;
};

// An owning list in 16 bytes whose storage is either its own (heap, grown by doubling) or,
// sized once, borrowed from an arena that outlives it. Growing past borrowed storage moves
// the items to the heap.
// kFirstRoom: the room made for the first item.
template <typename T, std::uint32_t kFirstRoom = 4>
class TCompactList {
 public:
  TCompactList() = default;
  ~TCompactList() { Release(); }
  TCompactList(const TCompactList&) = delete;
  TCompactList& operator=(const TCompactList&) = delete;
  TCompactList(TCompactList&& other) noexcept
      : data_(std::exchange(other.data_, nullptr)),
        size_(std::exchange(other.size_, 0)),
        capacity_(std::exchange(other.capacity_, 0)) {}
  TCompactList& operator=(TCompactList&& other) noexcept {
    if (this != &other) {
      Release();
      data_ = std::exchange(other.data_, nullptr);
      size_ = std::exchange(other.size_, 0);
      capacity_ = std::exchange(other.capacity_, 0);
    }
    return *this;
  }

  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  T& operator[](std::size_t index) { return data_[index]; }
  const T& operator[](std::size_t index) const { return data_[index]; }
  T* begin() { return data_; }
  T* end() { return data_ + size_; }
  const T* begin() const { return data_; }
  const T* end() const { return data_ + size_; }
  T& back() { return data_[size_ - 1]; }

  template <typename... Args>
  T& emplace_back(Args&&... args) {
    if (size_ == Capacity()) Grow(size_ == 0 ? kFirstRoom : std::size_t{size_} * 2);
    T* item = ::new (static_cast<void*>(data_ + size_)) T(std::forward<Args>(args)...);
    ++size_;
    return *item;
  }
  void push_back(T item) { emplace_back(std::move(item)); }
  // Default-constructed items up to count; never shrinks.
  void GrowTo(std::size_t count) {
    if (count > Capacity()) Grow(count);
    while (size_ < count) emplace_back();
  }
  // Exact room for count items from the arena; only for a list that never held storage.
  void Borrow(TArena& arena, std::size_t count) {
    if (data_ || count == 0) return;
    data_ = arena.Allocate<T>(count);
    capacity_ = static_cast<std::uint32_t>(count);
  }
  // The items into exact room from the arena, when they are in storage of the list's own.
  void MoveInto(TArena& arena) {
    if (capacity_ & kOwned) Relocate(size_ ? arena.Allocate<T>(size_) : nullptr, size_);
  }

 private:
  static constexpr std::uint32_t kOwned = 0x80000000u;
  std::size_t Capacity() const { return capacity_ & ~kOwned; }

  void Grow(std::size_t capacity) {
    static_assert(alignof(T) <= __STDCPP_DEFAULT_NEW_ALIGNMENT__);
    Relocate(static_cast<T*>(::operator new(capacity * sizeof(T))),
             static_cast<std::uint32_t>(capacity) | kOwned);
  }
  // The items moved into storage, which becomes the list's; capacity carries kOwned when the
  // storage is the list's own allocation.
  void Relocate(T* storage, std::uint32_t capacity) {
    for (std::uint32_t i = 0; i < size_; ++i) {
      ::new (static_cast<void*>(storage + i)) T(std::move(data_[i]));
      data_[i].~T();
    }
    FreeStorage();
    data_ = storage;
    capacity_ = capacity;
  }
  void FreeStorage() {
    if (capacity_ & kOwned) ::operator delete(data_);
  }
  void Release() {
    for (std::uint32_t i = 0; i < size_; ++i) data_[i].~T();
    FreeStorage();
    data_ = nullptr;
    size_ = capacity_ = 0;
  }

  T* data_ = nullptr;
  std::uint32_t size_ = 0;
  std::uint32_t capacity_ = 0;  // top bit: the storage is our own
};

// A pointer that reads like the owning one a list of separately allocated items hands out
// (->, *, get()); the list it comes from owns the item.
template <typename T>
class TItemPtr {
 public:
  TItemPtr() = default;
  T* get() const { return reinterpret_cast<T*>(bits_ & ~kOwnAllocation); }
  T* operator->() const { return get(); }
  T& operator*() const { return *get(); }
  explicit operator bool() const { return bits_ != 0; }

 private:
  template <typename>
  friend class TArenaList;
  // Items handed over with an allocation of their own keep it (and their address).
  static constexpr std::uintptr_t kOwnAllocation = 1;
  static_assert(alignof(T) > 1);
  TItemPtr(T* item, bool ownAllocation)
      : bits_(reinterpret_cast<std::uintptr_t>(item) | (ownAllocation ? kOwnAllocation : 0)) {}
  bool OwnAllocation() const { return bits_ & kOwnAllocation; }

  std::uintptr_t bits_ = 0;
};

// An owning list whose items mostly live in an arena, each at a fixed address: no allocation
// of its own per item. The arena must outlive the list.
template <typename T>
class TArenaList {
 public:
  explicit TArenaList(TArena& arena) : arena_(arena) {}
  ~TArenaList() { clear(); }
  TArenaList(const TArenaList&) = delete;
  TArenaList& operator=(const TArenaList&) = delete;

  std::size_t size() const { return items_.size(); }
  bool empty() const { return items_.empty(); }
  const TItemPtr<T>& operator[](std::size_t index) const { return items_[index]; }
  const TItemPtr<T>& back() const { return items_[items_.size() - 1]; }
  const TItemPtr<T>* begin() const { return items_.begin(); }
  const TItemPtr<T>* end() const { return items_.end(); }

  // A new item in the arena.
  template <typename... Args>
  T& emplace_back(Args&&... args) {
    T* item = ::new (static_cast<void*>(arena_.Allocate<T>(1))) T(std::forward<Args>(args)...);
    items_.push_back(TItemPtr<T>(item, false));
    return *item;
  }
  // Takes the item over where it is: pointers to it stay valid.
  T& push_back(std::unique_ptr<T> item) {
    T* adopted = item.release();
    items_.push_back(TItemPtr<T>(adopted, true));
    return *adopted;
  }
  void clear() {
    for (const TItemPtr<T>& item : items_) {
      if (item.OwnAllocation()) {
        delete item.get();
      } else {
        item->~T();
      }
    }
    items_ = {};
  }
  // Done growing: the item list moves into exact room in the arena.
  void MoveIntoArena() { items_.MoveInto(arena_); }

 private:
  TArena& arena_;
  // Primitives hold a few vertices at least: fewer small steps, and Compact trims the rest.
  TCompactList<TItemPtr<T>, 16> items_;
};

class TUVCoordinate {
 public:
  float U = 0, V = 0;
};

class TUVCoordinates {
 public:
  TCompactList<TUVCoordinate> Coordinates;
  // Grows the list with (0, 0) entries as needed.
  TUVCoordinate& GetCoordinate(std::int32_t index);
  void AppendUV(float u, float v) { Coordinates.push_back({u, v}); }
  std::int32_t Count() const { return static_cast<std::int32_t>(Coordinates.size()); }
};

class TPolygon {
 public:
  TCompactList<TVertex*> Vertices;  // corners; not owned
  TMaterial* Material = nullptr;    // not owned
  TCompactList<TUVCoordinates> UVSets;

  std::int32_t VertexCount() const { return static_cast<std::int32_t>(Vertices.size()); }
  TVertex* GetVertex(std::int32_t index) const;
  std::int32_t AddVertex(TVertex* vertex);
  // Grows UVSets with empty sets as needed.
  TUVCoordinates& GetUVSet(std::int32_t index);
  // Newell's sum with the divisor clamped at 0.001. The result is the polygon's own normal
  // object, overwritten by the next call.
  const TVertex& CalculateNormal();
  // The same value, kept nowhere: conversion needs one per polygon, once.
  TVertex NewellNormal() const;
  // The last result of CalculateNormal; nullptr before the first call.
  const TVertex* Normal() const { return normal_.get(); }

 private:
  // Made on first use: most polygons of a read scene never need one until conversion.
  std::unique_ptr<TVertex> normal_;
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

 private:
  TArena arena_;  // before the lists that live in it

 public:
  TArenaList<TVertex> Vertices{arena_};  // insertion order
  TArenaList<TPolygon> Polygons{arena_};

  // Files the vertex under its Id (set first); duplicates are kept, lookups find the first.
  void AddVertex(std::unique_ptr<TVertex> vertex);
  // A new vertex filed under id; its coordinates are the caller's to set.
  TVertex& AddVertex(std::string_view id);
  // Ignores letter case; nullptr when absent.
  TVertex* FindVertex(std::string_view id) const;

  std::int32_t PolygonCount() const { return static_cast<std::int32_t>(Polygons.size()); }
  TPolygon* GetPolygon(std::int32_t index) const;
  std::int32_t AddPolygon(std::unique_ptr<TPolygon> polygon);

  // Storage that polygons of this primitive may borrow for their corners and UV sets.
  TArena& Arena() { return arena_; }

  // Done filling: lists move into exact room in the arena and the id index goes until the next
  // lookup.
  void Compact();
  // Drops the vertices and polygons, once converted, so their memory serves what follows.
  void ReleaseGeometry();

 private:
  void Filed();  // the last vertex added
  class VertexIndex;
  mutable std::unique_ptr<VertexIndex> index_;
  std::size_t numbered_ = 0;  // leading vertices whose ids are "v" and their position
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
  class CategoryIndex;
  std::unique_ptr<CategoryIndex> categoryIndex_;
};

}  // namespace pallix
