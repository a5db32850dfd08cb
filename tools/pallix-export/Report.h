// The machine-readable account of a run (--report): per scene what was read, what came of it,
// every file written with its size, the counts and the textures that could not be copied.
// docs/export-report.schema.json describes the document.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "ExportTool.h"

namespace pallix {

struct SceneReport {
  std::string Input;
  std::string Output;  // the mesh file asked for
  bool Ok = false;
  std::string Message;  // why it failed
  std::string Reason;   // the system's words for a failed file operation, if any
  ExportOutcome Outcome;
  double Seconds = 0;
};

// A JSON string literal of text. Bytes that are no valid UTF-8 become U+FFFD, so the report
// stays readable whatever a file name holds.
std::string JsonString(std::string_view text);

// One scene's object.
std::string SceneJson(const SceneReport& scene);

// Writes the report document around the scenes' objects, safely (a temporary renamed into
// place). Raises the file's error.
void WriteReport(const std::string& fileName, int status, const std::vector<std::string>& sceneObjects);

}  // namespace pallix
