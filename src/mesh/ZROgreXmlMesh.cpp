// The XML mesh writer: the converted submeshes as an OGRE XML mesh document.
#include <bit>
#include <cassert>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "BasicFn.h"
#include "ZROgreMeshExporterCl.h"
#include "uXMLWriter.h"

namespace pallix {

namespace {

// The magnitude rounded to six significant digits: 0.d1..d6 times ten to the power e, the
// digits as one number from 100000 to 999999.
struct SixDigits {
  std::uint32_t n;
  int e;
};

// The rounding works on the value's decimal expansion first rounded to 18 significant
// digits, so a value just below a rounding boundary whose 18-digit form reaches it rounds up.
// to_chars rounds those 18 digits half to even, not half away: the two differ only on an
// exact tie after an even 18th digit, which never carries into the first seven digits, so the
// six-digit result is the same either way.
SixDigits RoundExactly(double magnitude) {
  char expansion[40];
  const auto res =
      std::to_chars(expansion, expansion + sizeof expansion, magnitude, std::chars_format::scientific, 17);
  assert(res.ec == std::errc() && expansion[19] == 'e');
  // expansion is "d.ddddddddddddddddde[+-]x..."
  SixDigits r{static_cast<std::uint32_t>(expansion[0] - '0'), 0};
  for (int i = 2; i <= 6; ++i) r.n = r.n * 10 + static_cast<std::uint32_t>(expansion[i] - '0');
  const char* expText = expansion + 20;
  int exponent = 0;
  std::from_chars(expText + 1, res.ptr, exponent);
  r.e = (*expText == '-' ? -exponent : exponent) + 1;
  if (expansion[7] >= '5' && ++r.n == 1000000) {
    r.n = 100000;
    ++r.e;
  }
  return r;
}

constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                   1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
// A tail of the six-digit window at or above this rounds up once rounded to 18 digits.
constexpr double kRoundUpFrom = 0.4999999999995;

// The same result in a few double operations, for almost every value: scaling by an exact
// power of ten puts the first six digits in the integer part, with an error below 2e-10 in
// the tail. Returns false when the tail is too close to the rounding threshold, or the value
// out of reach of exact powers; RoundExactly decides those.
bool RoundQuickly(double magnitude, SixDigits& r) {
  // magnitude = f * 2^exp2 with f in [0.5, 1); a widened float is never subnormal.
  const int exp2 = static_cast<int>(std::bit_cast<std::uint64_t>(magnitude) >> 52 & 0x7ff) - 1022;
  // log10(magnitude) lies in [(exp2 - 1) log10(2), exp2 log10(2)), so e is the floor of the
  // lower end (a fixed-point product, exact in this range) plus 1, or one more.
  int e = ((exp2 - 1) * 78913 >> 18) + 1;
  for (int attempt = 0; attempt < 2; ++attempt, ++e) {
    const int k = 6 - e;
    if (k > 22 || k < -22) return false;
    const double x = k >= 0 ? magnitude * kPowersOfTen[k] : magnitude / kPowersOfTen[-k];
    if (x >= 1000000.0) continue;
    if (x < 100000.0) return false;
    auto n = static_cast<std::uint32_t>(x);
    const double tail = x - n;
    if (std::fabs(tail - kRoundUpFrom) < 1e-9) return false;
    if (tail >= kRoundUpFrom && ++n == 1000000) {
      n = 100000;
      ++e;
    }
    r.n = n;
    r.e = e;
    return true;
  }
  return false;
}

// Room for the longest text: "-0.000" and six digits, or "-d.dddddE-xx".
constexpr std::size_t kCoordinateRoom = 24;

// Writes the text into the caller's room and returns its length. Writing in place rather than
// returning an array keeps the bytes from being stored one by one and read back as a block.
std::size_t CoordinateText(float value, char* text) {
  const auto fixed = [text](std::string_view word) {
    std::memcpy(text, word.data(), word.size());
    return word.size();
  };
  if (value == 0) return fixed("0");
  if (std::isnan(value)) return fixed("NAN");
  if (std::isinf(value)) return fixed(value < 0 ? "-INF" : "INF");

  const double magnitude = std::fabs(static_cast<double>(value));
  SixDigits r;
  if (!RoundQuickly(magnitude, r)) r = RoundExactly(magnitude);
  const int e = r.e;
  // The digits without trailing zeros, one character each.
  std::uint32_t n = r.n;
  int count = 6;
  while (count > 1 && n % 10 == 0) {
    n /= 10;
    --count;
  }
  char digits[6];
  for (int i = count - 1; i >= 0; --i, n /= 10) digits[i] = static_cast<char>('0' + n % 10);

  char* p = text;
  if (value < 0) *p++ = '-';
  if (e >= -3 && e <= 6) {
    if (e > 0) {
      for (int i = 0; i < e; ++i) *p++ = i < count ? digits[i] : '0';
      if (count > e) {
        *p++ = '.';
        for (int i = e; i < count; ++i) *p++ = digits[i];
      }
    } else {
      *p++ = '0';
      *p++ = '.';
      for (int i = 0; i < -e; ++i) *p++ = '0';
      for (int i = 0; i < count; ++i) *p++ = digits[i];
    }
  } else {
    *p++ = digits[0];
    if (count > 1) {
      *p++ = '.';
      for (int i = 1; i < count; ++i) *p++ = digits[i];
    }
    *p++ = 'E';
    p = std::to_chars(p, text + kCoordinateRoom, e - 1).ptr;
  }
  return static_cast<std::size_t>(p - text);
}

}  // namespace

std::string FormatCoordinate(float value) {
  char text[kCoordinateRoom];
  return std::string(text, CoordinateText(value, text));
}

namespace {

// Numbers go from a stack buffer straight into the writer, without a heap string.
void AddCoordinate(TXMLWriter& writer, std::string_view name, float value) {
  char text[kCoordinateRoom];
  writer.AddProperty(name, std::string_view(text, CoordinateText(value, text)));
}

void AddInteger(TXMLWriter& writer, std::string_view name, std::int64_t value) {
  char text[24];
  writer.AddProperty(name, std::string_view(text, std::to_chars(text, text + sizeof text, value).ptr));
}

void WriteXmlFace(const ZROgreFaceInfoT& face, TXMLWriter& writer) {
  writer.OpenTag("face");
  AddInteger(writer, "v1", face.Indices[0]);
  AddInteger(writer, "v2", face.Indices[1]);
  AddInteger(writer, "v3", face.Indices[2]);
  writer.CloseTag("face");
}

void WriteXmlVertex(const ZROgreVertexT& vertex, bool normals, std::int32_t sets, TXMLWriter& writer) {
  writer.OpenTag("vertex");
  writer.OpenTag("position");
  AddCoordinate(writer, "x", vertex.X);
  AddCoordinate(writer, "y", vertex.Y);
  AddCoordinate(writer, "z", vertex.Z);
  writer.CloseTag("position");
  if (normals) {
    writer.OpenTag("normal");
    AddCoordinate(writer, "x", vertex.Normal.X);
    AddCoordinate(writer, "y", vertex.Normal.Y);
    AddCoordinate(writer, "z", vertex.Normal.Z);
    writer.CloseTag("normal");
  }
  assert(vertex.TextureCoordinateCount() >= sets);
  for (std::int32_t i = 0; i < sets; ++i) {
    const ZROgreTextureCoordinatesT& uv = vertex.TextureCoordinates[static_cast<std::size_t>(i)];
    writer.OpenTag("texcoord");
    AddCoordinate(writer, "u", uv.U);
    AddCoordinate(writer, "v", uv.V);
    writer.CloseTag("texcoord");
  }
  writer.CloseTag("vertex");
}

}  // namespace

void ZROgreMeshExporterT::WriteXmlMesh(TXMLWriter& writer) const {
  const bool normals = normalsToExport != 0;
  writer.OpenTag("mesh");
  writer.OpenTag("submeshes");
  if (SubMeshes) {
    for (const auto& subMesh : *SubMeshes) {
      assert(subMesh->Material);
      writer.OpenTag("submesh");
      writer.AddProperty("material", subMesh->Material->Name);
      writer.AddProperty("usesharedvertices", "false");
      // Past 65536 vertices 16-bit indices would wrap around.
      writer.AddProperty("use32bitindexes", subMesh->VertexCount() > 65536 ? "true" : "false");
      writer.AddProperty("operationtype", "triangle_list");

      writer.OpenTag("faces");
      AddInteger(writer, "count", subMesh->FaceCount());
      for (const ZROgreFaceInfoT& face : subMesh->Faces) WriteXmlFace(face, writer);
      writer.CloseTag("faces");

      const std::int32_t sets = WrittenCoordinateSetCount(*subMesh->Material);
      writer.OpenTag("geometry");
      AddInteger(writer, "vertexcount", subMesh->VertexCount());
      writer.OpenTag("vertexbuffer");
      writer.AddProperty("positions", "true");
      writer.AddProperty("normals", normals ? "true" : "false");
      for (std::int32_t i = 0; i < sets; ++i) {
        writer.AddProperty("texture_coord_dimensions_" + IntToStr(i), "2");
      }
      AddInteger(writer, "texture_coords", sets);
      for (const auto& vertex : subMesh->Vertices) WriteXmlVertex(*vertex, normals, sets, writer);
      writer.CloseTag("vertexbuffer");
      writer.CloseTag("geometry");
      writer.CloseTag("submesh");
    }
  }
  writer.CloseTag("submeshes");
  writer.CloseTag("mesh");
}

}  // namespace pallix
