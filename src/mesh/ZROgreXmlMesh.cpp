// The XML mesh writer: the converted submeshes as an OGRE XML mesh document.
#include <cassert>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>

#include "BasicFn.h"
#include "ZROgreMeshExporterCl.h"
#include "uXMLWriter.h"

namespace pallix {

// Six significant digits of the exactly widened value. The rounding to six digits works on
// the 18-digit decimal expansion, so a value just below a rounding boundary whose 18-digit
// form reaches it rounds up. to_chars rounds the 18 digits half to even, not half away; the
// two differ only on an exact tie after an even 18th digit, which never carries into the
// first seven digits, so the six-digit result is the same either way.
std::string FormatCoordinate(float value) {
  if (value == 0) return "0";
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";

  char expansion[40];
  const double magnitude = std::fabs(static_cast<double>(value));
  const auto res =
      std::to_chars(expansion, expansion + sizeof expansion, magnitude, std::chars_format::scientific, 17);
  assert(res.ec == std::errc());
  // expansion is "d.ddddddddddddddddde[+-]x..."
  char digits[6] = {expansion[0], expansion[2], expansion[3], expansion[4], expansion[5], expansion[6]};
  const char seventh = expansion[7];
  const char* expText = expansion + 20;
  assert(expansion[19] == 'e');
  const bool expNegative = *expText == '-';
  int exponent = 0;
  std::from_chars(expText + 1, res.ptr, exponent);
  if (expNegative) exponent = -exponent;
  // The magnitude is 0.d1d2... times ten to the power e.
  int e = exponent + 1;

  if (seventh >= '5') {
    int i = 5;
    while (i >= 0 && digits[i] == '9') digits[i--] = '0';
    if (i < 0) {
      digits[0] = '1';
      ++e;
    } else {
      ++digits[i];
    }
  }
  int count = 6;
  while (count > 1 && digits[count - 1] == '0') --count;

  std::string out;
  if (value < 0) out += '-';
  if (e >= -3 && e <= 6) {
    if (e > 0) {
      for (int i = 0; i < e; ++i) out += i < count ? digits[i] : '0';
      if (count > e) {
        out += '.';
        out.append(digits + e, static_cast<std::size_t>(count - e));
      }
    } else {
      out += "0.";
      out.append(static_cast<std::size_t>(-e), '0');
      out.append(digits, static_cast<std::size_t>(count));
    }
  } else {
    out += digits[0];
    if (count > 1) {
      out += '.';
      out.append(digits + 1, static_cast<std::size_t>(count - 1));
    }
    out += 'E';
    out += IntToStr(e - 1);
  }
  return out;
}

namespace {

void WriteXmlFace(const ZROgreFaceInfoT& face, TXMLWriter& writer) {
  writer.OpenTag("face");
  writer.AddProperty("v1", IntToStr(face.Indices[0]));
  writer.AddProperty("v2", IntToStr(face.Indices[1]));
  writer.AddProperty("v3", IntToStr(face.Indices[2]));
  writer.CloseTag("face");
}

void WriteXmlVertex(const ZROgreVertexT& vertex, bool normals, std::int32_t sets, TXMLWriter& writer) {
  writer.OpenTag("vertex");
  writer.OpenTag("position");
  writer.AddProperty("x", FormatCoordinate(vertex.X));
  writer.AddProperty("y", FormatCoordinate(vertex.Y));
  writer.AddProperty("z", FormatCoordinate(vertex.Z));
  writer.CloseTag("position");
  if (normals) {
    writer.OpenTag("normal");
    writer.AddProperty("x", FormatCoordinate(vertex.Normal.X));
    writer.AddProperty("y", FormatCoordinate(vertex.Normal.Y));
    writer.AddProperty("z", FormatCoordinate(vertex.Normal.Z));
    writer.CloseTag("normal");
  }
  assert(vertex.TextureCoordinateCount() >= sets);
  for (std::int32_t i = 0; i < sets; ++i) {
    const ZROgreTextureCoordinatesT& uv = vertex.TextureCoordinates[static_cast<std::size_t>(i)];
    writer.OpenTag("texcoord");
    writer.AddProperty("u", FormatCoordinate(uv.U));
    writer.AddProperty("v", FormatCoordinate(uv.V));
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
      writer.AddProperty("count", IntToStr(subMesh->FaceCount()));
      for (const ZROgreFaceInfoT& face : subMesh->Faces) WriteXmlFace(face, writer);
      writer.CloseTag("faces");

      const std::int32_t sets = WrittenCoordinateSetCount(*subMesh->Material);
      writer.OpenTag("geometry");
      writer.AddProperty("vertexcount", IntToStr(subMesh->VertexCount()));
      writer.OpenTag("vertexbuffer");
      writer.AddProperty("positions", "true");
      writer.AddProperty("normals", normals ? "true" : "false");
      for (std::int32_t i = 0; i < sets; ++i) {
        writer.AddProperty("texture_coord_dimensions_" + IntToStr(i), "2");
      }
      writer.AddProperty("texture_coords", IntToStr(sets));
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
