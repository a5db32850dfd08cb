// Welds the candidate vertices of one primitive: equal candidates become one output vertex.
#pragma once

#include <cstdint>
#include <vector>

#include "HashedListCl.h"
#include "ZROgreMeshCl.h"

namespace pallix {

class ZROgreVertexListT final : public THashedObjectList<ZROgreVertexT> {
 public:
  ZROgreVertexT* GetVertex(std::int32_t i) { return Get(i); }
  const ZROgreVertexT* GetVertex(std::int32_t i) const { return Get(i); }
  // Index of the vertex that stands for the candidate: an equal stored vertex, which then
  // takes the candidate's data, or a new copy of the candidate appended at the end.
  std::int32_t AddVertex(const ZROgreVertexT& candidate);
  // A hint that a candidate at this position comes soon.
  void Prefetch(float x, float y, float z) const { PrefetchHash(PositionHash(x, y, z)); }

 private:
  static std::uint64_t PositionHash(float x, float y, float z);
  // Keyed by the exact bits of the position: +0 and -0 have different keys and never weld.
  std::uint64_t KeyHash(const ZROgreVertexT& item) const override;
  bool SameKey(const ZROgreVertexT& a, const ZROgreVertexT& b) const override;
  // The stored vertex decides whether texture coordinates and normals take part.
  bool SameItems(const ZROgreVertexT& sought, const ZROgreVertexT& stored) const override;
};

}  // namespace pallix
