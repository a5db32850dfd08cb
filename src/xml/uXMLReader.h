// Strict reader for the XML subset the editor speaks: document text in, node tree out.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace pallix {

class TXMLNodeData;  // storage, owned by the reader

// One element. Names are lower-case; property lookup ignores letter case.
// Nodes, names, texts and values live as long as the TXMLStringReader that made them.
class TXMLNode {
 public:
  std::string_view Name() const;
  std::string_view Text() const;
  std::int32_t Position() const;

  std::int32_t ChildCount() const;
  // nullptr for a node that never had children; an index out of range otherwise raises.
  const TXMLNode* GetChild(std::int32_t index) const;

  bool HasProperty(std::string_view name) const;
  // Raises: Property "%s" not found for node "%s".
  std::string_view GetProperty(std::string_view name) const;
  bool GetBoolProperty(std::string_view name) const;
  std::int32_t GetIntProperty(std::string_view name) const;
  float GetFloatProperty(std::string_view name) const;
};

// Progress of a parse: position of the token handled and the document length.
using TXMLProgress = std::function<void(std::int32_t position, std::int32_t total)>;

class TXMLStringReader {
 public:
  // Takes the document text; nothing is parsed yet.
  explicit TXMLStringReader(std::string document);
  ~TXMLStringReader();
  TXMLStringReader(const TXMLStringReader&) = delete;
  TXMLStringReader& operator=(const TXMLStringReader&) = delete;

  TXMLProgress OnProgress;

  // Parses on the first call; nullptr when the document holds no element. Raises parse errors.
  const TXMLNode* RootNode();
};

}  // namespace pallix
