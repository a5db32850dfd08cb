// The XML mesh writer: the converted submeshes as an OGRE XML mesh document.
#include <algorithm>
#include <array>
#include <bit>
#include <cassert>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

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

// Powers of ten from 1e-44 to 1e39, nearest doubles: where a float's magnitude stands among
// them gives its decimal exponent. Only the quick path uses them, and it checks its result.
constexpr int kLowestPower = -44;
constexpr double kPowerSteps[] = {
    1e-44, 1e-43, 1e-42, 1e-41, 1e-40, 1e-39, 1e-38, 1e-37, 1e-36, 1e-35, 1e-34, 1e-33, 1e-32, 1e-31,
    1e-30, 1e-29, 1e-28, 1e-27, 1e-26, 1e-25, 1e-24, 1e-23, 1e-22, 1e-21, 1e-20, 1e-19, 1e-18, 1e-17,
    1e-16, 1e-15, 1e-14, 1e-13, 1e-12, 1e-11, 1e-10, 1e-9,  1e-8,  1e-7,  1e-6,  1e-5,  1e-4,  1e-3,
    1e-2,  1e-1,  1e0,   1e1,   1e2,   1e3,   1e4,   1e5,   1e6,   1e7,   1e8,   1e9,   1e10,  1e11,
    1e12,  1e13,  1e14,  1e15,  1e16,  1e17,  1e18,  1e19,  1e20,  1e21,  1e22,  1e23,  1e24,  1e25,
    1e26,  1e27,  1e28,  1e29,  1e30,  1e31,  1e32,  1e33,  1e34,  1e35,  1e36,  1e37,  1e38,  1e39};

// The same result in a few double operations, for almost every value: scaling by an exact
// power of ten puts the first six digits in the integer part, with an error below 2e-10 in
// the tail. Returns false when the tail is too close to the rounding threshold, or the value
// out of reach of exact powers; RoundExactly decides those. Branches that depend on the
// digits are avoided: coordinates are random to the predictor.
bool RoundQuickly(double magnitude, SixDigits& r) {
  // magnitude = f * 2^exp2 with f in [0.5, 1); a widened float is never subnormal.
  const int exp2 = static_cast<int>(std::bit_cast<std::uint64_t>(magnitude) >> 52 & 0x7ff) - 1022;
  // log10(magnitude) lies in [(exp2 - 1) log10(2), exp2 log10(2)), so e is the floor of the
  // lower end (a fixed-point product, exact in this range) plus 1, or one more from the next
  // power of ten up.
  const int lower = (exp2 - 1) * 78913 >> 18;
  const int e = lower + 1 + (magnitude >= kPowerSteps[lower + 1 - kLowestPower] ? 1 : 0);
  const int k = 6 - e;
  if (k > 22 || k < -22) return false;
  const double x = k >= 0 ? magnitude * kPowersOfTen[k] : magnitude / kPowersOfTen[-k];
  if (!(x >= 100000.0 && x < 1000000.0)) return false;
  auto n = static_cast<std::uint32_t>(x);
  const double tail = x - n;
  if (std::fabs(tail - kRoundUpFrom) < 1e-9) return false;
  n += tail >= kRoundUpFrom ? 1 : 0;
  r.n = n;
  r.e = e;
  if (n == 1000000) {
    r.n = 100000;
    ++r.e;
  }
  return true;
}

// Room for the longest text: "-0.000" and six digits, or "-d.dddddE-xx", with slack for the
// eight-byte stores below.
constexpr std::size_t kCoordinateRoom = 24;

static_assert(std::endian::native == std::endian::little, "digit words are laid out little-endian");

constexpr std::array<char, 200> kDigitPairs = [] {
  std::array<char, 200> t{};
  for (std::size_t i = 0; i < 100; ++i) {
    t[2 * i] = static_cast<char>('0' + i / 10);
    t[2 * i + 1] = static_cast<char>('0' + i % 10);
  }
  return t;
}();

std::uint64_t DigitPair(std::uint32_t n) {
  std::uint16_t pair;
  std::memcpy(&pair, kDigitPairs.data() + std::size_t{2} * n, 2);
  return pair;
}

// The six digits of n (100000 to 999999) as characters, the first in the lowest byte.
std::uint64_t DigitWord(std::uint32_t n) {
  const std::uint32_t rest = n % 10000;
  return DigitPair(n / 10000) | DigitPair(rest / 100) << 16 | DigitPair(rest % 100) << 32;
}

void Store8(char* p, std::uint64_t word) { std::memcpy(p, &word, 8); }

// "0." followed by zeros, as a word.
constexpr std::uint64_t kZeroPoint = 0x3030303030302e30ull;

// A number's text held in two words, the first character in the lowest byte, and its length
// (at most 16). Bytes past the length are left undefined.
struct TTextWords {
  std::uint64_t low;
  std::uint64_t high;
  std::size_t size;

  char* Put(char* p) const {
    Store8(p, low);
    Store8(p + 8, high);
    return p + size;
  }
};

// The fixed notation of 0.d1..d6 times ten to the power e (e from -3 to 6; the digits n from
// 100000 to 999999), with a minus sign when negative. Laid out in two registers with no branch
// on e: positions and normals alternate between the two layouts, a text written out in pieces
// and read back whole would stall, and the next text's place waits on this one's length.
TTextWords FixedWords(std::uint32_t n, int e, std::uint32_t negative) {
  assert(e >= -3 && e <= 6 && negative <= 1);
  const std::uint64_t digits = DigitWord(n);
  // Significant digits once trailing zeros are dropped: the highest byte that is not '0'.
  const int count = (71 - std::countl_zero(digits ^ 0x303030303030ull)) / 8;
  // e >= 1: the integer digits, the point, the fraction digits (a point with nothing after it
  // is left beyond the length).
  const int shift = 8 * (e >= 1 ? e : 1);
  const std::uint64_t pointed = (digits & ((std::uint64_t{1} << shift) - 1)) | std::uint64_t{'.'} << shift |
                                (digits >> shift) << (shift + 8);
  // e <= 0: "0.", then -e zeros, then the digits, over both words.
  const int at = 8 * (e <= 0 ? 2 - e : 2);
  const std::uint64_t small = (kZeroPoint & ((std::uint64_t{1} << at) - 1)) | digits << at;
  const std::uint64_t smallHigh = digits >> (64 - at);
  const std::uint64_t pick = e >= 1 ? ~std::uint64_t{0} : 0;
  const std::uint64_t low = (pointed & pick) | (small & ~pick);
  const std::uint64_t high = smallHigh & ~pick;
  const int size = e >= 1 ? (count > e ? count + 1 : e) : 2 - e + count;
  // A minus sign moves the text up one byte.
  const std::uint64_t signMask = std::uint64_t{0} - negative;
  const int signShift = 8 * static_cast<int>(negative);
  return {low << signShift | ('-' & signMask), high << signShift | (low >> 56 & signMask),
          static_cast<std::size_t>(size) + negative};
}

// Writes the text into the caller's room (at least kCoordinateRoom bytes) and returns its
// length: every value, the rare notations included.
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
  if (e >= -3 && e <= 6) return static_cast<std::size_t>(FixedWords(r.n, e, value < 0).Put(text) - text);
  const std::uint64_t digits = DigitWord(r.n);
  const int count = (71 - std::countl_zero(digits ^ 0x303030303030ull)) / 8;

  char* p = text;
  *p = '-';
  p += value < 0 ? 1 : 0;
  char d[8];
  Store8(d, digits);
  *p++ = d[0];
  if (count > 1) {
    *p++ = '.';
    for (int i = 1; i < count; ++i) *p++ = d[i];
  }
  *p++ = 'E';
  p = std::to_chars(p, text + kCoordinateRoom, e - 1).ptr;
  return static_cast<std::size_t>(p - text);
}

// For each float exponent, where the fixed notation's quick path starts: the decimal exponent
// of the exponent's smallest value, and the scales that put six digits of a value with that
// exponent, or the next, before the point. A float times a power of ten up to 1e12 is exact,
// so the tail decides the rounding alone.
struct TFixedStart {
  double scale;      // 10^(6 - e)
  double nextScale;  // 10^(5 - e)
  int e;
};

constexpr std::array<TFixedStart, 256> kFixedStarts = [] {
  std::array<TFixedStart, 256> t{};
  for (int exponent = 0; exponent < 256; ++exponent) {
    // The smallest value, 2^(exponent - 127), lies in [10^(e-1), 10^e).
    double smallest = 1;
    for (int i = exponent; i < 127; ++i) smallest /= 2;
    for (int i = 127; i < exponent; ++i) smallest *= 2;
    int e = 0;
    double power = 1;  // 10^e, exact for the exponents of the quick path
    while (power <= smallest) {
      power *= 10;
      ++e;
    }
    for (double below = 0.1; smallest < below && e > -60; below /= 10) --e;
    // Outside -4..6 the result goes to the general path: no scale is needed.
    const bool inReach = e >= -4 && e <= 6 && exponent > 0;
    double scale = 1;
    for (int i = 0; inReach && i < 6 - e; ++i) scale *= 10;
    t[static_cast<std::size_t>(exponent)] = {scale, scale / 10, inReach ? e : 100};
  }
  return t;
}();
// The text of value as words. Fixed notation, nearly every value, is rounded in registers
// from a table lookup on the float's exponent.
TTextWords CoordinateWords(float value) {
  const auto bits = std::bit_cast<std::uint32_t>(value);
  const TFixedStart& start = kFixedStarts[bits >> 23 & 0xff];
  if (start.e <= 6) [[likely]] {
    const double magnitude = std::fabs(static_cast<double>(value));
    const double scaled = magnitude * start.scale;
    const bool up = scaled >= 1e6;
    const double x = up ? magnitude * start.nextScale : scaled;
    // Exact products: a tie is a true tie, and rounds away from zero.
    auto n = static_cast<std::uint32_t>(static_cast<std::int32_t>(x + 0.5));
    const bool carry = n == 1000000;
    n = carry ? 100000 : n;
    const int e = start.e + (up ? 1 : 0) + (carry ? 1 : 0);
    if (e >= -3 && e <= 6) [[likely]]
      return FixedWords(n, e, bits >> 31);
  }
  char text[kCoordinateRoom] = {};
  const std::size_t size = CoordinateText(value, text);
  TTextWords words{0, 0, size};
  std::memcpy(&words.low, text, 8);
  std::memcpy(&words.high, text + 8, 8);
  return words;
}

}  // namespace

std::string FormatCoordinate(float value) {
  char text[kCoordinateRoom];
  return std::string(text, CoordinateWords(value).Put(text));
}

namespace {

// Numbers go from a stack buffer straight into the writer, without a heap string.
void AddCoordinate(TXMLWriter& writer, std::string_view name, float value) {
  char text[kCoordinateRoom];
  const TTextWords words = CoordinateWords(value);
  words.Put(text);
  writer.AddProperty(name, std::string_view(text, words.size));
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

// An element written once per vertex or face with other numbers: the writer's own text of a
// sample element at the same depth, cut at each property value. Laying the pieces around new
// numbers gives the bytes the writer would give, at a fraction of the calls.
class TElementPattern {
 public:
  template <typename WriteSample>
  TElementPattern(std::size_t depth, WriteSample&& writeSample) {
    TXMLStringWriter sample;
    for (std::size_t i = 0; i < depth; ++i) sample.OpenTag("d");
    // Past the pending start tag's ">", the sample begins with its line break.
    const std::size_t start = sample.GetText().size() + (depth > 0 ? 1 : 0);
    writeSample(sample);
    const std::string text = sample.GetText().substr(start);
    std::size_t from = 0;
    for (std::size_t at; (at = text.find("=\"", from)) != std::string::npos;) {
      AddPiece(text.substr(from, at + 2 - from));
      from = text.find('"', at + 2);
      assert(from != std::string::npos);
    }
    AddPiece(text.substr(from));
  }

  std::size_t ValueCount() const { return pieces_.size() - 1; }
  // The text before value i, or after the last value.
  std::string_view PieceText(std::size_t i) const {
    return std::string_view(text_.data() + pieces_[i].offset, pieces_[i].size);
  }
  // Room for one element whose values take at most valueRoom bytes each.
  std::size_t Room(std::size_t valueRoom) const { return room_ + ValueCount() * valueRoom; }

  // Each value after the piece before it, then the last piece; putValue(p, i) writes value i
  // at p and returns its end.
  template <typename PutValue>
  char* Put(char* p, PutValue&& putValue) const {
    for (std::size_t i = 0; i < ValueCount(); ++i) p = putValue(PutPiece(p, i), i);
    return PutPiece(p, ValueCount());
  }

 private:
  static constexpr std::size_t kBlock = 16;
  static constexpr std::size_t kFirstCopy = 2 * kBlock;

  void AddPiece(const std::string& piece) {
    pieces_.push_back({text_.size(), piece.size()});
    text_ += piece;
    text_.append(kFirstCopy, '\0');  // whole blocks never read past the end
    room_ += std::max(kFirstCopy, (piece.size() + kBlock - 1) / kBlock * kBlock);
  }
  // Whole blocks: pieces are short and of few lengths, and fixed-size copies need no call.
  // Nearly every piece fits the first copy, so its length decides no branch.
  char* PutPiece(char* p, std::size_t i) const {
    const Piece& piece = pieces_[i];
    const char* from = text_.data() + piece.offset;
    std::memcpy(p, from, kFirstCopy);
    for (std::size_t done = kFirstCopy; done < piece.size; done += kBlock)
      std::memcpy(p + done, from + done, kBlock);
    return p + piece.size;
  }

  struct Piece {
    std::size_t offset;
    std::size_t size;
  };
  std::string text_;
  std::vector<Piece> pieces_;
  std::size_t room_ = 0;
};

// The text of recently written numbers. Levels repeat their numbers a great deal (a polygon's
// vertices share its normal, grids share coordinates, texture coordinates come from few
// values), so most numbers are copied from here instead of being worked out again.
class TCoordinateTexts {
 public:
  TCoordinateTexts() : entries_(kEntries) {}

  // Writes the text of value at p (room for kCoordinateRoom bytes) and returns its end.
  char* Put(char* p, float value) { return Get(value).Put(p); }
  TTextWords Get(float value) {
    const auto bits = std::bit_cast<std::uint32_t>(value);
    Entry& entry = entries_[bits * 2654435761u >> (32 - kIndexBits)];
    if (entry.bits != bits) {
      const TTextWords text = CoordinateWords(value);
      entry = {text.low, text.high, bits, static_cast<std::uint32_t>(text.size)};
    }
    return {entry.low, entry.high, entry.size};
  }

 private:
  static constexpr int kIndexBits = 12;
  static constexpr std::size_t kEntries = std::size_t{1} << kIndexBits;
  static_assert(kCoordinateRoom >= 16);
  // Every entry starts out as +0, whose text is "0". Aligned so that no entry straddles two
  // cache lines.
  struct alignas(32) Entry {
    std::uint64_t low = '0';
    std::uint64_t high = 0;
    std::uint32_t bits = 0;
    std::uint32_t size = 1;
  };
  std::vector<Entry> entries_;
};

// What one vertex writes, in the order its element names it.
std::size_t VertexValues(const ZROgreVertexT& vertex, bool normals, std::int32_t sets, float* values) {
  float* v = values;
  *v++ = vertex.X;
  *v++ = vertex.Y;
  *v++ = vertex.Z;
  if (normals) {
    *v++ = vertex.Normal.X;
    *v++ = vertex.Normal.Y;
    *v++ = vertex.Normal.Z;
  }
  assert(vertex.TextureCoordinateCount() >= sets);
  for (std::int32_t i = 0; i < sets; ++i) {
    const ZROgreTextureCoordinatesT& uv = vertex.TextureCoordinates[static_cast<std::size_t>(i)];
    *v++ = uv.U;
    *v++ = uv.V;
  }
  return static_cast<std::size_t>(v - values);
}

// Copies a pattern's piece into a fixed-size slot of a layout and notes its size; false when
// the piece is longer than the slot.
bool FillSlot(std::string_view piece, char* slot, std::size_t room, std::size_t& size) {
  if (piece.size() > room) return false;
  std::memcpy(slot, piece.data(), piece.size());
  size = piece.size();
  return true;
}
// A short piece, stored whole in one word.
bool FillSlot(std::string_view piece, std::uint64_t* slot, std::size_t& size) {
  return FillSlot(piece, reinterpret_cast<char*>(slot), sizeof *slot, size);
}

// Room for a face index's text.
constexpr std::size_t kIndexRoom = 12;

constexpr std::array<std::uint32_t, 10000> kIndexTexts = [] {
  std::array<std::uint32_t, 10000> t{};
  for (std::uint32_t i = 0; i < t.size(); ++i) {
    std::uint32_t text = 0;
    std::uint32_t shift = 0;
    for (std::uint32_t div = i >= 1000 ? 1000 : i >= 100 ? 100 : i >= 10 ? 10 : 1; div > 0; div /= 10) {
      text |= ('0' + i / div % 10) << shift;  // written order: the first digit in the low byte
      shift += 8;
    }
    t[i] = text;
  }
  return t;
}();

// Writes the index at p (room for kIndexRoom bytes) and returns its end. Indices below 10,000,
// nearly all of a level's, come from a table of their digits.
char* PutIndex(char* p, std::int32_t index) {
  if (static_cast<std::uint32_t>(index) < kIndexTexts.size()) {
    const std::uint32_t text = kIndexTexts[static_cast<std::size_t>(index)];
    std::memcpy(p, &text, sizeof text);
    return p + 1 + (index >= 10) + (index >= 100) + (index >= 1000);
  }
  return std::to_chars(p, p + kIndexRoom, index).ptr;
}

// Faces laid out by code made for their three indices: the pieces between them sit in
// fixed-size slots copied whole, and a run of faces shares one request for room.
class TFaceLayout {
 public:
  // False when a piece is longer than its slot (a mesh written deep in a document).
  bool Load(const TElementPattern& pattern) {
    if (pattern.ValueCount() != 3) return false;
    for (std::size_t i = 0; i <= 3; ++i) {
      const bool fits = i == 0 ? FillSlot(pattern.PieceText(i), first_, sizeof first_, sizes_[i])
                               : FillSlot(pattern.PieceText(i), &pieces_[i], sizes_[i]);
      if (!fits) return false;
    }
    return true;
  }

  void Write(const std::vector<ZROgreFaceInfoT>& faces, TXMLWriter& writer) const {
    // Copies in registers: the text stores may alias any member.
    char first[sizeof first_];
    std::memcpy(first, first_, sizeof first);
    const std::uint64_t second = pieces_[1], third = pieces_[2], last = pieces_[3];
    const std::size_t firstSize = sizes_[0], secondSize = sizes_[1], thirdSize = sizes_[2],
                      lastSize = sizes_[3];
    for (std::size_t done = 0; done < faces.size();) {
      const std::size_t run = std::min(faces.size() - done, kRun);
      char* p = writer.BeginText(run * kRoom);
      for (const ZROgreFaceInfoT& face : std::span(faces).subspan(done, run)) {
        std::memcpy(p, first, sizeof first);
        p = PutIndex(p + firstSize, face.Indices[0]);
        Store8(p, second);
        p = PutIndex(p + secondSize, face.Indices[1]);
        Store8(p, third);
        p = PutIndex(p + thirdSize, face.Indices[2]);
        Store8(p, last);
        p += lastSize;
      }
      writer.EndText(p);
      done += run;
    }
  }

 private:
  static constexpr std::size_t kRoom = 32 + 3 * (kIndexRoom + 8);
  static constexpr std::size_t kRun = 64;

  char first_[32] = {};
  std::uint64_t pieces_[4] = {};
  std::size_t sizes_[4] = {};
};

// The usual vertex, with normals and up to four coordinate sets, laid out by code made for
// its number of values: the pieces between them sit in fixed-size slots copied whole.
class TVertexLayout {
 public:
  static constexpr std::int32_t kMostSets = 4;

  // False when a piece is longer than its slot (a mesh written deep in a document).
  bool Load(const TElementPattern& pattern, std::int32_t sets) {
    assert(sets >= 0 && sets <= kMostSets);
    sets_ = sets;
    const std::size_t values = Values(sets);
    if (pattern.ValueCount() != values) return false;
    for (std::size_t i = 0; i <= values; ++i) {
      const std::string_view piece = pattern.PieceText(i);
      const bool fits = i == 0               ? FillSlot(piece, first_, sizeof first_, sizes_[i])
                        : IsShort(i, values) ? FillSlot(piece, &shorts_[i], sizes_[i])
                                             : FillSlot(piece, longs_[i], kLongRoom, sizes_[i]);
      if (!fits) return false;
    }
    return true;
  }

  void Write(const std::vector<ZROgreVertexT>& vertices, TCoordinateTexts& texts, TXMLWriter& writer) const {
    switch (sets_) {
      case 0:
        return WriteSets<0>(vertices, texts, writer);
      case 1:
        return WriteSets<1>(vertices, texts, writer);
      case 2:
        return WriteSets<2>(vertices, texts, writer);
      case 3:
        return WriteSets<3>(vertices, texts, writer);
      default:
        return WriteSets<4>(vertices, texts, writer);
    }
  }

 private:
  static constexpr std::size_t kLongRoom = 32;
  static constexpr std::size_t kMostValues = 6 + 2 * kMostSets;

  static constexpr std::size_t Values(std::int32_t sets) { return 6 + 2 * static_cast<std::size_t>(sets); }
  // Between two values of one element; the others start a new element.
  static constexpr bool IsShort(std::size_t i, std::size_t values) {
    return i != 0 && i != 3 && i != values && (i < 6 || i % 2 == 1);
  }
  // Room for one vertex.
  static constexpr std::size_t Room(std::size_t values) {
    return sizeof first_ + (values - 1) * (kLongRoom + 16) + 16;
  }

  template <std::int32_t kSets>
  void WriteSets(const std::vector<ZROgreVertexT>& vertices, TCoordinateTexts& texts,
                 TXMLWriter& writer) const {
    constexpr std::size_t kValues = Values(kSets);
    // The vertices of a polygon follow each other and share its face normal.
    std::array<std::uint32_t, 3> normalBits{};
    std::array<TTextWords, 3> normal{};
    bool haveNormal = false;
    for (const ZROgreVertexT& vertex : vertices) {
      char* p = writer.BeginText(Room(kValues));
      Copy<sizeof first_>(p, first_);
      p = texts.Get(vertex.X).Put(p + sizes_[0]);
      p = Value<kValues>(p, 1, texts.Get(vertex.Y));
      p = Value<kValues>(p, 2, texts.Get(vertex.Z));
      const std::array<std::uint32_t, 3> bits = {std::bit_cast<std::uint32_t>(vertex.Normal.X),
                                                 std::bit_cast<std::uint32_t>(vertex.Normal.Y),
                                                 std::bit_cast<std::uint32_t>(vertex.Normal.Z)};
      if (!haveNormal || bits != normalBits) {
        normal = {texts.Get(vertex.Normal.X), texts.Get(vertex.Normal.Y), texts.Get(vertex.Normal.Z)};
        normalBits = bits;
        haveNormal = true;
      }
      p = Value<kValues>(p, 3, normal[0]);
      p = Value<kValues>(p, 4, normal[1]);
      p = Value<kValues>(p, 5, normal[2]);
      assert(vertex.TextureCoordinateCount() >= kSets);
      for (std::size_t i = 0; i < kSets; ++i) {
        const ZROgreTextureCoordinatesT& uv = vertex.TextureCoordinates[i];
        p = Value<kValues>(p, 6 + 2 * i, texts.Get(uv.U));
        p = Value<kValues>(p, 7 + 2 * i, texts.Get(uv.V));
      }
      Copy<kLongRoom>(p, longs_[kValues]);
      writer.EndText(p + sizes_[kValues]);
    }
  }

  template <std::size_t kSize>
  static void Copy(char* p, const char* from) {
    std::memcpy(p, from, kSize);
  }
  // The piece before a value, then the value; returns the end.
  template <std::size_t kValues>
  char* Value(char* p, std::size_t piece, const TTextWords& text) const {
    if (IsShort(piece, kValues)) {
      Store8(p, shorts_[piece]);
    } else {
      Copy<kLongRoom>(p, longs_[piece]);
    }
    return text.Put(p + sizes_[piece]);
  }

  std::int32_t sets_ = 0;
  char first_[64] = {};
  std::uint64_t shorts_[kMostValues + 1] = {};
  char longs_[kMostValues + 1][kLongRoom] = {};
  std::size_t sizes_[kMostValues + 1] = {};
};

// The element patterns of one document, each made the first time it is needed: every
// submesh's faces and vertices sit at the same depth, and vertices differ only in their
// number of coordinate sets. Levels hold many small submeshes, so each pattern's fixed-slot
// layout is made once here too.
class TMeshPatterns {
 public:
  TMeshPatterns(std::size_t vertexDepth, bool normals) : vertexDepth_(vertexDepth), normals_(normals) {}

  template <typename Layout>
  struct Kind {
    std::unique_ptr<TElementPattern> pattern;
    std::unique_ptr<Layout> layout;  // null when the pattern does not fit it
  };

  const Kind<TFaceLayout>& Face(std::size_t depth) {
    assert(depth == vertexDepth_ - 1);
    if (!face_.pattern) {
      face_.pattern =
          std::make_unique<TElementPattern>(depth, [](TXMLWriter& sample) { WriteXmlFace({}, sample); });
      auto layout = std::make_unique<TFaceLayout>();
      if (layout->Load(*face_.pattern)) face_.layout = std::move(layout);
    }
    return face_;
  }

  const Kind<TVertexLayout>& Vertex(std::size_t depth, std::int32_t sets) {
    assert(depth == vertexDepth_);
    auto& kind = vertices_[sets];
    if (!kind.pattern) {
      kind.pattern = std::make_unique<TElementPattern>(depth, [&](TXMLWriter& sample) {
        ZROgreVertexT vertex(0, 0, 0);
        for (std::int32_t i = 0; i < sets; ++i) vertex.AddTextureCoordinates(0, 0);
        WriteXmlVertex(vertex, normals_, sets, sample);
      });
      auto layout = std::make_unique<TVertexLayout>();
      if (normals_ && sets <= TVertexLayout::kMostSets && layout->Load(*kind.pattern, sets))
        kind.layout = std::move(layout);
    }
    return kind;
  }

 private:
  std::size_t vertexDepth_;
  bool normals_;
  Kind<TFaceLayout> face_;
  std::map<std::int32_t, Kind<TVertexLayout>> vertices_;
};

void WriteXmlFaces(const std::vector<ZROgreFaceInfoT>& faces, TMeshPatterns& patterns, TXMLWriter& writer) {
  if (faces.empty()) return;
  const auto& kind = patterns.Face(writer.Depth());
  if (kind.layout) {
    kind.layout->Write(faces, writer);
    return;
  }
  const TElementPattern& pattern = *kind.pattern;
  assert(pattern.ValueCount() == 3);
  const std::size_t room = pattern.Room(kIndexRoom);
  for (const ZROgreFaceInfoT& face : faces) {
    char* p = writer.BeginText(room);
    p = pattern.Put(p, [&face](char* q, std::size_t i) { return PutIndex(q, face.Indices[i]); });
    writer.EndText(p);
  }
}

void WriteXmlVertices(const std::vector<ZROgreVertexT>& vertices, bool normals, std::int32_t sets,
                      TMeshPatterns& patterns, TCoordinateTexts& texts, TXMLWriter& writer) {
  if (vertices.empty()) return;
  const auto& kind = patterns.Vertex(writer.Depth(), sets);
  if (kind.layout) {
    kind.layout->Write(vertices, texts, writer);
    return;
  }
  // Anything else (no normals, more coordinate sets, a mesh deep in a document): piece by
  // piece.
  const TElementPattern& pattern = *kind.pattern;
  std::vector<float> values(pattern.ValueCount());
  const std::size_t room = pattern.Room(kCoordinateRoom);
  for (const ZROgreVertexT& vertex : vertices) {
    [[maybe_unused]] const std::size_t count = VertexValues(vertex, normals, sets, values.data());
    assert(count == values.size());
    char* p = writer.BeginText(room);
    p = pattern.Put(p, [&](char* q, std::size_t i) { return texts.Put(q, values[i]); });
    writer.EndText(p);
  }
}

}  // namespace

void ZROgreMeshExporterT::WriteXmlMesh(TXMLWriter& writer) const {
  const bool normals = normalsToExport != 0;
  TCoordinateTexts texts;
  // mesh, submeshes, submesh, geometry and vertexbuffer enclose the vertices.
  TMeshPatterns patterns(writer.Depth() + 5, normals);
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
      WriteXmlFaces(subMesh->Faces, patterns, writer);
      writer.CloseTag("faces");

      const std::int32_t sets = WrittenCoordinateSetCount(*subMesh->Material);
      writer.OpenTag("geometry");
      AddInteger(writer, "vertexcount", subMesh->VertexCount());
      writer.OpenTag("vertexbuffer");
      writer.AddProperty("positions", "true");
      writer.AddProperty("normals", normals ? "true" : "false");
      // Named in place, without a heap string: levels hold thousands of small submeshes.
      char name[48] = "texture_coord_dimensions_";
      constexpr std::size_t kPrefix = 25;
      for (std::int32_t i = 0; i < sets; ++i) {
        const char* end = std::to_chars(name + kPrefix, name + sizeof name, i).ptr;
        writer.AddProperty(std::string_view(name, static_cast<std::size_t>(end - name)), "2");
      }
      AddInteger(writer, "texture_coords", sets);
      WriteXmlVertices(subMesh->Vertices, normals, sets, patterns, texts, writer);
      writer.CloseTag("vertexbuffer");
      writer.CloseTag("geometry");
      writer.CloseTag("submesh");
    }
  }
  writer.CloseTag("submeshes");
  writer.CloseTag("mesh");
}

}  // namespace pallix
