#include "SceneDocument.h"

#include <charconv>
#include <cstdint>

namespace pallix::bench {

namespace {

class Writer {
 public:
  explicit Writer(std::string& out) : out_(out) {}
  Writer& operator<<(const char* text) {
    out_ += text;
    return *this;
  }
  Writer& operator<<(const std::string& text) {
    out_ += text;
    return *this;
  }
  Writer& operator<<(std::int64_t value) {
    char buffer[24];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, value);
    out_.append(buffer, static_cast<std::size_t>(r.ptr - buffer));
    return *this;
  }
  // Editor-like coordinates: a few decimals, trailing zeros dropped.
  Writer& Decimal(double value) {
    char buffer[32];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 4);
    const char* end = r.ptr;
    while (end[-1] == '0') --end;
    if (end[-1] == '.') --end;
    out_.append(buffer, static_cast<std::size_t>(end - buffer));
    return *this;
  }
  Writer& Line(int depth) {
    out_ += "\r\n";
    out_.append(static_cast<std::size_t>(depth) * 2, ' ');
    return *this;
  }

 private:
  std::string& out_;
};

class Random {
 public:
  std::uint32_t Next() {
    state_ = state_ * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<std::uint32_t>(state_ >> 33);
  }
  double Real(double low, double high) { return low + (high - low) * (Next() % 1000000) / 1000000.0; }

 private:
  std::uint64_t state_ = 0x9E3779B97F4A7C15ull;
};

constexpr int kMaterials = 24;

}  // namespace

std::string MakeSceneDocument(std::size_t approximateBytes) {
  std::string doc;
  doc.reserve(approximateBytes + (1 << 16));
  Writer w(doc);
  Random rnd;
  w << "<scene>";
  w.Line(1) << "<settings ambient=\"FF8040C0\" author=\"Bench\" comment=\"generated level\" "
               "shadowOpacity=\"70\" />";
  w.Line(1) << "<materials>";
  w.Line(2) << "<category name=\"Walls &amp; floors\">";
  for (int m = 0; m < kMaterials; ++m) {
    w.Line(3) << "<material id=\"m" << m << "\" name=\"Stone " << m << "\" used=\"true\">";
    w.Line(4) << "<layer type=\"texture\" blend=\"modulate\">";
    w.Line(5) << "<texture file=\"walls\\stone" << m << ".jpg\" />";
    w.Line(4) << "</layer>";
    if (m % 4 == 0) {
      w.Line(4) << "<layer type=\"lightmap\" blend=\"modulate\">";
      w.Line(5) << "<texture file=\"lightmaps\\lm" << m << ".bmp\" />";
      w.Line(4) << "</layer>";
    }
    w.Line(3) << "</material>";
  }
  w.Line(2) << "</category>";
  w.Line(1) << "</materials>";
  w.Line(1) << "<primitives>";
  std::int64_t primitive = 0;
  while (doc.size() < approximateBytes) {
    // A box-like primitive: a grid of vertices and quads between them.
    const int side = 4 + static_cast<int>(rnd.Next() % 12);
    w.Line(2) << "<primitive id=\"p" << primitive << "\" name=\"Block " << primitive
              << "\" type=\"userdefined\" visible=\"true\" snap=\"vertex\" autoUV=\"false\">";
    w.Line(3) << "<tag>block</tag>";
    w.Line(3) << "<vertices>";
    const double ox = rnd.Real(-4096, 4096);
    const double oz = rnd.Real(-4096, 4096);
    for (int y = 0; y <= side; ++y) {
      for (int x = 0; x <= side; ++x) {
        w.Line(4) << "<vertex id=\"v" << (y * (side + 1) + x) << "\" x=\"";
        w.Decimal(ox + x * 16.0) << "\" y=\"";
        w.Decimal(rnd.Real(-8, 8)) << "\" z=\"";
        w.Decimal(oz + y * 16.0) << "\" />";
      }
    }
    w.Line(3) << "</vertices>";
    w.Line(3) << "<polygons>";
    const int material = static_cast<int>(rnd.Next() % kMaterials);
    const int layers = material % 4 == 0 ? 2 : 1;
    for (int y = 0; y < side; ++y) {
      for (int x = 0; x < side; ++x) {
        w.Line(4) << "<poly mid=\"m" << material << "\">";
        const int corners[4][2] = {{x, y}, {x, y + 1}, {x + 1, y + 1}, {x + 1, y}};
        for (const auto& c : corners) {
          w.Line(5) << "<vertex vid=\"v" << (c[1] * (side + 1) + c[0]) << "\"";
          for (int l = 0; l < layers; ++l) {
            w << " u" << l << "=\"";
            w.Decimal(c[0] / double(side)) << "\" v" << l << "=\"";
            w.Decimal(c[1] / double(side)) << "\"";
          }
          w << " />";
        }
        w.Line(4) << "</poly>";
      }
    }
    w.Line(3) << "</polygons>";
    w.Line(2) << "</primitive>";
    ++primitive;
  }
  w.Line(1) << "</primitives>";
  w.Line(1) << "<lights>";
  for (int l = 0; l < 8; ++l) {
    w.Line(2) << "<light id=\"l" << l << "\" type=\"point\" name=\"Lamp " << l
              << "\" range=\"512\" active=\"true\" intensity=\"80\">";
    w.Line(3) << "<attenuation constant=\"1\" linear=\"0.01\" quadratic=\"0.0001\" />";
    w.Line(3) << "<position x=\"";
    w.Decimal(rnd.Real(-4096, 4096)) << "\" y=\"128\" z=\"";
    w.Decimal(rnd.Real(-4096, 4096)) << "\" />";
    w.Line(3) << "<diffuse r=\"255\" g=\"240\" b=\"200\" a=\"255\" />";
    w.Line(2) << "</light>";
  }
  w.Line(1) << "</lights>";
  w.Line(0) << "</scene>";
  return doc;
}

}  // namespace pallix::bench
