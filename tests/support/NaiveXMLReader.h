// A deliberately plain second reader: one character at a time through the state table, the
// counters kept per character, tokens copied, entities decoded with a pending buffer. Slow
// but easy to check by eye; the real reader must agree with it on every document.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <utility>
#include <vector>

#include "uXMLReader.h"

namespace pallix::naive {

struct Node {
  std::string name;
  std::string text;
  std::int32_t position = 0;
  std::vector<std::pair<std::string, std::string>> properties;  // lower-case names
  std::vector<std::size_t> children;
};

struct Result {
  std::string error;  // empty when the parse succeeded
  std::vector<Node> nodes;
  std::int64_t root = -1;
  std::vector<std::pair<std::int32_t, std::int32_t>> progress;
};

namespace detail {

enum class S {
  Content,
  TextRun,
  TagOpen,
  TagName,
  InTag,
  PropertyName,
  AfterPropertyName,
  BeforeValue,
  ValueStart,
  Value,
  AfterValue,
  EmptyTagEnd,
  EndTagStart,
  EndTagName,
  Bang,
  CommentOpen,
  Comment,
  CommentDash,
  CommentDashDash,
  Error
};
enum Kind { None = -1, OpenTag = 1, PropName = 2, PropValue = 3, Text = 4, CloseTag = 5, EmptyClose = 6 };

inline bool IsNameChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '.' ||
         c == '-';
}
inline bool IsWs(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
inline std::string Lower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

struct Failure {
  std::string message;
};

inline std::string DecodeRef(const std::string& ref) {
  if (ref == "&amp;") return "&";
  if (ref == "&lt;") return "<";
  if (ref == "&gt;") return ">";
  if (ref == "&quot;") return "\"";
  if (ref == "&apos;") return "'";
  if (ref.size() > 3 && ref[1] == '#') {
    const std::string digits = ref.substr(2, ref.size() - 3);
    bool all = true;
    for (char c : digits) all = all && c >= '0' && c <= '9';
    if (all) {
      long long v = 0;
      for (char c : digits) {
        v = v * 10 + (c - '0');
        if (v > 2147483647LL) throw Failure{"Character reference \"" + ref + "\" is out of range."};
      }
      return std::string(1, static_cast<char>(v % 256));
    }
  }
  return ref;
}

inline std::string Decode(const std::string& in) {
  std::string out;
  std::string pending;
  for (char c : in) {
    if (c == '&') {
      out += pending;
      pending = "&";
    } else if (!pending.empty()) {
      pending += c;
      if (c == ';') {
        out += DecodeRef(pending);
        pending.clear();
      }
    } else {
      out += c;
    }
  }
  return out + pending;
}

}  // namespace detail

inline Result Parse(const std::string& doc) {
  using namespace detail;
  Result r;
  const std::int32_t total = static_cast<std::int32_t>(doc.size());
  std::size_t index = 0;  // 0-based next character
  std::int32_t line = 1, column = 1, position = 1;
  std::size_t mark = 0;
  bool hasText = false;
  S state = S::Content;
  std::vector<std::size_t> open;
  std::string propertyName;
  int counter = 0;
  try {
    for (;;) {
      // NextToken
      int kind = None;
      std::size_t end = 0;
      while (index < doc.size() && kind == None) {
        const char c = doc[index];
        const std::size_t at = index++;
        if (c == '\r') {
          ++line;
          column = 1;
        } else if (c != '\n') {
          ++column;
        }
        ++position;
        const auto complete = [&](int k) {
          kind = k;
          end = at;
        };
        switch (state) {
          case S::Content:
            mark = at;
            if (c == '<') {
              state = S::TagOpen;
            } else {
              hasText = !IsWs(c);
              state = S::TextRun;
            }
            break;
          case S::TextRun:
            if (c == '<') {
              if (hasText) complete(Text);
              state = S::TagOpen;
            } else if (!IsWs(c)) {
              hasText = true;
            }
            break;
          case S::TagOpen:
            mark = at;
            state = IsNameChar(c) ? S::TagName : c == '/' ? S::EndTagStart : c == '!' ? S::Bang : S::Error;
            break;
          case S::TagName:
            if (IsNameChar(c)) break;
            if (c == '>' || IsWs(c)) complete(OpenTag);
            state = c == '>' ? S::Content : IsWs(c) ? S::InTag : S::Error;
            break;
          case S::InTag:
            mark = at;
            if (c == '/') complete(EmptyClose);
            state = c == '/'        ? S::EmptyTagEnd
                    : IsNameChar(c) ? S::PropertyName
                    : c == '>'      ? S::Content
                    : IsWs(c)       ? S::InTag
                                    : S::Error;
            break;
          case S::PropertyName:
            if (IsNameChar(c)) break;
            if (IsWs(c) || c == '=') complete(PropName);
            state = IsWs(c) ? S::AfterPropertyName : c == '=' ? S::BeforeValue : S::Error;
            break;
          case S::AfterPropertyName:
            state = IsWs(c) ? S::AfterPropertyName : c == '=' ? S::BeforeValue : S::Error;
            break;
          case S::BeforeValue:
            state = IsWs(c) ? S::BeforeValue : c == '"' ? S::ValueStart : S::Error;
            break;
          case S::ValueStart:
            mark = at;
            if (c == '"') complete(PropValue);
            state = c == '"' ? S::AfterValue : S::Value;
            break;
          case S::Value:
            if (c == '"') {
              complete(PropValue);
              state = S::AfterValue;
            }
            break;
          case S::AfterValue:
            mark = at;
            if (c == '/') complete(CloseTag);
            state = IsNameChar(c) ? S::PropertyName
                    : IsWs(c)     ? S::AfterValue
                    : c == '/'    ? S::EmptyTagEnd
                    : c == '>'    ? S::Content
                                  : S::Error;
            break;
          case S::EmptyTagEnd:
            state = c == '>' ? S::Content : S::Error;
            break;
          case S::EndTagStart:
            mark = at;
            state = S::EndTagName;
            break;
          case S::EndTagName:
            if (IsNameChar(c)) break;
            if (c == '>') complete(CloseTag);
            state = c == '>' ? S::Content : S::Error;
            break;
          case S::Bang:
            state = c == '-' ? S::CommentOpen : S::Error;
            break;
          case S::CommentOpen:
            state = c == '-' ? S::Comment : S::Error;
            break;
          case S::Comment:
            state = c == '-' ? S::CommentDash : S::Comment;
            break;
          case S::CommentDash:
            state = c == '-' ? S::CommentDashDash : S::Comment;
            break;
          case S::CommentDashDash:
            state = c == '>' ? S::Content : S::Comment;
            break;
          case S::Error:
            break;
        }
        if (state == S::Error) {
          const std::size_t from = at < 10 ? 0 : at - 9;
          const std::size_t to = at < 10 ? std::min<std::size_t>(10, doc.size()) : at + 1;
          throw Failure{"Unexpected character '" + std::string(1, c) + "' in input (..." +
                        doc.substr(from, to - from) + "), position (" + std::to_string(line) + "," +
                        std::to_string(column) + ")."};
        }
      }
      std::string text = kind == None ? std::string() : doc.substr(mark, end - mark);
      if (index == doc.size()) {
        if (state == S::TextRun) {
          if (hasText) {
            kind = Text;
            text = doc.substr(mark);
          }
          state = S::Content;
        }
        if (state != S::Content) throw Failure{"Unexpected end of input."};
      }
      if (kind == None) break;

      // ParseDocument
      if (++counter == 32) {
        counter = 0;
        r.progress.emplace_back(position, total);
      }
      switch (kind) {
        case OpenTag: {
          Node node;
          node.name = Lower(text);
          node.position = position;
          r.nodes.push_back(std::move(node));
          const std::size_t id = r.nodes.size() - 1;
          if (!open.empty()) {
            r.nodes[open.back()].children.push_back(id);
          } else if (r.root < 0) {
            r.root = static_cast<std::int64_t>(id);
          } else {
            throw Failure{"Only 1 root node supported."};
          }
          open.push_back(id);
          break;
        }
        case PropName:
          propertyName = Lower(text);
          break;
        case PropValue: {
          auto& props = r.nodes[open.back()].properties;
          const std::string value = Decode(text);
          bool replaced = false;
          for (auto& p : props) {
            if (p.first == propertyName) {
              p.second = value;
              replaced = true;
            }
          }
          if (!replaced) props.emplace_back(propertyName, value);
          break;
        }
        case Text:
          if (open.empty()) throw Failure{"Unexpected text encountered outside root node."};
          r.nodes[open.back()].text += Decode(text);
          break;
        case CloseTag:
        case EmptyClose: {
          const std::string name = Lower(text);
          if (open.empty()) {
            throw Failure{"Closing tag \"" + name + "\" found while no element is open (" +
                          std::to_string(line) + "," + std::to_string(column) + ")"};
          }
          const std::size_t top = open.back();
          open.pop_back();
          if (!name.empty() && name != r.nodes[top].name) {
            throw Failure{"Opening tag \"" + r.nodes[top].name + "\" doesn't mach closing tag \"" + name +
                          "\" (" + std::to_string(line) + "," + std::to_string(column) + ")"};
          }
          break;
        }
      }
    }
    if (!open.empty()) throw Failure{"Closing tag missing for opening tag " + r.nodes[open.back()].name};
  } catch (const Failure& f) {
    r.error = f.message;
    r.nodes.clear();
    r.root = -1;
  }
  return r;
}

// Empty when the real reader agrees with the plain one on the document: the same error, or
// the same tree (names, texts, positions, properties, children) and the same progress calls.
inline std::string Disagreement(const std::string& doc) {
  const Result expected = Parse(doc);
  std::vector<std::pair<std::int32_t, std::int32_t>> progress;
  TXMLStringReader reader(doc);
  reader.OnProgress = [&](std::int32_t p, std::int32_t t) { progress.emplace_back(p, t); };
  const TXMLNode* root = nullptr;
  std::string error;
  try {
    root = reader.RootNode();
  } catch (const std::exception& e) {
    error = e.what();
  }
  // An error's text ends at a NUL character the message may quote.
  const std::string expectedError = expected.error.c_str();
  if (error != expectedError) return "error \"" + error + "\" instead of \"" + expectedError + "\"";
  if (!error.empty()) return {};
  if (progress != expected.progress) return "different progress calls";
  if ((root == nullptr) != (expected.root < 0)) return "root presence differs";
  if (!root) return {};
  std::vector<std::pair<const TXMLNode*, std::size_t>> todo{{root, static_cast<std::size_t>(expected.root)}};
  while (!todo.empty()) {
    const auto [node, id] = todo.back();
    todo.pop_back();
    const Node& want = expected.nodes[id];
    const std::string where = " at node " + want.name + " @" + std::to_string(want.position);
    if (node->Name() != want.name) return "name " + std::string(node->Name()) + where;
    if (node->Text() != want.text) return "text \"" + std::string(node->Text()) + "\"" + where;
    if (node->Position() != want.position) return "position " + std::to_string(node->Position()) + where;
    if (node->PropertyCount() != static_cast<std::int32_t>(want.properties.size()))
      return "property count" + where;
    for (const auto& [name, value] : want.properties) {
      std::string upper = name;
      for (char& c : upper) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
      }
      if (!node->HasProperty(name) || node->GetProperty(name) != value || node->GetProperty(upper) != value) {
        return "property " + name + where;
      }
    }
    if (node->ChildCount() != static_cast<std::int32_t>(want.children.size())) return "child count" + where;
    for (std::size_t k = 0; k < want.children.size(); ++k) {
      todo.emplace_back(node->GetChild(static_cast<std::int32_t>(k)), want.children[k]);
    }
  }
  return {};
}

}  // namespace pallix::naive
