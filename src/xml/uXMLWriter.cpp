#include "uXMLWriter.h"

#include "BasicFn.h"
#include "OutputFileCl.h"

namespace pallix {

namespace {
constexpr std::size_t kDrainSize = 1 << 16;
constexpr std::string_view kLineBreak = "\r\n";
}  // namespace

void TXMLWriter::OpenTag(std::string_view name) {
  if (tagOpen_) WriteRaw(">");
  if (!indentation_.empty()) {
    WriteRaw(kLineBreak);
    WriteRaw(indentation_);
  }
  WriteRaw("<");
  WriteRaw(name);
  tagOpen_ = true;
  currentTag_.assign(name);
  indentation_.append("  ");
  DrainWhenFull();
}

void TXMLWriter::AddProperty(std::string_view name, std::string_view value) {
  if (!tagOpen_) Raise("Couldn't add property \"%s\". No tag opened.", {name});
  WriteRaw(" ");
  WriteRaw(name);
  WriteRaw("=\"");
  // A value holding markup characters would make the document unreadable.
  std::size_t start = 0;
  for (std::size_t i = 0; i < value.size(); ++i) {
    std::string_view entity;
    switch (value[i]) {
      case '&':
        entity = "&amp;";
        break;
      case '<':
        entity = "&lt;";
        break;
      case '>':
        entity = "&gt;";
        break;
      case '"':
        entity = "&quot;";
        break;
      default:
        continue;
    }
    WriteRaw(value.substr(start, i - start));
    WriteRaw(entity);
    start = i + 1;
  }
  WriteRaw(value.substr(start));
  WriteRaw("\"");
  DrainWhenFull();
}

void TXMLWriter::CloseTag(std::string_view name) {
  indentation_.erase(0, 2);
  if (tagOpen_ && name == currentTag_) {
    WriteRaw(" />");
  } else {
    if (tagOpen_) WriteRaw(">");
    WriteRaw(kLineBreak);
    WriteRaw(indentation_);
    WriteRaw("</");
    WriteRaw(name);
    WriteRaw(">");
  }
  tagOpen_ = false;
  currentTag_.clear();
  DrainWhenFull();
}

void TXMLWriter::DrainWhenFull() {
  if (file_ && text_.size() >= kDrainSize) Drain();
}

void TXMLWriter::Drain() {
  if (!file_ || text_.empty()) return;
  file_->Write(text_);
  text_.clear();
}

}  // namespace pallix
