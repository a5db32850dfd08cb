#include "FakeHost.h"

#include <algorithm>
#include <cassert>
#include <utility>

#include "uPlugin.h"

namespace pallix {

namespace {
FakeHost* gCurrent = nullptr;
}  // namespace

struct FakeHostAccess {
  static std::int32_t PALLIX_STDCALL Callback(HostCallbackRecord* record) {
    FakeHost& host = *gCurrent;
    ++host.Calls;
    if (record->Mode == 0) {
      host.Requests.emplace_back(record->Request);
      host.pending_ = host.answer_(host.Requests.back());
      record->AnswerLength = static_cast<std::int32_t>(host.pending_.size());
      return host.LengthStatus;
    }
    const auto room = static_cast<std::size_t>(record->AnswerLength > 0 ? record->AnswerLength : 0);
    host.pending_.copy(record->Answer, std::min(room, host.pending_.size()));
    std::string().swap(host.pending_);  // big answers should not linger
    return host.FetchStatus;
  }
};

FakeHost::FakeHost(Answerer answer) : answer_(std::move(answer)), previous_(gCurrent) {
  gCurrent = this;
  SetHostCallback(&FakeHostAccess::Callback);
}

FakeHost::FakeHost(std::string answer)
    : FakeHost([text = std::move(answer)](const std::string&) { return text; }) {}

FakeHost::~FakeHost() {
  assert(gCurrent == this);
  gCurrent = previous_;
  SetHostCallback(previous_ ? &FakeHostAccess::Callback : nullptr);
}

}  // namespace pallix
