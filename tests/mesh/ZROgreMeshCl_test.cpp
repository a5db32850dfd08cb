#include "ZROgreMeshCl.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <random>

#include "BasicFn.h"

namespace pallix {
namespace {

std::uint32_t Bits(float f) { return std::bit_cast<std::uint32_t>(f); }

ZROgreNormalT Normal(float x, float y, float z) {
  ZROgreNormalT n;
  n.X = x;
  n.Y = y;
  n.Z = z;
  return n;
}

TEST(MeshModelTest, NormalizeRoundsLengthAndFactorToSingle) {
  struct Case {
    ZROgreNormalT in;
    std::uint32_t x, y, z;
  };
  const Case cases[] = {
      {Normal(0, 0, 0), 0, 0, 0},
      {Normal(3, 0, 4), Bits(0.6f), 0, Bits(0.8f)},
      // Multiplying by the single-precision reciprocal differs from dividing by the length.
      {Normal(138, 583, 868), 0x3e05fc38u, 0x3f0d8280u, 0x3f52afdbu},
  };
  for (const Case& c : cases) {
    ZROgreNormalT n = c.in;
    n.Normalize();
    EXPECT_EQ(Bits(n.X), c.x);
    EXPECT_EQ(Bits(n.Y), c.y);
    EXPECT_EQ(Bits(n.Z), c.z);
  }
}

TEST(MeshModelTest, CrossProductFormsEachComponentInDoubleBeforeRounding) {
  ZROgreBaseVertexT a;
  a.Y = 2.736205577850342f;
  a.Z = -2.660691738128662f;
  ZROgreBaseVertexT b;
  b.Y = -2.4907679557800293f;
  b.Z = 2.686964988708496f;
  EXPECT_EQ(Bits(a.CrossProduct(b).X), 0x3f39948cu);  // rounding each product first gives 0x3f399488
}

TEST(MeshModelTest, FaceNormalIsRightHandedForCornerOrder) {
  ZROgreSubMeshT mesh;
  mesh.AddVertex(ZROgreVertexT(0, 0, 0));
  mesh.AddVertex(ZROgreVertexT(1, 0, 0));
  mesh.AddVertex(ZROgreVertexT(0, 1, 0));
  mesh.AddFace(0, 1, 2, nullptr);
  mesh.AddFace(0, 0, 2, nullptr);
  const ZROgreNormalT n = mesh.FaceNormal(mesh.GetFace(0));
  EXPECT_TRUE(n.IsEqual(Normal(0, 0, 1)));
  EXPECT_TRUE(mesh.FaceNormal(mesh.GetFace(1)).IsEqual(Normal(0, 0, 0)));
}

TEST(MeshModelTest, VertexCopiesAndFaces) {
  ZROgreVertexT target(1, 2, 3);
  target.AddTextureCoordinates(1, 1);
  target.AddTextureCoordinates(2, 2);
  target.AddTextureCoordinates(3, 3);
  target.AddTextureCoordinates(4, 4);  // one set more than a vertex holds in place
  ZROgreVertexT source(4, 5, 6);
  source.AddTextureCoordinates(7, 8);
  source.Normal = Normal(0, 1, 0);
  auto clone = target.Clone();
  const ZROgreVertexT moved = std::move(clone);
  target.CopyFrom(source);
  ASSERT_EQ(moved.TextureCoordinateCount(), 4);
  EXPECT_EQ(moved.GetTextureCoordinates(2).U, 3);
  EXPECT_EQ(moved.GetTextureCoordinates(3).V, 4);
  ASSERT_EQ(target.TextureCoordinateCount(), 1);
  EXPECT_EQ(target.GetTextureCoordinates(0).V, 8);
  EXPECT_TRUE(target.IsEqual(source));
  EXPECT_TRUE(target.HasNormal());
  EXPECT_THROW(target.GetTextureCoordinates(1), Error);

  ZROgreVertexT plusZero(0, 1, 0), minusZero(-0.0f, 1, 0);
  EXPECT_TRUE(plusZero.IsEqual(minusZero));

  ZROgreMaterialT material;
  ZROgreSubMeshT mesh;
  mesh.AddFace(2, 1, 0, &material);
  mesh.AddFaceCopy(mesh.GetFace(0));
  EXPECT_EQ(mesh.GetFace(1).Material, nullptr);
  EXPECT_EQ(mesh.GetFace(1).Indices, (std::array<std::int32_t, 3>{2, 1, 0}));
  EXPECT_THROW(mesh.GetFace(2), Error);
  EXPECT_THROW(mesh.GetVertex(-1), Error);
}

TEST(MeshModelTest, SortFacesByMaterialFollowsListOrderAndIsStable) {
  std::vector<std::unique_ptr<ZROgreMaterialT>> order;
  for (int i = 0; i < 3; ++i) order.push_back(std::make_unique<ZROgreMaterialT>());
  ZROgreMaterialT* a = order[0].get();
  ZROgreMaterialT* b = order[1].get();
  ZROgreMaterialT* c = order[2].get();
  ZROgreSubMeshT mesh;
  ZROgreMaterialT* faces[] = {c, a, b, c, a, a, b};
  for (int i = 0; i < 7; ++i) mesh.AddFace(i, 0, 0, faces[i]);
  mesh.SortFacesByMaterial(order);
  const std::pair<std::int32_t, ZROgreMaterialT*> expected[] = {{1, a}, {4, a}, {5, a}, {2, b},
                                                                {6, b}, {0, c}, {3, c}};
  ASSERT_EQ(mesh.FaceCount(), 7);
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(mesh.GetFace(i).GetIndex(0), expected[i].first) << i;
    EXPECT_EQ(mesh.GetFace(i).Material, expected[i].second) << i;
  }

  // A material missing from the list sorts after every listed one, its faces in their order.
  ZROgreMaterialT unlisted;
  ZROgreSubMeshT mixed;
  ZROgreMaterialT* mixedFaces[] = {&unlisted, c, &unlisted, a};
  for (int i = 0; i < 4; ++i) mixed.AddFace(i, 0, 0, mixedFaces[i]);
  mixed.SortFacesByMaterial(order);
  const int mixedExpected[] = {3, 1, 0, 2};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(mixed.GetFace(i).GetIndex(0), mixedExpected[i]) << i;
}

// The definition as written: every vertex against every face.
void NaiveSmoothNormals(ZROgreSubMeshT& mesh) {
  for (auto& v : mesh.Vertices) {
    ZROgreNormalT sum;
    for (const ZROgreFaceInfoT& f : mesh.Faces) {
      if (mesh.FaceTouchesPosition(f, v)) sum.AssignXYZ(sum.Add(mesh.FaceNormal(f)));
    }
    sum.Normalize();
    v.Normal.AssignXYZ(sum);
  }
}

// Random submeshes built to stress the grouping: few distinct coordinates, signed zeros,
// a NaN now and then, repeated corners in one face.
TEST(MeshModelTest, SmoothNormalsMatchTheQuadraticDefinitionBitForBit) {
  std::mt19937 rng(20240611);
  const float pool[] = {0.0f, -0.0f, 1.0f, -1.0f, 0.5f, 3.25f, 1e-30f, -7.0f, 1e5f, 0.1f};
  auto pick = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng); };
  for (int round = 0; round < 300; ++round) {
    ZROgreSubMeshT fast, naive;
    const std::size_t vertexCount = 1 + pick(60);
    const bool withNaN = round % 7 == 0;
    for (std::size_t v = 0; v < vertexCount; ++v) {
      float xyz[3];
      for (float& c : xyz) c = pool[pick(std::size(pool))];
      if (withNaN && pick(10) == 0) xyz[pick(3)] = std::numeric_limits<float>::quiet_NaN();
      fast.AddVertex(ZROgreVertexT(xyz[0], xyz[1], xyz[2]));
      naive.AddVertex(ZROgreVertexT(xyz[0], xyz[1], xyz[2]));
    }
    const std::size_t faceCount = pick(80);
    for (std::size_t f = 0; f < faceCount; ++f) {
      const auto i0 = static_cast<std::int32_t>(pick(vertexCount));
      const auto i1 = static_cast<std::int32_t>(pick(vertexCount));
      const auto i2 = static_cast<std::int32_t>(pick(vertexCount));
      fast.AddFace(i0, i1, i2, nullptr);
      naive.AddFace(i0, i1, i2, nullptr);
    }
    fast.CalculateSmoothNormals();
    NaiveSmoothNormals(naive);
    for (std::size_t v = 0; v < vertexCount; ++v) {
      const ZROgreNormalT& a = fast.Vertices[v].Normal;
      const ZROgreNormalT& b = naive.Vertices[v].Normal;
      ASSERT_EQ(Bits(a.X), Bits(b.X)) << "round " << round << " vertex " << v;
      ASSERT_EQ(Bits(a.Y), Bits(b.Y)) << "round " << round << " vertex " << v;
      ASSERT_EQ(Bits(a.Z), Bits(b.Z)) << "round " << round << " vertex " << v;
    }
  }
}

}  // namespace
}  // namespace pallix
