// A deliberately plain second reader: the state table as data, one character at a time, the
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
  std::string name, text;
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

// clang-format off
enum S { Content, TextRun, TagOpen, TagName, InTag, PName, AfterPName, BeforeValue, ValueStart, Value,
         AfterValue, EmptyEnd, EndStart, EndName, Bang, CommentOpen, Comment, Dash1, Dash2, Error };
enum C { Lt, NameChar, Slash, Excl, Gt, Blank, Eq, Quote, Minus, Any };
enum K { None = 0, Open = 1, PropName = 2, PropValue = 3, Text = 4, Close = 5, EmptyClose = 6 };
struct Row { S state; C test; bool mark; K complete; S next; };
// The first row of the state whose test the character passes applies.
const Row kTable[] = {
  {Content, Lt, 1, None, TagOpen}, {Content, Any, 1, None, TextRun},
  {TextRun, Lt, 0, Text, TagOpen}, {TextRun, Any, 0, None, TextRun},
  {TagOpen, NameChar, 1, None, TagName}, {TagOpen, Slash, 1, None, EndStart},
  {TagOpen, Excl, 1, None, Bang}, {TagOpen, Any, 0, None, Error},
  {TagName, NameChar, 0, None, TagName}, {TagName, Gt, 0, Open, Content},
  {TagName, Blank, 0, Open, InTag}, {TagName, Any, 0, None, Error},
  {InTag, Slash, 1, EmptyClose, EmptyEnd}, {InTag, NameChar, 1, None, PName},
  {InTag, Gt, 1, None, Content}, {InTag, Blank, 1, None, InTag}, {InTag, Any, 1, None, Error},
  {PName, NameChar, 0, None, PName}, {PName, Blank, 0, PropName, AfterPName},
  {PName, Eq, 0, PropName, BeforeValue}, {PName, Any, 0, None, Error},
  {AfterPName, Blank, 0, None, AfterPName}, {AfterPName, Eq, 0, None, BeforeValue}, {AfterPName, Any, 0, None, Error},
  {BeforeValue, Blank, 0, None, BeforeValue}, {BeforeValue, Quote, 0, None, ValueStart},
  {BeforeValue, Any, 0, None, Error},
  {ValueStart, Quote, 1, PropValue, AfterValue}, {ValueStart, Any, 1, None, Value},
  {Value, Quote, 0, PropValue, AfterValue}, {Value, Any, 0, None, Value},
  {AfterValue, NameChar, 1, None, PName}, {AfterValue, Blank, 1, None, AfterValue},
  {AfterValue, Slash, 1, Close, EmptyEnd}, {AfterValue, Gt, 1, None, Content}, {AfterValue, Any, 1, None, Error},
  {EmptyEnd, Gt, 0, None, Content}, {EmptyEnd, Any, 0, None, Error},
  {EndStart, Any, 1, None, EndName},
  {EndName, NameChar, 0, None, EndName}, {EndName, Gt, 0, Close, Content}, {EndName, Any, 0, None, Error},
  {Bang, Minus, 0, None, CommentOpen}, {Bang, Any, 0, None, Error},
  {CommentOpen, Minus, 0, None, Comment}, {CommentOpen, Any, 0, None, Error},
  {Comment, Minus, 0, None, Dash1}, {Comment, Any, 0, None, Comment},
  {Dash1, Minus, 0, None, Dash2}, {Dash1, Any, 0, None, Comment},
  {Dash2, Gt, 0, None, Content}, {Dash2, Any, 0, None, Comment},
};
// clang-format on

inline bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
inline bool Passes(char c, C test) {
  const bool name = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
                    c == '.' || c == '-';
  const char fixed[] = {'<', 0, '/', '!', '>', 0, '=', '"', '-'};
  return test == Any || (test == NameChar && name) || (test == Blank && IsBlank(c)) ||
         (test != NameChar && test != Blank && c == fixed[test]);
}
inline std::string Lower(std::string s) {
  for (char& c : s) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
  return s;
}
struct Failure {
  std::string message;
};

inline std::string DecodeRef(const std::string& ref) {
  const char* named[][2] = {{"&amp;", "&"}, {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&apos;", "'"}};
  for (const auto& n : named) {
    if (ref == n[0]) return n[1];
  }
  if (ref.size() < 4 || ref[1] != '#') return ref;
  for (std::size_t k = 2; k + 1 < ref.size(); ++k) {
    if (ref[k] < '0' || ref[k] > '9') return ref;
  }
  long long v = 0;
  for (std::size_t k = 2; k + 1 < ref.size(); ++k) {
    v = v * 10 + (ref[k] - '0');
    if (v > 2147483647LL) throw Failure{"Character reference \"" + ref + "\" is out of range."};
  }
  return std::string(1, static_cast<char>(v % 256));
}

inline std::string Decode(const std::string& in) {
  std::string out, pending;
  for (char c : in) {
    if (c == '&') {
      out += pending;
      pending = "&";
    } else if (pending.empty()) {
      out += c;
    } else if ((pending += c), c == ';') {
      out += DecodeRef(pending);
      pending.clear();
    }
  }
  return out + pending;
}

}  // namespace detail

inline Result Parse(const std::string& doc) {
  using namespace detail;
  Result r;
  std::size_t next = 0, mark = 0;
  std::int32_t line = 1, column = 1, position = 1;
  bool hasText = false;
  S state = Content;
  std::vector<std::size_t> open;
  std::string propertyName;
  int counter = 0;
  const auto at = [&] { return "(" + std::to_string(line) + "," + std::to_string(column) + ")"; };
  try {
    for (;;) {
      K kind = None;
      std::string text;
      while (next < doc.size() && kind == None) {
        const std::size_t i = next++;
        const char c = doc[i];
        line += c == '\r';
        column = c == '\r' ? 1 : column + (c != '\n');
        ++position;
        const Row* row = kTable;
        while (row->state != state || !Passes(c, row->test)) ++row;
        if (row->mark) mark = i;
        if (state == Content && row->test == Any) hasText = !IsBlank(c);
        if (state == TextRun && row->test == Any && !IsBlank(c)) hasText = true;
        if (row->complete != None && (row->complete != Text || hasText)) {
          kind = row->complete;
          text = doc.substr(mark, i - mark);
        }
        state = row->next;
        if (state == Error) {
          const std::size_t from = i < 10 ? 0 : i - 9;
          throw Failure{"Unexpected character '" + std::string(1, c) + "' in input (..." +
                        doc.substr(from, 10) + "), position " + at() + "."};
        }
      }
      if (next == doc.size()) {
        if (state == TextRun && hasText) {
          kind = Text;
          text = doc.substr(mark);
        }
        if (state == TextRun) state = Content;
        if (state != Content) throw Failure{"Unexpected end of input."};
      }
      if (kind == None) break;
      if (++counter == 32) {
        counter = 0;
        r.progress.emplace_back(position, static_cast<std::int32_t>(doc.size()));
      }
      if (kind == Open) {
        r.nodes.push_back(Node{Lower(text), {}, position, {}, {}});
        if (!open.empty()) {
          r.nodes[open.back()].children.push_back(r.nodes.size() - 1);
        } else if (r.root < 0) {
          r.root = static_cast<std::int64_t>(r.nodes.size() - 1);
        } else {
          throw Failure{"Only 1 root node supported."};
        }
        open.push_back(r.nodes.size() - 1);
      } else if (kind == PropName) {
        propertyName = Lower(text);
      } else if (kind == PropValue) {
        auto& props = r.nodes[open.back()].properties;
        std::size_t k = 0;
        while (k < props.size() && props[k].first != propertyName) ++k;
        if (k == props.size()) props.emplace_back(propertyName, "");
        props[k].second = Decode(text);
      } else if (kind == Text) {
        if (open.empty()) throw Failure{"Unexpected text encountered outside root node."};
        r.nodes[open.back()].text += Decode(text);
      } else {
        const std::string name = Lower(text);
        if (open.empty())
          throw Failure{"Closing tag \"" + name + "\" found while no element is open " + at()};
        const Node& top = r.nodes[open.back()];
        open.pop_back();
        if (!name.empty() && name != top.name) {
          throw Failure{"Opening tag \"" + top.name + "\" doesn't mach closing tag \"" + name + "\" " + at()};
        }
      }
    }
    if (!open.empty()) throw Failure{"Closing tag missing for opening tag " + r.nodes[open.back()].name};
  } catch (const Failure& f) {
    r = Result{f.message, {}, -1, {}};
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
  if (error != expected.error.c_str()) return "error \"" + error + "\" instead of \"" + expected.error + "\"";
  if (!error.empty()) return {};
  if (progress != expected.progress) return "different progress calls";
  if ((root == nullptr) != (expected.root < 0)) return "root presence differs";
  std::vector<std::pair<const TXMLNode*, std::size_t>> todo;
  if (root) todo.emplace_back(root, static_cast<std::size_t>(expected.root));
  while (!todo.empty()) {
    const auto [node, id] = todo.back();
    todo.pop_back();
    const Node& want = expected.nodes[id];
    const std::string where = " at node " + want.name + " @" + std::to_string(want.position);
    if (node->Name() != want.name || node->Text() != want.text || node->Position() != want.position) {
      return "name, text or position" + where;
    }
    if (node->PropertyCount() != static_cast<std::int32_t>(want.properties.size()))
      return "property count" + where;
    for (const auto& [name, value] : want.properties) {
      std::string upper = name;
      for (char& c : upper) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
      if (node->GetProperty(name) != value || node->GetProperty(upper) != value)
        return "property " + name + where;
    }
    if (node->ChildCount() != static_cast<std::int32_t>(want.children.size())) return "child count" + where;
    for (std::size_t k = 0; k < want.children.size(); ++k) {
      todo.emplace_back(node->GetChild(static_cast<std::int32_t>(k)), want.children[k]);
    }
  }
  return {};
}

}  // namespace pallix::naive
