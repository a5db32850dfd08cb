#include "uScene.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <unordered_map>

#include "BasicFn.h"

namespace pallix {

namespace {

[[noreturn]] void RaiseIndex(std::int64_t index) { Raise("List index out of bounds (%d)", {index}); }

template <typename List>
void CheckIndex(const List& list, std::int32_t index) {
  if (index < 0 || static_cast<std::size_t>(index) >= list.size()) RaiseIndex(index);
}

// Inline: the vertex lookup runs for every corner of a scene.
inline unsigned char Folded(char c) {
  const auto u = static_cast<unsigned char>(c);
  return (u >= 'A' && u <= 'Z') ? static_cast<unsigned char>(u + ('a' - 'A')) : u;
}

// FNV-1a over the ASCII-folded bytes: ids differing only in letter case hash alike.
std::uint32_t FoldedHash(std::string_view text) {
  std::uint32_t h = 2166136261u;
  for (char c : text) {
    h ^= Folded(c);
    h *= 16777619u;
  }
  return h;
}

bool SameFolded(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i] && Folded(a[i]) != Folded(b[i])) return false;
  }
  return true;
}

// The number after a leading "v" or "V", when the rest is decimal digits (no more than 9).
bool NumberedId(std::string_view id, std::size_t& number) {
  if (id.size() < 2 || id.size() > 10 || Folded(id[0]) != 'v') return false;
  number = 0;
  for (std::size_t i = 1; i < id.size(); ++i) {
    const auto digit = static_cast<unsigned>(id[i] - '0');
    if (digit > 9) return false;
    number = number * 10 + digit;
  }
  return true;
}

// Whether id is "v" and position in decimal, as levels number their vertices.
bool IsPositionId(std::string_view id, std::size_t position) {
  std::size_t number;
  return !id.empty() && id[0] == 'v' && NumberedId(id, number) && number == position &&
         (id.size() == 2 || id[1] != '0');
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Materials

TMaterialLayer* TMaterial::GetLayer(std::int32_t index) const {
  CheckIndex(Layers, index);
  return Layers[static_cast<std::size_t>(index)].get();
}

std::int32_t TMaterial::AddLayer(std::unique_ptr<TMaterialLayer> layer) {
  Layers.push_back(std::move(layer));
  return LayerCount() - 1;
}

bool TMaterial::HasLightmap() const {
  for (const auto& layer : Layers) {
    if (layer->IsLightmap) return true;
  }
  return false;
}

std::int32_t TMaterialCategory::AddMaterial(TMaterial* material) {
  Materials.push_back(material);
  return static_cast<std::int32_t>(Materials.size()) - 1;
}

// ---------------------------------------------------------------------------------------------
// Polygons and UV sets

// ---------------------------------------------------------------------------------------------
// Arena

void TArena::TBlockFree::operator()(TBlock* block) const {
  block->~TBlock();
  ::operator delete(block);
}

std::byte* TArena::NewBlock(std::size_t bytes) {
  static_assert(alignof(TBlock) <= __STDCPP_DEFAULT_NEW_ALIGNMENT__);
  void* raw = ::operator new(sizeof(TBlock) + bytes);
  last_.reset(::new (raw) TBlock{std::move(last_)});
  reserved_ += bytes;
  return reinterpret_cast<std::byte*>(last_.get() + 1);
}

void* TArena::AllocateInNewBlock(std::size_t bytes) {
  // Blocks grow with the arena, a quarter of what it holds at a time: a small primitive does
  // not hold a big block, and the last block of a big one leaves little unused. The first
  // block is the smallest; a primitive that needs a second is not that small, and gets twice
  // as much at once.
  constexpr std::size_t kFirstBlock = 256;
  constexpr std::size_t kSmallestBlock = 2 * kFirstBlock;
  constexpr std::size_t kLargestBlock = 64 * 1024;
  const std::size_t size =
      reserved_ == 0 ? kFirstBlock : std::clamp(reserved_ / 4, kSmallestBlock, kLargestBlock);
  // A big request, or one larger than the next block would be (a polygon of many corners, a
  // material of many layers), gets a block of its own; the current block keeps serving small
  // requests.
  if (bytes > kLargestBlock / 4 || bytes > size) return NewBlock(bytes);
  next_ = NewBlock(size);
  left_ = size - bytes;
  void* result = next_;
  next_ += bytes;
  return result;
}

TUVCoordinate& TUVCoordinates::GetCoordinate(std::int32_t index) {
  if (index < 0) RaiseIndex(index);
  Coordinates.GrowTo(static_cast<std::size_t>(index) + 1);
  return Coordinates[static_cast<std::size_t>(index)];
}

TVertex* TPolygon::GetVertex(std::int32_t index) const {
  CheckIndex(Vertices, index);
  return Vertices[static_cast<std::size_t>(index)];
}

std::int32_t TPolygon::AddVertex(TVertex* vertex) {
  Vertices.push_back(vertex);
  return VertexCount() - 1;
}

TUVCoordinates& TPolygon::GetUVSet(std::int32_t index) {
  if (index < 0) RaiseIndex(index);
  UVSets.GrowTo(static_cast<std::size_t>(index) + 1);
  return UVSets[static_cast<std::size_t>(index)];
}

TVertex TPolygon::NewellNormal() const {
  // Sums in double, one rounding to single at the end: 32- and 64-bit builds agree.
  double nx = 0, ny = 0, nz = 0;
  const TVertex* prev = nullptr;
  for (std::size_t i = Vertices.size(); i > 0 && !prev; --i) prev = Vertices[i - 1];
  if (prev) {
    for (const TVertex* cur : Vertices) {
      if (!cur) continue;  // an empty corner adds no edge
      nx += (static_cast<double>(prev->Z) + cur->Z) * (static_cast<double>(cur->Y) - prev->Y);
      ny += (static_cast<double>(prev->X) + cur->X) * (static_cast<double>(cur->Z) - prev->Z);
      nz += (static_cast<double>(prev->Y) + cur->Y) * (static_cast<double>(cur->X) - prev->X);
      prev = cur;
    }
  }
  double length = std::sqrt(nx * nx + ny * ny + nz * nz);
  if (length < 0.001) length = 0.001;
  TVertex normal;
  normal.X = static_cast<float>(nx / length);
  normal.Y = static_cast<float>(ny / length);
  normal.Z = static_cast<float>(nz / length);
  return normal;
}

const TVertex& TPolygon::CalculateNormal() {
  if (!normal_) normal_ = std::make_unique<TVertex>();
  *normal_ = NewellNormal();
  return *normal_;
}

// ---------------------------------------------------------------------------------------------
// Primitives

// Open addressing with linear probing over positions in Vertices. Each slot keeps the id's
// hash beside the position, so probes rarely touch the vertex itself: 8 bytes a slot,
// at most ~23 bytes per vertex.
class TPrimitive::VertexIndex {
 public:
  TVertex* Find(const TArenaList<TVertex>& vertices, std::string_view id) const {
    if (slots_.empty()) return nullptr;
    const std::uint32_t hash = FoldedHash(id);
    for (std::size_t i = hash & mask_;; i = (i + 1) & mask_) {
      const Slot& slot = slots_[i];
      if (slot.position == 0) return nullptr;
      if (slot.hash == hash) {
        TVertex* vertex = vertices[slot.position - 1].get();
        if (SameFolded(vertex->Id, id)) return vertex;
      }
    }
  }

  void Reserve(std::size_t count) {
    while (count * 10 > slots_.size() * 7) Grow();
  }

  // Files vertices[position]; a duplicate id is not filed, so lookups keep finding the first.
  void Add(const TArenaList<TVertex>& vertices, std::size_t position) {
    Reserve(count_ + 1);
    const std::string_view id = vertices[position]->Id;
    const std::uint32_t hash = FoldedHash(id);
    std::size_t i = hash & mask_;
    for (;; i = (i + 1) & mask_) {
      const Slot& slot = slots_[i];
      if (slot.position == 0) break;
      if (slot.hash == hash && SameFolded(vertices[slot.position - 1]->Id, id)) return;
    }
    slots_[i] = {hash, static_cast<std::uint32_t>(position + 1)};
    ++count_;
  }

 private:
  struct Slot {
    std::uint32_t hash = 0;
    std::uint32_t position = 0;  // index + 1; 0 marks a free slot
  };

  void Grow() {
    std::vector<Slot> old = std::move(slots_);
    const std::size_t size = old.empty() ? 16 : old.size() * 2;
    slots_.assign(size, Slot{});
    mask_ = size - 1;
    for (const Slot& slot : old) {
      if (slot.position == 0) continue;
      std::size_t i = slot.hash & mask_;
      while (slots_[i].position != 0) i = (i + 1) & mask_;
      slots_[i] = slot;
    }
  }

  std::vector<Slot> slots_;
  std::size_t mask_ = 0;
  std::size_t count_ = 0;
};

TPrimitive::TPrimitive() = default;

TPrimitive::~TPrimitive() = default;

void TPrimitive::AddVertex(std::unique_ptr<TVertex> vertex) {
  assert(vertex);
  Vertices.push_back(std::move(vertex));
  Filed();
}

TVertex& TPrimitive::AddVertex(std::string_view id) {
  TVertex& added = Vertices.emplace_back();
  added.Id = id;
  Filed();
  return added;
}

void TPrimitive::Filed() {
  const std::size_t last = Vertices.size() - 1;
  if (numbered_ == last && IsPositionId(Vertices[last]->Id, last)) ++numbered_;
  if (index_) index_->Add(Vertices, last);
}

TVertex* TPrimitive::FindVertex(std::string_view id) const {
  // Vertices numbered by position: no earlier one among them has a matching id, so the one at
  // the id's number is the first match.
  std::size_t number;
  if (NumberedId(id, number) && number < numbered_) {
    TVertex* vertex = Vertices[number].get();
    if (SameFolded(vertex->Id, id)) return vertex;
  }
  if (!index_) {
    // Built at the first lookup after filling, and kept up to date from then on.
    index_ = std::make_unique<VertexIndex>();
    index_->Reserve(Vertices.size());
    for (std::size_t i = 0; i < Vertices.size(); ++i) index_->Add(Vertices, i);
  }
  return index_->Find(Vertices, id);
}

void TPrimitive::Compact() {
  // Doubling leaves up to half of a list unused, and a big level has millions of items in
  // them; exact room in the arena also saves a small primitive two allocations.
  Vertices.MoveIntoArena();
  Polygons.MoveIntoArena();
  index_.reset();
}

void TPrimitive::ReleaseGeometry() {
  Polygons.clear();
  Vertices.clear();
  numbered_ = 0;
  index_.reset();
  arena_.Release();
}

TPolygon* TPrimitive::GetPolygon(std::int32_t index) const {
  CheckIndex(Polygons, index);
  return Polygons[static_cast<std::size_t>(index)].get();
}

std::int32_t TPrimitive::AddPolygon(std::unique_ptr<TPolygon> polygon) {
  Polygons.push_back(std::move(polygon));
  return PolygonCount() - 1;
}

// ---------------------------------------------------------------------------------------------
// Scene

// Positions in Materials by exact Id. Built lazily: the reader sets a material's Id only
// after filing it, so new materials are indexed at the next lookup. A hit is checked
// against the material's current Id and the index rebuilt when it went stale.
class TScene::MaterialIndex {
 public:
  TMaterial* Find(const std::vector<std::unique_ptr<TMaterial>>& materials, std::string_view id) {
    if (indexed_ > materials.size()) Rebuild(materials);
    Extend(materials);
    if (TMaterial* found = Lookup(materials, id)) return found;
    if (!stale_) return nullptr;
    Rebuild(materials);
    return Lookup(materials, id);
  }

 private:
  struct Hash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };

  TMaterial* Lookup(const std::vector<std::unique_ptr<TMaterial>>& materials, std::string_view id) {
    const auto it = positions_.find(id);
    if (it == positions_.end()) return nullptr;
    TMaterial* material = it->second < materials.size() ? materials[it->second].get() : nullptr;
    if (material && material->Id == id) return material;
    stale_ = true;
    return nullptr;
  }

  void Extend(const std::vector<std::unique_ptr<TMaterial>>& materials) {
    for (; indexed_ < materials.size(); ++indexed_) {
      positions_.try_emplace(materials[indexed_]->Id, indexed_);  // the first Id wins
    }
  }

  void Rebuild(const std::vector<std::unique_ptr<TMaterial>>& materials) {
    positions_.clear();
    indexed_ = 0;
    stale_ = false;
    Extend(materials);
  }

  std::unordered_map<std::string, std::size_t, Hash, std::equal_to<>> positions_;
  std::size_t indexed_ = 0;
  bool stale_ = false;
};

// Positions in Categories by name, letter case folded, so that filing a material does not scan
// every category. Categories appended since the last lookup are indexed first.
class TScene::CategoryIndex {
 public:
  using List = std::vector<std::pair<std::string, std::unique_ptr<TMaterialCategory>>>;

  TMaterialCategory* Find(const List& categories, std::string_view name) {
    if (indexed_ > categories.size()) {
      positions_.clear();
      indexed_ = 0;
    }
    for (; indexed_ < categories.size(); ++indexed_)
      positions_.try_emplace(categories[indexed_].first, indexed_);
    const auto it = positions_.find(name);
    return it == positions_.end() ? nullptr : categories[it->second].second.get();
  }

 private:
  struct Hash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return FoldedHash(s); }
  };
  struct Equal {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const { return SameFolded(a, b); }
  };

  std::unordered_map<std::string, std::size_t, Hash, Equal> positions_;  // the first of each name
  std::size_t indexed_ = 0;
};

TScene::TScene()
    : materialIndex_(std::make_unique<MaterialIndex>()), categoryIndex_(std::make_unique<CategoryIndex>()) {}

TScene::~TScene() = default;

TMaterial* TScene::GetMaterial(std::int32_t index) const {
  CheckIndex(Materials, index);
  return Materials[static_cast<std::size_t>(index)].get();
}

void TScene::AddMaterial(std::unique_ptr<TMaterial> material) {
  assert(material);
  TMaterial* added = material.get();
  Materials.push_back(std::move(material));
  TMaterialCategory* category = categoryIndex_->Find(Categories, added->Category);
  if (!category) {
    auto created = std::make_unique<TMaterialCategory>();
    created->Name = added->Category;
    category = created.get();
    Categories.emplace_back(added->Category, std::move(created));
  }
  category->AddMaterial(added);
}

std::int32_t TScene::IndexOfMaterial(const TMaterial* material) const {
  if (!material) return -1;
  for (std::size_t i = 0; i < Materials.size(); ++i) {
    if (Materials[i].get() == material) return static_cast<std::int32_t>(i);
  }
  return -1;
}

TMaterial* TScene::FindMaterial(std::string_view id) const { return materialIndex_->Find(Materials, id); }

TPrimitive* TScene::GetPrimitive(std::int32_t index) const {
  CheckIndex(Primitives, index);
  return Primitives[static_cast<std::size_t>(index)].get();
}

std::int32_t TScene::AddPrimitive(std::unique_ptr<TPrimitive> primitive) {
  Primitives.push_back(std::move(primitive));
  return PrimitiveCount() - 1;
}

std::int32_t TScene::AddLight(std::unique_ptr<TLight> light) {
  Lights.push_back(std::move(light));
  return static_cast<std::int32_t>(Lights.size()) - 1;
}

}  // namespace pallix
