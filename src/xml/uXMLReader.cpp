#include "uXMLReader.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cassert>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <unordered_map>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "BasicFn.h"
#include "uDocumentPages.h"

namespace pallix {

namespace {

enum : std::uint8_t { kNameChar = 1, kBlank = 2, kUpper = 4, kValueStop = 8, kAmpersand = 16 };

constexpr std::array<std::uint8_t, 256> kClass = [] {
  std::array<std::uint8_t, 256> t{};
  for (int c = 'a'; c <= 'z'; ++c) t[c] = kNameChar;
  for (int c = 'A'; c <= 'Z'; ++c) t[c] = kNameChar | kUpper;
  for (int c = '0'; c <= '9'; ++c) t[c] = kNameChar;
  t['_'] = t['.'] = t['-'] = kNameChar;
  t[' '] = t['\t'] = t['\n'] = t['\r'] = kBlank;
  t['"'] = kValueStop;
  t['&'] = kValueStop | kAmpersand;
  return t;
}();

inline bool IsName(char c) { return kClass[static_cast<unsigned char>(c)] & kNameChar; }
inline bool IsBlank(char c) { return kClass[static_cast<unsigned char>(c)] & kBlank; }

// Whether the name at candidate (ended by a non-name character) is name, letter case ignored.
// name must hold name characters only, so the comparison never passes candidate's end. Among
// name characters, setting bit 5 folds the letters and keeps every other character distinct
// (not so for others: a carriage return would pass for "-").
inline bool SameName(std::string_view name, const char* candidate) {
  for (std::size_t k = 0; k < name.size(); ++k) {
    if ((name[k] | 0x20) != (candidate[k] | 0x20) || !IsName(candidate[k])) return false;
  }
  return !IsName(candidate[name.size()]);
}

// Index of the first character at or after i that is not a blank (n when none). Blank runs
// are mostly line breaks and indentation, many characters long: 16 at a time where possible.
inline std::size_t SkipBlanks(const char* t, std::size_t i, std::size_t n) {
#if defined(__SSE2__)
  const __m128i space = _mm_set1_epi8(' '), tab = _mm_set1_epi8('\t');
  const __m128i lf = _mm_set1_epi8('\n'), cr = _mm_set1_epi8('\r');
  for (; i + 16 <= n; i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t + i));
    const __m128i blank = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, space), _mm_cmpeq_epi8(v, tab)),
                                       _mm_or_si128(_mm_cmpeq_epi8(v, lf), _mm_cmpeq_epi8(v, cr)));
    const unsigned other = ~static_cast<unsigned>(_mm_movemask_epi8(blank)) & 0xFFFFu;
    if (other) return i + static_cast<std::size_t>(__builtin_ctz(other));
  }
#endif
  while (i < n && IsBlank(t[i])) ++i;
  return i;
}

// Index of the first double quote or "&" at or after i (n when none).
inline std::size_t FindValueStop(const char* t, std::size_t i, std::size_t n) {
#if defined(__SSE2__)
  const __m128i quote = _mm_set1_epi8('"'), amp = _mm_set1_epi8('&');
  for (; i + 16 <= n; i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t + i));
    const unsigned hit = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, quote), _mm_cmpeq_epi8(v, amp))));
    if (hit) return i + static_cast<std::size_t>(__builtin_ctz(hit));
  }
#endif
  while (i < n && !(kClass[static_cast<unsigned char>(t[i])] & kValueStop)) ++i;
  return i;
}

inline bool HasAmpersand(std::string_view text) {
  return std::memchr(text.data(), '&', text.size()) != nullptr;
}

inline std::size_t Find(const char* text, std::size_t from, std::size_t length, char c) {
  const void* hit = std::memchr(text + from, c, length - from);
  return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - text) : length;
}

// How many times c occurs in [begin, end): a line feed per line of a document with no
// carriage returns, so 64 at a time.
std::int64_t Count(const char* begin, const char* end, char c) {
  std::int64_t count = 0;
#if defined(__SSE2__)
  // Bytewise tallies, added up before any of them can pass 255: at most 4 a step.
  const __m128i wanted = _mm_set1_epi8(c), zero = _mm_setzero_si128();
  const auto load = [wanted](const char* p) {
    return _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), wanted);
  };
  const auto sum = [&zero](__m128i tallies) {
    const __m128i halves = _mm_sad_epu8(tallies, zero);
    return std::int64_t{_mm_cvtsi128_si32(halves)} + std::int64_t{_mm_extract_epi16(halves, 4)};
  };
  while (end - begin >= 64) {
    __m128i tallies = zero;
    for (int steps = 0; steps < 63 && end - begin >= 64; ++steps, begin += 64) {
      const __m128i found = _mm_add_epi8(_mm_add_epi8(load(begin), load(begin + 16)),
                                         _mm_add_epi8(load(begin + 32), load(begin + 48)));
      tallies = _mm_sub_epi8(tallies, found);
    }
    count += sum(tallies);
  }
#endif
  return count + std::count(begin, end, c);
}

// Decoding never makes a text longer, so out may be in (decoding in place).
// Returns the decoded length. Raises for a numeric reference beyond 32 bits.
std::size_t DecodeEntities(const char* in, std::size_t length, char* out) {
  std::size_t o = 0;
  std::size_t i = 0;
  while (i < length) {
    if (in[i] != '&') {
      out[o++] = in[i++];
      continue;
    }
    std::size_t j = i + 1;
    while (j < length && in[j] != ';' && in[j] != '&') ++j;
    if (j == length || in[j] == '&') {  // unterminated: stays as written
      while (i < j) out[o++] = in[i++];
      continue;
    }
    const std::string_view ref(in + i, j + 1 - i);
    int decoded = -1;
    if (ref == "&amp;") {
      decoded = '&';
    } else if (ref == "&lt;") {
      decoded = '<';
    } else if (ref == "&gt;") {
      decoded = '>';
    } else if (ref == "&quot;") {
      decoded = '"';
    } else if (ref == "&apos;") {
      decoded = '\'';
    } else if (ref.size() > 3 && ref[1] == '#') {
      const std::string_view digits = ref.substr(2, ref.size() - 3);
      if (std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        std::int64_t value = 0;
        for (const char c : digits) {
          value = value * 10 + (c - '0');
          if (value > std::numeric_limits<std::int32_t>::max()) {
            Raise("Character reference \"%s\" is out of range.", {ref});
          }
        }
        decoded = static_cast<int>(value % 256);
      }
    }
    if (decoded >= 0) {
      out[o++] = static_cast<char>(decoded);
      i = j + 1;
    } else {
      while (i <= j) out[o++] = in[i++];
    }
  }
  return o;
}

void AppendDecoded(std::string& out, std::string_view raw) {
  const std::size_t at = out.size();
  out.resize(at + raw.size());
  out.resize(at + DecodeEntities(raw.data(), raw.size(), out.data() + at));
}

constexpr std::uint32_t kPending = 0x80000000u;  // in a length: entities still to decode
constexpr std::uint32_t kJoined = 0x80000000u;   // in a text offset: index into joined texts

std::string Lowered(std::string_view name) { return LowerCase(name); }

// "true", "1" or "yes" in any letter case.
bool IsTrueText(std::string_view value) {
  const auto is = [value](std::string_view word) {
    if (value.size() != word.size()) return false;
    for (std::size_t k = 0; k < word.size(); ++k) {
      if (LowerChar(value[k]) != word[k]) return false;
    }
    return true;
  };
  return is("true") || is("1") || is("yes");
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Scanner

TXMLScanner::TCounters TXMLScanner::Counters(std::int32_t position) const {
  const std::size_t read = std::max(
      forgotten_, std::min<std::size_t>(static_cast<std::size_t>(std::max(position, 1) - 1), length_));
  const char* const begin = text_ + forgotten_;
  const char* const end = text_ + read;
  const auto line = returns_ + Count(begin, end, '\r');
  const char* lineStart = end;
  while (lineStart != begin && lineStart[-1] != '\r') --lineStart;
  auto feeds = Count(lineStart, end, '\n');
  std::int64_t column = end - lineStart;
  if (lineStart == begin && forgotten_ > 0) {
    // The line began among the forgotten characters.
    column = static_cast<std::int64_t>(read) - (lastReturn_ + 1);
    feeds += feedsAfterReturn_;
  }
  return {static_cast<std::int32_t>(1 + line), static_cast<std::int32_t>(1 + column - feeds)};
}

void TXMLScanner::Forget(std::size_t index) {
  index = std::min(index, length_);
  if (index <= forgotten_) return;
  const std::int64_t returns = Count(text_ + forgotten_, text_ + index, '\r');
  if (returns > 0) {
    returns_ += returns;
    std::size_t last = index - 1;
    while (text_[last] != '\r') --last;
    lastReturn_ = static_cast<std::int64_t>(last);
    feedsAfterReturn_ = 0;
  }
  const std::size_t from = std::max(forgotten_, static_cast<std::size_t>(lastReturn_ + 1));
  if (from < index) feedsAfterReturn_ += Count(text_ + from, text_ + index, '\n');
  ReleaseReadPages(text_, text_ + forgotten_, text_ + index);
  forgotten_ = index;
}

void TXMLScanner::Reject(std::size_t index) const {
  const std::size_t from = index < 10 ? 0 : index - 9;
  const std::size_t to = index < 10 ? std::min<std::size_t>(10, length_) : index + 1;
  const TCounters at = Counters(static_cast<std::int32_t>(index + 2));
  Raise("Unexpected character '%s' in input (...%s), position (%d,%d).",
        {std::string_view(text_ + index, 1), std::string_view(text_ + from, to - from), at.Line, at.Column});
}

// The states of the character table are the labels below; every transition is a direct jump,
// and runs of names, blanks, values, texts and comments are skipped in tight loops.
template <class TSink>
void TXMLScanner::Scan(TSink& sink) const {
  using K = TTokenKind;
  const char* const t = text_;
  const std::size_t n = length_;
  std::size_t i = 0;     // index of the next character
  std::size_t mark = 0;  // where the current token's text begins
  bool hasText = false;
  char c = 0;
  const auto endOfInput = [] { Raise("Unexpected end of input."); };
  // Every 32nd token reports progress before the sink takes it. Counted here, the count
  // stays in a register.
  int counted = 0;
  const auto countToken = [&](std::int32_t position) {
    if (++counted == 32) {
      counted = 0;
      sink.Progress(position);
    }
  };
  // A token completed by the character at index end. When that was the last character and
  // the table does not return to Content, the input ends inside markup: that is the error.
  const auto token = [&](std::size_t end, bool backInContent) {
    if (end + 1 == n && !backInContent) endOfInput();
    const auto position = static_cast<std::int32_t>(end + 2);
    countToken(position);
    return TToken{std::string_view(t + mark, end - mark), position};
  };

content:
  if (i == n) return;
  mark = i;
  if (t[i] == '<') {
    ++i;
    goto tagOpen;
  }
  hasText = !IsBlank(t[i++]);
  // TextRun
  if (!hasText) {
    i = SkipBlanks(t, i, n);
    hasText = i < n && t[i] != '<';
  }
  if (hasText) i = Find(t, i, n, '<');
  if (i == n) {
    if (hasText) {
      const std::string_view text(t + mark, n - mark);
      countToken(static_cast<std::int32_t>(n + 1));
      sink.template Token<K::TextToken>(TToken{text, static_cast<std::int32_t>(n + 1), HasAmpersand(text)});
    }
    return;
  }
  ++i;
  if (hasText) {
    TToken text = token(i - 1, false);
    text.Ampersand = HasAmpersand(text.Text);
    sink.template Token<K::TextToken>(text);
  }
tagOpen:
  if (i == n) endOfInput();
  mark = i;
  c = t[i++];
  if (c == '/') goto endTagStart;
  if (c == '!') goto bang;
  if (!IsName(c)) Reject(i - 1);
  // TagName, noting capitals on the way: the sinks file such names for lowering.
  {
    std::uint8_t classes = kClass[static_cast<unsigned char>(c)];
    for (; i < n && IsName(t[i]); ++i) classes |= kClass[static_cast<unsigned char>(t[i])];
    if (i == n) endOfInput();
    c = t[i++];
    if (c != '>' && !IsBlank(c)) Reject(i - 1);
    TToken tag = token(i - 1, c == '>');
    tag.Capitals = (classes & kUpper) != 0;
    sink.template Token<K::OpenTagToken>(tag);
  }
  if (c == '>') goto content;
  // InTag
  while (i < n && IsBlank(t[i])) ++i;
  if (i == n) endOfInput();
  mark = i;
  c = t[i++];
  if (c == '/') {
    sink.template Token<K::EmptyTagCloseToken>(token(i - 1, false));
    goto emptyTagEnd;
  }
  if (c == '>') goto content;
  if (!IsName(c)) Reject(i - 1);
propertyName:
  while (i < n && IsName(t[i])) ++i;
  if (i == n) endOfInput();
  c = t[i++];
  if (c != '=') {
    if (!IsBlank(c)) Reject(i - 1);
    sink.template Token<K::PropertyNameToken>(token(i - 1, false));
    // AfterPropertyName
    while (i < n && IsBlank(t[i])) ++i;
    if (i == n) endOfInput();
    if (t[i] != '=') Reject(i);
    ++i;
  } else {
    sink.template Token<K::PropertyNameToken>(token(i - 1, false));
  }
  // BeforeValue
  while (i < n && IsBlank(t[i])) ++i;
  if (i == n) endOfInput();
  if (t[i] != '"') Reject(i);
  ++i;
  // ValueStart and Value: everything up to the closing quote, noting any "&" on the way
  {
    mark = i;
    bool ampersand = false;
    for (;;) {
      i = FindValueStop(t, i, n);
      if (i == n) endOfInput();
      if (t[i++] == '"') break;
      ampersand = true;
    }
    TToken value = token(i - 1, false);
    value.Ampersand = ampersand;
    sink.template Token<K::PropertyValueToken>(value);
  }
  // AfterValue
  while (i < n && IsBlank(t[i])) ++i;
  if (i == n) endOfInput();
  mark = i;
  c = t[i++];
  if (IsName(c)) goto propertyName;
  if (c == '>') goto content;
  if (c != '/') Reject(i - 1);
  sink.template Token<K::CloseTagToken>(token(i - 1, false));
emptyTagEnd:
  if (i == n) endOfInput();
  if (t[i] != '>') Reject(i);
  ++i;
  goto content;
endTagStart:
  if (i == n) endOfInput();
  mark = i++;  // the first character is taken unchecked
  while (i < n && IsName(t[i])) ++i;
  if (i == n) endOfInput();
  if (t[i] != '>') Reject(i);
  ++i;
  sink.template Token<K::CloseTagToken>(token(i - 1, true));
  goto content;
bang:
  for (int dash = 0; dash < 2; ++dash) {
    if (i == n) endOfInput();
    if (t[i] != '-') Reject(i);
    ++i;
  }
comment:
  i = Find(t, i, n, '-');
  if (i == n) endOfInput();
  ++i;
  // CommentDash: a character other than "-" is comment text
  if (i == n) endOfInput();
  if (t[i++] != '-') goto comment;
  // CommentDashDash: only ">" ends the comment; anything else, a third "-" too, is text
  if (i == n) endOfInput();
  if (t[i++] != '>') goto comment;
  goto content;
}

// ---------------------------------------------------------------------------------------
// Tree storage

// Grows without moving what it holds, so a big tree needs no huge contiguous block.
template <class T, unsigned kShift>
class TChunkedArray {
 public:
  static constexpr std::uint32_t kChunk = 1u << kShift;

  T& operator[](std::uint32_t i) { return chunks_[i >> kShift][i & (kChunk - 1)]; }
  const T& operator[](std::uint32_t i) const { return chunks_[i >> kShift][i & (kChunk - 1)]; }
  std::uint32_t Size() const { return size_; }
  T& Append() {
    if ((size_ & (kChunk - 1)) == 0) {
      chunks_.emplace_back(new T[kChunk]);
      last_ = chunks_.back().get();
    }
    return last_[size_++ & (kChunk - 1)];
  }
  std::size_t Bytes() const {
    return chunks_.size() * sizeof(T) * kChunk + chunks_.capacity() * sizeof(chunks_[0]);
  }

 private:
  std::vector<std::unique_ptr<T[]>> chunks_;
  T* last_ = nullptr;
  std::uint32_t size_ = 0;
};

struct TPropertyRecord {
  std::uint32_t nameOffset;   // the value follows the name: blanks, "=", blanks, quote
  std::uint32_t valueLength;  // decoded length | kPending
};

struct TTextRecord {
  std::uint32_t offset;  // into the document, or kJoined | index of a joined text
  std::uint32_t length;  // decoded length | kPending
};

class TXMLTree {
 public:
  explicit TXMLTree(char* document) : doc(document) {}

  const char* ValueStart(std::uint32_t nameOffset) const {
    const char* p = doc + nameOffset;
    while (IsName(*p)) ++p;
    while (*p != '"') ++p;  // only blanks and "=" stand between
    return p + 1;
  }
  std::size_t Bytes() const {
    std::size_t joined = 0;
    for (const auto& s : joinedTexts) joined += sizeof(s) + (s.capacity() > 15 ? s.capacity() + 1 : 0);
    return sizeof(*this) + nodes.Bytes() + properties.Bytes() + childSlots.Bytes() +
           texts.capacity() * sizeof(TTextRecord) + joined;
  }

  char* doc;
  // Chunks of 32 KB: small enough to come from the heap rather than fresh pages.
  TChunkedArray<TXMLNode, 10> nodes;
  TChunkedArray<TPropertyRecord, 12> properties;
  TChunkedArray<std::uint32_t, 13> childSlots;
  std::vector<TTextRecord> texts;
  std::vector<std::string> joinedTexts;
  mutable std::uint32_t lastProperty = 0;  // where TXMLNode::FindProperty last found one
};

// ---------------------------------------------------------------------------------------
// Parser

class TXMLParser {
 public:
  TXMLParser(const TXMLScanner& scanner, TXMLTree& tree, std::int32_t total, const TXMLProgress& onProgress)
      : scanner_(scanner), tree_(tree), total_(total), onProgress_(onProgress) {}

  const TXMLNode* ParseDocument();

  void Progress(std::int32_t position) {
    if (onProgress_) onProgress_(position, total_);
  }
  // Called by the scanner for each completed token.
  template <TTokenKind kKind>
  void Token(const TToken& token) {
    if constexpr (kKind == TTokenKind::OpenTagToken) {
      OpenTag(token);
    } else if constexpr (kKind == TTokenKind::PropertyNameToken) {
      propertyName_ = token.Text;
    } else if constexpr (kKind == TTokenKind::PropertyValueToken) {
      PropertyValue(token);
    } else if constexpr (kKind == TTokenKind::TextToken) {
      Text(token);
    } else {
      static_assert(kKind == TTokenKind::CloseTagToken || kKind == TTokenKind::EmptyTagCloseToken);
      Pop(token);
    }
  }

 private:
  struct TOpen {
    std::uint32_t node;
    std::uint32_t childMark;  // size of pending_ once this node was pushed
    std::string_view name;    // as written
  };

  void OpenTag(const TToken& token);
  void PropertyValue(const TToken& token);
  void Text(const TToken& token);
  void Pop(const TToken& token);
  // A repeated name among many properties of one start tag, through an index.
  std::int64_t FindAmongMany(std::uint32_t firstProperty);
  // Length of the value or text once decoded, kPending set when decoding is due.
  std::uint32_t Decoded(const TToken& token) {
    if (!token.Ampersand) return static_cast<std::uint32_t>(token.Text.size());
    scratch_.resize(token.Text.size());
    return static_cast<std::uint32_t>(DecodeEntities(token.Text.data(), token.Text.size(), scratch_.data())) |
           kPending;
  }
  void ApplyDeferred();

  const TXMLScanner& scanner_;
  TXMLTree& tree_;
  std::int32_t total_;
  const TXMLProgress& onProgress_;
  std::int64_t root_ = -1;
  std::vector<TOpen> open_;
  TXMLNode* current_ = nullptr;         // the element opened last
  std::vector<std::uint32_t> pending_;  // children of the open elements, innermost last
  std::string_view propertyName_;
  std::string scratch_;
  // Changes to the document wait until the parse succeeded, so error messages quote it as given.
  std::vector<std::string_view> upperNames_;
  std::vector<std::uint32_t> pendingProperties_;
  std::vector<std::uint32_t> pendingTexts_;
  // Property names of the start tag being read, to find a repeated one; with many of them
  // an index by lower-cased name (FindAmongMany) keeps that cheap.
  std::vector<std::string_view> names_;
  std::unordered_map<std::string, std::uint32_t> manyNames_;
};

void TXMLParser::OpenTag(const TToken& token) {
  const std::uint32_t index = tree_.nodes.Size();
  TXMLNode& node = tree_.nodes.Append();
  node.tree_ = &tree_;
  node.position_ = token.Position;
  node.text_ = 0;
  node.firstProperty_ = tree_.properties.Size();
  node.propertyCount_ = 0;
  node.firstChild_ = 0;
  node.childCount_ = 0;
  if (!open_.empty()) {
    pending_.push_back(index);
  } else if (root_ < 0) {
    root_ = index;
  } else {
    Raise("Only 1 root node supported.");
  }
  open_.push_back({index, static_cast<std::uint32_t>(pending_.size()), token.Text});
  current_ = &node;
  names_.clear();
  if (!manyNames_.empty()) manyNames_.clear();
  if (token.Capitals) upperNames_.push_back(token.Text);
}

std::int64_t TXMLParser::FindAmongMany(std::uint32_t firstProperty) {
  if (manyNames_.empty()) {
    for (std::size_t j = 0; j < names_.size(); ++j) manyNames_.emplace(Lowered(names_[j]), firstProperty + j);
  }
  const auto hit = manyNames_.find(Lowered(propertyName_));
  if (hit != manyNames_.end()) return hit->second;
  manyNames_.emplace(Lowered(propertyName_), firstProperty + names_.size());
  return -1;
}

void TXMLParser::PropertyValue(const TToken& token) {
  TXMLNode& node = *current_;  // values come only inside the start tag of the latest element
  const std::uint32_t length = Decoded(token);
  const auto nameOffset = static_cast<std::uint32_t>(propertyName_.data() - tree_.doc);
  std::int64_t index = -1;
  if (names_.size() < 16) {
    for (std::size_t j = 0; j < names_.size(); ++j) {
      if (names_[j].size() == propertyName_.size() && SameName(propertyName_, names_[j].data())) {
        index = node.firstProperty_ + j;
        break;
      }
    }
  } else {
    index = FindAmongMany(node.firstProperty_);
  }
  if (index < 0) {
    assert(node.firstProperty_ + node.propertyCount_ == tree_.properties.Size());
    names_.push_back(propertyName_);
    ++node.propertyCount_;
    index = tree_.properties.Size();
    tree_.properties.Append() = {nameOffset, length};
  } else {
    tree_.properties[static_cast<std::uint32_t>(index)] = {nameOffset, length};
  }
  if (length & kPending) pendingProperties_.push_back(static_cast<std::uint32_t>(index));
}

void TXMLParser::Text(const TToken& token) {
  if (open_.empty()) Raise("Unexpected text encountered outside root node.");
  TXMLNode& node = tree_.nodes[open_.back().node];
  if (node.text_ == 0) {
    const std::uint32_t length = Decoded(token);
    tree_.texts.push_back({static_cast<std::uint32_t>(token.Text.data() - tree_.doc), length});
    node.text_ = static_cast<std::uint32_t>(tree_.texts.size());
    if (length & kPending) pendingTexts_.push_back(node.text_ - 1);
    return;
  }
  TTextRecord& record = tree_.texts[node.text_ - 1];
  if (!(record.offset & kJoined)) {
    // A second run: from now on the text lives outside the document.
    const std::size_t first = record.offset;
    const std::size_t firstEnd = Find(tree_.doc, first, static_cast<std::size_t>(total_), '<');
    std::string joined;
    AppendDecoded(joined, std::string_view(tree_.doc + first, firstEnd - first));
    tree_.joinedTexts.push_back(std::move(joined));
    record = {kJoined | static_cast<std::uint32_t>(tree_.joinedTexts.size() - 1), 0};
  }
  AppendDecoded(tree_.joinedTexts[record.offset & ~kJoined], token.Text);
}

void TXMLParser::Pop(const TToken& token) {
  if (open_.empty()) {
    const auto at = scanner_.Counters(token.Position);
    Raise("Closing tag \"%s\" found while no element is open (%d,%d)",
          {Lowered(token.Text), at.Line, at.Column});
  }
  const TOpen top = open_.back();
  open_.pop_back();
  const auto count = static_cast<std::uint32_t>(pending_.size() - top.childMark);
  if (count > 0) {
    TXMLNode& node = tree_.nodes[top.node];
    node.firstChild_ = tree_.childSlots.Size();
    node.childCount_ = count;
    for (std::size_t k = top.childMark; k < pending_.size(); ++k) tree_.childSlots.Append() = pending_[k];
    pending_.resize(top.childMark);
  }
  if (!token.Text.empty() && !SameTextIgnoringCase(token.Text, top.name)) {
    const auto at = scanner_.Counters(token.Position);
    Raise("Opening tag \"%s\" doesn't mach closing tag \"%s\" (%d,%d)",
          {Lowered(top.name), Lowered(token.Text), at.Line, at.Column});
  }
}

void TXMLParser::ApplyDeferred() {
  for (const std::string_view name : upperNames_) {
    char* p = const_cast<char*>(name.data());
    for (std::size_t k = 0; k < name.size(); ++k) p[k] = LowerChar(p[k]);
  }
  for (const std::uint32_t index : pendingProperties_) {
    TPropertyRecord& record = tree_.properties[index];
    if (!(record.valueLength & kPending)) continue;  // replaced by a later value, or done
    char* value = const_cast<char*>(tree_.ValueStart(record.nameOffset));
    const auto offset = static_cast<std::size_t>(value - tree_.doc);
    const std::size_t raw = Find(tree_.doc, offset, static_cast<std::size_t>(total_), '"') - offset;
    record.valueLength = static_cast<std::uint32_t>(DecodeEntities(value, raw, value));
  }
  for (const std::uint32_t index : pendingTexts_) {
    TTextRecord& record = tree_.texts[index];
    if (!(record.length & kPending) || (record.offset & kJoined)) continue;
    char* text = tree_.doc + record.offset;
    const std::size_t raw =
        Find(tree_.doc, record.offset, static_cast<std::size_t>(total_), '<') - record.offset;
    record.length = static_cast<std::uint32_t>(DecodeEntities(text, raw, text));
  }
}

const TXMLNode* TXMLParser::ParseDocument() {
  scanner_.Scan(*this);
  if (!open_.empty()) Raise("Closing tag missing for opening tag %s", {Lowered(open_.back().name)});
  ApplyDeferred();
  return root_ < 0 ? nullptr : &tree_.nodes[static_cast<std::uint32_t>(root_)];
}

// ---------------------------------------------------------------------------------------
// Streamed parse: the same checks as the parser, elements handed on instead of kept

class TXMLStreamParser {
 public:
  TXMLStreamParser(TXMLScanner& scanner, std::int32_t total, TXMLElementHandler& handler,
                   const TXMLProgress& onProgress, bool releaseRead)
      : scanner_(scanner),
        total_(total),
        handler_(handler),
        onProgress_(onProgress),
        releaseRead_(releaseRead) {}

  bool Parse() {
    scanner_.Scan(*this);
    // An element still open ends the parse before the handler hears of it.
    if (!open_.empty()) Raise("Closing tag missing for opening tag %s", {Lowered(open_.back())});
    return rootSeen_;
  }

  void Progress(std::int32_t position) {
    if (onProgress_) onProgress_(position, total_);
  }
  template <TTokenKind kKind>
  void Token(const TToken& token) {
    if constexpr (kKind == TTokenKind::PropertyNameToken) {
      propertyName_ = token.Text;
    } else if constexpr (kKind == TTokenKind::PropertyValueToken) {
      PropertyValue(token);
    } else {
      // Anything else ends the start tag being read.
      if (startPending_) Start();
      if constexpr (kKind == TTokenKind::OpenTagToken) {
        OpenTag(token);
      } else if constexpr (kKind == TTokenKind::TextToken) {
        Text(token);
      } else {
        static_assert(kKind == TTokenKind::CloseTagToken || kKind == TTokenKind::EmptyTagCloseToken);
        Close(token);
      }
    }
  }

 private:
  // The read part is given back in steps, keeping a stretch before the current element.
  static constexpr std::size_t kForgetStep = 1 << 20;
  static constexpr std::size_t kKept = 1 << 16;

  // Everything before the current element's stretch: the names of the open elements, which
  // error messages quote, are kept aside first.
  void Forget(std::size_t at) {
    const std::size_t index = at - kKept;
    const char* const cut = scanner_.Text() + index;
    for (std::string_view& name : open_) {
      if (name.data() >= scanner_.Text() && name.data() < cut) {
        name = *keptNames_.emplace_back(std::make_unique<std::string>(name));
      }
    }
    scanner_.Forget(index);
    forgotten_ = index;
  }

  void OpenTag(const TToken& token) {
    if (releaseRead_) {
      const auto at = static_cast<std::size_t>(token.Text.data() - scanner_.Text());
      if (at - forgotten_ > kForgetStep + kKept) Forget(at);
    }
    if (open_.empty()) {
      if (rootSeen_) Raise("Only 1 root node supported.");
      rootSeen_ = true;
    }
    open_.push_back(token.Text);
    element_.position_ = token.Position;
    element_.properties_.clear();
    element_.next_ = 0;
    nameBits_ = 0;
    repeatBits_ = 0;
    decoded_.clear();
    values_.clear();
    element_.name_ = token.Text;
    if (token.Capitals) {
      name_ = Lowered(token.Text);
      element_.name_ = name_;
    }
    startPending_ = true;
  }

  void PropertyValue(const TToken& token) {
    auto& properties = element_.properties_;
    std::string_view value = token.Text;
    if (token.Ampersand) {
      const auto at = static_cast<std::uint32_t>(values_.size());
      values_.resize(at + token.Text.size());
      values_.resize(at + DecodeEntities(token.Text.data(), token.Text.size(), values_.data() + at));
      value = std::string_view(values_.data(), values_.size() - at);  // placed once the tag is read
      decoded_.push_back({static_cast<std::uint32_t>(properties.size()), at});
    }
    // A repeated name is simply kept again: lookups search from the last, so the later value wins.
    properties.push_back({propertyName_, value});
    // Setting bit 5 folds the letters among name characters. First and last letter and the
    // length keep the usual sets (x, y, z; u0, v0, u1, ...) apart.
    const auto folded = [](char c) { return static_cast<unsigned>(c | 0x20); };
    const unsigned hash = folded(propertyName_.front()) * 7u + folded(propertyName_.back()) * 3u +
                          static_cast<unsigned>(propertyName_.size());
    const std::uint64_t bit = std::uint64_t{1} << (hash & 63u);
    repeatBits_ |= nameBits_ & bit;
    nameBits_ |= bit;
  }

  void Start() {
    startPending_ = false;
    auto& properties = element_.properties_;
    for (const TDecoded& d : decoded_) {
      properties[d.property].value =
          std::string_view(values_.data() + d.offset, properties[d.property].value.size());
    }
    element_.mayRepeat_ = repeatBits_ != 0;
    handler_.StartElement(element_);
  }

  void Text(const TToken& token) {
    if (open_.empty()) Raise("Unexpected text encountered outside root node.");
    if (!token.Ampersand) {
      handler_.Text(token.Text);
      return;
    }
    text_.resize(token.Text.size());
    text_.resize(DecodeEntities(token.Text.data(), token.Text.size(), text_.data()));
    handler_.Text(text_);
  }

  void Close(const TToken& token) {
    if (open_.empty()) {
      const auto at = scanner_.Counters(token.Position);
      Raise("Closing tag \"%s\" found while no element is open (%d,%d)",
            {Lowered(token.Text), at.Line, at.Column});
    }
    const std::string_view top = open_.back();
    open_.pop_back();
    // Written as opened, nearly always: the case-blind comparison only when not.
    if (!token.Text.empty() && !SameShortText(token.Text, top) && !SameTextIgnoringCase(token.Text, top)) {
      const auto at = scanner_.Counters(token.Position);
      Raise("Opening tag \"%s\" doesn't mach closing tag \"%s\" (%d,%d)",
            {Lowered(top), Lowered(token.Text), at.Line, at.Column});
    }
    handler_.EndElement();
  }

  TXMLScanner& scanner_;
  std::int32_t total_;
  TXMLElementHandler& handler_;
  const TXMLProgress& onProgress_;
  bool releaseRead_;
  std::size_t forgotten_ = 0;
  std::vector<std::unique_ptr<std::string>> keptNames_;
  bool rootSeen_ = false;
  bool startPending_ = false;
  std::vector<std::string_view> open_;  // names as written, innermost last
  std::string_view propertyName_;
  TXMLElement element_;  // the start tag being read
  struct TDecoded {
    std::uint32_t property;
    std::uint32_t offset;  // of its decoded value in values_
  };
  std::vector<TDecoded> decoded_;  // the start tag's values with entities
  // A bit per name's letters and length: a name written twice always shows in repeatBits_.
  std::uint64_t nameBits_ = 0;
  std::uint64_t repeatBits_ = 0;
  std::string values_;  // decoded values of the start tag
  std::string name_;    // its name, lowered, when written with capitals
  std::string text_;
};

bool ParseXMLStream(std::string_view document, TXMLElementHandler& handler, const TXMLProgress& onProgress,
                    bool releaseRead) {
  if (document.size() >= static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
    Raise("Document too large (%d characters).", {static_cast<std::int64_t>(document.size())});
  }
  TXMLScanner scanner(document);
  TXMLStreamParser parser(scanner, static_cast<std::int32_t>(document.size()), handler, onProgress,
                          releaseRead);
  return parser.Parse();
}

std::int64_t TXMLElement::FindProperty(std::string_view name) const {
  const std::size_t count = properties_.size();
  // Unless a name may be written twice, the match is the only one, wherever it is found.
  if (!mayRepeat_ && next_ < count && SameTextIgnoringCase(properties_[next_].name, name)) {
    return static_cast<std::int64_t>(next_++);
  }
  // From the last: of a repeated name, the later value wins.
  for (std::size_t k = count; k-- > 0;) {
    if (SameTextIgnoringCase(properties_[k].name, name)) {
      next_ = k + 1;
      return static_cast<std::int64_t>(k);
    }
  }
  return -1;
}

std::string_view TXMLElement::FindValue(std::string_view name) const {
  const std::int64_t index = FindProperty(name);
  if (index < 0) Raise("Property \"%s\" not found for node \"%s\".", {name, Name()});
  return properties_[static_cast<std::size_t>(index)].value;
}

bool TXMLElement::GetBoolProperty(std::string_view name) const { return IsTrueText(GetProperty(name)); }

// ---------------------------------------------------------------------------------------
// Reader

TXMLReader::TXMLReader(std::string document) : document_(std::move(document)) {}

TXMLReader::~TXMLReader() = default;

const TXMLNode* TXMLReader::RootNode() {
  if (root_) return root_;
  if (document_.size() >= static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
    Raise("Document too large (%d characters).", {static_cast<std::int64_t>(document_.size())});
  }
  tree_ = std::make_unique<TXMLTree>(document_.data());
  try {
    TXMLScanner scanner(document_);
    TXMLParser parser(scanner, *tree_, static_cast<std::int32_t>(document_.size()), OnProgress);
    root_ = parser.ParseDocument();
  } catch (...) {
    tree_.reset();
    throw;
  }
  if (!root_) tree_.reset();
  return root_;
}

std::size_t TXMLReader::TreeBytes() const { return tree_ ? tree_->Bytes() : 0; }

// ---------------------------------------------------------------------------------------
// Number conversions

namespace {

// Just enough of an unbounded natural number to compare a decimal text with a binary value.
class TBigNat {
 public:
  explicit TBigNat(std::uint64_t value = 0) {
    if (value) limbs_.push_back(static_cast<std::uint32_t>(value));
    if (value >> 32) limbs_.push_back(static_cast<std::uint32_t>(value >> 32));
  }
  void MulAdd(std::uint32_t factor, std::uint32_t addend) {
    std::uint64_t carry = addend;
    for (std::uint32_t& limb : limbs_) {
      const std::uint64_t v = static_cast<std::uint64_t>(limb) * factor + carry;
      limb = static_cast<std::uint32_t>(v);
      carry = v >> 32;
    }
    if (carry) limbs_.push_back(static_cast<std::uint32_t>(carry));
  }
  void MulPow5(int exponent) {
    for (; exponent >= 13; exponent -= 13) MulAdd(1220703125u, 0);
    std::uint32_t rest = 1;
    while (exponent-- > 0) rest *= 5;
    MulAdd(rest, 0);
  }
  void ShiftLeft(int bits) {
    if (limbs_.empty() || bits <= 0) return;
    limbs_.insert(limbs_.begin(), static_cast<std::size_t>(bits / 32), 0u);
    if (const int r = bits % 32) {
      std::uint32_t carry = 0;
      for (std::uint32_t& limb : limbs_) {
        const std::uint32_t next = limb >> (32 - r);
        limb = (limb << r) | carry;
        carry = next;
      }
      if (carry) limbs_.push_back(carry);
    }
  }
  static int Compare(const TBigNat& a, const TBigNat& b) {
    if (a.limbs_.size() != b.limbs_.size()) return a.limbs_.size() < b.limbs_.size() ? -1 : 1;
    for (std::size_t k = a.limbs_.size(); k-- > 0;) {
      if (a.limbs_[k] != b.limbs_[k]) return a.limbs_[k] < b.limbs_[k] ? -1 : 1;
    }
    return 0;
  }

 private:
  std::vector<std::uint32_t> limbs_;  // least significant first
};

// A decimal number as significant digits times a power of ten.
struct TDecimal {
  std::string digits;  // no leading zeros; empty for zero
  std::int64_t exponent = 0;
  bool inexact = false;  // nonzero digits were dropped beyond the kept ones
};

// Enough digits to decide any rounding of a single-range value exactly.
constexpr std::size_t kKeptDigits = 800;

// Sign of (decimal - k * 2^binaryExponent).
int CompareExact(const TDecimal& x, const TBigNat& k, int binaryExponent) {
  TBigNat left;
  for (std::size_t i = 0; i < x.digits.size(); i += 9) {
    const std::size_t count = std::min<std::size_t>(9, x.digits.size() - i);
    std::uint32_t chunk = 0;
    std::uint32_t scale = 1;
    for (std::size_t j = 0; j < count; ++j) {
      chunk = chunk * 10 + static_cast<std::uint32_t>(x.digits[i + j] - '0');
      scale *= 10;
    }
    left.MulAdd(scale, chunk);
  }
  TBigNat right = k;
  const auto e10 = static_cast<int>(x.exponent);
  if (e10 >= 0) {
    left.MulPow5(e10);
  } else {
    right.MulPow5(-e10);
  }
  // Both sides now carry a power of two: 2^e10 on the left, 2^binaryExponent on the right.
  if (e10 > binaryExponent) {
    left.ShiftLeft(e10 - binaryExponent);
  } else {
    right.ShiftLeft(binaryExponent - e10);
  }
  const int order = TBigNat::Compare(left, right);
  return order == 0 && x.inexact ? 1 : order;
}

[[noreturn]] void NotAFloat(std::string_view text) {
  Raise("'%s' is not a valid floating point value", {text});
}

// The decimal value rounded first to the 64-bit significand of the x87 extended format and
// then to single precision, as a conversion through an extended intermediate does. The two
// roundings differ from one direct rounding only when the value lies within half an extended
// unit of a point halfway between two singles; the double result lands exactly on that
// point then, and only that case is settled with exact integer arithmetic.
float RoundThroughExtended(double magnitude, const TDecimal& x) {
  float lower = static_cast<float>(magnitude);
  if (static_cast<double>(lower) > magnitude) lower = std::nextafter(lower, 0.0f);
  int e = 0;
  std::frexp(static_cast<double>(lower), &e);
  const double unit =
      lower < std::numeric_limits<float>::min() ? std::ldexp(1.0, -149) : std::ldexp(1.0, e - 24);
  const double half = static_cast<double>(lower) + unit / 2;
  if (magnitude != half) return static_cast<float>(magnitude);
  std::frexp(half, &e);
  // half = m * 2^(e-64) with m an integer below 2^64; count in halves of the extended unit.
  const auto m = static_cast<std::uint64_t>(std::ldexp(half, 64 - e));
  TBigNat twice(m);
  twice.MulAdd(2, 0);
  const int side = CompareExact(x, twice, e - 65);
  if (side == 0) return static_cast<float>(half);
  // Half an extended unit away from the halfway point, on the value's side: 2m + 1 or 2m - 1.
  // (The one halfway point that is a power of two lies between zero and the smallest single;
  // below it both outcomes are zero, so the smaller unit there needs no care.)
  TBigNat bound(side > 0 ? m : m - 1);
  bound.MulAdd(2, 1);
  const int beyond = CompareExact(x, bound, e - 65);
  const bool withinHalfUnit = side > 0 ? beyond <= 0 : beyond >= 0;
  if (withinHalfUnit) return static_cast<float>(half);  // the extended value is the halfway point
  return side > 0 ? std::nextafter(lower, std::numeric_limits<float>::infinity()) : lower;
}

}  // namespace

std::int32_t StrToInt32(std::string_view text) {
  std::size_t i = 0;
  const bool negative = !text.empty() && text[0] == '-';
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) ++i;
  if (i == text.size()) Raise("'%s' is not a valid integer value", {text});
  std::int64_t value = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') Raise("'%s' is not a valid integer value", {text});
    value = value * 10 + (c - '0');
    if (value > std::int64_t{1} << 31) Raise("'%s' is not a valid integer value", {text});
  }
  if (negative) value = -value;
  if (value > std::numeric_limits<std::int32_t>::max()) Raise("'%s' is not a valid integer value", {text});
  return static_cast<std::int32_t>(value);
}

namespace {

constexpr double kReciprocalPowersOfTen[] = {1e0,   1e-1,  1e-2,  1e-3,  1e-4,  1e-5,  1e-6,  1e-7,
                                             1e-8,  1e-9,  1e-10, 1e-11, 1e-12, 1e-13, 1e-14, 1e-15,
                                             1e-16, 1e-17, 1e-18, 1e-19, 1e-20, 1e-21, 1e-22};

// Plain short decimals ("-12.345", "0.5") make up nearly every coordinate. Their digits as an
// integer below 2^53 are an exact double; times the rounded reciprocal of the power of ten,
// the product lies within 2 units of the double's last place of the exact quotient (4 where
// the two straddle a power of two). A single's rounding changes only at the halfway points
// between singles, so unless the product lies within 4 units of one, it rounds to the single
// the extended route gives. Near one the exact route decides. Returns false for anything else.
bool TryPlainDecimal(std::string_view s, float& result) {
  const char* p = s.data();
  const char* const end = p + s.size();
  const bool negative = p != end && *p == '-';
  if (negative) ++p;
  std::uint64_t mantissa = 0;
  const char* const intStart = p;
  while (p != end && static_cast<unsigned>(*p - '0') <= 9)
    mantissa = mantissa * 10 + static_cast<unsigned>(*p++ - '0');
  std::ptrdiff_t digits = p - intStart;
  std::ptrdiff_t fraction = 0;
  if (p != end) {
    if (*p != '.' || digits == 0) return false;
    const char* const fracStart = ++p;
    while (p != end && static_cast<unsigned>(*p - '0') <= 9) {
      mantissa = mantissa * 10 + static_cast<unsigned>(*p++ - '0');
    }
    fraction = p - fracStart;
    if (p != end || fraction == 0) return false;
    digits += fraction;
  }
  // 19 digits cannot overflow 64 bits; the rest of the conditions keep the operands exact.
  if (digits == 0 || digits > 19 || fraction > 22 || mantissa > (std::uint64_t{1} << 53)) return false;
  if (mantissa == 0) {
    result = negative ? -0.0f : 0.0f;
    return true;
  }
  // A multiplication rather than a division: its result is waited for far less.
  const double magnitude = static_cast<double>(mantissa) * kReciprocalPowersOfTen[fraction];
  // Between 1e-22 and 2^53 the single is normal: 29 bits of the double lie below its unit, and
  // a halfway point has just the highest of them set.
  const std::uint64_t below = std::bit_cast<std::uint64_t>(magnitude) & 0x1fffffff;
  if (below - (0x10000000 - 4) <= 8) return false;
  const auto single = static_cast<float>(magnitude);
  result = negative ? -single : single;
  return true;
}

}  // namespace

float StrToSingle(std::string_view text) {
  float result;
  if (TryPlainDecimal(text, result)) return result;
  return StrToSingleExact(text);
}

float StrToSingleExact(std::string_view text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && text[begin] == ' ') ++begin;
  while (end > begin && text[end - 1] == ' ') --end;
  const std::string_view s = text.substr(begin, end - begin);

  TDecimal x;
  std::size_t i = 0;
  const bool negative = i < s.size() && s[i] == '-';
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) ++i;
  const std::size_t numberStart = negative ? 0 : i;  // from_chars takes "-" but not "+"
  std::size_t digitCount = 0;
  const auto digit = [&](char c, bool fraction) {
    ++digitCount;
    if (x.digits.empty() && c == '0') {
      if (fraction) --x.exponent;
    } else if (x.digits.size() < kKeptDigits) {
      x.digits += c;
      if (fraction) --x.exponent;
    } else {
      x.inexact = x.inexact || c != '0';
      if (!fraction) ++x.exponent;
    }
  };
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) digit(s[i], false);
  if (i < s.size() && s[i] == '.') {
    for (++i; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) digit(s[i], true);
  }
  if (digitCount == 0) NotAFloat(text);
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    const bool negativeExponent = i < s.size() && s[i] == '-';
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) ++i;
    if (i == s.size() || s[i] < '0' || s[i] > '9') NotAFloat(text);
    std::int64_t exponent = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
      exponent = std::min<std::int64_t>(exponent * 10 + (s[i] - '0'), 1000000000);
    }
    x.exponent += negativeExponent ? -exponent : exponent;
  }
  if (i != s.size()) NotAFloat(text);
  if (x.digits.empty()) return negative ? -0.0f : 0.0f;

  double value = 0;
  const auto result = std::from_chars(s.data() + numberStart, s.data() + s.size(), value);
  if (result.ec == std::errc::result_out_of_range) {
    if (x.exponent + static_cast<std::int64_t>(x.digits.size()) > 0) NotAFloat(text);  // too large
    return negative ? -0.0f : 0.0f;  // far below the smallest single
  }
  if (result.ec != std::errc() || result.ptr != s.data() + s.size()) NotAFloat(text);
  const float magnitude = RoundThroughExtended(std::fabs(value), x);
  if (std::isinf(magnitude)) NotAFloat(text);
  return negative ? -magnitude : magnitude;
}

// ---------------------------------------------------------------------------------------
// Node

std::string_view TXMLNode::Name() const {
  const char* end = tree_->doc + position_ - 2;
  const char* begin = end;
  while (begin[-1] != '<') --begin;
  return std::string_view(begin, static_cast<std::size_t>(end - begin));
}

std::string_view TXMLNode::Text() const {
  if (text_ == 0) return {};
  const TTextRecord& record = tree_->texts[text_ - 1];
  if (record.offset & kJoined) return tree_->joinedTexts[record.offset & ~kJoined];
  return std::string_view(tree_->doc + record.offset, record.length & ~kPending);
}

const TXMLNode* TXMLNode::GetChild(std::int32_t index) const {
  if (childCount_ == 0) return nullptr;
  if (index < 0 || static_cast<std::uint32_t>(index) >= childCount_) {
    Raise("List index out of bounds (%d)", {index});
  }
  return &tree_->nodes[tree_->childSlots[firstChild_ + static_cast<std::uint32_t>(index)]];
}

std::int64_t TXMLNode::FindProperty(std::string_view name) const {
  if (propertyCount_ == 0 || name.empty()) return -1;
  // Names in the tree hold name characters only; anything else can never match.
  if (!std::all_of(name.begin(), name.end(), IsName)) return -1;
  // Names are unique within a node, so the search may start anywhere. It starts after the
  // last hit: a node of many properties read in order (u0, v0, u1, ...) then costs a step per
  // lookup instead of a scan.
  const std::uint32_t first = firstProperty_;
  const std::uint32_t end = firstProperty_ + propertyCount_;
  const std::uint32_t start =
      tree_->lastProperty >= first && tree_->lastProperty + 1 < end ? tree_->lastProperty + 1 : first;
  for (std::uint32_t k = start; k < end; ++k) {
    if (SameName(name, tree_->doc + tree_->properties[k].nameOffset)) return tree_->lastProperty = k;
  }
  for (std::uint32_t k = first; k < start; ++k) {
    if (SameName(name, tree_->doc + tree_->properties[k].nameOffset)) return tree_->lastProperty = k;
  }
  return -1;
}

bool TXMLNode::HasProperty(std::string_view name) const { return FindProperty(name) >= 0; }

std::string_view TXMLNode::GetProperty(std::string_view name) const {
  const std::int64_t index = FindProperty(name);
  if (index < 0) Raise("Property \"%s\" not found for node \"%s\".", {name, Name()});
  const TPropertyRecord& record = tree_->properties[static_cast<std::uint32_t>(index)];
  // The stored name matched, so it is as long as the one asked for.
  const char* value = tree_->doc + record.nameOffset + name.size();
  while (*value != '"') ++value;  // only blanks and "=" stand between
  return std::string_view(value + 1, record.valueLength & ~kPending);
}

bool TXMLNode::GetBoolProperty(std::string_view name) const { return IsTrueText(GetProperty(name)); }

std::int32_t TXMLNode::GetIntProperty(std::string_view name) const { return StrToInt32(GetProperty(name)); }

float TXMLNode::GetFloatProperty(std::string_view name) const { return StrToSingle(GetProperty(name)); }

}  // namespace pallix
