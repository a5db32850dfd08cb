#include <unistd.h>

#include <cstdlib>

#include "ExportTool.h"

#ifdef PALLIX_PROFILE_TRAINING
extern "C" void __gcov_dump();
#endif

int main(int argc, char** argv) {
  pallix::RemoveTemporariesOnSignals();
  const std::vector<std::string> args(argv + 1, argv + argc);
  pallix::ExportToolSetting setting;
  setting.showProgress = isatty(STDERR_FILENO) != 0;
  setting.leaveMemoryToExit = true;
  const int status = pallix::RunExportTool(args, stdout, stderr, setting);
  // Every file is complete; freeing a large scene piece by piece would only cost time.
  std::fflush(stdout);
  std::fflush(stderr);
#ifdef PALLIX_PROFILE_TRAINING
  __gcov_dump();  // _Exit skips the profile's own writing at exit
#endif
  std::_Exit(status);
}
