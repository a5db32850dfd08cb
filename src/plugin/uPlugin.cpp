#include "uPlugin.h"

#include <cstdlib>
#include <memory>
#include <new>

#include "BasicFn.h"
#include "FloatStateCl.h"
#include "SystemFn.h"
#include "uDocumentPages.h"
#include "uXMLReader.h"
#include "uXMLWriter.h"

namespace pallix {

namespace {
HostCallback gCallback = nullptr;

// A fresh zero-terminated copy for each call: the host may not keep or alter ours.
std::unique_ptr<char[]> CopyRequest(const std::string& request) {
  auto copy = std::make_unique<char[]>(request.size() + 1);
  request.copy(copy.get(), request.size());
  copy[request.size()] = '\0';
  return copy;
}
}  // namespace

void TDocumentBlockFree::operator()(char* block) const { FreeDocumentBlock(block, Size); }

void SetHostCallback(HostCallback callback) { gCallback = callback; }

HostCallback GetHostCallback() { return gCallback; }

THostAnswer AskHost(const std::string& request) {
  if (!gCallback) Raise("No host callback registered.");
  HostCallbackRecord record{};
  record.Mode = 0;
  record.Answer = nullptr;
  record.AnswerLength = 0;
  std::int32_t status;
  {
    auto copy = CopyRequest(request);
    record.Request = copy.get();
    const THostFloatScope hostState;
    status = gCallback(&record);
  }
  THostAnswer answer;
  if (status == 0) {
    // One extra zero byte beyond the announced length, always.
    answer.Length = static_cast<std::size_t>(record.AnswerLength > 0 ? record.AnswerLength : 0);
    answer.Block = {AllocateDocumentBlock(answer.Length + 1), TDocumentBlockFree{answer.Length + 1}};
    if (!answer.Block) throw std::bad_alloc();
    auto copy = CopyRequest(request);
    record.Mode = 1;
    record.Request = copy.get();
    record.Answer = answer.Block.get();
    const THostFloatScope hostState;
    status = gCallback(&record);
  }
  if (status != 0) Raise("Korvel callback returned error code %d", {static_cast<std::int64_t>(status)});
  return answer;
}

std::string SendHostRequest(const std::string& request) { return std::string(AskHost(request).Text()); }

void TrimAnswer(std::string& answer) {
  const std::string_view kept = Trim(answer);
  if (kept.size() == answer.size()) return;
  const std::size_t first = static_cast<std::size_t>(kept.data() - answer.data());
  answer.erase(first + kept.size());
  answer.erase(0, first);
}

std::string GetInstallDirectory() {
  std::string request;
  {
    TXMLStringWriter writer;
    writer.OpenTag("request");
    writer.AddProperty("version", "1.6");
    writer.OpenTag("installdirectory");
    writer.CloseTag("installdirectory");
    writer.CloseTag("request");
    request = writer.GetText();
  }
  std::string answer = SendHostRequest(request);
  TrimAnswer(answer);
  TXMLStringReader reader(std::move(answer));
  const TXMLNode* root = reader.RootNode();
  std::string directory;
  // No root element at all names no directory, like a root without the child.
  if (!root) return directory;
  for (std::int32_t i = 0; i < root->ChildCount(); ++i) {
    const TXMLNode* child = root->GetChild(i);
    if (child->Name() == "installdirectory") directory = child->Text();
  }
  return directory;
}

std::string GetTextureFilesFolder() {
  const std::string settings = GetInstallDirectory() + "\\Korvel.ini";
  return sys::ReadIniString(sys::NativePath(settings), "Dirs", "texturefiles", "");
}

}  // namespace pallix
