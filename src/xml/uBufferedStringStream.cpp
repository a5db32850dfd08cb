#include "uBufferedStringStream.h"

#include <cstring>

namespace pallix {

TBufferedStringStream::TBufferedStringStream(std::size_t capacity) : buffer_(capacity, '\0') {}

std::size_t TBufferedStringStream::AppendBytes(const void* bytes, std::size_t count) {
  const std::size_t needed = used_ + count;
  if (buffer_.size() < needed) {
    // Start from 1 so a buffer cut to zero length by GetText still grows.
    std::size_t length = buffer_.empty() ? 1 : buffer_.size();
    while (length < needed) length *= 2;
    buffer_.resize(length);
  }
  if (count > 0) std::memcpy(buffer_.data() + used_, bytes, count);
  used_ = needed;
  return count;
}

std::string TBufferedStringStream::GetText() {
  buffer_.resize(used_);
  return buffer_;
}

}  // namespace pallix
