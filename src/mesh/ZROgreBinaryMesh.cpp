// The binary mesh writer: OGRE mesh chunks, written strictly front to back, in the version the
// exporter asks for ("[MeshSerializer_v1.30]" unless the command line chose another). Every
// chunk writer has a length function beside it that computes the chunk's size from counts
// alone, before its content is written; in debug builds each writer checks that it wrote
// exactly that many bytes.
#include <algorithm>
#include <bit>
#include <cassert>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <exception>
#include <memory>
#include <string_view>
#include <vector>

#include "BasicFn.h"
#include "OutputFileCl.h"
#include "ZROgreMeshExporterCl.h"

namespace pallix {

namespace {

constexpr std::uint16_t kHeaderChunk = 0x1000;
constexpr std::uint16_t kMeshChunk = 0x3000;
constexpr std::uint16_t kSubMeshChunk = 0x4000;
constexpr std::uint16_t kGeometryChunk = 0x5000;
constexpr std::uint16_t kDeclarationChunk = 0x5100;
constexpr std::uint16_t kElementChunk = 0x5110;
constexpr std::uint16_t kVertexBufferChunk = 0x5200;
constexpr std::uint16_t kVertexBufferDataChunk = 0x5210;
constexpr std::uint16_t kSubMeshOperationChunk = 0x4010;
constexpr std::uint16_t kBoundsChunk = 0x9000;
constexpr std::uint16_t kSubMeshNameTableChunk = 0xA000;

constexpr const char* kTooManyVertices = "Submeshes containing > 65536 vertices not supported.";
constexpr const char* kTooLarge = "Mesh too large for the binary format.";
// The vertex size and the element offsets are 16-bit fields: a material of about 8,190 layers
// or more does not fit.
constexpr const char* kVertexTooWide = "Submeshes with vertices > 65535 bytes not supported.";
constexpr std::uint32_t kMaxStride = 65535;
// 16-bit indices address at most this many vertices.
constexpr std::int64_t kMaxVertices = 65536;

// What the versions differ in, for meshes like ours (no shared geometry, skeleton, levels of
// detail, poses or animations). OGRE's own serializers write every version after 1.0 alike
// but for the header: each submesh names its operation, and an empty submesh name table
// follows the bounds. The 1.0 files are the plug-in's, which leave both out (OGRE takes a
// missing operation for a triangle list and a missing table for an empty one).
struct FormatTraits {
  std::string_view header;
  bool operations;
  bool nameTable;
};

FormatTraits Traits(TMeshVersion version) {
  switch (version) {
    case TMeshVersion::V1_7:
      return {"[MeshSerializer_v1.41]", true, true};
    case TMeshVersion::V1_8:
      return {"[MeshSerializer_v1.8]", true, true};
    case TMeshVersion::V1_10:
      return {"[MeshSerializer_v1.100]", true, true};
    case TMeshVersion::V1_0:
      break;
  }
  return {"[MeshSerializer_v1.30]", false, false};
}

// OGRE's render operation number for a triangle list.
constexpr std::uint16_t kTriangleList = 4;

// OGRE's vertex element type and semantic numbers.
constexpr std::uint16_t kTypeFloat2 = 1;
constexpr std::uint16_t kTypeFloat3 = 2;
constexpr std::uint16_t kSemanticPosition = 1;
constexpr std::uint16_t kSemanticNormal = 4;
constexpr std::uint16_t kSemanticTexCoords = 7;

// Lengths are counted in 64 bits: CheckBinaryLimits refuses a mesh whose chunks would not fit
// the format's 32-bit lengths, so the writers may narrow them.
using Length = std::uint64_t;
constexpr Length kChunkHeaderSize = 6;

// What one submesh looks like in the file.
struct SubMeshLayout {
  bool normals;
  std::int32_t sets;
  std::uint32_t stride;
  std::uint32_t elementCount;
  bool wideIndices;  // u32 indices
  bool operation;    // followed by a submesh operation chunk
};

// Little-endian field writer over the buffered output file.
class ChunkWriter {
 public:
  explicit ChunkWriter(TOutputFile& file) : file_(file) {}

  void U16(std::uint16_t v) {
    const unsigned char b[2] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8)};
    file_.Write(b, 2);
  }
  void U32(std::uint32_t v) {
    const unsigned char b[4] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                                static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)};
    file_.Write(b, 4);
  }
  void Bool(bool v) { file_.WriteByte(v ? 1 : 0); }
  void Float(float v) { U32(std::bit_cast<std::uint32_t>(v)); }
  void String(std::string_view text) {
    file_.Write(text);
    file_.WriteByte(0x0A);
  }
  void ChunkHeader(std::uint16_t id, Length length) {
    assert(length <= UINT32_MAX);
    U16(id);
    U32(static_cast<std::uint32_t>(length));
  }
  std::size_t Size() const { return file_.Size(); }
  TOutputFile& File() { return file_; }

 private:
  TOutputFile& file_;
};

// Debug-build check that a chunk writer wrote what its length function promised.
class LengthGuard {
 public:
#ifndef NDEBUG
  LengthGuard(const ChunkWriter& out, Length expected) : out_(out), start_(out.Size()), expected_(expected) {}
  ~LengthGuard() {
    if (std::uncaught_exceptions() == 0) assert(out_.Size() - start_ == expected_);
  }

 private:
  const ChunkWriter& out_;
  std::size_t start_;
  Length expected_;
#else
  LengthGuard(const ChunkWriter&, Length) {}
#endif
};

struct MeshBounds {
  float minX = 0, minY = 0, minZ = 0;
  float maxX = 0, maxY = 0, maxZ = 0;
  float radius = 0;
};

// Box over every position written, taken as the vertices go by; the radius is the largest
// distance from the origin, where OGRE centres an object's bounding sphere, so it needs no
// second pass.
class TBoundsAccumulator {
 public:
  void Add(const ZROgreBaseVertexT& v) {
    if (!any_) {
      b_.minX = b_.maxX = v.X;
      b_.minY = b_.maxY = v.Y;
      b_.minZ = b_.maxZ = v.Z;
      any_ = true;
    }
    b_.minX = std::min(b_.minX, v.X);
    b_.minY = std::min(b_.minY, v.Y);
    b_.minZ = std::min(b_.minZ, v.Z);
    b_.maxX = std::max(b_.maxX, v.X);
    b_.maxY = std::max(b_.maxY, v.Y);
    b_.maxZ = std::max(b_.maxZ, v.Z);
    const auto d2 = static_cast<float>(static_cast<double>(v.X) * v.X + static_cast<double>(v.Y) * v.Y +
                                       static_cast<double>(v.Z) * v.Z);
    if (d2 > largest_) largest_ = d2;
  }
  MeshBounds ComputeBounds() const {
    MeshBounds b = b_;
    b.radius = static_cast<float>(std::sqrt(static_cast<double>(largest_)));
    return b;
  }

 private:
  MeshBounds b_;
  float largest_ = 0;
  bool any_ = false;
};

// Each writer below follows its length function, which counts the chunk's header and
// everything nested in it.

constexpr Length kElementLength = kChunkHeaderSize + 5 * Length{2};

void WriteVertexElement(ChunkWriter& out, std::uint16_t type, std::uint16_t semantic, std::uint16_t offset,
                        std::uint16_t index) {
  LengthGuard guard(out, kElementLength);
  out.ChunkHeader(kElementChunk, kElementLength);
  out.U16(0);  // source: one interleaved buffer
  out.U16(type);
  out.U16(semantic);
  out.U16(offset);
  out.U16(index);
}

Length DeclarationLength(const SubMeshLayout& layout) {
  return kChunkHeaderSize + kElementLength * layout.elementCount;
}

void WriteVertexDeclaration(ChunkWriter& out, const SubMeshLayout& layout) {
  const Length length = DeclarationLength(layout);
  LengthGuard guard(out, length);
  out.ChunkHeader(kDeclarationChunk, length);
  WriteVertexElement(out, kTypeFloat3, kSemanticPosition, 0, 0);
  if (layout.normals) WriteVertexElement(out, kTypeFloat3, kSemanticNormal, 12, 0);
  const std::uint16_t base = layout.normals ? 24 : 12;
  for (std::int32_t j = 0; j < layout.sets; ++j) {
    WriteVertexElement(out, kTypeFloat2, kSemanticTexCoords, static_cast<std::uint16_t>(base + 8 * j),
                       static_cast<std::uint16_t>(j));
  }
}

static_assert(std::endian::native == std::endian::little,
              "vertex and index blocks are copied as they lie in memory, little-endian as the file wants");

char* PutFloat(char* p, float value) {
  std::memcpy(p, &value, 4);
  return p + 4;
}

// One vertex as the layout lays it out: position, normal, the written coordinate sets.
char* PutVertex(char* p, const ZROgreVertexT& v, const SubMeshLayout& layout) {
  p = PutFloat(PutFloat(PutFloat(p, v.X), v.Y), v.Z);
  if (layout.normals) p = PutFloat(PutFloat(PutFloat(p, v.Normal.X), v.Normal.Y), v.Normal.Z);
  assert(v.TextureCoordinateCount() >= layout.sets);
  for (std::int32_t j = 0; j < layout.sets; ++j) {
    const ZROgreTextureCoordinatesT& uv = v.TextureCoordinates[static_cast<std::size_t>(j)];
    p = PutFloat(PutFloat(p, uv.U), uv.V);
  }
  return p;
}

// Vertices are laid out straight in the file's buffer, as many at a time as fit.
void WriteVertexData(TOutputFile& file, const std::vector<ZROgreVertexT>& vertices,
                     const SubMeshLayout& layout, TBoundsAccumulator& bounds) {
  // A vertex wider than a whole block (thousands of coordinate sets) is laid out aside.
  const bool wide = layout.stride > TOutputFile::BlockSize();
  std::vector<char> aside(wide ? layout.stride : 0);
  const std::size_t perBlock = wide ? 1 : TOutputFile::BlockSize() / layout.stride;
  for (std::size_t first = 0; first < vertices.size(); first += perBlock) {
    const std::size_t last = std::min(vertices.size(), first + perBlock);
    const std::size_t bytes = (last - first) * layout.stride;
    char* const start = wide ? aside.data() : file.Room(bytes);
    char* p = start;
    for (std::size_t i = first; i < last; ++i) {
      const ZROgreVertexT& v = vertices[i];
      bounds.Add(v);
      p = PutVertex(p, v, layout);
    }
    assert(static_cast<std::size_t>(p - start) == bytes);
    if (wide) {
      file.Write(start, bytes);
    } else {
      file.Advance(bytes);
    }
  }
}

Length VertexBufferDataLength(const SubMeshLayout& layout, std::size_t vertexCount) {
  return kChunkHeaderSize + Length{layout.stride} * vertexCount;
}

Length VertexBufferLength(const SubMeshLayout& layout, std::size_t vertexCount) {
  return kChunkHeaderSize + 2 + 2 + VertexBufferDataLength(layout, vertexCount);
}

void WriteVertexBuffer(ChunkWriter& out, const ZROgreSubMeshT& subMesh, const SubMeshLayout& layout,
                       TBoundsAccumulator& bounds) {
  const std::size_t vertexCount = subMesh.Vertices.size();
  const Length length = VertexBufferLength(layout, vertexCount);
  LengthGuard guard(out, length);
  out.ChunkHeader(kVertexBufferChunk, length);
  out.U16(0);  // bind index
  out.U16(static_cast<std::uint16_t>(layout.stride));
  out.ChunkHeader(kVertexBufferDataChunk, VertexBufferDataLength(layout, vertexCount));
  WriteVertexData(out.File(), subMesh.Vertices, layout, bounds);
}

Length GeometryLength(const SubMeshLayout& layout, std::size_t vertexCount) {
  return kChunkHeaderSize + 4 + DeclarationLength(layout) + VertexBufferLength(layout, vertexCount);
}

void WriteGeometry(ChunkWriter& out, const ZROgreSubMeshT& subMesh, const SubMeshLayout& layout,
                   TBoundsAccumulator& bounds) {
  const std::size_t vertexCount = subMesh.Vertices.size();
  const Length length = GeometryLength(layout, vertexCount);
  LengthGuard guard(out, length);
  out.ChunkHeader(kGeometryChunk, length);
  out.U32(static_cast<std::uint32_t>(vertexCount));
  WriteVertexDeclaration(out, layout);
  WriteVertexBuffer(out, subMesh, layout, bounds);
}

constexpr Length kSubMeshOperationLength = kChunkHeaderSize + 2;

void WriteSubMeshOperation(ChunkWriter& out) {
  LengthGuard guard(out, kSubMeshOperationLength);
  out.ChunkHeader(kSubMeshOperationChunk, kSubMeshOperationLength);
  out.U16(kTriangleList);
}

// Faces in order, each face's corners 0, 1, 2, laid out straight in the file's buffer.
template <typename Index>
void WriteIndices(TOutputFile& file, const std::vector<ZROgreFaceInfoT>& faces) {
  constexpr std::size_t kFaceSize = 3 * sizeof(Index);
  constexpr std::size_t kPerBlock = TOutputFile::BlockSize() / kFaceSize;
  for (std::size_t first = 0; first < faces.size(); first += kPerBlock) {
    const std::size_t last = std::min(faces.size(), first + kPerBlock);
    char* p = file.Room((last - first) * kFaceSize);
    for (std::size_t i = first; i < last; ++i) {
      for (const std::int32_t index : faces[i].Indices) {
        // CheckBinaryLimits ran before the file was created.
        assert(index >= 0 && (sizeof(Index) == 4 || index < kMaxVertices));
        const auto value = static_cast<Index>(index);
        std::memcpy(p, &value, sizeof(Index));
        p += sizeof(Index);
      }
    }
    file.Advance((last - first) * kFaceSize);
  }
}

Length SubMeshLength(const ZROgreSubMeshT& subMesh, const SubMeshLayout& layout) {
  const Length nameLength = subMesh.Material->Name.size();
  const Length indexCount = 3 * Length{subMesh.Faces.size()};
  return kChunkHeaderSize + (nameLength + 1) + 1 + 4 + 1 + (layout.wideIndices ? 4 : 2) * indexCount +
         GeometryLength(layout, subMesh.Vertices.size()) + (layout.operation ? kSubMeshOperationLength : 0);
}

void WriteSubMesh(ChunkWriter& out, const ZROgreSubMeshT& subMesh, const SubMeshLayout& layout,
                  TBoundsAccumulator& bounds) {
  const Length length = SubMeshLength(subMesh, layout);
  LengthGuard guard(out, length);
  out.ChunkHeader(kSubMeshChunk, length);
  out.String(subMesh.Material->Name);
  out.Bool(false);  // shared vertices
  out.U32(static_cast<std::uint32_t>(3 * subMesh.Faces.size()));
  out.Bool(layout.wideIndices);
  if (layout.wideIndices) {
    WriteIndices<std::uint32_t>(out.File(), subMesh.Faces);
  } else {
    WriteIndices<std::uint16_t>(out.File(), subMesh.Faces);
  }
  WriteGeometry(out, subMesh, layout, bounds);
  if (layout.operation) WriteSubMeshOperation(out);
}

constexpr Length kBoundsLength = kChunkHeaderSize + 7 * Length{4};

void WriteBounds(ChunkWriter& out, const MeshBounds& b) {
  LengthGuard guard(out, kBoundsLength);
  out.ChunkHeader(kBoundsChunk, kBoundsLength);
  for (const float f : {b.minX, b.minY, b.minZ, b.maxX, b.maxY, b.maxZ, b.radius}) out.Float(f);
}

// Our submeshes have no names, so the table holds no entries.
constexpr Length kSubMeshNameTableLength = kChunkHeaderSize;

void WriteSubMeshNameTable(ChunkWriter& out) {
  LengthGuard guard(out, kSubMeshNameTableLength);
  out.ChunkHeader(kSubMeshNameTableChunk, kSubMeshNameTableLength);
}

// How each submesh is laid out, and the Mesh chunk's length: everything after the header.
struct MeshLayout {
  std::vector<SubMeshLayout> subMeshes;
  Length length = 0;
};

const std::vector<std::unique_ptr<ZROgreSubMeshT>>& SubMeshList(const ZROgreMeshExporterT& exporter) {
  static const std::vector<std::unique_ptr<ZROgreSubMeshT>> kNone;
  return exporter.SubMeshes ? *exporter.SubMeshes : kNone;
}

MeshLayout LayOut(const ZROgreMeshExporterT& exporter) {
  const FormatTraits traits = Traits(exporter.meshVersion);
  const auto& subMeshes = SubMeshList(exporter);
  MeshLayout mesh;
  mesh.subMeshes.reserve(subMeshes.size());
  mesh.length = kChunkHeaderSize + 1 + kBoundsLength + (traits.nameTable ? kSubMeshNameTableLength : 0);
  for (const auto& subMesh : subMeshes) {
    assert(subMesh->Material);
    SubMeshLayout layout;
    layout.normals = exporter.normalsToExport != 0;
    layout.sets = exporter.WrittenCoordinateSetCount(*subMesh->Material);
    layout.stride = 12 + (layout.normals ? 12 : 0) + 8 * static_cast<std::uint32_t>(layout.sets);
    layout.elementCount = 1 + (layout.normals ? 1 : 0) + static_cast<std::uint32_t>(layout.sets);
    layout.wideIndices = exporter.allow32BitIndices && subMesh->VertexCount() > kMaxVertices;
    layout.operation = traits.operations;
    mesh.subMeshes.push_back(layout);
    mesh.length += SubMeshLength(*subMesh, layout);
  }
  return mesh;
}

}  // namespace

std::int32_t ZROgreMeshExporterT::WrittenCoordinateSetCount(const ZROgreMaterialT& material) const {
  std::int32_t n = material.TextureUnitCount();
  // The lightmap is always the material's last layer, so its set is the one left out.
  if (material.IsLightmapped && !exportLightmaps && n > 0) --n;
  return n;
}

void ZROgreMeshExporterT::CheckBinaryLimits() const {
  const MeshLayout mesh = LayOut(*this);
  const auto& subMeshes = SubMeshList(*this);
  for (std::size_t i = 0; i < subMeshes.size(); ++i) {
    if (mesh.subMeshes[i].stride > kMaxStride) Raise(kVertexTooWide);
    if (mesh.subMeshes[i].wideIndices) continue;
    const ZROgreSubMeshT& subMesh = *subMeshes[i];
    if (subMesh.VertexCount() > kMaxVertices) Raise(kTooManyVertices);
    std::int32_t largest = 0;
    for (const ZROgreFaceInfoT& face : subMesh.Faces) {
      largest = std::max({largest, face.Indices[0], face.Indices[1], face.Indices[2]});
    }
    if (largest >= kMaxVertices) Raise(kTooManyVertices);
  }
  // The Mesh chunk holds every other one, so its length is the one that could overflow.
  if (mesh.length > UINT32_MAX) Raise(kTooLarge);
}

void ZROgreMeshExporterT::WriteBinaryHeader(TOutputFile& stream) const {
  ChunkWriter out(stream);
  out.U16(kHeaderChunk);
  out.String(Traits(meshVersion).header);
}

void ZROgreMeshExporterT::WriteBinaryMesh(TOutputFile& stream) const {
  const auto& subMeshes = SubMeshList(*this);
  const MeshLayout mesh = LayOut(*this);
  ChunkWriter out(stream);
  TBoundsAccumulator bounds;
  LengthGuard guard(out, mesh.length);
  out.ChunkHeader(kMeshChunk, mesh.length);
  out.Bool(false);  // skeletally animated
  for (std::size_t i = 0; i < subMeshes.size(); ++i)
    WriteSubMesh(out, *subMeshes[i], mesh.subMeshes[i], bounds);
  WriteBounds(out, bounds.ComputeBounds());
  if (Traits(meshVersion).nameTable) WriteSubMeshNameTable(out);
}

}  // namespace pallix
