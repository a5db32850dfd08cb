// What the scenario files share: the plug-in's window names, the options as typed, and
// running PluginExecute while a driver thread works the windows.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "StandInEditor.h"
#include "TestHost.h"
#include "WindowDriver.h"

namespace testhost {

inline constexpr char kOptionsClass[] = "TOptionsForm";
inline constexpr char kOptionsTitle[] = "Pallix (Version 2.0)";
inline constexpr char kProgressClass[] = "TProgressForm";

// Sets the form's controls as the user would.
struct Typed {
  std::string fileName, scale = "1", materialPath, texturePath, prefix = "Test/";
  bool materials = true, textures = true, lightmaps = true;
  int lighting = 1, normals = 1;
};

Typed TypedFromArgs(const Args& args);
// The ten keys in the order the plug-in writes them.
std::vector<std::pair<std::string, std::string>> OptionEntries(const Typed& t);
// A fresh options file holding `t`.
void WriteOptions(const Typed& t);

// Ends whatever is still open so a failed scenario cannot hang: boxes first, then the form.
void Rescue();
// Waits for the plug-in's error box, checks it, closes it.
void ExpectErrorBox(const std::string& message);

// Runs PluginExecute on this thread while `drive` works the windows from another; `done`, when
// given, is set once PluginExecute has returned.
template <typename Context>
void ExecuteWithDriver(StandInEditor& editor, Context& context, void (*drive)(Context&),
                       volatile LONG* done = nullptr) {
  SetUiThread(GetCurrentThreadId());
  struct Box {
    Context* context;
    void (*drive)(Context&);
  } box{&context, drive};
  DriverThread driver(
      [](void* p) {
        auto* b = static_cast<Box*>(p);
        b->drive(*b->context);
      },
      &box);
  editor.Execute();
  if (done) InterlockedExchange(done, 1);
  driver.Join();
}

}  // namespace testhost
