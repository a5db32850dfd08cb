#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "XMLWriterCl.h"
#include "mesh/WriterFixtures.h"
#include "uXMLWriter.h"

namespace pallix {
namespace {

using testing::TempFolder;
using testing::WriterScene;

std::string Document(const WriterScene& scene) {
  TXMLStringWriter writer;
  scene.exporter.WriteXmlMesh(writer);
  return writer.GetText();
}

std::string Lines(const std::vector<std::string>& lines) {
  std::string out;
  for (std::size_t i = 0; i < lines.size(); ++i) out += (i ? "\r\n" : "") + lines[i];
  return out;
}

TEST(XmlMesh, WorkedExample) {
  WriterScene scene;
  auto& s = scene.SubMesh(scene.Material("Crate", {&scene.Texture("crate.png")}), 3, 1, 0);
  s.Faces.push_back({{2, 1, 0}, s.Material});
  for (auto& v : s.Vertices) {
    v.AssignXYZ(ZROgreBaseVertexT{1, 0, -2.5f});
    v.Normal = {};
    v.Normal.Y = 1;
    v.TextureCoordinates = {{0.5f, 1}};
  }
  const std::vector<std::string> vertex = {
      "          <vertex>", "            <position x=\"1\" y=\"0\" z=\"-2.5\" />",
      "            <normal x=\"0\" y=\"1\" z=\"0\" />", "            <texcoord u=\"0.5\" v=\"1\" />",
      "          </vertex>"};
  std::vector<std::string> expected = {
      "<mesh>",
      "  <submeshes>",
      "    <submesh material=\"Crate\" usesharedvertices=\"false\" use32bitindexes=\"false\" "
      "operationtype=\"triangle_list\">",
      "      <faces count=\"1\">",
      "        <face v1=\"2\" v2=\"1\" v3=\"0\" />",
      "      </faces>",
      "      <geometry vertexcount=\"3\">",
      "        <vertexbuffer positions=\"true\" normals=\"true\" texture_coord_dimensions_0=\"2\" "
      "texture_coords=\"1\">"};
  for (int i = 0; i < 3; ++i) expected.insert(expected.end(), vertex.begin(), vertex.end());
  expected.insert(expected.end(), {"        </vertexbuffer>", "      </geometry>", "    </submesh>",
                                   "  </submeshes>", "</mesh>"});
  EXPECT_EQ(Document(scene), Lines(expected));
}

TEST(XmlMesh, NoSubMeshes) {
  WriterScene scene;
  EXPECT_EQ(Document(scene), "<mesh>\r\n  <submeshes />\r\n</mesh>");
}

TEST(XmlMesh, EmptySubMeshUsesShortForms) {
  WriterScene scene;
  scene.exporter.normalsToExport = 0;
  scene.SubMesh(scene.Material("a&b \"<c>\""), 0, 0, 0);
  EXPECT_EQ(Document(scene),
            Lines({"<mesh>", "  <submeshes>",
                   "    <submesh material=\"a&amp;b &quot;&lt;c&gt;&quot;\" usesharedvertices=\"false\" "
                   "use32bitindexes=\"false\" operationtype=\"triangle_list\">",
                   "      <faces count=\"0\" />", "      <geometry vertexcount=\"0\">",
                   "        <vertexbuffer positions=\"true\" normals=\"false\" texture_coords=\"0\" />",
                   "      </geometry>", "    </submesh>", "  </submeshes>", "</mesh>"}));
}

struct SetCase {
  const char* name;
  int normals;
  bool exportLightmaps;
  const char* vertexbuffer;
  const char* vertex;
};

TEST(XmlMesh, VertexContentFollowsNormalsAndWrittenSets) {
  const std::vector<SetCase> cases = {
      {"lightmap left out", 1, false,
       "<vertexbuffer positions=\"true\" normals=\"true\" texture_coord_dimensions_0=\"2\" "
       "texture_coords=\"1\">",
       "<vertex>\r\n            <position x=\"0\" y=\"0\" z=\"-1\" />\r\n"
       "            <normal x=\"0\" y=\"1\" z=\"0\" />\r\n"
       "            <texcoord u=\"0\" v=\"0.25\" />\r\n          </vertex>"},
      {"lightmap kept, no normals", 0, true,
       "<vertexbuffer positions=\"true\" normals=\"false\" texture_coord_dimensions_0=\"2\" "
       "texture_coord_dimensions_1=\"2\" texture_coords=\"2\">",
       "<vertex>\r\n            <position x=\"0\" y=\"0\" z=\"-1\" />\r\n"
       "            <texcoord u=\"0\" v=\"0.25\" />\r\n"
       "            <texcoord u=\"1\" v=\"0.25\" />\r\n          </vertex>"},
  };
  for (const SetCase& c : cases) {
    SCOPED_TRACE(c.name);
    WriterScene scene;
    scene.exporter.normalsToExport = static_cast<std::uint8_t>(c.normals);
    scene.exporter.exportLightmaps = c.exportLightmaps;
    // Three sets on each vertex, two units: the third set is never written.
    scene.SubMesh(scene.Material("M", {&scene.Texture("a.png"), &scene.Texture("lm.bmp", true)}), 1, 3, 0);
    const std::string doc = Document(scene);
    EXPECT_NE(doc.find(c.vertexbuffer), std::string::npos) << doc;
    EXPECT_NE(doc.find(c.vertex), std::string::npos) << doc;
  }
}

TEST(XmlMesh, LargeSubMeshesSay32BitIndexes) {
  WriterScene scene;
  auto& m = scene.Material("M");
  scene.SubMesh(m, 65536, 0, 0);
  scene.SubMesh(m, 65537, 0, 0);
  const std::string doc = Document(scene);
  const std::size_t first = doc.find("use32bitindexes=");
  const std::size_t second = doc.find("use32bitindexes=", first + 1);
  ASSERT_NE(second, std::string::npos);
  EXPECT_EQ(doc.compare(first, 23, "use32bitindexes=\"false\""), 0);
  EXPECT_EQ(doc.compare(second, 22, "use32bitindexes=\"true\""), 0);
}

// Many vertices and faces of random numbers, with repeats among them, in several layouts and
// through the file writer: every element reads as if written on its own.
TEST(XmlMesh, RandomNumbersReadAsElementByElement) {
  std::mt19937 rng(7);
  std::vector<float> pool;  // values that come back again and again, as in real levels
  pool.reserve(64);
  for (int i = 0; i < 64; ++i) pool.push_back(static_cast<float>(static_cast<int>(rng() % 2001) - 1000) / 8);
  const auto number = [&] {
    switch (rng() % 4) {
      case 0:
        return pool[rng() % pool.size()];
      case 1:  // any finite float, subnormals and huge ones included
        for (;;) {
          const float f = std::bit_cast<float>(static_cast<std::uint32_t>(rng()));
          if (std::isfinite(f)) return f;
        }
      default:
        return std::uniform_real_distribution<float>(-1000, 1000)(rng);
    }
  };
  for (const int normals : {0, 1}) {
    for (const int sets : {0, 1, 2, 3, 4, 5}) {
      SCOPED_TRACE(::testing::Message() << "normals " << normals << ", sets " << sets);
      WriterScene scene;
      scene.exporter.normalsToExport = static_cast<std::uint8_t>(normals);
      std::vector<ZROgreTextureT*> textures;
      for (int i = 0; i < sets; ++i) textures.push_back(&scene.Texture("t.png"));
      auto& s = scene.SubMesh(scene.Material("M", textures), 6000, sets, 150);
      s.Faces[1].Indices = {123456789, 0, 65536};
      s.Faces[2].Indices = {9999, 10000, 999};
      std::string faces = "<faces count=\"150\">";
      for (const auto& f : s.Faces) {
        faces += "\r\n        <face v1=\"" + std::to_string(f.Indices[0]) + "\" v2=\"" +
                 std::to_string(f.Indices[1]) + "\" v3=\"" + std::to_string(f.Indices[2]) + "\" />";
      }
      std::string vertices;
      const std::string in(12, ' ');
      for (auto& v : s.Vertices) {
        v.AssignXYZ(ZROgreBaseVertexT{number(), number(), number()});
        // A polygon's vertices follow each other with its normal; -0 is a normal of its own.
        if (&v == &s.Vertices[0] || rng() % 2 == 0) {
          v.Normal.X = rng() % 8 == 0 ? -0.0f : number();
          v.Normal.Y = number();
          v.Normal.Z = number();
        } else {
          v.Normal = (&v)[-1].Normal;
        }
        for (std::size_t i = 0; i < v.TextureCoordinates.size(); ++i)
          v.TextureCoordinates[i] = {number(), number()};
        const auto f = [](float x) { return FormatCoordinate(x); };
        vertices += "\r\n          <vertex>\r\n" + in + "<position x=\"" + f(v.X) + "\" y=\"" + f(v.Y) +
                    "\" z=\"" + f(v.Z) + "\" />";
        if (normals) {
          vertices += "\r\n" + in + "<normal x=\"" + f(v.Normal.X) + "\" y=\"" + f(v.Normal.Y) + "\" z=\"" +
                      f(v.Normal.Z) + "\" />";
        }
        for (const auto& uv : v.TextureCoordinates) {
          vertices += "\r\n" + in + "<texcoord u=\"" + f(uv.U) + "\" v=\"" + f(uv.V) + "\" />";
        }
        vertices += "\r\n          </vertex>";
      }
      const std::string doc = Document(scene);
      EXPECT_NE(doc.find(faces + "\r\n      </faces>"), std::string::npos);
      const std::size_t at = doc.find("\r\n          <vertex>");
      ASSERT_NE(at, std::string::npos);
      EXPECT_TRUE(doc.compare(at, vertices.size(), vertices) == 0);
      EXPECT_EQ(doc.compare(at + vertices.size(), std::string::npos,
                            "\r\n        </vertexbuffer>\r\n      "
                            "</geometry>\r\n    </submesh>\r\n  </submeshes>\r\n</mesh>"),
                0);

      TempFolder dir;
      const std::string file = dir / "m.xml";
      {
        XMLFileWriterT writer(file);
        scene.exporter.WriteXmlMesh(writer);
        writer.Commit();
      }
      EXPECT_TRUE(testing::ReadFile(file) == doc);
    }
  }
}

TEST(FormatCoordinate, Examples) {
  const std::vector<std::pair<float, const char*>> cases = {
      {1.0f, "1"},
      {-2.5f, "-2.5"},
      {0.1f, "0.1"},
      {1.0f / 3.0f, "0.333333"},
      {100.0f, "100"},
      {999999.5f, "1E6"},
      {1234567.0f, "1.23457E6"},
      {0.0001f, "0.0001"},
      {0.00001f, "1E-5"},
      {-0.000012345f, "-1.2345E-5"},
      {1e-7f, "1E-7"},
      {2000000.0f, "2E6"},
      {0.0f, "0"},
      {-0.0f, "0"},
      {999999.0f, "999999"},
      {123456.5f, "123457"},  // exact tie rounds away from zero
      {-123456.5f, "-123457"},
      {0.00012345678f, "0.000123457"},
      {9.9999996e-5f, "0.0001"},  // rounds up into fixed notation
      {1e20f, "1E20"},
      {3.4028235e38f, "3.40282E38"},
      {1.17549435e-38f, "1.17549E-38"},
      {1.4e-45f, "1.4013E-45"},  // smallest subnormal
      {1000.0f, "1000"},
      {65536.0f, "65536"},
  };
  for (const auto& [value, text] : cases) EXPECT_EQ(FormatCoordinate(value), text) << value;
}

// A slow, obviously exact reference: the float's full decimal expansion by big-integer
// arithmetic, rounded half away from zero to 18 digits, then to 6, then laid out.
class ExactDecimal {
 public:
  // Digits of |value| (no leading zeros) and the power of ten of the last digit.
  static std::pair<std::string, int> Expand(float value) {
    const std::uint32_t bits = std::bit_cast<std::uint32_t>(value) & 0x7fffffffu;
    std::uint32_t mantissa = bits & 0x7fffffu;
    int exponent = static_cast<int>(bits >> 23);
    if (exponent == 0) {
      exponent = 1;
    } else {
      mantissa |= 0x800000u;
    }
    exponent -= 150;                            // value = mantissa * 2^exponent
    std::vector<std::uint32_t> n = {mantissa};  // little-endian base 10^9
    int scale = 0;
    if (exponent >= 0) {
      for (int i = 0; i < exponent; ++i) Multiply(n, 2);
    } else {
      // m * 2^-k = m * 5^k / 10^k
      for (int i = 0; i < -exponent; ++i) Multiply(n, 5);
      scale = exponent;
    }
    std::string digits = std::to_string(n.back());
    for (std::size_t i = n.size() - 1; i-- > 0;) {
      std::string part = std::to_string(n[i]);
      digits += std::string(9 - part.size(), '0') + part;
    }
    return {digits, scale};
  }

  static std::string Format(float value) {
    if (value == 0) return "0";
    auto [digits, scale] = Expand(value);
    // Decimal exponent with magnitude = 0.d1d2... * 10^e.
    int e = static_cast<int>(digits.size()) + scale;
    digits = RoundHalfUp(digits, 18, e);
    digits = RoundHalfUp(digits, 6, e);
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
    std::string out = value < 0 ? "-" : "";
    if (e >= -3 && e <= 6) {
      if (e > 0) {
        std::string intPart =
            digits.substr(0, std::min<std::size_t>(digits.size(), static_cast<std::size_t>(e)));
        intPart.resize(static_cast<std::size_t>(e), '0');
        out += intPart;
        if (digits.size() > static_cast<std::size_t>(e))
          out += "." + digits.substr(static_cast<std::size_t>(e));
      } else {
        out += "0." + std::string(static_cast<std::size_t>(-e), '0') + digits;
      }
    } else {
      out += digits.substr(0, 1);
      if (digits.size() > 1) out += "." + digits.substr(1);
      out += "E" + std::to_string(e - 1);
    }
    return out;
  }

 private:
  static void Multiply(std::vector<std::uint32_t>& n, std::uint32_t f) {
    std::uint64_t carry = 0;
    for (std::uint32_t& limb : n) {
      const std::uint64_t x = std::uint64_t{limb} * f + carry;
      limb = static_cast<std::uint32_t>(x % 1000000000u);
      carry = x / 1000000000u;
    }
    if (carry) n.push_back(static_cast<std::uint32_t>(carry));
  }

  // Keeps `keep` digits, a 5 or more in the next digit rounding up; a carry out of the
  // first digit raises e.
  static std::string RoundHalfUp(std::string digits, std::size_t keep, int& e) {
    if (digits.size() <= keep) return digits;
    const bool up = digits[keep] >= '5';
    digits.resize(keep);
    if (!up) return digits;
    std::size_t i = keep;
    while (i > 0 && digits[i - 1] == '9') digits[--i] = '0';
    if (i == 0) {
      digits.insert(digits.begin(), '1');
      digits.pop_back();
      ++e;
    } else {
      ++digits[i - 1];
    }
    return digits;
  }
};

TEST(FormatCoordinate, MatchesExactDecimalReference) {
  std::mt19937 rng(20240611);
  std::vector<float> values;
  // Every exponent, random mantissas and signs; finite values only.
  std::uniform_int_distribution<std::uint32_t> mantissa(0, 0x7fffff);
  for (std::uint32_t exp = 0; exp < 255; ++exp) {
    for (int i = 0; i < 400; ++i) {
      const std::uint32_t sign = (rng() & 1u) << 31;
      values.push_back(std::bit_cast<float>(sign | exp << 23 | mantissa(rng)));
    }
  }
  // Neighbours of values that round at the six-digit boundary: 123456.5, 0.0001, 1e6, 9.999995 ...
  for (const float anchor : {123456.5f, 0.0001f, 999999.5f, 9.999995f, 0.00999995f, 99999.95f, 1.0f, 1e-4f,
                             999999.4f, 1.0000005f, 2.5e-5f}) {
    float v = anchor;
    for (int i = 0; i < 200; ++i) v = std::nextafter(v, 0.0f);
    for (int i = 0; i < 400; ++i, v = std::nextafter(v, 2 * anchor)) values.push_back(v);
  }
  int mismatches = 0;
  for (const float v : values) {
    const std::string expected = ExactDecimal::Format(v);
    const std::string actual = FormatCoordinate(v);
    if (actual != expected && ++mismatches <= 10) {
      ADD_FAILURE() << std::hexfloat << v << ": " << actual << " vs " << expected;
    }
  }
  EXPECT_EQ(mismatches, 0);
}

}  // namespace
}  // namespace pallix
