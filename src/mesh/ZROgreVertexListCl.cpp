#include "ZROgreVertexListCl.h"

#include <bit>
#include <cmath>

namespace pallix {

namespace {

std::uint32_t Bits(float f) { return std::bit_cast<std::uint32_t>(f); }

std::uint64_t Mix(std::uint64_t h) {
  h ^= h >> 33;
  h *= 0xFF51AFD7ED558CCDull;
  h ^= h >> 33;
  h *= 0xC4CEB9FE1A85EC53ull;
  h ^= h >> 33;
  return h;
}

}  // namespace

std::uint64_t ZROgreVertexListT::PositionHash(float x, float y, float z) {
  return Mix(Mix(std::uint64_t(Bits(x)) << 32 | Bits(y)) ^ Bits(z));
}

std::uint64_t ZROgreVertexListT::KeyHash(const ZROgreVertexT& item) const {
  return PositionHash(item.X, item.Y, item.Z);
}

bool ZROgreVertexListT::SameKey(const ZROgreVertexT& a, const ZROgreVertexT& b) const {
  return Bits(a.X) == Bits(b.X) && Bits(a.Y) == Bits(b.Y) && Bits(a.Z) == Bits(b.Z);
}

bool ZROgreVertexListT::SameItems(const ZROgreVertexT& sought, const ZROgreVertexT& stored) const {
  if (!sought.IsEqual(stored)) return false;
  // The normal is tested before the coordinates: it sits in the vertex itself, and with face
  // normals it is what tells most vertices at one position apart.
  if (stored.HasNormal() && !sought.Normal.IsEqual(stored.Normal)) return false;
  if (stored.HasTextureCoordinates()) {
    if (sought.TextureCoordinateCount() != stored.TextureCoordinateCount()) return false;
    for (std::size_t i = 0; i < stored.TextureCoordinates.size(); ++i) {
      if (!sought.TextureCoordinates[i].IsEqual(stored.TextureCoordinates[i])) return false;
    }
  }
  return true;
}

std::int32_t ZROgreVertexListT::AddVertex(const ZROgreVertexT& candidate) {
  // A NaN coordinate equals nothing: skip the search, whose chain could only hold misses.
  const bool searchable = !(std::isnan(candidate.X) || std::isnan(candidate.Y) || std::isnan(candidate.Z));
  bool added;
  const std::int32_t i = FindOrAdd(candidate, searchable, added);
  if (!added) GetVertex(i)->CopyFrom(candidate);
  return i;
}

}  // namespace pallix
