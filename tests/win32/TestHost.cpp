#include "TestHost.h"

#include <cstdio>
#include <cstring>

namespace testhost {

namespace {
int gFailures = 0;

const Command kCommands[] = {
    {"exports", RunExports, "export table, ordinals, texts, callback registration"},
};

int Usage() {
  std::fprintf(stderr, "usage: pallix-testhost <command> [args]\n");
  for (const Command& c : kCommands) std::fprintf(stderr, "  %-14s %s\n", c.name, c.help);
  return 2;
}
}  // namespace

void Expect(bool ok, const char* what, const char* file, int line) {
  if (ok) return;
  ++gFailures;
  std::fprintf(stderr, "%s:%d: expected %s\n", file, line, what);
  std::fflush(stderr);
}

int FailureCount() { return gFailures; }

std::string HostFolder() {
  char path[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path, n);
  return folder.substr(0, folder.find_last_of('\\') + 1);
}

HMODULE LoadPlugin() {
  const std::string path = HostFolder() + "Pallix.dll";
  HMODULE dll = LoadLibraryA(path.c_str());
  if (!dll) {
    std::fprintf(stderr, "cannot load %s (error %lu)\n", path.c_str(), GetLastError());
    std::exit(1);
  }
  return dll;
}

}  // namespace testhost

int main(int argc, char** argv) {
  using namespace testhost;
  // No "program has crashed" dialog under Wine: a crash must fail the test, not wait for a click.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  if (argc < 2) return Usage();
  for (const Command& c : kCommands) {
    if (std::strcmp(argv[1], c.name) != 0) continue;
    const int rc = c.run(argc - 2, argv + 2);
    const int failures = FailureCount();
    std::printf("%s: %s (%d failed expectation%s)\n", c.name, rc == 0 && failures == 0 ? "PASS" : "FAIL",
                failures, failures == 1 ? "" : "s");
    return rc == 0 && failures == 0 ? 0 : 1;
  }
  return Usage();
}
