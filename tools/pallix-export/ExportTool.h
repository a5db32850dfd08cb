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

// args excludes the program name. Messages go to err, the summary (and --help, --version)
// to out. showProgress: whether err is a terminal that should show the stages.
int RunExportTool(const std::vector<std::string>& args, std::FILE* out, std::FILE* err, bool showProgress);

}  // namespace pallix
