// Streaming XML writer: indented elements, CR LF line breaks, short form for empty elements.
#pragma once

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
  TXMLWriter() = default;
  ~TXMLWriter() = default;

  void WriteRaw(std::string_view text) { text_.append(text); }
  // Hands the buffered text to the file, if there is one.
  void Drain();

  std::string text_;
  TOutputFile* file_ = nullptr;

 private:
  void DrainWhenFull();

  std::string indentation_;
  bool tagOpen_ = false;
  std::string currentTag_;
};

class TXMLStringWriter : public TXMLWriter {
 public:
  TXMLStringWriter() { text_.reserve(256); }
  std::string GetText() const { return text_; }
};

}  // namespace pallix
