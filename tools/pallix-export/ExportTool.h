// pallix-export: exports a saved scene document as an OGRE mesh, material script and
// textures, through the very same exporter the editor plug-in runs.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

#include "ZROgreMeshExporterCl.h"

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

// What one scene's export did, as far as it got: the summary's counts, every file written
// with its size, every texture that could not be copied with the reason.
struct ExportOutcome {
  std::size_t SubMeshes = 0;
  std::size_t Vertices = 0;
  std::size_t Faces = 0;
  std::size_t Materials = 0;  // in the material script written
  std::size_t TexturesWritten = 0;
  std::vector<ZROgreMeshExporterT::WrittenFile> FilesWritten;
  std::vector<ZROgreMeshExporterT::TextureNotCopied> TexturesNotCopied;
  // Each texture file written and what it was made from ("colour N" or the source file's
  // device and inode): scenes of a batch share a texture file only when these agree.
  std::vector<std::pair<std::string, std::string>> TextureOrigins;
};

// From now on SIGINT, SIGTERM and SIGHUP first remove the temporaries of files in the making,
// then end the process as the signal would have. Signals ignored at the start stay ignored.
void RemoveTemporariesOnSignals();

// args excludes the program name. Messages go to err, the summary (and --help, --version)
// to out.
int RunExportTool(const std::vector<std::string>& args, std::FILE* out, std::FILE* err,
                  const ExportToolSetting& setting = {});

}  // namespace pallix
