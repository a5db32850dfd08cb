// The binary mesh writer: OGRE "[MeshSerializer_v1.30]" chunks, written strictly front to
// back. Every chunk's length is computed from counts alone before its content is written; in
// debug builds each writer checks that it wrote exactly that many bytes.
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
constexpr std::uint16_t kBoundsChunk = 0x9000;

constexpr std::string_view kSerializerVersion = "[MeshSerializer_v1.30]";
constexpr const char* kTooManyVertices = "Submeshes containing > 65536 vertices not supported.";
// 16-bit indices address at most this many vertices.
constexpr std::int64_t kMaxVertices = 65536;

// OGRE's vertex element type and semantic numbers.
constexpr std::uint16_t kTypeFloat2 = 1;
constexpr std::uint16_t kTypeFloat3 = 2;
constexpr std::uint16_t kSemanticPosition = 1;
constexpr std::uint16_t kSemanticNormal = 4;
constexpr std::uint16_t kSemanticTexCoords = 7;

constexpr std::uint32_t kChunkHeaderSize = 6;
constexpr std::uint32_t kElementLength = 16;
constexpr std::uint32_t kBoundsLength = 34;

// What one submesh's vertices look like in the file.
struct VertexLayout {
  bool normals;
  std::int32_t sets;
  std::uint32_t stride;
  std::uint32_t elementCount;
};

// Little-endian field writer over the buffered output file.
class ChunkWriter {
 public:
  explicit ChunkWriter(TOutputFile& file) : file_(file) {}

  // Every position written so far, in one block: the bounds at the end need them twice, and
  // the vertices themselves are scattered over the heap.
  std::vector<ZROgreBaseVertexT> Positions;

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
  void ChunkHeader(std::uint16_t id, std::uint32_t length) {
    U16(id);
    U32(length);
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
  LengthGuard(const ChunkWriter& out, std::uint32_t expected)
      : out_(out), start_(out.Size()), expected_(expected) {}
  ~LengthGuard() {
    if (std::uncaught_exceptions() == 0) assert(out_.Size() - start_ == expected_);
  }

 private:
  const ChunkWriter& out_;
  std::size_t start_;
  std::uint32_t expected_;
#else
  LengthGuard(const ChunkWriter&, std::uint32_t) {}
#endif
};

// Lengths, one per chunk kind; each counts the chunk's own header and everything nested.
std::uint32_t DeclarationLength(const VertexLayout& layout) {
  return kChunkHeaderSize + kElementLength * layout.elementCount;
}
std::uint32_t VertexBufferDataLength(const VertexLayout& layout, std::uint32_t vertexCount) {
  return kChunkHeaderSize + layout.stride * vertexCount;
}
std::uint32_t VertexBufferLength(const VertexLayout& layout, std::uint32_t vertexCount) {
  return kChunkHeaderSize + 2 + 2 + VertexBufferDataLength(layout, vertexCount);
}
std::uint32_t GeometryLength(const VertexLayout& layout, std::uint32_t vertexCount) {
  return kChunkHeaderSize + 4 + DeclarationLength(layout) + VertexBufferLength(layout, vertexCount);
}
std::uint32_t SubMeshLength(const ZROgreSubMeshT& subMesh, const VertexLayout& layout) {
  const auto nameLength = static_cast<std::uint32_t>(subMesh.Material->Name.size());
  const auto indexCount = static_cast<std::uint32_t>(3 * subMesh.Faces.size());
  return kChunkHeaderSize + (nameLength + 1) + 1 + 4 + 1 + 2 * indexCount +
         GeometryLength(layout, static_cast<std::uint32_t>(subMesh.Vertices.size()));
}

struct MeshBounds {
  float minX = 0, minY = 0, minZ = 0;
  float maxX = 0, maxY = 0, maxZ = 0;
  float radius = 0;
};

// Box over every position; the radius is the largest distance from the box's centre.
MeshBounds ComputeBounds(const std::vector<ZROgreBaseVertexT>& positions) {
  MeshBounds b;
  if (positions.empty()) return b;
  b.minX = b.maxX = positions.front().X;
  b.minY = b.maxY = positions.front().Y;
  b.minZ = b.maxZ = positions.front().Z;
  for (const ZROgreBaseVertexT& v : positions) {
    b.minX = std::min(b.minX, v.X);
    b.minY = std::min(b.minY, v.Y);
    b.minZ = std::min(b.minZ, v.Z);
    b.maxX = std::max(b.maxX, v.X);
    b.maxY = std::max(b.maxY, v.Y);
    b.maxZ = std::max(b.maxZ, v.Z);
  }
  const auto cx = static_cast<float>((static_cast<double>(b.minX) + b.maxX) / 2);
  const auto cy = static_cast<float>((static_cast<double>(b.minY) + b.maxY) / 2);
  const auto cz = static_cast<float>((static_cast<double>(b.minZ) + b.maxZ) / 2);
  float largest = 0;
  for (const ZROgreBaseVertexT& v : positions) {
    const auto dx = static_cast<float>(static_cast<double>(v.X) - cx);
    const auto dy = static_cast<float>(static_cast<double>(v.Y) - cy);
    const auto dz = static_cast<float>(static_cast<double>(v.Z) - cz);
    const auto d2 = static_cast<float>(static_cast<double>(dx) * dx + static_cast<double>(dy) * dy +
                                       static_cast<double>(dz) * dz);
    if (d2 > largest) largest = d2;
  }
  b.radius = static_cast<float>(std::sqrt(static_cast<double>(largest)));
  return b;
}

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

void WriteVertexDeclaration(ChunkWriter& out, const VertexLayout& layout) {
  const std::uint32_t length = DeclarationLength(layout);
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
char* PutVertex(char* p, const ZROgreVertexT& v, const VertexLayout& layout) {
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
void WriteVertexData(TOutputFile& file, const std::vector<std::unique_ptr<ZROgreVertexT>>& vertices,
                     const VertexLayout& layout, std::vector<ZROgreBaseVertexT>& positions) {
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
      PrefetchAhead(vertices, i);
      const ZROgreVertexT& v = *vertices[i];
      positions.push_back({v.X, v.Y, v.Z});
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

void WriteIndices(TOutputFile& file, const std::vector<ZROgreFaceInfoT>& faces) {
  constexpr std::size_t kFaceSize = 6;
  constexpr std::size_t kPerBlock = TOutputFile::BlockSize() / kFaceSize;
  for (std::size_t first = 0; first < faces.size(); first += kPerBlock) {
    const std::size_t last = std::min(faces.size(), first + kPerBlock);
    char* p = file.Room((last - first) * kFaceSize);
    for (std::size_t i = first; i < last; ++i) {
      for (const std::int32_t index : faces[i].Indices) {
        // CheckBinaryLimits ran before the file was created.
        assert(index >= 0 && index < kMaxVertices);
        const auto index16 = static_cast<std::uint16_t>(index);
        std::memcpy(p, &index16, 2);
        p += 2;
      }
    }
    file.Advance((last - first) * kFaceSize);
  }
}

void WriteVertexBuffer(ChunkWriter& out, const ZROgreSubMeshT& subMesh, const VertexLayout& layout) {
  const auto vertexCount = static_cast<std::uint32_t>(subMesh.Vertices.size());
  const std::uint32_t length = VertexBufferLength(layout, vertexCount);
  LengthGuard guard(out, length);
  out.ChunkHeader(kVertexBufferChunk, length);
  out.U16(0);  // bind index
  out.U16(static_cast<std::uint16_t>(layout.stride));
  out.ChunkHeader(kVertexBufferDataChunk, VertexBufferDataLength(layout, vertexCount));
  WriteVertexData(out.File(), subMesh.Vertices, layout, out.Positions);
}

void WriteGeometry(ChunkWriter& out, const ZROgreSubMeshT& subMesh, const VertexLayout& layout) {
  const auto vertexCount = static_cast<std::uint32_t>(subMesh.Vertices.size());
  const std::uint32_t length = GeometryLength(layout, vertexCount);
  LengthGuard guard(out, length);
  out.ChunkHeader(kGeometryChunk, length);
  out.U32(vertexCount);
  WriteVertexDeclaration(out, layout);
  WriteVertexBuffer(out, subMesh, layout);
}

void WriteSubMesh(ChunkWriter& out, const ZROgreSubMeshT& subMesh, const VertexLayout& layout) {
  const std::uint32_t length = SubMeshLength(subMesh, layout);
  LengthGuard guard(out, length);
  out.ChunkHeader(kSubMeshChunk, length);
  out.String(subMesh.Material->Name);
  out.Bool(false);  // shared vertices
  out.U32(static_cast<std::uint32_t>(3 * subMesh.Faces.size()));
  out.Bool(false);  // 32-bit indices
  WriteIndices(out.File(), subMesh.Faces);
  WriteGeometry(out, subMesh, layout);
}

void WriteBounds(ChunkWriter& out, const MeshBounds& b) {
  LengthGuard guard(out, kBoundsLength);
  out.ChunkHeader(kBoundsChunk, kBoundsLength);
  for (const float f : {b.minX, b.minY, b.minZ, b.maxX, b.maxY, b.maxZ, b.radius}) out.Float(f);
}

}  // namespace

std::int32_t ZROgreMeshExporterT::WrittenCoordinateSetCount(const ZROgreMaterialT& material) const {
  std::int32_t n = material.TextureUnitCount();
  // The lightmap is always the material's last layer, so its set is the one left out.
  if (material.IsLightmapped && !exportLightmaps && n > 0) --n;
  return n;
}

void ZROgreMeshExporterT::CheckBinaryLimits() const {
  if (!SubMeshes) return;
  for (const auto& subMesh : *SubMeshes) {
    if (subMesh->VertexCount() > kMaxVertices) Raise(kTooManyVertices);
    std::int32_t largest = 0;
    for (const ZROgreFaceInfoT& face : subMesh->Faces) {
      largest = std::max({largest, face.Indices[0], face.Indices[1], face.Indices[2]});
    }
    if (largest >= kMaxVertices) Raise(kTooManyVertices);
  }
}

void ZROgreMeshExporterT::WriteBinaryHeader(TOutputFile& stream) const {
  ChunkWriter out(stream);
  out.U16(kHeaderChunk);
  out.String(kSerializerVersion);
}

void ZROgreMeshExporterT::WriteBinaryMesh(TOutputFile& stream) const {
  static const std::vector<std::unique_ptr<ZROgreSubMeshT>> kNone;
  const auto& subMeshes = SubMeshes ? *SubMeshes : kNone;

  std::vector<VertexLayout> layouts;
  layouts.reserve(subMeshes.size());
  std::uint32_t length = kChunkHeaderSize + 1 + kBoundsLength;
  for (const auto& subMesh : subMeshes) {
    assert(subMesh->Material);
    VertexLayout layout;
    layout.normals = normalsToExport != 0;
    layout.sets = WrittenCoordinateSetCount(*subMesh->Material);
    layout.stride = 12 + (layout.normals ? 12 : 0) + 8 * static_cast<std::uint32_t>(layout.sets);
    layout.elementCount = 1 + (layout.normals ? 1 : 0) + static_cast<std::uint32_t>(layout.sets);
    layouts.push_back(layout);
    length += SubMeshLength(*subMesh, layout);
  }

  ChunkWriter out(stream);
  std::size_t vertexCount = 0;
  for (const auto& subMesh : subMeshes) vertexCount += subMesh->Vertices.size();
  out.Positions.reserve(vertexCount);
  LengthGuard guard(out, length);
  out.ChunkHeader(kMeshChunk, length);
  out.Bool(false);  // skeletally animated
  for (std::size_t i = 0; i < subMeshes.size(); ++i) WriteSubMesh(out, *subMeshes[i], layouts[i]);
  WriteBounds(out, ComputeBounds(out.Positions));
}

}  // namespace pallix
