// Runs the scenes of a batch each in a process of its own, a given number at a time, so no
// scene's export can touch another's state (the host callback is one per process).
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "ZRProgressControllerCl.h"

namespace pallix {

// What one scene's run gives back: its exit status, the text for standard output and
// standard error, and its object for the report.
struct SceneResult {
  int Status = 0;
  std::string Out;
  std::string Err;
  std::string Json;
  // The scene's texture files, each followed by its origin, all ended by '\0'.
  std::string TextureOrigins;
};

// Runs in the child process; the view carries its stages to the parent.
using SceneTask = std::function<SceneResult(std::size_t index, IProgressView& view)>;

// Runs task(0) ... task(scenes.size() - 1), at most `jobs` at a time, and gives back their
// results in order; lost(index, message) stands in for a process that gave no result, and
// settle(index, result) sees each result when every earlier one is in. Each result's text is
// printed as soon as every earlier scene's is, so the output is the same whatever order the scenes end in.
// With `progress`, err is a terminal that shows the scenes done and the stage of each running one on a single
// line.
std::vector<SceneResult> RunInProcesses(
    const std::vector<std::string>& scenes, std::size_t jobs, const SceneTask& task,
    const std::function<SceneResult(std::size_t, const std::string&)>& lost,
    const std::function<void(std::size_t, SceneResult&)>& settle, std::FILE* out, std::FILE* err,
    bool progress);

}  // namespace pallix
