// Strict reader for the XML subset the editor speaks: document text in, node tree out.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "BasicFn.h"

namespace pallix {

class TXMLTree;  // storage of one parsed document, owned by the reader
template <class T, unsigned kShift>
class TChunkedArray;

// One element. Names are lower-case; property lookup ignores letter case.
// Nodes, names, texts and values live as long as the TXMLStringReader that made them.
class TXMLNode {
 public:
  std::string_view Name() const;
  std::string_view Text() const;
  std::int32_t Position() const { return position_; }

  std::int32_t ChildCount() const { return static_cast<std::int32_t>(childCount_); }
  // nullptr for a node that never had children; an index out of range otherwise raises.
  const TXMLNode* GetChild(std::int32_t index) const;

  std::int32_t PropertyCount() const { return static_cast<std::int32_t>(propertyCount_); }
  bool HasProperty(std::string_view name) const;
  // Raises: Property "%s" not found for node "%s".
  std::string_view GetProperty(std::string_view name) const;
  bool GetBoolProperty(std::string_view name) const;
  std::int32_t GetIntProperty(std::string_view name) const;
  float GetFloatProperty(std::string_view name) const;

 private:
  friend class TXMLTree;
  friend class TXMLParser;
  template <class T, unsigned kShift>
  friend class TChunkedArray;
  TXMLNode() = default;
  // Index of the property record named so, or -1.
  std::int64_t FindProperty(std::string_view name) const;

  // Kept small: a big level has millions of nodes. The name is read back from the
  // document (it ends just before Position), values through their name's offset.
  const TXMLTree* tree_;
  std::int32_t position_;
  std::uint32_t text_;  // 0: none, else 1 + index of the tree's text record
  std::uint32_t firstProperty_;
  std::uint32_t propertyCount_;
  std::uint32_t firstChild_;  // into the tree's child slots
  std::uint32_t childCount_;
};

// The conversions of the typed getters; "." is the decimal separator whatever the locale.
// Optional sign and decimal digits, nothing else. Raises: '%s' is not a valid integer value
std::int32_t StrToInt32(std::string_view text);
// Optional sign, digits, optional fraction, optional exponent, blanks around it allowed.
// Raises: '%s' is not a valid floating point value
float StrToSingle(std::string_view text);
// The same conversion without the shortcut for plain decimals; the reference for StrToSingle.
float StrToSingleExact(std::string_view text);

// StrToSingle, with the results for recent short texts remembered: a level repeats its
// coordinates a great deal. The same results and the same errors.
class TFloatTexts {
 public:
  TFloatTexts() : entries_(kEntries) {}
  float Convert(std::string_view text) {
    if (text.empty() || text.size() > sizeof(std::uint64_t)) return StrToSingle(text);
    const std::uint64_t word = Word(text);
    const auto size = static_cast<std::uint32_t>(text.size());
    Entry& entry = entries_[(word + size) * 0x9E3779B97F4A7C15ull >> (64 - kIndexBits)];
    if (entry.word != word || entry.size != size) {
      entry.value = StrToSingle(text);  // raises before the entry is claimed
      entry.word = word;
      entry.size = size;
    }
    return entry.value;
  }

 private:
  // The 1 to 8 characters of text as a little-endian word, zeros above, in two loads that may
  // overlap rather than a copy of variable length.
  static std::uint64_t Word(std::string_view text) {
    static_assert(std::endian::native == std::endian::little, "the overlapping loads assume it");
    const char* p = text.data();
    const std::size_t n = text.size();
    if (n >= 4) {
      std::uint32_t low, high;
      std::memcpy(&low, p, 4);
      std::memcpy(&high, p + n - 4, 4);
      return low | std::uint64_t{high} << (8 * (n - 4));
    }
    const auto byte = [p](std::size_t i) {
      return std::uint64_t{static_cast<unsigned char>(p[i])} << (8 * i);
    };
    return byte(0) | byte(n / 2) | byte(n - 1);
  }

  static constexpr int kIndexBits = 10;
  static constexpr std::size_t kEntries = std::size_t{1} << kIndexBits;
  struct Entry {
    std::uint64_t word = 0;
    std::uint32_t size = 0;  // none: texts looked up here are never empty
    float value = 0;
  };
  std::vector<Entry> entries_;
};

// Progress of a parse: position of the token handled and the document length.
using TXMLProgress = std::function<void(std::int32_t position, std::int32_t total)>;

enum class TTokenKind : std::int8_t {
  EndOfInput = -1,
  OpenTagToken = 1,
  PropertyNameToken = 2,
  PropertyValueToken = 3,
  TextToken = 4,
  CloseTagToken = 5,
  EmptyTagCloseToken = 6,
};

struct TToken {
  std::string_view Text;  // as cut from the document, undecoded
  // Characters read + 1 when the token was completed. Line and column follow from it
  // through TXMLScanner::Counters; nothing needs them on the good path.
  std::int32_t Position = 0;
  bool Ampersand = false;  // property values and texts: whether entities may need decoding
  bool Capitals = false;   // start tags: whether the name has capital letters
};

// Cuts the document into tokens, front to back, and hands each to the sink as it is
// completed: sink.Token<kind>(token), after sink.Progress(position) for every 32nd. Raises on
// the first bad character and at a premature end.
class TXMLScanner {
 public:
  // The text must outlive the scanner; it is not changed.
  explicit TXMLScanner(std::string_view document) : text_(document.data()), length_(document.size()) {}
  template <class TSink>
  void Scan(TSink& sink) const;

  struct TCounters {
    std::int32_t Line;
    std::int32_t Column;
  };
  // Line and column counters after reading the characters before the given Position.
  TCounters Counters(std::int32_t position) const;

  const char* Text() const { return text_; }
  // The characters before index are not needed again, not even for error messages: what the
  // counters need of them is noted, and their pages go back to the system.
  void Forget(std::size_t index);

 private:
  [[noreturn]] void Reject(std::size_t index) const;

  const char* text_;
  std::size_t length_;
  // Of the forgotten characters: how many, their carriage returns, the index of the last one
  // (or -1) and the line feeds after it.
  std::size_t forgotten_ = 0;
  std::int64_t returns_ = 0;
  std::int64_t lastReturn_ = -1;
  std::int64_t feedsAfterReturn_ = 0;
};

// One element of a streamed parse, handed over once its start tag is read whole. Names,
// texts and values stay valid only until the handler returns.
class TXMLElement {
 public:
  std::string_view Name() const { return name_; }  // lower case
  std::int32_t Position() const { return position_; }

  bool HasProperty(std::string_view name) const { return FindProperty(name) >= 0; }
  // Raises: Property "%s" not found for node "%s".
  std::string_view GetProperty(std::string_view name) const {
    // The usual case, inline: the next property in written order, spelled as asked.
    if (!mayRepeat_ && next_ < properties_.size() && SameShortText(properties_[next_].name, name)) {
      return properties_[next_++].value;
    }
    return FindValue(name);
  }
  bool GetBoolProperty(std::string_view name) const;
  std::int32_t GetIntProperty(std::string_view name) const { return StrToInt32(GetProperty(name)); }
  float GetFloatProperty(std::string_view name) const { return StrToSingle(GetProperty(name)); }

 private:
  friend class TXMLStreamParser;
  std::string_view FindValue(std::string_view name) const;
  struct TProperty {
    std::string_view name;  // as written
    std::string_view value;
  };
  std::int64_t FindProperty(std::string_view name) const;

  std::string_view name_;
  std::int32_t position_ = 0;
  std::vector<TProperty> properties_;
  bool mayRepeat_ = false;  // whether a name may be written twice
  // Lookups mostly follow the written order: the property after the last one found.
  mutable std::size_t next_ = 0;
};

// What a streamed parse tells, in document order.
class TXMLElementHandler {
 public:
  virtual ~TXMLElementHandler() = default;
  virtual void StartElement(const TXMLElement& element) = 0;
  // A run of text directly inside the innermost open element, entities decoded.
  virtual void Text(std::string_view text) = 0;
  virtual void EndElement() = 0;
};

// Parses the document front to back without building a tree, telling the handler about each
// element as soon as its start tag is read. Raises the same errors as TXMLReader::RootNode,
// reports the same progress, and returns whether the document held an element. What the
// handler raises ends the parse at once. With releaseRead, the memory of the part already
// read is given back as the parse goes on: the caller must own the document's block, and
// must not read the document again (only free it).
bool ParseXMLStream(std::string_view document, TXMLElementHandler& handler, const TXMLProgress& onProgress,
                    bool releaseRead = false);

// Holds the document, parses it once on demand and owns the resulting tree.
class TXMLReader {
 public:
  explicit TXMLReader(std::string document);
  ~TXMLReader();
  TXMLReader(const TXMLReader&) = delete;
  TXMLReader& operator=(const TXMLReader&) = delete;

  TXMLProgress OnProgress;

  // Parses on the first call; nullptr when the document holds no element. Raises parse errors.
  const TXMLNode* RootNode();

  // Bytes held by the node tree, the document text excluded.
  std::size_t TreeBytes() const;

 private:
  std::string document_;
  std::unique_ptr<TXMLTree> tree_;
  const TXMLNode* root_ = nullptr;
};

class TXMLStringReader : public TXMLReader {
 public:
  // Takes the document text; nothing is parsed yet.
  explicit TXMLStringReader(std::string document) : TXMLReader(std::move(document)) {}
};

}  // namespace pallix
