// An output file that never leaves a half-written file behind: bytes go to a temporary
// beside the target, and only Commit replaces the target with it.
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

namespace pallix {

class TOutputFile {
 public:
  // Raises "Cannot create file %s" (the target's name) when the temporary cannot be created.
  explicit TOutputFile(std::string fileName);
  // Discards the temporary unless Commit succeeded.
  ~TOutputFile();
  TOutputFile(const TOutputFile&) = delete;
  TOutputFile& operator=(const TOutputFile&) = delete;

  void Write(const void* data, std::size_t size) {
    if (size > kBufferSize - used_) {
      Flush();
      if (size >= kBufferSize) {
        WriteThrough(data, size);
        return;
      }
    }
    std::char_traits<char>::copy(buffer_ + used_, static_cast<const char*>(data), size);
    used_ += size;
  }
  void Write(std::string_view text) { Write(text.data(), text.size()); }
  void WriteByte(unsigned char b) {
    if (used_ == kBufferSize) Flush();
    buffer_[used_++] = static_cast<char>(b);
  }

  // Room for size bytes (at most BlockSize) straight in the buffer, for callers that lay out
  // a block of fields themselves; Advance hands the bytes filled over.
  static constexpr std::size_t BlockSize() { return kBufferSize; }
  char* Room(std::size_t size) {
    assert(size <= kBufferSize);
    if (size > kBufferSize - used_) Flush();
    return buffer_ + used_;
  }
  void Advance(std::size_t size) {
    assert(size <= kBufferSize - used_);
    used_ += size;
  }

  // Flushes, closes and puts the file in place of the target. Raises "Cannot create file %s".
  void Commit();

  const std::string& FileName() const { return fileName_; }
  // Bytes handed to Write so far.
  std::size_t Size() const { return written_ + used_; }

 private:
  static constexpr std::size_t kBufferSize = 1 << 16;
  void Flush();
  void WriteThrough(const void* data, std::size_t size);
  [[noreturn]] void Fail();

  std::string fileName_;
  std::string tempName_;
  std::FILE* file_ = nullptr;
  std::size_t written_ = 0;
  std::size_t used_ = 0;
  bool failed_ = false;
  char buffer_[kBufferSize];
};

}  // namespace pallix
