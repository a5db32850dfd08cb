// Streaming XML writer: indented elements, CR LF line breaks, short form for empty elements.
#pragma once

#include <array>
#include <cstddef>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "BasicFn.h"

namespace pallix {

class TOutputFile;

// The layout logic shared by the string and the file writer. The text accumulates in an
// internal buffer; a writer with a file drains it into the file in large blocks. The calls
// are inline: a mesh makes tens of millions of them, mostly with names of constant length.
class TXMLWriter {
 public:
  TXMLWriter(const TXMLWriter&) = delete;
  TXMLWriter& operator=(const TXMLWriter&) = delete;

  void OpenTag(std::string_view name);
  // Only while the start tag of the element opened last is still open.
  // Raises: Couldn't add property "%s". No tag opened.
  void AddProperty(std::string_view name, std::string_view value);
  // Closes the innermost element; the caller names it again.
  void CloseTag(std::string_view name);

  // Text the caller lays out itself: whole elements at the current depth, each beginning with
  // its line break, as this writer would have written them. BeginText closes a pending start
  // tag and returns room for count bytes; EndText takes the text up to end.
  char* BeginText(std::size_t count);
  void EndText(char* end);
  // Elements opened and not yet closed.
  std::size_t Depth() const { return depth_; }

 protected:
  explicit TXMLWriter(std::size_t capacity);
  ~TXMLWriter();

  std::string_view Buffered() const { return std::string_view(buffer_.get(), used_); }
  // Hands the buffered text to the file, if there is one: all of it, or (while writing) whole
  // blocks only, so the file is written in the blocks it is cut into. The writer drains
  // itself only between start tags, so an open tag's name is still at hand for CloseTag.
  void Drain(bool all = false);

  TOutputFile* file_ = nullptr;

 private:
  // Larger than the file's own buffer, so drained blocks reach the file without a copy.
  static constexpr std::size_t kDrainSize = 1 << 19;
  // A line break followed by enough blanks for the usual depths; deeper ones repeat the blanks.
  static constexpr std::size_t kBlanks = 128;
  static constexpr std::array<char, 2 + kBlanks> kLineBreak = [] {
    std::array<char, 2 + kBlanks> t{};
    t[0] = '\r';
    t[1] = '\n';
    for (std::size_t i = 2; i < t.size(); ++i) t[i] = ' ';
    return t;
  }();
  // The longest replacement of a markup character, "&quot;".
  static constexpr std::size_t kLongestEntity = 6;

  // Makes room for count more bytes and returns where they go.
  char* Room(std::size_t count) {
    if (capacity_ - used_ < count) Grow(count);
    return buffer_.get() + used_;
  }
  void Grow(std::size_t count);
  static char* Put(char* p, std::string_view text) {
    std::memcpy(p, text.data(), text.size());
    return p + text.size();
  }
  // A line break and the indentation of the current depth.
  char* PutLineBreak(char* p) const {
    if (LineBreakSize() > kLineBreak.size()) return PutDeepLineBreak(p);
    return Put(p, std::string_view(kLineBreak.data(), LineBreakSize()));
  }
  char* PutDeepLineBreak(char* p) const;
  std::size_t LineBreakSize() const { return 2 + 2 * depth_; }
  // A value holding markup characters would make the document unreadable.
  static char* PutValue(char* p, std::string_view value) {
    for (const char c : value) {
      if (c == '&' || c == '<' || c == '>' || c == '"') {
        p = PutEntity(p, c);
      } else {
        *p++ = c;
      }
    }
    return p;
  }
  static char* PutEntity(char* p, char markup);
  [[noreturn]] static void NoTagOpen(std::string_view name);
  bool OpenNameIs(std::string_view name) const {
    return SameShortText(name, std::string_view(buffer_.get() + openNameAt_, openNameSize_));
  }
  void Advance(char* end) { used_ = static_cast<std::size_t>(end - buffer_.get()); }

  std::unique_ptr<char[]> buffer_;
  std::size_t used_ = 0;
  std::size_t capacity_ = 0;
  // With a file: the buffer the file may still be writing from, taken turns with buffer_.
  std::unique_ptr<char[]> spare_;
  std::size_t spareCapacity_ = 0;
  std::size_t depth_ = 0;
  bool tagOpen_ = false;
  // While a start tag is open its name stays in the buffer: offset and length.
  std::size_t openNameAt_ = 0;
  std::size_t openNameSize_ = 0;
};

inline void TXMLWriter::OpenTag(std::string_view name) {
  // Draining here, never while a start tag is open, keeps the open tag's name in the buffer.
  if (file_ && used_ >= kDrainSize) Drain();
  char* p = Room(1 + LineBreakSize() + 1 + name.size());
  if (tagOpen_) *p++ = '>';
  if (depth_ > 0) p = PutLineBreak(p);
  *p++ = '<';
  openNameAt_ = static_cast<std::size_t>(p - buffer_.get());
  openNameSize_ = name.size();
  Advance(Put(p, name));
  tagOpen_ = true;
  ++depth_;
}

inline void TXMLWriter::AddProperty(std::string_view name, std::string_view value) {
  if (!tagOpen_) NoTagOpen(name);
  char* p = Room(name.size() + 4 + value.size() * kLongestEntity);
  *p++ = ' ';
  p = Put(p, name);
  *p++ = '=';
  *p++ = '"';
  p = PutValue(p, value);
  *p++ = '"';
  Advance(p);
}

inline void TXMLWriter::CloseTag(std::string_view name) {
  if (depth_ > 0) --depth_;
  if (tagOpen_ && OpenNameIs(name)) {
    Advance(Put(Room(3), " />"));
  } else {
    char* p = Room(1 + LineBreakSize() + 2 + name.size() + 1);
    if (tagOpen_) *p++ = '>';
    p = PutLineBreak(p);
    *p++ = '<';
    *p++ = '/';
    p = Put(p, name);
    *p++ = '>';
    Advance(p);
  }
  tagOpen_ = false;
  if (file_ && used_ >= kDrainSize) Drain();
}

inline char* TXMLWriter::BeginText(std::size_t count) {
  char* p = Room(1 + count);
  if (tagOpen_) {
    *p++ = '>';
    Advance(p);
    tagOpen_ = false;
  }
  return p;
}

inline void TXMLWriter::EndText(char* end) {
  Advance(end);
  if (file_ && used_ >= kDrainSize) Drain();
}

class TXMLStringWriter : public TXMLWriter {
 public:
  TXMLStringWriter() : TXMLWriter(256) {}
  std::string GetText() const { return std::string(Buffered()); }
};

}  // namespace pallix
