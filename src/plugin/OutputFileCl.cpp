#include "OutputFileCl.h"

#include <cassert>
#include <cstdio>
#include <memory>

#include "BasicFn.h"
#include "SystemFn.h"
#include "WorkerThreadCl.h"

namespace pallix {

namespace {

constexpr const char* kCannotCreate = "Cannot create file %s";

TMemoryOutput* gMemory = nullptr;

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace

TOutputFile::TOutputFile(std::string fileName, Link link) : fileName_(std::move(fileName)) {
  memory_ = gMemory;
  if (memory_) return;
  std::string reason;
  target_ = fileName_;
  if (link == Link::Follow && !sys::FollowLinks(fileName_, target_, reason)) {
    RaiseWithReason(reason, kCannotCreate, {fileName_});
  }
  // The temporary sits in the target's folder so the final rename never crosses volumes.
  file_ = sys::CreateTemporary(target_, tempName_, reason);
  if (!file_) RaiseWithReason(reason, kCannotCreate, {fileName_});
  // Writes come in whole blocks already; a stdio buffer would split each one in two calls.
  std::setvbuf(file_, nullptr, _IONBF, 0);
}

TOutputFile::~TOutputFile() {
  if (worker_) worker_->Wait();  // the thread must be done with the file
  if (file_) {
    std::fclose(file_);
    sys::RemoveFile(tempName_);
  }
}

void TOutputFile::Fail(std::string reason) {
  failed_ = true;
  RaiseWithReason(std::move(reason), kCannotCreate, {fileName_});
}

void TOutputFile::WriteThrough(const void* data, std::size_t size) {
  ReadyToWrite();
  if (memory_) {
    kept_.append(static_cast<const char*>(data), size);
  } else if (std::fwrite(data, 1, size, file_) != size) {
    Fail(sys::LastErrorText());
  }
  written_ += size;
}

void TOutputFile::WriteBehind(const void* data, std::size_t size) {
  Flush();  // buffered bytes come first
  ReadyToWrite();
  if (!memory_ && !worker_ && !noWorker_) {
    worker_ = TWorkerThread::Start();
    noWorker_ = !worker_;
  }
  if (!worker_) {
    WriteThrough(data, size);
    return;
  }
  behind_.data = data;
  behind_.size = size;
  behind_.pending = true;
  written_ += size;
  worker_->Run(&WriteBehindJob, this);
}

void TOutputFile::WriteBehindJob(void* self) noexcept {
  TOutputFile& file = *static_cast<TOutputFile*>(self);
  Behind& behind = file.behind_;
  if (std::fwrite(behind.data, 1, behind.size, file.file_) == behind.size) return;
  behind.failed = true;
  try {
    behind.reason = sys::LastErrorText();  // the system's words are this thread's
  } catch (...) {
    behind.reason.clear();
  }
}

void TOutputFile::FinishBehind() {
  worker_->Wait();
  behind_.pending = false;
  if (behind_.failed) Fail(std::move(behind_.reason));
}

void TOutputFile::Flush() {
  if (used_ == 0) return;
  const std::size_t n = used_;
  used_ = 0;
  WriteThrough(buffer_, n);
}

void TOutputFile::Commit() {
  Flush();
  WaitBehind();
  if (memory_) {
    memory_->Files[fileName_] = std::move(kept_);
    return;
  }
  std::FILE* f = file_;
  file_ = nullptr;
  const bool closed = std::fclose(f) == 0;
  if (closed && !failed_ && sys::ReplaceFile(tempName_, target_)) return;
  // The closing or the renaming failed (a failed write has given its reason already).
  const std::string reason = failed_ ? std::string() : sys::LastErrorText();
  sys::RemoveFile(tempName_);
  RaiseWithReason(reason, kCannotCreate, {fileName_});
}

TMemoryOutput::TMemoryOutput() {
  assert(!gMemory);
  gMemory = this;
}

TMemoryOutput::~TMemoryOutput() { gMemory = nullptr; }

TMemoryOutput* TMemoryOutput::Active() { return gMemory; }

bool MakeOutputFolders(const std::string& folder) { return gMemory || sys::ForceFolders(folder); }

TCopyResult CopyToOutputFile(const std::string& source, const std::string& target, std::string& reason,
                             std::uint64_t& size) {
  size = 0;
  const FilePtr in(sys::OpenRegularFile(source, reason));
  if (!in) return TCopyResult::Failed;
  if (!gMemory && sys::SameFile(source, target)) return TCopyResult::SameFile;
  try {
    TOutputFile out(target);
    char block[1 << 14];
    for (;;) {
      const std::size_t n = std::fread(block, 1, sizeof block, in.get());
      if (n == 0) {
        if (std::ferror(in.get())) {
          reason = sys::LastErrorText();
          return TCopyResult::Failed;
        }
        break;
      }
      out.Write(block, n);
    }
    out.Commit();
    size = out.Size();
  } catch (const Error& e) {
    reason = e.Reason();
    return TCopyResult::Failed;
  }
  return TCopyResult::Copied;
}

}  // namespace pallix
