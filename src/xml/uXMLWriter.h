// Streaming XML writer: indented elements, CR LF line breaks, short form for empty elements.
#pragma once

#include <cstddef>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

namespace pallix {

class TOutputFile;

// The layout logic shared by the string and the file writer. The text accumulates in an
// internal buffer; a writer with a file drains it into the file in large blocks.
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

 protected:
  explicit TXMLWriter(std::size_t capacity);
  ~TXMLWriter();

  std::string_view Buffered() const { return std::string_view(buffer_.get(), used_); }
  // Hands the buffered text to the file, if there is one. The writer drains itself only
  // between start tags, so an open tag's name is still at hand for CloseTag.
  void Drain();

  TOutputFile* file_ = nullptr;

 private:
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
  char* PutLineBreak(char* p) const;
  std::size_t LineBreakSize() const { return 2 + 2 * depth_; }
  bool OpenNameIs(std::string_view name) const;
  void Advance(char* end) { used_ = static_cast<std::size_t>(end - buffer_.get()); }

  std::unique_ptr<char[]> buffer_;
  std::size_t used_ = 0;
  std::size_t capacity_ = 0;
  std::size_t depth_ = 0;
  bool tagOpen_ = false;
  // While a start tag is open its name stays in the buffer: offset and length.
  std::size_t openNameAt_ = 0;
  std::size_t openNameSize_ = 0;
};

class TXMLStringWriter : public TXMLWriter {
 public:
  TXMLStringWriter() : TXMLWriter(256) {}
  std::string GetText() const { return std::string(Buffered()); }
};

}  // namespace pallix
