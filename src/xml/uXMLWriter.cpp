#include "uXMLWriter.h"

#include <algorithm>
#include <array>

#include "BasicFn.h"
#include "OutputFileCl.h"

namespace pallix {

namespace {
constexpr std::size_t kDrainSize = 1 << 16;

// A line break followed by enough blanks for the usual depths; deeper ones repeat the blanks.
constexpr std::size_t kBlanks = 128;
constexpr std::array<char, 2 + kBlanks> kLineBreak = [] {
  std::array<char, 2 + kBlanks> t{};
  t[0] = '\r';
  t[1] = '\n';
  for (std::size_t i = 2; i < t.size(); ++i) t[i] = ' ';
  return t;
}();

// The characters a property value cannot hold as they are.
constexpr std::array<bool, 256> kMarkup = [] {
  std::array<bool, 256> t{};
  t['&'] = t['<'] = t['>'] = t['"'] = true;
  return t;
}();
// The longest replacement, "&quot;".
constexpr std::size_t kLongestEntity = 6;
}  // namespace

TXMLWriter::TXMLWriter(std::size_t capacity) : buffer_(new char[capacity]), capacity_(capacity) {}

TXMLWriter::~TXMLWriter() = default;

void TXMLWriter::Grow(std::size_t count) {
  const std::size_t capacity = std::max(capacity_ * 2, used_ + count);
  std::unique_ptr<char[]> bigger(new char[capacity]);
  std::memcpy(bigger.get(), buffer_.get(), used_);
  buffer_ = std::move(bigger);
  capacity_ = capacity;
}

char* TXMLWriter::PutLineBreak(char* p) const {
  std::size_t size = LineBreakSize();
  p = Put(p, std::string_view(kLineBreak.data(), std::min(size, kLineBreak.size())));
  for (size -= std::min(size, kLineBreak.size()); size > 0;) {
    const std::size_t part = std::min(size, kBlanks);
    p = Put(p, std::string_view(kLineBreak.data() + 2, part));
    size -= part;
  }
  return p;
}

void TXMLWriter::OpenTag(std::string_view name) {
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

void TXMLWriter::AddProperty(std::string_view name, std::string_view value) {
  if (!tagOpen_) Raise("Couldn't add property \"%s\". No tag opened.", {name});
  char* p = Room(name.size() + 4 + value.size() * kLongestEntity);
  *p++ = ' ';
  p = Put(p, name);
  *p++ = '=';
  *p++ = '"';
  // A value holding markup characters would make the document unreadable.
  for (const char c : value) {
    if (!kMarkup[static_cast<unsigned char>(c)]) {
      *p++ = c;
      continue;
    }
    switch (c) {
      case '&':
        p = Put(p, "&amp;");
        break;
      case '<':
        p = Put(p, "&lt;");
        break;
      case '>':
        p = Put(p, "&gt;");
        break;
      default:
        p = Put(p, "&quot;");
        break;
    }
  }
  *p++ = '"';
  Advance(p);
}

// Names are short: a plain loop beats a call to memcmp.
bool TXMLWriter::OpenNameIs(std::string_view name) const {
  if (name.size() != openNameSize_) return false;
  const char* open = buffer_.get() + openNameAt_;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (open[i] != name[i]) return false;
  }
  return true;
}

void TXMLWriter::CloseTag(std::string_view name) {
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

void TXMLWriter::Drain() {
  if (!file_ || used_ == 0) return;
  file_->Write(buffer_.get(), used_);
  used_ = 0;
}

}  // namespace pallix
