// The editor's side of the plug-in contract, for tests: it loads the library, registers a
// callback that answers the scene request from a scene document file and the
// install-directory request with a folder, and calls PluginExecute.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

#include "uPlugin.h"

namespace testhost {

class StandInEditor {
 public:
  StandInEditor();
  ~StandInEditor();

  // Answers: the scene document's text, and the install directory (a folder holding Korvel.ini).
  std::string sceneDocument;
  std::string installDirectory;
  // Status returned to the length query of the scene request (0: answer normally).
  LONG sceneStatus = 0;
  // Called inside the callback, on the plug-in's thread, before every answer (e.g. screenshots).
  void (*onRequest)(StandInEditor& editor, const std::string& request) = nullptr;
  // Called when the plug-in disables one of the editor's windows.
  void (*onDisabled)(StandInEditor& editor, HWND window) = nullptr;

  // The editor's own visible main windows, the last one active; destroyed with the editor.
  void OpenWindows(int count);
  std::vector<HWND> windows;
  bool AllWindowsEnabled() const;

  // Every callback call, in order: mode and request text.
  struct Call {
    LONG mode;
    std::string request;
  };
  std::vector<Call> calls;
  int SceneRequests() const;
  int InstallRequests() const;

  void Register();  // registers the callback (replacing whatever was registered before)
  void Unregister();
  void Execute();  // PluginExecute

  HMODULE dll = nullptr;

 private:
  static std::int32_t __stdcall Callback(pallix::HostCallbackRecord* record);
  // The answer being handed over: the editor's own document is not copied for it.
  std::string installAnswer_;
  std::string_view pending_;
};

// The library's folder and options file (Pallix.ini beside Pallix.dll).
std::string OptionsFilePath();
bool ReadFile(const std::string& path, std::string& text);
bool WriteFile(const std::string& path, const std::string& text);
bool FileExists(const std::string& path);

}  // namespace testhost
