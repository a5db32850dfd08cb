#include "Batch.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>

#include "BasicFn.h"
#include "ProgressFm.h"

namespace pallix {

namespace {

// A child's messages to its parent: a kind, a 32-bit length, the bytes.
enum Kind : char { kStage = 'P', kStatus = 'S', kOut = 'O', kErr = 'E', kJson = 'J', kOrigins = 'T' };

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = write(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

void Send(int fd, Kind kind, std::string_view data) {
  const auto length = static_cast<std::uint32_t>(data.size());
  std::string record(1, kind);
  record.append(reinterpret_cast<const char*>(&length), sizeof length);
  record.append(data);
  WriteAll(fd, record);
}

// The child's progress view: the stage and percentage go to the parent when either changes.
class PipeView : public IProgressView {
 public:
  explicit PipeView(int fd) : fd_(fd) {}
  void Show() override {}
  void SetText(std::string_view text) override { text_ = text; }
  void SetPosition(std::int32_t position) override {
    const std::string stage = text_ + " " + IntToStr(std::clamp(position, 0, 100)) + "%";
    if (stage == sent_) return;
    sent_ = stage;
    Send(fd_, kStage, stage);
  }

 private:
  int fd_;
  std::string text_ = "Progress...";
  std::string sent_;
};

struct Running {
  std::size_t index;
  pid_t pid;
  int fd;
  std::string received;
  std::string stage;
  SceneResult result;
  bool gotStatus = false;
};

// Takes the complete messages off the front of what was received.
void Take(Running& job) {
  constexpr std::size_t kHead = 1 + sizeof(std::uint32_t);
  std::size_t at = 0;
  while (job.received.size() - at >= kHead) {
    std::uint32_t length = 0;
    std::memcpy(&length, job.received.data() + at + 1, sizeof length);
    if (job.received.size() - at - kHead < length) break;
    std::string data = job.received.substr(at + kHead, length);
    switch (job.received[at]) {
      case kStage:
        job.stage = std::move(data);
        break;
      case kStatus:
        job.result.Status = std::atoi(data.c_str());
        job.gotStatus = true;
        break;
      case kOut:
        job.result.Out = std::move(data);
        break;
      case kErr:
        job.result.Err = std::move(data);
        break;
      case kJson:
        job.result.Json = std::move(data);
        break;
      case kOrigins:
        job.result.TextureOrigins = std::move(data);
        break;
      default:
        break;
    }
    at += kHead + length;
  }
  job.received.erase(0, at);
}

[[noreturn]] void RunChild(std::size_t index, int fd, const SceneTask& task) {
  int status = 0;
  try {
    PipeView view(fd);
    const SceneResult result = task(index, view);
    Send(fd, kOut, result.Out);
    Send(fd, kErr, result.Err);
    Send(fd, kJson, result.Json);
    Send(fd, kOrigins, result.TextureOrigins);
    Send(fd, kStatus, IntToStr(result.Status));
  } catch (...) {
    status = 1;  // no status sent: the parent reports the scene as lost
  }
  _exit(status);
}

std::string BaseName(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::vector<SceneResult> RunInProcesses(
    const std::vector<std::string>& scenes, std::size_t jobs, const SceneTask& task,
    const std::function<SceneResult(std::size_t, const std::string&)>& lost,
    const std::function<void(std::size_t, SceneResult&)>& settle, std::FILE* out, std::FILE* err,
    bool progress) {
  const std::size_t count = scenes.size();
  std::vector<SceneResult> results(count);
  std::vector<bool> done(count, false);
  std::vector<Running> running;
  std::size_t next = 0, printed = 0, finished = 0;
  TTerminalLine line(err, progress);

  auto finish = [&](std::size_t index, SceneResult result) {
    results[index] = std::move(result);
    done[index] = true;
    ++finished;
  };
  auto start = [&](std::size_t index) {
    // Nothing buffered may be written twice, once by each process.
    std::fflush(out);
    std::fflush(err);
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
      finish(index, lost(index, Format("Cannot start the export (%s)", {std::strerror(errno)})));
      return;
    }
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
      // A batch that is ended ends its scenes too: their temporaries go, as on any signal.
      prctl(PR_SET_PDEATHSIG, SIGTERM);
      if (getppid() != parent) raise(SIGTERM);
      close(fds[0]);
      for (const Running& other : running) close(other.fd);
      RunChild(index, fds[1], task);
    }
    close(fds[1]);
    if (pid < 0) {
      close(fds[0]);
      finish(index, lost(index, Format("Cannot start the export (%s)", {std::strerror(errno)})));
      return;
    }
    running.push_back({index, pid, fds[0], {}, "starting", {}});
  };

  while (next < count || !running.empty()) {
    while (running.size() < std::max<std::size_t>(jobs, 1) && next < count) start(next++);
    std::vector<pollfd> polled;
    polled.reserve(running.size());
    for (const Running& job : running) polled.push_back({job.fd, POLLIN, 0});
    if (!polled.empty() && poll(polled.data(), polled.size(), -1) < 0) continue;  // EINTR: a signal came
    for (std::size_t i = polled.size(); i-- > 0;) {
      if (polled[i].revents == 0) continue;
      Running& job = running[i];
      char buf[65536];
      const ssize_t n = read(job.fd, buf, sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      if (n > 0) {
        job.received.append(buf, static_cast<std::size_t>(n));
        Take(job);
        continue;
      }
      // The child is done: its end of the pipe is closed.
      close(job.fd);
      int status = 0;
      while (waitpid(job.pid, &status, 0) < 0 && errno == EINTR) {
      }
      if (job.gotStatus) {
        finish(job.index, std::move(job.result));
      } else {
        finish(job.index,
               lost(job.index, WIFSIGNALED(status) ? Format("The export ended on signal %d (%s)",
                                                            {WTERMSIG(status), strsignal(WTERMSIG(status))})
                                                   : std::string("The export ended without a result")));
      }
      running.erase(running.begin() + static_cast<std::ptrdiff_t>(i));
    }
    if (printed < count && done[printed]) {
      line.Clear();
      for (; printed < count && done[printed]; ++printed) {
        settle(printed, results[printed]);
        std::fputs(results[printed].Err.c_str(), err);
        std::fputs(results[printed].Out.c_str(), out);
      }
      std::fflush(out);
      std::fflush(err);
    }
    std::string status = IntToStr(static_cast<std::int64_t>(finished)) + "/" +
                         IntToStr(static_cast<std::int64_t>(count)) + " done";
    std::vector<const Running*> shown;
    shown.reserve(running.size());
    for (const Running& job : running) shown.push_back(&job);
    std::sort(shown.begin(), shown.end(),
              [](const Running* a, const Running* b) { return a->index < b->index; });
    for (const Running* job : shown) status += "  " + BaseName(scenes[job->index]) + ": " + job->stage;
    if (!running.empty()) line.Draw(status);
  }
  return results;
}

}  // namespace pallix
