// pallix-export: exports a saved scene document as an OGRE mesh, material script and
// textures, through the very same exporter the editor plug-in runs.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace pallix {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

struct ExportToolSetting {
  // Show the stages on standard error (the caller found it to be a terminal).
  bool showProgress = false;
  // The process ends right after the run: the exporter's memory is left to the system
  // instead of being freed piece by piece. The caller then must not run exit handlers.
  bool leaveMemoryToExit = false;
};

// args excludes the program name. Messages go to err, the summary (and --help, --version)
// to out.
int RunExportTool(const std::vector<std::string>& args, std::FILE* out, std::FILE* err,
                  const ExportToolSetting& setting = {});

}  // namespace pallix
