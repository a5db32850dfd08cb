// The reader must fail cleanly or agree with the plain reference reader on any input.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "../support/NaiveXMLReader.h"
#include "BasicFn.h"
#include "uXMLReader.h"

namespace {

// Walks the tree without recursion and runs every getter on every property.
void Exercise(const pallix::TXMLNode* root) {
  std::vector<const pallix::TXMLNode*> todo{root};
  while (!todo.empty()) {
    const pallix::TXMLNode* node = todo.back();
    todo.pop_back();
    for (const char* name : {"x", "id", "a", "shadowopacity"}) {
      if (!node->HasProperty(name)) continue;
      try {
        node->GetBoolProperty(name);
        node->GetIntProperty(name);
      } catch (const pallix::Error&) {
      }
      try {
        node->GetFloatProperty(name);
      } catch (const pallix::Error&) {
      }
    }
    for (int k = 0; k < node->ChildCount(); ++k) todo.push_back(node->GetChild(k));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string doc(reinterpret_cast<const char*>(data), size);
  const std::string problem = pallix::naive::Disagreement(doc);
  if (!problem.empty()) {
    std::fprintf(stderr, "disagreement: %s\n", problem.c_str());
    std::abort();
  }
  pallix::TXMLStringReader reader(doc);
  try {
    if (const pallix::TXMLNode* root = reader.RootNode()) Exercise(root);
  } catch (const pallix::Error&) {
  }
  try {
    pallix::StrToSingle(doc);
  } catch (const pallix::Error&) {
  }
  try {
    pallix::StrToInt32(doc);
  } catch (const pallix::Error&) {
  }
  return 0;
}
