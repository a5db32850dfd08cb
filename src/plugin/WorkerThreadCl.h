// One thread beside the caller's that runs one job at a time: output is handed to the system
// there while the next block is laid out. src/plugin/WorkerThreadCl.cpp is the portable
// stand-in, src/plugin/win32/WorkerThreadCl.cpp the Windows one.
#pragma once

#include <memory>

namespace pallix {

class TWorkerThread {
 public:
  using Job = void (*)(void* context);

  // Null when the system gives no thread: the caller then does the work itself.
  static std::unique_ptr<TWorkerThread> Start() noexcept;
  // Waits for the job in hand, then ends the thread.
  ~TWorkerThread();
  TWorkerThread(const TWorkerThread&) = delete;
  TWorkerThread& operator=(const TWorkerThread&) = delete;

  // Runs job(context) on the thread. The previous job must have been waited for; the job
  // must not throw.
  void Run(Job job, void* context) noexcept;
  // Returns once the job in hand, if any, has ended.
  void Wait() noexcept;

  struct State;

 private:
  explicit TWorkerThread(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

}  // namespace pallix
