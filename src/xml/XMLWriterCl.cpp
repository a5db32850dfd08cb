#include "XMLWriterCl.h"

#include "OutputFileCl.h"

namespace pallix {

XMLFileWriterT::XMLFileWriterT(const std::string& fileName)
    : output_(std::make_unique<TOutputFile>(fileName)) {
  file_ = output_.get();
  text_.reserve(1 << 17);
}

XMLFileWriterT::~XMLFileWriterT() = default;

void XMLFileWriterT::Commit() {
  Drain();
  output_->Commit();
}

}  // namespace pallix
