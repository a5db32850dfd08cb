#include "WorkerThreadCl.h"

#include <windows.h>

#include <cassert>
#include <new>

namespace pallix {

// Two auto-reset events hand the job over and back; the owner never runs two at once.
struct TWorkerThread::State {
  HANDLE thread = nullptr;
  HANDLE start = nullptr;
  HANDLE done = nullptr;
  Job job = nullptr;
  void* context = nullptr;
  bool busy = false;  // the owner's view: a job was handed over and not yet waited for
  volatile LONG stop = 0;

  ~State() {
    if (thread) CloseHandle(thread);
    if (start) CloseHandle(start);
    if (done) CloseHandle(done);
  }

  static DWORD WINAPI Loop(LPVOID self) {
    State& s = *static_cast<State*>(self);
    for (;;) {
      WaitForSingleObject(s.start, INFINITE);
      if (InterlockedCompareExchange(&s.stop, 0, 0)) return 0;
      s.job(s.context);
      SetEvent(s.done);
    }
  }
};

std::unique_ptr<TWorkerThread> TWorkerThread::Start() noexcept {
  std::unique_ptr<State> state(new (std::nothrow) State);
  if (!state) return nullptr;
  state->start = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  state->done = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  if (!state->start || !state->done) return nullptr;
  std::unique_ptr<TWorkerThread> worker(new (std::nothrow) TWorkerThread(std::move(state)));
  if (!worker) return nullptr;
  State& s = *worker->state_;
  s.thread = CreateThread(nullptr, 0, &State::Loop, &s, 0, nullptr);
  if (!s.thread) return nullptr;
  return worker;
}

TWorkerThread::TWorkerThread(std::unique_ptr<State> state) : state_(std::move(state)) {}

TWorkerThread::~TWorkerThread() {
  if (!state_->thread) return;
  Wait();
  InterlockedExchange(&state_->stop, 1);
  SetEvent(state_->start);
  WaitForSingleObject(state_->thread, INFINITE);
}

void TWorkerThread::Run(Job job, void* context) noexcept {
  assert(!state_->busy);
  state_->job = job;
  state_->context = context;
  state_->busy = true;
  SetEvent(state_->start);
}

void TWorkerThread::Wait() noexcept {
  if (!state_->busy) return;
  WaitForSingleObject(state_->done, INFINITE);
  state_->busy = false;
}

}  // namespace pallix
