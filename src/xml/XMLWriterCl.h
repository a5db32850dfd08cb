// The XML writer over a file: the same layout as the string writer, written to disk.
#pragma once

#include <memory>
#include <string>

#include "OutputFileCl.h"
#include "uXMLWriter.h"

namespace pallix {

using XMLWriterT = TXMLWriter;

class XMLFileWriterT : public XMLWriterT {
 public:
  // Raises "Cannot create file %s" when the file cannot be created.
  explicit XMLFileWriterT(const std::string& fileName, TOutputFile::Link link = TOutputFile::Link::Replace);
  // Without Commit the target is left untouched.
  ~XMLFileWriterT();

  // Writes what is buffered and puts the file in place.
  void Commit();
  // Bytes of the document so far (all of it after Commit).
  std::size_t Size() const { return output_->Size() + Buffered().size(); }

 private:
  std::unique_ptr<TOutputFile> output_;
};

}  // namespace pallix
