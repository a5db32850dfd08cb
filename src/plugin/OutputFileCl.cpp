#include "OutputFileCl.h"

#include "BasicFn.h"
#include "SystemFn.h"

namespace pallix {

namespace {
constexpr const char* kCannotCreate = "Cannot create file %s";
}

TOutputFile::TOutputFile(std::string fileName) : fileName_(std::move(fileName)) {
  // The temporary sits in the target's folder so the final rename never crosses volumes.
  tempName_ = fileName_ + ".~pallix";
  file_ = std::fopen(tempName_.c_str(), "wb");
  if (!file_) Raise(kCannotCreate, {fileName_});
}

TOutputFile::~TOutputFile() {
  if (file_) {
    std::fclose(file_);
    sys::RemoveFile(tempName_);
  }
}

void TOutputFile::Fail() {
  failed_ = true;
  Raise(kCannotCreate, {fileName_});
}

void TOutputFile::WriteThrough(const void* data, std::size_t size) {
  if (failed_ || std::fwrite(data, 1, size, file_) != size) Fail();
  written_ += size;
}

void TOutputFile::Flush() {
  if (used_ == 0) return;
  const std::size_t n = used_;
  used_ = 0;
  WriteThrough(buffer_, n);
}

void TOutputFile::Commit() {
  Flush();
  std::FILE* f = file_;
  file_ = nullptr;
  const bool closed = std::fclose(f) == 0;
  if (!closed || failed_ || !sys::ReplaceFile(tempName_, fileName_)) {
    sys::RemoveFile(tempName_);
    Raise(kCannotCreate, {fileName_});
  }
}

}  // namespace pallix
