// An append-only string sink whose buffer doubles when full.
#pragma once

#include <cstddef>
#include <string>

namespace pallix {

class TBufferedStringStream {
 public:
  explicit TBufferedStringStream(std::size_t capacity);

  // Appends count bytes after the used part; returns count.
  std::size_t AppendBytes(const void* bytes, std::size_t count);
  // Cuts the buffer down to the used length and returns it.
  std::string GetText();

  std::size_t Size() const { return used_; }
  std::size_t Capacity() const { return buffer_.size(); }

 private:
  std::string buffer_;
  std::size_t used_ = 0;
};

}  // namespace pallix
