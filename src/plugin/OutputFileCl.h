// An output file that never leaves a half-written file behind: bytes go to a temporary
// beside the target, and only Commit replaces the target with it.
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <string_view>

namespace pallix {

class TMemoryOutput;
class TWorkerThread;

class TOutputFile {
 public:
  // What Commit replaces when the target is a symbolic link: the link itself, or the file it
  // points to (the mesh file: the user named it, so the link stays).
  enum class Link { Replace, Follow };

  // Raises "Cannot create file %s" (the target's name, with the system's reason) when the
  // temporary cannot be created.
  explicit TOutputFile(std::string fileName, Link link = Link::Replace);
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

  // Hands size bytes to the system on a thread of its own while the caller goes on, when the
  // system gives one. The bytes must stay untouched until the next WriteBehind or Commit
  // returns. Every later write waits for them first and raises their failure.
  void WriteBehind(const void* data, std::size_t size);

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
  [[noreturn]] void Fail(std::string reason);
  // Waits for the bytes handed over last; raises their failure.
  void WaitBehind() {
    if (behind_.pending) FinishBehind();
  }
  // Before bytes go to the file: those handed over before are written, and nothing failed.
  void ReadyToWrite() {
    WaitBehind();
    if (failed_) Fail({});
  }
  void FinishBehind();
  static void WriteBehindJob(void* self) noexcept;

  std::string fileName_;
  std::string target_;  // fileName_, or the file its link points to
  std::string tempName_;
  std::FILE* file_ = nullptr;
  TMemoryOutput* memory_ = nullptr;
  std::string kept_;  // the bytes, when they go to memory
  std::size_t written_ = 0;
  std::size_t used_ = 0;
  bool failed_ = false;
  // The bytes being written on the worker thread, and how that went.
  struct Behind {
    const void* data = nullptr;
    std::size_t size = 0;
    bool pending = false;
    bool failed = false;
    std::string reason;
  } behind_;
  std::unique_ptr<TWorkerThread> worker_;
  bool noWorker_ = false;  // the system gave no thread
  char buffer_[kBufferSize];
};

// Output files kept in memory instead of on disk, for fuzzing and tests: while one is alive,
// every TOutputFile and texture copy of the process ends up in Files, and no output folder
// is made. One at a time.
class TMemoryOutput {
 public:
  TMemoryOutput();
  ~TMemoryOutput();
  TMemoryOutput(const TMemoryOutput&) = delete;
  TMemoryOutput& operator=(const TMemoryOutput&) = delete;

  static TMemoryOutput* Active();

  // Committed files by name.
  std::map<std::string, std::string> Files;
};

// Creates an output folder and every missing parent; false when it is not there afterwards.
bool MakeOutputFolders(const std::string& folder);

enum class TCopyResult { Copied, SameFile, Failed };
// Copies a regular file over target like a TOutputFile would write it. A source that is the
// target itself is left as it is. Failed comes with the reason: the system's, or
// sys::kNotARegularFile for a folder, FIFO or device. size receives the bytes copied.
TCopyResult CopyToOutputFile(const std::string& source, const std::string& target, std::string& reason,
                             std::uint64_t& size);

}  // namespace pallix
