#include "XMLWriterCl.h"

#include "OutputFileCl.h"

namespace pallix {

// Twice the drain size, so a drained block goes to the file in one piece.
XMLFileWriterT::XMLFileWriterT(const std::string& fileName, TOutputFile::Link link)
    : XMLWriterT(1 << 20), output_(std::make_unique<TOutputFile>(fileName, link)) {
  file_ = output_.get();
}

XMLFileWriterT::~XMLFileWriterT() = default;

void XMLFileWriterT::Commit() {
  Drain(true);
  output_->Commit();
}

}  // namespace pallix
