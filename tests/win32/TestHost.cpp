#include "TestHost.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "WindowDriver.h"

namespace testhost {

namespace {
volatile LONG gFailures = 0;  // the driver thread counts too

const Command kCommands[] = {
    {"exports", RunExports, "export table, ordinals, texts, callback registration"},
    {"first-run", RunFirstRun, "options window without options file: defaults, layout, keyboard, Cancel"},
    {"browse", RunBrowse, "file dialog and folder browser from the options window"},
    {"export", RunExport, "OK with typed options: the export runs, options saved and shown again"},
    {"cancel", RunCancel, "Cancel: no callback call, options file untouched"},
    {"invalid", RunInvalid, "invalid input: one error box, the window stays"},
    {"host-error", RunHostError, "host answers status 7: error box, progress window gone"},
    {"no-callback", RunNoCallback, "PluginExecute without a registered callback"},
    {"read-only-textures", RunReadOnlyTextures,
     "read-only source textures: plain copies, replaced, nothing left"},
    {"window-failures", RunWindowFailures,
     "windows that cannot be created: the reason, editor never disabled"},
    {"out-of-memory", RunOutOfMemory, "allocations failing in the run and behind window procedures"},
    {"output-folders", RunOutputFolders, "output folders of drive-relative and share file names"},
    {"timed-export", RunTimedExport, "OK at once with options from the arguments; prints the export's time"},
};

int Usage() {
  std::fprintf(stderr, "usage: pallix-testhost <command> [args]\n");
  for (const Command& c : kCommands) std::fprintf(stderr, "  %-18s %s\n", c.name, c.help);
  return 2;
}
}  // namespace

std::string Args::Value(const char* name, const std::string& fallback) const {
  for (int i = 0; i + 1 < argc_; ++i)
    if (std::strcmp(argv_[i], name) == 0) return argv_[i + 1];
  return fallback;
}

bool Args::Has(const char* name) const {
  for (int i = 0; i < argc_; ++i)
    if (std::strcmp(argv_[i], name) == 0) return true;
  return false;
}

void Expect(bool ok, const char* what, const char* file, int line) {
  if (ok) return;
  InterlockedIncrement(&gFailures);
  std::fprintf(stderr, "%s:%d: expected %s\n", file, line, what);
  std::fflush(stderr);
}

int FailureCount() { return static_cast<int>(gFailures); }

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
  EnableScreenshots(std::getenv("PALLIX_SHOTS") != nullptr);
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
