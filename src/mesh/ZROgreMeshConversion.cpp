// Conversion: each scene primitive becomes welded, fan-triangulated submeshes, one per material.
#include <algorithm>
#include <cassert>
#include <unordered_map>

#include "BasicFn.h"
#include "ZROgreMeshExporterCl.h"
#include "ZROgreVertexListCl.h"

namespace pallix {

namespace {

constexpr std::uint8_t kFaceNormals = 1;
constexpr std::uint8_t kSmoothNormals = 2;
constexpr std::size_t kPrefetchDistance = 4;

// round(100 * i / n), halves to the even neighbour.
std::int32_t PercentRoundedToEven(std::int64_t i, std::int64_t n) {
  return static_cast<std::int32_t>(DivideRoundingToEven(100 * i, n));
}

// Whether the faces use every one of count vertices.
bool AllVerticesUsed(const std::vector<ZROgreFaceInfoT>& faces, std::size_t count) {
  std::vector<std::uint8_t> used(count, 0);
  std::size_t seen = 0;
  for (const ZROgreFaceInfoT& face : faces) {
    for (const std::int32_t index : face.Indices) {
      std::uint8_t& slot = used.at(static_cast<std::size_t>(index));
      seen += slot ^ 1u;
      slot = 1;
    }
  }
  return seen == count;
}

// The vertices moved out, in storage of their own size: the welding list sized its block for
// every corner, and the final submeshes live until the end of the run.
std::vector<ZROgreVertexT> TakeExact(std::vector<ZROgreVertexT>& vertices) {
  if (vertices.capacity() - vertices.size() <= vertices.size() / 8) return std::move(vertices);
  return {vertices.begin(), vertices.end()};
}

}  // namespace

// Per source vertex: its index in the current target, or kUnused. Only the vertices of the
// current group are touched, so a primitive of many materials costs no more than its faces.
struct ZROgreMeshExporterT::SplitScratch {
  static constexpr std::int32_t kUnused = -1;
  std::vector<std::int32_t> renumbered;
  std::vector<std::int32_t> picked;
  std::vector<std::int32_t> keys;    // per face of the source: its material's position
  std::vector<std::uint32_t> order;  // the source's faces grouped by key
};

void ZROgreMeshExporterT::BuildMesh(TScene& scene, bool releaseConverted) {
  ProcessMaterials(scene);
  // Pruning keeps the order of the materials left, and every face's material is used: the
  // positions before pruning sort the faces as those after it would.
  ConvertPrimitives(scene, releaseConverted, true);
  PruneMaterials();
  PruneTextures();
}

void ZROgreMeshExporterT::ProcessPrimitives(TScene& scene, bool releaseConverted) {
  ConvertPrimitives(scene, releaseConverted, false);
}

ZROgreMeshExporterT::TMaterialPositions ZROgreMeshExporterT::MaterialPositions() const {
  return Materials ? ZROgreSubMeshT::MaterialPositions(*Materials) : TMaterialPositions{};
}

void ZROgreMeshExporterT::ConvertPrimitives(TScene& scene, bool releaseConverted, bool split) {
  if (SubMeshes) return;
  SubMeshes = std::make_unique<std::vector<std::unique_ptr<ZROgreSubMeshT>>>();
  SplitScratch scratch;
  ZROgreSubMeshT built;

  // Scene material -> its first position in the scene's list, as IndexOfMaterial gives it.
  std::unordered_map<const TMaterial*, std::int32_t> materialIndex;
  for (std::int32_t m = 0; m < scene.MaterialCount(); ++m) materialIndex.try_emplace(scene.GetMaterial(m), m);
  const auto materialCount = static_cast<std::int32_t>(Materials ? Materials->size() : 0);

  std::vector<std::int32_t> corners;
  ZROgreVertexT candidate(0, 0, 0);
  // One welding list serves every primitive in turn, emptied before each: its storage is
  // made once, not once per primitive.
  ZROgreVertexListT welded;
  const std::int32_t n = scene.PrimitiveCount();
  for (std::int32_t i = 0; i < n; ++i) {
    const TPrimitive& primitive = *scene.GetPrimitive(i);
    auto& subMesh = split ? built : *SubMeshes->emplace_back(std::make_unique<ZROgreSubMeshT>());
    std::size_t faceCount = 0;
    std::size_t cornerCount = 0;
    for (const auto& polygon : primitive.Polygons) {
      if (polygon->VertexCount() >= 3) {
        faceCount += static_cast<std::size_t>(polygon->VertexCount() - 2);
        cornerCount += static_cast<std::size_t>(polygon->VertexCount());
      }
    }
    subMesh.Faces.reserve(faceCount);
    // Conversion knows each face's material position: the split needs no lookup of its own.
    scratch.keys.clear();
    // Every corner is at most one new vertex: the table never grows.
    welded.Reset(cornerCount);

    const auto polygonCount = static_cast<std::size_t>(primitive.PolygonCount());
    for (std::size_t p = 0; p < polygonCount; ++p) {
      // Large primitives: the welding table is bigger than the cache, so ask for the slots of
      // a coming polygon's corners while this one is worked on.
      if (p + kPrefetchDistance < polygonCount) {
        for (const TVertex* corner : primitive.Polygons[p + kPrefetchDistance]->Vertices) {
          if (corner) welded.Prefetch(corner->X, corner->Y, corner->Z);
        }
      }
      TPolygon& polygon = *primitive.Polygons[p];
      const auto found = materialIndex.find(polygon.Material);
      const std::int32_t m = found == materialIndex.end() ? -1 : found->second;
      if (m < 0 || m >= materialCount) Raise("List index out of bounds (%d)", {m});
      ZROgreMaterialT* material = (*Materials)[static_cast<std::size_t>(m)].get();

      const std::int32_t cornerCount = polygon.VertexCount();
      if (cornerCount < 3) continue;
      material->Used = true;

      ZROgreNormalT faceNormal;
      if (normalsToExport == kFaceNormals) {
        const TVertex normal = polygon.NewellNormal();
        faceNormal.X = normal.X;
        faceNormal.Y = normal.Y;
        faceNormal.Z = normal.Z;
      }

      corners.resize(static_cast<std::size_t>(cornerCount));
      const std::int32_t units = material->TextureUnitCount();
      for (std::int32_t k = 0; k < cornerCount; ++k) {
        const TVertex* corner = polygon.GetVertex(k);
        assert(corner && "the scene reader rejects corners that name no vertex");
        candidate.X = corner->X;
        candidate.Y = corner->Y;
        candidate.Z = corner->Z;
        candidate.ClearTextureCoordinates();
        for (std::int32_t j = 0; j < units; ++j) {
          const auto set = static_cast<std::size_t>(j);
          const auto at = static_cast<std::size_t>(k);
          // A set or an entry the polygon lacks is made, as (0, 0), by asking for it.
          const TUVCoordinate& uv = set < polygon.UVSets.size() && at < polygon.UVSets[set].Coordinates.size()
                                        ? polygon.UVSets[set].Coordinates[at]
                                        : polygon.GetUVSet(j).GetCoordinate(k);
          candidate.AddTextureCoordinates(uv.U, uv.V);
        }
        candidate.Normal.AssignXYZ(faceNormal);
        corners[static_cast<std::size_t>(k)] = welded.AddVertex(candidate);
      }

      // Fan with the corners reversed: the scene's corners run clockwise seen from the front.
      for (std::int32_t t = 0; t + 2 < cornerCount; ++t) {
        subMesh.AddFace(corners[static_cast<std::size_t>(t + 2)], corners[static_cast<std::size_t>(t + 1)],
                        corners[0], material);
      }
      if (split) scratch.keys.insert(scratch.keys.end(), static_cast<std::size_t>(cornerCount - 2), m);
    }

    subMesh.Vertices = welded.TakeItems();
    if (normalsToExport == kSmoothNormals) subMesh.CalculateSmoothNormals();
    if (split) {
      SplitSubMesh(subMesh, scratch);
      subMesh.Faces.clear();
      subMesh.Vertices.clear();
    }
    if (releaseConverted) scene.GetPrimitive(i)->ReleaseGeometry();
    Progress.SetPosition(PercentRoundedToEven(i, n));
  }
  Progress.SetText("Processing primitives...");
  Progress.SetPosition(0);
}

void ZROgreMeshExporterT::SplitSubMeshesByMaterial() {
  if (!SubMeshes) return;
  const TMaterialPositions positions = MaterialPositions();
  auto old = std::move(SubMeshes);
  SubMeshes = std::make_unique<std::vector<std::unique_ptr<ZROgreSubMeshT>>>();
  SplitScratch scratch;
  for (auto& source : *old) {
    SplitSubMesh(*source, positions, scratch);
    source.reset();
  }
}

void ZROgreMeshExporterT::SplitSubMesh(ZROgreSubMeshT& source, const TMaterialPositions& positions,
                                       SplitScratch& scratch) {
  source.FaceKeys(positions, scratch.keys);
  SplitSubMesh(source, scratch);
}

void ZROgreMeshExporterT::SplitSubMesh(ZROgreSubMeshT& source, SplitScratch& scratch) {
  constexpr std::int32_t kUnused = SplitScratch::kUnused;
  std::vector<std::int32_t>& renumbered = scratch.renumbered;
  std::vector<std::int32_t>& picked = scratch.picked;
  const std::vector<ZROgreFaceInfoT>& faces = source.Faces;
  assert(scratch.keys.size() == faces.size());
  // The faces are read grouped by material through an order, never copied into it.
  const bool reordered = ZROgreSubMeshT::GroupingOrder(scratch.keys, scratch.order);
  const std::uint32_t* order = scratch.order.data();
  const auto face = [&faces, reordered, order](std::size_t f) -> const ZROgreFaceInfoT& {
    return faces[reordered ? order[f] : f];
  };
  std::vector<ZROgreVertexT>& vertices = source.Vertices;
  renumbered.assign(vertices.size(), kUnused);
  for (std::size_t first = 0; first < faces.size();) {
    ZROgreMaterialT* material = face(first).Material;
    std::size_t end = first + 1;
    while (end < faces.size() && face(end).Material == material) ++end;

    auto& target = *SubMeshes->emplace_back(std::make_unique<ZROgreSubMeshT>());
    target.Material = material;
    target.Faces.reserve(end - first);
    // The whole source in one group: its vertices and face indices stay as they are.
    if (first == 0 && end == faces.size() && AllVerticesUsed(faces, vertices.size())) {
      for (std::size_t f = first; f < end; ++f) target.AddFaceCopy(face(f));
      target.Vertices = TakeExact(vertices);
      break;
    }

    picked.clear();
    for (std::size_t f = first; f < end; ++f) {
      for (const std::int32_t index : face(f).Indices) {
        std::int32_t& slot = renumbered.at(static_cast<std::size_t>(index));
        if (slot == kUnused) {
          slot = 0;
          picked.push_back(index);
        }
      }
    }
    // The target keeps the source's vertex order.
    std::sort(picked.begin(), picked.end());
    for (std::size_t k = 0; k < picked.size(); ++k) {
      renumbered[static_cast<std::size_t>(picked[k])] = static_cast<std::int32_t>(k);
    }
    for (std::size_t f = first; f < end; ++f) {
      target.AddFaceCopy(face(f));
      for (std::int32_t& index : target.Faces.back().Indices) {
        index = renumbered[static_cast<std::size_t>(index)];
      }
    }
    // The last group: nothing reads the source afterwards, so its vertices can move.
    const bool last = end == faces.size();
    target.Vertices.reserve(picked.size());
    for (const std::int32_t index : picked) {
      ZROgreVertexT& vertex = vertices[static_cast<std::size_t>(index)];
      target.Vertices.push_back(last ? std::move(vertex) : vertex);
    }
    for (const std::int32_t index : picked) renumbered[static_cast<std::size_t>(index)] = kUnused;
    first = end;
  }
}

}  // namespace pallix
