#include "WorkerThreadCl.h"

#include <cassert>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace pallix {

struct TWorkerThread::State {
  std::mutex mutex;
  std::condition_variable changed;
  Job job = nullptr;
  void* context = nullptr;
  bool busy = false;
  bool stop = false;
  std::thread thread;

  void Loop() {
    std::unique_lock lock(mutex);
    for (;;) {
      changed.wait(lock, [this] { return busy || stop; });
      if (!busy) return;
      lock.unlock();
      job(context);
      lock.lock();
      busy = false;
      changed.notify_all();
    }
  }
};

std::unique_ptr<TWorkerThread> TWorkerThread::Start() noexcept {
  try {
    auto state = std::make_unique<State>();
    state->thread = std::thread([s = state.get()] { s->Loop(); });
    return std::unique_ptr<TWorkerThread>(new TWorkerThread(std::move(state)));
  } catch (...) {
    return nullptr;
  }
}

TWorkerThread::TWorkerThread(std::unique_ptr<State> state) : state_(std::move(state)) {}

TWorkerThread::~TWorkerThread() {
  {
    std::lock_guard lock(state_->mutex);
    state_->stop = true;
  }
  state_->changed.notify_all();
  state_->thread.join();  // a job in hand ends first
}

void TWorkerThread::Run(Job job, void* context) noexcept {
  {
    std::lock_guard lock(state_->mutex);
    assert(!state_->busy);
    state_->job = job;
    state_->context = context;
    state_->busy = true;
  }
  state_->changed.notify_all();
}

void TWorkerThread::Wait() noexcept {
  std::unique_lock lock(state_->mutex);
  state_->changed.wait(lock, [this] { return !state_->busy; });
}

}  // namespace pallix
