// The Windows test host: loads the real Pallix.dll the way the editor does and checks what
// it sees. Each subcommand is one test; the process exit code is its verdict.
#pragma once

#include <windows.h>

#include <string>

namespace testhost {

// Counts a failed expectation and prints where it happened.
void Expect(bool ok, const char* what, const char* file, int line);
int FailureCount();

#define EXPECT(cond) ::testhost::Expect((cond), #cond, __FILE__, __LINE__)

// Folder of the test host executable, with a trailing backslash.
std::string HostFolder();

// Loads Pallix.dll from the host's folder; prints the reason and exits on failure.
HMODULE LoadPlugin();

// "--name value" and "--flag" arguments of a subcommand.
class Args {
 public:
  Args(int argc, char** argv) : argc_(argc), argv_(argv) {}
  std::string Value(const char* name, const std::string& fallback = "") const;
  bool Has(const char* name) const;

 private:
  int argc_;
  char** argv_;
};

using CommandFn = int (*)(int argc, char** argv);
struct Command {
  const char* name;
  CommandFn run;
  const char* help;
};

// Subcommands, defined beside the code they exercise.
int RunExports(int argc, char** argv);
int RunFirstRun(int argc, char** argv);
int RunBrowse(int argc, char** argv);
int RunExport(int argc, char** argv);
int RunCancel(int argc, char** argv);
int RunInvalid(int argc, char** argv);
int RunHostError(int argc, char** argv);
int RunNoCallback(int argc, char** argv);
int RunReadOnlyTextures(int argc, char** argv);
int RunWindowFailures(int argc, char** argv);
int RunOutOfMemory(int argc, char** argv);
int RunOutputFolders(int argc, char** argv);
int RunTimedExport(int argc, char** argv);

}  // namespace testhost
