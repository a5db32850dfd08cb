#include "ZROgreMeshCl.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cmath>
#include <limits>
#include <unordered_map>

#include "BasicFn.h"
#include "HashedListCl.h"

namespace pallix {

namespace {

// Each result is formed in double and rounded once on store, so every build gives the same bits.
float Store(double value) { return static_cast<float>(value); }

[[noreturn]] void RaiseIndex(std::int64_t index) { Raise("List index out of bounds (%d)", {index}); }

template <class List>
void CheckIndex(const List& list, std::int32_t index) {
  if (index < 0 || static_cast<std::size_t>(index) >= list.size()) RaiseIndex(index);
}

}  // namespace

void TTextureCoordinateList::Grow() {
  const std::uint32_t capacity = capacity_ * 2;
  auto* grown = new value_type[capacity];
  const value_type* from = data();
  for (std::uint32_t i = 0; i < size_; ++i) grown[i] = from[i];
  FreeHeap();
  heap_ = grown;
  capacity_ = capacity;
}

ZROgreBaseVertexT ZROgreBaseVertexT::Add(const ZROgreBaseVertexT& other) const {
  ZROgreBaseVertexT r;
  r.X = Store(double(X) + double(other.X));
  r.Y = Store(double(Y) + double(other.Y));
  r.Z = Store(double(Z) + double(other.Z));
  return r;
}

ZROgreBaseVertexT ZROgreBaseVertexT::Subtract(const ZROgreBaseVertexT& other) const {
  ZROgreBaseVertexT r;
  r.X = Store(double(X) - double(other.X));
  r.Y = Store(double(Y) - double(other.Y));
  r.Z = Store(double(Z) - double(other.Z));
  return r;
}

ZROgreBaseVertexT ZROgreBaseVertexT::CrossProduct(const ZROgreBaseVertexT& other) const {
  ZROgreBaseVertexT r;
  r.X = Store(double(Y) * double(other.Z) - double(Z) * double(other.Y));
  r.Y = Store(double(Z) * double(other.X) - double(X) * double(other.Z));
  r.Z = Store(double(X) * double(other.Y) - double(Y) * double(other.X));
  return r;
}

void ZROgreNormalT::Normalize() {
  const float length =
      Store(std::sqrt(double(X) * double(X) + double(Y) * double(Y) + double(Z) * double(Z)));
  const float factor = length == 0 ? 0.0f : Store(1.0 / double(length));
  X = Store(double(X) * double(factor));
  Y = Store(double(Y) * double(factor));
  Z = Store(double(Z) * double(factor));
}

void ZROgreVertexT::CopyFrom(const ZROgreVertexT& source) {
  AssignXYZ(source);
  TextureCoordinates = source.TextureCoordinates;
  Normal.AssignXYZ(source.Normal);
}

const ZROgreTextureCoordinatesT& ZROgreVertexT::GetTextureCoordinates(std::int32_t i) const {
  CheckIndex(TextureCoordinates, i);
  return TextureCoordinates[static_cast<std::size_t>(i)];
}

const ZROgreVertexT* ZROgreSubMeshT::GetVertex(std::int32_t i) const {
  CheckIndex(Vertices, i);
  return &Vertices[static_cast<std::size_t>(i)];
}

ZROgreVertexT* ZROgreSubMeshT::GetVertex(std::int32_t i) {
  CheckIndex(Vertices, i);
  return &Vertices[static_cast<std::size_t>(i)];
}

std::int32_t ZROgreSubMeshT::AddVertex(ZROgreVertexT vertex) {
  Vertices.push_back(std::move(vertex));
  return VertexCount() - 1;
}

const ZROgreFaceInfoT& ZROgreSubMeshT::GetFace(std::int32_t i) const {
  CheckIndex(Faces, i);
  return Faces[static_cast<std::size_t>(i)];
}

std::unordered_map<const ZROgreMaterialT*, std::int32_t> ZROgreSubMeshT::MaterialPositions(
    const std::vector<std::unique_ptr<ZROgreMaterialT>>& materialOrder) {
  std::unordered_map<const ZROgreMaterialT*, std::int32_t> positions;
  for (std::size_t i = 0; i < materialOrder.size(); ++i) {
    positions.emplace(materialOrder[i].get(), static_cast<std::int32_t>(i));
  }
  return positions;
}

void ZROgreSubMeshT::SortFacesByMaterial(const std::vector<std::unique_ptr<ZROgreMaterialT>>& materialOrder) {
  SortFacesByMaterial(MaterialPositions(materialOrder));
}

void ZROgreSubMeshT::SortFacesByMaterial(
    const std::unordered_map<const ZROgreMaterialT*, std::int32_t>& positions) {
  std::vector<std::int32_t> keys;
  FaceKeys(positions, keys);
  std::vector<std::uint32_t> order;
  if (!GroupingOrder(keys, order)) return;
  std::vector<ZROgreFaceInfoT> sorted;
  sorted.reserve(Faces.size());
  for (const std::uint32_t f : order) sorted.push_back(Faces[f]);
  Faces = std::move(sorted);
}

void ZROgreSubMeshT::FaceKeys(const std::unordered_map<const ZROgreMaterialT*, std::int32_t>& positions,
                              std::vector<std::int32_t>& keys) const {
  constexpr std::int32_t kUnlisted = std::numeric_limits<std::int32_t>::max();
  keys.resize(Faces.size());
  // Faces come in runs of one material: its position is looked up once per run.
  const ZROgreMaterialT* material = nullptr;
  std::int32_t key = kUnlisted;
  for (std::size_t f = 0; f < Faces.size(); ++f) {
    if (f == 0 || Faces[f].Material != material) {
      material = Faces[f].Material;
      const auto found = positions.find(material);
      key = found == positions.end() ? kUnlisted : found->second;
    }
    keys[f] = key;
  }
}

bool ZROgreSubMeshT::GroupingOrder(const std::vector<std::int32_t>& keys, std::vector<std::uint32_t>& order) {
  // Already in order (every submesh of one material, and many others): nothing to allocate.
  if (std::is_sorted(keys.begin(), keys.end())) return false;
  // Counting sort, stable. Keys are material positions, mostly few and close together: they
  // are counted directly when their range is no wider than the faces are many; otherwise on
  // their rank among the distinct keys, so the cost never grows with the material list.
  const auto [low, high] = std::minmax_element(keys.begin(), keys.end());
  const std::int64_t lowest = *low;
  std::vector<std::int32_t> distinct;
  const bool direct = std::int64_t{*high} - lowest < static_cast<std::int64_t>(keys.size());
  if (!direct) {
    for (std::size_t f = 0; f < keys.size(); ++f) {
      if (f == 0 || keys[f] != keys[f - 1]) distinct.push_back(keys[f]);
    }
    std::sort(distinct.begin(), distinct.end());
    distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
  }
  const auto bucketOf = [&distinct, direct, lowest](std::int32_t key) {
    if (direct) return static_cast<std::size_t>(key - lowest);
    return static_cast<std::size_t>(std::lower_bound(distinct.begin(), distinct.end(), key) - distinct.begin());
  };
  std::vector<std::size_t> starts((direct ? static_cast<std::size_t>(*high - lowest + 1) : distinct.size()) + 1, 0);
  // Buckets are worked out once per run of equal keys.
  for (std::size_t f = 0, bucket = 0; f < keys.size(); ++f) {
    if (f == 0 || keys[f] != keys[f - 1]) bucket = bucketOf(keys[f]);
    ++starts[bucket + 1];
  }
  for (std::size_t k = 1; k < starts.size(); ++k) starts[k] += starts[k - 1];
  order.resize(keys.size());
  for (std::size_t f = 0, bucket = 0; f < keys.size(); ++f) {
    if (f == 0 || keys[f] != keys[f - 1]) bucket = bucketOf(keys[f]);
    order[starts[bucket]++] = static_cast<std::uint32_t>(f);
  }
  return true;
}

ZROgreNormalT ZROgreSubMeshT::FaceNormal(const ZROgreFaceInfoT& face) const {
  const ZROgreVertexT& a = *GetVertex(face.GetIndex(0));
  const ZROgreVertexT& b = *GetVertex(face.GetIndex(1));
  const ZROgreVertexT& c = *GetVertex(face.GetIndex(2));
  ZROgreNormalT normal;
  normal.AssignXYZ(b.Subtract(c).CrossProduct(b.Subtract(a)));
  return normal;
}

bool ZROgreSubMeshT::FaceTouchesPosition(const ZROgreFaceInfoT& face, const ZROgreBaseVertexT& vertex) const {
  for (int corner = 0; corner < 3; ++corner) {
    if (GetVertex(face.GetIndex(corner))->IsEqual(vertex)) return true;
  }
  return false;
}

namespace {

// A position as IsEqual sees it: -0 folded into +0. NaN equals nothing and gets no key.
struct PositionKey {
  std::uint32_t x, y, z;
  bool operator==(const PositionKey&) const = default;
};

std::uint64_t HashOf(const PositionKey& k) {
  std::uint64_t h = (std::uint64_t(k.x) << 32 | k.y) * 0x9E3779B97F4A7C15ull;
  h ^= (h >> 29) + std::uint64_t(k.z) * 0xC2B2AE3D27D4EB4Full;
  h ^= h >> 31;
  return h * 0xFF51AFD7ED558CCDull;
}

std::uint32_t FoldedBits(float f) { return f == 0 ? 0u : std::bit_cast<std::uint32_t>(f); }

bool HasNaN(const ZROgreBaseVertexT& v) { return std::isnan(v.X) || std::isnan(v.Y) || std::isnan(v.Z); }

}  // namespace

void ZROgreSubMeshT::CalculateSmoothNormals() {
  // Each vertex gets the normalised sum of the normals of every face with a corner at its
  // position, summed in face order. Grouping vertices by position and walking the faces once
  // gives exactly those sums without testing every vertex against every face.
  constexpr std::int32_t kNoGroup = -1;
  constexpr std::size_t kPrefetchDistance = 8;
  const std::size_t count = Vertices.size();
  std::vector<PositionKey> keys(count);
  std::vector<std::uint64_t> hashes(count);
  std::vector<std::int32_t> vertexGroup(count, kNoGroup);
  for (std::size_t v = 0; v < count; ++v) {
    const ZROgreVertexT& p = Vertices[v];
    keys[v] = {FoldedBits(p.X), FoldedBits(p.Y), FoldedBits(p.Z)};
    hashes[v] = HashOf(keys[v]);
  }
  THashChainTable groupOf;  // chain head = group number; groups never share a key
  std::vector<PositionKey> groupKeys;
  for (std::size_t v = 0; v < count; ++v) {
    if (v + kPrefetchDistance < count) groupOf.Prefetch(hashes[v + kPrefetchDistance]);
    if (HasNaN(Vertices[v])) continue;
    const std::uint64_t hash = hashes[v];
    for (std::size_t slot = groupOf.Home(hash);; slot = groupOf.Next(slot)) {
      const THashChainTable::Slot& s = groupOf.At(slot);
      if (s.Head == THashChainTable::kEmpty) {
        vertexGroup[v] = static_cast<std::int32_t>(groupKeys.size());
        groupOf.StartChain(hash, vertexGroup[v]);
        groupKeys.push_back(keys[v]);
        break;
      }
      if (s.Hash == THashChainTable::Fold(hash) && groupKeys[static_cast<std::size_t>(s.Head)] == keys[v]) {
        vertexGroup[v] = s.Head;
        break;
      }
    }
  }

  std::vector<ZROgreNormalT> sums(groupKeys.size());
  for (const ZROgreFaceInfoT& face : Faces) {
    std::array<std::int32_t, 3> groups{};
    for (int corner = 0; corner < 3; ++corner) {
      groups[static_cast<std::size_t>(corner)] =
          vertexGroup.at(static_cast<std::size_t>(face.GetIndex(corner)));
    }
    const ZROgreNormalT normal = FaceNormal(face);
    for (std::size_t corner = 0; corner < 3; ++corner) {
      const std::int32_t g = groups[corner];
      // A face counts once for a position, however many of its corners lie there.
      if (g == kNoGroup || (corner > 0 && groups[0] == g) || (corner > 1 && groups[1] == g)) continue;
      ZROgreNormalT& sum = sums[static_cast<std::size_t>(g)];
      sum.AssignXYZ(sum.Add(normal));
    }
  }
  for (ZROgreNormalT& sum : sums) sum.Normalize();

  for (std::size_t v = 0; v < Vertices.size(); ++v) {
    const std::int32_t g = vertexGroup[v];
    Vertices[v].Normal = g == kNoGroup ? ZROgreNormalT{} : sums[static_cast<std::size_t>(g)];
  }
}

ZROgreTextureUnitT* ZROgreMaterialT::GetTextureUnit(std::int32_t i) const {
  CheckIndex(TextureUnits, i);
  return TextureUnits[static_cast<std::size_t>(i)].get();
}

void ZROgreMaterialT::AddTextureUnit(ZROgreTextureT* texture, std::string operation, std::int32_t set) {
  TextureUnits.push_back(std::make_unique<ZROgreTextureUnitT>(texture, std::move(operation), set));
}

}  // namespace pallix
