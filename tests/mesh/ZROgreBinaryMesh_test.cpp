#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "BasicFn.h"
#include "OutputFileCl.h"
#include "mesh/WriterFixtures.h"

namespace pallix {
namespace {

using testing::ReadFile;
using testing::TempFolder;
using testing::WriterScene;

struct Element {
  std::uint16_t source, type, semantic, offset, index;
  bool operator==(const Element&) const = default;
};

struct ParsedSubMesh {
  std::string material;
  bool wideIndices = false;
  std::vector<std::uint32_t> indices;
  std::uint32_t vertexCount = 0;
  std::vector<Element> elements;
  std::uint16_t stride = 0;
  std::vector<float> data;
};

struct ParsedMesh {
  std::string header;
  std::vector<ParsedSubMesh> subMeshes;
  float bounds[7] = {};
};

// Reads a file of our layout back, checking that every chunk ends exactly where its length
// says, so a wrong length anywhere fails here rather than in OGRE. After 1.0, every submesh
// ends with its operation (a triangle list) and an empty name table follows the bounds, as
// OGRE's own serializers write them.
class MeshReader {
 public:
  explicit MeshReader(std::string bytes) : b_(std::move(bytes)) {}

  ParsedMesh Read() {
    ParsedMesh mesh;
    EXPECT_EQ(U16(), 0x1000);
    mesh.header = String();
    later_ = mesh.header != "[MeshSerializer_v1.30]";
    const std::size_t meshEnd = Chunk(0x3000);
    EXPECT_EQ(Byte(), 0);
    while (Peek16() == 0x4000) mesh.subMeshes.push_back(SubMesh());
    const std::size_t boundsEnd = Chunk(0x9000);
    for (float& f : mesh.bounds) f = Float();
    EXPECT_EQ(pos_, boundsEnd);
    if (later_) {
      const std::size_t tableEnd = Chunk(0xA000);
      EXPECT_EQ(pos_, tableEnd);  // no entries
    }
    EXPECT_EQ(pos_, meshEnd);
    EXPECT_EQ(pos_, b_.size());
    return mesh;
  }

 private:
  ParsedSubMesh SubMesh() {
    ParsedSubMesh s;
    const std::size_t end = Chunk(0x4000);
    s.material = String();
    EXPECT_EQ(Byte(), 0);
    const std::uint32_t indexCount = U32();
    s.wideIndices = Byte() == 1;
    for (std::uint32_t i = 0; i < indexCount; ++i) s.indices.push_back(s.wideIndices ? U32() : U16());
    const std::size_t geometryEnd = Chunk(0x5000);
    s.vertexCount = U32();
    const std::size_t declEnd = Chunk(0x5100);
    while (pos_ < declEnd) {
      const std::size_t elementEnd = Chunk(0x5110);
      Element e;
      e.source = U16();
      e.type = U16();
      e.semantic = U16();
      e.offset = U16();
      e.index = U16();
      EXPECT_EQ(pos_, elementEnd);
      s.elements.push_back(e);
    }
    EXPECT_EQ(pos_, declEnd);
    const std::size_t bufferEnd = Chunk(0x5200);
    EXPECT_EQ(U16(), 0);
    s.stride = U16();
    const std::size_t dataEnd = Chunk(0x5210);
    EXPECT_EQ(dataEnd - pos_, std::size_t{s.stride} * s.vertexCount);
    while (pos_ + 4 <= dataEnd) s.data.push_back(Float());
    EXPECT_EQ(pos_, dataEnd);
    EXPECT_EQ(pos_, bufferEnd);
    EXPECT_EQ(pos_, geometryEnd);
    if (later_) {
      const std::size_t operationEnd = Chunk(0x4010);
      EXPECT_EQ(U16(), 4);  // triangle list
      EXPECT_EQ(pos_, operationEnd);
    }
    EXPECT_EQ(pos_, end);
    return s;
  }

  // Reads a chunk header and returns where the chunk ends.
  std::size_t Chunk(std::uint16_t id) {
    const std::size_t start = pos_;
    EXPECT_EQ(U16(), id) << "at " << start;
    return start + U32();
  }
  std::uint8_t Byte() { return Need(1) ? static_cast<std::uint8_t>(b_[pos_++]) : 0; }
  std::uint16_t Peek16() { return pos_ + 2 <= b_.size() ? U16At(pos_) : 0; }
  std::uint16_t U16At(std::size_t p) const {
    return static_cast<std::uint16_t>(static_cast<std::uint8_t>(b_[p]) | static_cast<std::uint8_t>(b_[p + 1])
                                                                             << 8);
  }
  std::uint16_t U16() {
    if (!Need(2)) return 0;
    pos_ += 2;
    return U16At(pos_ - 2);
  }
  std::uint32_t U32() {
    const std::uint32_t lo = U16();
    return lo | static_cast<std::uint32_t>(U16()) << 16;
  }
  float Float() { return std::bit_cast<float>(U32()); }
  std::string String() {
    const std::size_t lf = b_.find('\n', pos_);
    if (lf == std::string::npos) {
      ADD_FAILURE() << "unterminated string at " << pos_;
      pos_ = b_.size();
      return {};
    }
    std::string s = b_.substr(pos_, lf - pos_);
    pos_ = lf + 1;
    return s;
  }
  bool Need(std::size_t n) {
    if (pos_ + n <= b_.size()) return true;
    ADD_FAILURE() << "read past the end at " << pos_;
    pos_ = b_.size();
    return false;
  }

  std::string b_;
  std::size_t pos_ = 0;
  bool later_ = false;  // a version after 1.0
};

std::string WriteMesh(const ZROgreMeshExporterT& exporter, const std::string& fileName) {
  exporter.CheckBinaryLimits();
  TOutputFile file(fileName);
  exporter.WriteBinaryHeader(file);
  exporter.WriteBinaryMesh(file);
  file.Commit();
  return ReadFile(fileName);
}

// The Mesh chunk's length, which follows the header.
std::uint32_t MeshLength(const std::string& bytes) {
  std::uint32_t length = 0;
  std::memcpy(&length, bytes.data() + bytes.find('\n') + 3, 4);
  return length;
}

struct SizeCase {
  int normals;
  int units;
  TMeshVersion version;
  std::size_t fileSize;
  std::uint32_t meshLength;
};

TEST(BinaryMesh, WorkedSizes) {
  using enum TMeshVersion;
  // After 1.0: 8 bytes of operation per submesh and 6 of name table, and the header's own length.
  for (const SizeCase& c :
       {SizeCase{1, 1, V1_0, 262, 237}, SizeCase{2, 1, V1_0, 262, 237}, SizeCase{0, 0, V1_0, 170, 145},
        SizeCase{1, 1, V1_7, 276, 251}, SizeCase{0, 0, V1_7, 184, 159}, SizeCase{2, 1, V1_8, 275, 251},
        SizeCase{1, 1, V1_10, 277, 251}}) {
    SCOPED_TRACE(::testing::Message() << c.normals << " " << c.fileSize);
    TempFolder dir;
    WriterScene scene;
    scene.exporter.normalsToExport = static_cast<std::uint8_t>(c.normals);
    scene.exporter.meshVersion = c.version;
    std::vector<ZROgreTextureT*> textures;
    if (c.units) textures.push_back(&scene.Texture("a.png"));
    scene.SubMesh(scene.Material("M", textures), 3, c.units, 1);
    const std::string bytes = WriteMesh(scene.exporter, dir / "m.mesh");
    EXPECT_EQ(bytes.size(), c.fileSize);
    EXPECT_EQ(MeshLength(bytes), c.meshLength);
    MeshReader(bytes).Read();
  }
}

TEST(BinaryMesh, StartsWithHeaderThenMeshChunk) {
  const struct {
    TMeshVersion version;
    const char* header;
    std::size_t emptySize;  // no submeshes: the flag, the bounds, all zero, and the name table
  } cases[] = {{TMeshVersion::V1_0, "[MeshSerializer_v1.30]", 25 + 41},
               {TMeshVersion::V1_7, "[MeshSerializer_v1.41]", 25 + 47},
               {TMeshVersion::V1_8, "[MeshSerializer_v1.8]", 24 + 47},
               {TMeshVersion::V1_10, "[MeshSerializer_v1.100]", 26 + 47}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.header);
    TempFolder dir;
    WriterScene scene;
    scene.exporter.meshVersion = c.version;
    const std::string bytes = WriteMesh(scene.exporter, dir / "m.mesh");
    EXPECT_EQ(bytes, std::string("\x00\x10", 2) + c.header + std::string("\x0A\x00\x30", 3) +
                         bytes.substr(bytes.find('\n') + 3));
    ASSERT_EQ(bytes.size(), c.emptySize);
    const ParsedMesh mesh = MeshReader(bytes).Read();
    EXPECT_EQ(mesh.header, c.header);
    for (const float f : mesh.bounds) EXPECT_EQ(f, 0.0f);
  }
}

struct LayoutCase {
  const char* name;
  int normals;
  bool lightmapped;
  bool exportLightmaps;
  std::vector<Element> elements;
  std::uint16_t stride;
};

TEST(BinaryMesh, VertexLayoutFollowsNormalsAndWrittenSets) {
  const Element pos{0, 2, 1, 0, 0};
  const Element nrm{0, 2, 4, 12, 0};
  const std::vector<LayoutCase> cases = {
      {"normals, two sets", 1, false, false, {pos, nrm, {0, 1, 7, 24, 0}, {0, 1, 7, 32, 1}}, 40},
      {"none, two sets", 0, false, false, {pos, {0, 1, 7, 12, 0}, {0, 1, 7, 20, 1}}, 28},
      {"lightmap left out", 2, true, false, {pos, nrm, {0, 1, 7, 24, 0}}, 32},
      {"lightmap left out, none", 0, true, false, {pos, {0, 1, 7, 12, 0}}, 20},
      {"lightmap kept", 1, true, true, {pos, nrm, {0, 1, 7, 24, 0}, {0, 1, 7, 32, 1}}, 40},
  };
  for (const LayoutCase& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder dir;
    WriterScene scene;
    scene.exporter.normalsToExport = static_cast<std::uint8_t>(c.normals);
    scene.exporter.exportLightmaps = c.exportLightmaps;
    auto& m = scene.Material("M", {&scene.Texture("a.png"), &scene.Texture("lm.bmp", c.lightmapped)});
    // Vertices carry one set more than the material has units; it must never be written.
    auto& s = scene.SubMesh(m, 3, 3, 1);
    for (int i = 0; i < 3; ++i) {
      auto& v = s.Vertices[static_cast<std::size_t>(i)];
      v.Normal = {};
      v.Normal.X = 0.5f;
      v.TextureCoordinates = {{10.0f + i, 20.0f}, {30.0f, 40.0f + i}, {99.0f, 99.0f}};
    }
    const ParsedMesh mesh = MeshReader(WriteMesh(scene.exporter, dir / "m.mesh")).Read();
    ASSERT_EQ(mesh.subMeshes.size(), 1u);
    const ParsedSubMesh& p = mesh.subMeshes[0];
    EXPECT_EQ(p.elements, c.elements);
    EXPECT_EQ(p.stride, c.stride);
    std::vector<float> expected;
    for (int i = 0; i < 3; ++i) {
      for (float f : {static_cast<float>(i), i * 0.5f, -1.0f}) expected.push_back(f);
      if (c.normals) expected.insert(expected.end(), {0.5f, 0, 0});
      const std::size_t sets = c.elements.size() - (c.normals ? 2 : 1);
      if (sets >= 1) expected.insert(expected.end(), {10.0f + i, 20.0f});
      if (sets >= 2) expected.insert(expected.end(), {30.0f, 40.0f + i});
    }
    EXPECT_EQ(p.data, expected);
  }
}

TEST(BinaryMesh, SubMeshesKeepOrderNamesAndIndices) {
  TempFolder dir;
  WriterScene scene;
  auto& a = scene.Material("", {});
  auto& b = scene.Material("Lvl/my mat", {&scene.Texture("x.png")});
  scene.SubMesh(a, 4, 0, 2);
  auto& s = scene.SubMesh(b, 3, 1, 1);
  s.Faces[0].Indices = {2, 1, 0};
  const ParsedMesh mesh = MeshReader(WriteMesh(scene.exporter, dir / "m.mesh")).Read();
  ASSERT_EQ(mesh.subMeshes.size(), 2u);
  EXPECT_EQ(mesh.subMeshes[0].material, "");
  EXPECT_EQ(mesh.subMeshes[0].indices, (std::vector<std::uint32_t>{0, 1, 2, 1, 2, 3}));
  EXPECT_EQ(mesh.subMeshes[0].elements.size(), 2u);  // position and normal only
  EXPECT_EQ(mesh.subMeshes[1].material, "Lvl/my mat");
  EXPECT_EQ(mesh.subMeshes[1].indices, (std::vector<std::uint32_t>{2, 1, 0}));
}

TEST(BinaryMesh, BoundsSpanAllSubMeshes) {
  TempFolder dir;
  WriterScene scene;
  auto& m = scene.Material("M");
  scene.SubMesh(m, 1, 0, 0).Vertices[0].AssignXYZ(ZROgreBaseVertexT{0, 0, 0});
  scene.SubMesh(m, 1, 0, 0).Vertices[0].AssignXYZ(ZROgreBaseVertexT{2, 4, 6});
  ParsedMesh mesh = MeshReader(WriteMesh(scene.exporter, dir / "a.mesh")).Read();
  EXPECT_EQ(std::vector<float>(mesh.bounds, mesh.bounds + 7),
            (std::vector<float>{0, 0, 0, 2, 4, 6, static_cast<float>(std::sqrt(56.0))}));

  // Negative boxes; the radius reaches from the origin, not from the box's centre.
  scene.exporter.SubMeshes->at(0)->Vertices[0].AssignXYZ(ZROgreBaseVertexT{-3, -1, 5});
  scene.exporter.SubMeshes->at(1)->Vertices[0].AssignXYZ(ZROgreBaseVertexT{-1, -7, 9});
  scene.SubMesh(m, 1, 0, 0).Vertices[0].AssignXYZ(ZROgreBaseVertexT{-2, -4, 7});
  mesh = MeshReader(WriteMesh(scene.exporter, dir / "b.mesh")).Read();
  EXPECT_EQ(std::vector<float>(mesh.bounds, mesh.bounds + 7),
            (std::vector<float>{-3, -7, 5, -1, -1, 9, static_cast<float>(std::sqrt(131.0))}));

  // The largest square is kept as a single: 4276 * 4276 + 7 * 7 = 18284225 becomes 18284224,
  // whose root rounds to another single.
  scene.SubMesh(m, 1, 0, 0).Vertices[0].AssignXYZ(ZROgreBaseVertexT{4276, 7, 0});
  mesh = MeshReader(WriteMesh(scene.exporter, dir / "c.mesh")).Read();
  EXPECT_EQ(mesh.bounds[6], static_cast<float>(std::sqrt(18284224.0)));
  EXPECT_NE(mesh.bounds[6], static_cast<float>(std::sqrt(18284225.0)));
}

TEST(BinaryMesh, VertexLimitIsCheckedBeforeWriting) {
  const struct {
    int vertices;
    std::int32_t index;  // one more face's first corner
    bool allow32BitIndices;
    bool accepted;
  } cases[] = {
      {65536, 65535, false, true}, {65537, 0, false, false},    {65537, 65536, true, true},
      {65536, 65535, true, true},  {65536, 65536, true, false},  // an index past the vertices never widens a
                                                                 // submesh that fits
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.vertices << " " << c.index << " " << c.allow32BitIndices);
    WriterScene scene;
    scene.exporter.allow32BitIndices = c.allow32BitIndices;
    auto& m = scene.Material("M");
    scene.SubMesh(m, c.vertices, 0, 0).Faces.push_back({{c.index, 0, 1}, &m});
    try {
      scene.exporter.CheckBinaryLimits();
      EXPECT_TRUE(c.accepted);
    } catch (const Error& e) {
      EXPECT_FALSE(c.accepted);
      EXPECT_STREQ(e.what(), "Submeshes containing > 65536 vertices not supported.");
    }
  }
}

// Vertices and indices far beyond one output block: nothing lost or repeated at the seams.
// Only a submesh over 65536 vertices gets 32-bit indices, and only when they are allowed.
TEST(BinaryMesh, FullSizeSubMeshIsWritten) {
  const struct {
    int vertices;
    TMeshVersion version;
    bool wideIndices;
  } cases[] = {{65536, TMeshVersion::V1_0, false}, {65537, TMeshVersion::V1_8, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.vertices);
    TempFolder dir;
    WriterScene scene;
    scene.exporter.allow32BitIndices = true;
    scene.exporter.meshVersion = c.version;
    auto& m = scene.Material("M", {&scene.Texture("a.png")});
    scene.SubMesh(m, 3, 1, 1);
    auto& s = scene.SubMesh(m, c.vertices, 1, 30000);
    const std::int32_t last = c.vertices - 1;
    s.Faces.push_back({{last, last - 1, 0}, &m});
    const ParsedMesh mesh = MeshReader(WriteMesh(scene.exporter, dir / "m.mesh")).Read();
    ASSERT_EQ(mesh.subMeshes.size(), 2u);
    EXPECT_FALSE(mesh.subMeshes[0].wideIndices);
    EXPECT_EQ(mesh.subMeshes[0].indices, (std::vector<std::uint32_t>{0, 1, 2}));
    const ParsedSubMesh& p = mesh.subMeshes[1];
    EXPECT_EQ(p.wideIndices, c.wideIndices);
    EXPECT_EQ(p.vertexCount, static_cast<std::uint32_t>(c.vertices));
    std::vector<std::uint32_t> indices;
    for (std::uint32_t f = 0; f < 30000; ++f) indices.insert(indices.end(), {f, f + 1, f + 2});
    indices.insert(indices.end(),
                   {static_cast<std::uint32_t>(last), static_cast<std::uint32_t>(last - 1), 0});
    EXPECT_TRUE(p.indices == indices);
    std::vector<float> data;
    for (int i = 0; i < c.vertices; ++i) {
      data.insert(data.end(),
                  {static_cast<float>(i), static_cast<float>(i) * 0.5f, -1.0f, 0, 1, 0, 0, 0.25f});
    }
    EXPECT_TRUE(p.data == data);
  }
}

// A vertex wider than the output's block (thousands of coordinate sets) still goes out whole.
// The widest vertex the 16-bit size field allows: one vertex to a block of the output file.
TEST(BinaryMesh, WidestVertexFillsABlock) {
  TempFolder dir;
  WriterScene scene;
  constexpr int kSets = 8188;
  std::vector<ZROgreTextureT*> textures(kSets, &scene.Texture("a.png"));
  auto& s = scene.SubMesh(scene.Material("M", textures), 2, kSets, 0);
  s.Vertices[1].TextureCoordinates[kSets - 1] = {7, 8};
  const std::string bytes = WriteMesh(scene.exporter, dir / "m.mesh");
  const std::size_t stride = 24 + 8 * kSets;
  const std::size_t dataEnd = bytes.size() - 34;  // the bounds chunk follows the data
  ASSERT_GT(bytes.size(), 2 * stride + 34);
  float last[2];
  std::memcpy(last, bytes.data() + dataEnd - 8, 8);
  EXPECT_EQ(last[0], 7);
  EXPECT_EQ(last[1], 8);
  std::uint32_t meshLength;
  std::memcpy(&meshLength, bytes.data() + 27, 4);
  EXPECT_EQ(meshLength + 25, bytes.size());
}

TEST(BinaryMesh, WrittenCoordinateSetCount) {
  WriterScene scene;
  auto& lm = scene.Texture("lm.bmp", true);
  auto& t = scene.Texture("t.png");
  auto& plain = scene.Material("A", {&t, &t, &t});
  auto& lit = scene.Material("B", {&t, &lm});
  auto& none = scene.Material("C");
  for (const bool on : {true, false}) {
    scene.exporter.exportLightmaps = on;
    EXPECT_EQ(scene.exporter.WrittenCoordinateSetCount(plain), 3);
    EXPECT_EQ(scene.exporter.WrittenCoordinateSetCount(lit), on ? 2 : 1);
    EXPECT_EQ(scene.exporter.WrittenCoordinateSetCount(none), 0);
  }
}

}  // namespace
}  // namespace pallix
