#include "uXMLWriter.h"

#include <algorithm>
#include <cassert>
#include <cstring>

#include "BasicFn.h"
#include "OutputFileCl.h"

namespace pallix {

TXMLWriter::TXMLWriter(std::size_t capacity) : buffer_(new char[capacity]), capacity_(capacity) {}

TXMLWriter::~TXMLWriter() = default;

void TXMLWriter::Grow(std::size_t count) {
  const std::size_t capacity = std::max(capacity_ * 2, used_ + count);
  std::unique_ptr<char[]> bigger(new char[capacity]);
  std::memcpy(bigger.get(), buffer_.get(), used_);
  buffer_ = std::move(bigger);
  capacity_ = capacity;
}

char* TXMLWriter::PutDeepLineBreak(char* p) const {
  p = Put(p, std::string_view(kLineBreak.data(), kLineBreak.size()));
  for (std::size_t size = LineBreakSize() - kLineBreak.size(); size > 0;) {
    const std::size_t part = std::min(size, kBlanks);
    p = Put(p, std::string_view(kLineBreak.data() + 2, part));
    size -= part;
  }
  return p;
}

char* TXMLWriter::PutEntity(char* p, char markup) {
  switch (markup) {
    case '&':
      return Put(p, "&amp;");
    case '<':
      return Put(p, "&lt;");
    case '>':
      return Put(p, "&gt;");
    default:
      return Put(p, "&quot;");
  }
}

void TXMLWriter::NoTagOpen(std::string_view name) {
  Raise("Couldn't add property \"%s\". No tag opened.", {name});
}

void TXMLWriter::Drain(bool all) {
  static_assert(kDrainSize > TOutputFile::BlockSize());
  if (!file_ || used_ == 0) return;
  if (all) {
    file_->Write(buffer_.get(), used_);
    used_ = 0;
    return;
  }
  // Whole blocks go to the file while the writer goes on in the other buffer. The file takes
  // them only once it is done with the blocks before, which were the other buffer's.
  if (!spare_) {
    spare_.reset(new char[capacity_]);
    spareCapacity_ = capacity_;
  }
  const std::size_t drained = used_ - used_ % kDrainSize;
  const std::size_t rest = used_ - drained;
  assert(rest < kDrainSize && kDrainSize <= spareCapacity_);
  file_->WriteBehind(buffer_.get(), drained);
  std::memcpy(spare_.get(), buffer_.get() + drained, rest);
  std::swap(buffer_, spare_);
  std::swap(capacity_, spareCapacity_);
  used_ = rest;
}

}  // namespace pallix
