// Strict reader for the XML subset the editor speaks: document text in, node tree out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

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
};

// Cuts the document into tokens, front to back, and hands each to the sink as it is
// completed: sink.Token<kind>(token). Raises on the first bad character and at a premature end.
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

 private:
  [[noreturn]] void Reject(std::size_t index) const;

  const char* text_;
  std::size_t length_;
};

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
