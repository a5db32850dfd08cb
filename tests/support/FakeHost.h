// A host editor for tests: answers every request through a function and registers itself as
// the host callback while it lives.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace pallix {

class FakeHost {
 public:
  using Answerer = std::function<std::string(const std::string& request)>;

  explicit FakeHost(Answerer answer);
  // Answers every request with the same text.
  explicit FakeHost(std::string answer);
  ~FakeHost();
  FakeHost(const FakeHost&) = delete;
  FakeHost& operator=(const FakeHost&) = delete;

  // Status returned to the length query and to the fetch; 0 is success.
  std::int32_t LengthStatus = 0;
  std::int32_t FetchStatus = 0;
  // The request of every exchange, in order (one entry per length query).
  std::vector<std::string> Requests;
  // Callback calls of either kind.
  std::int32_t Calls = 0;

 private:
  Answerer answer_;
  std::string pending_;  // answer computed in the length query, copied in the fetch
  FakeHost* previous_;

  friend struct FakeHostAccess;
};

}  // namespace pallix
