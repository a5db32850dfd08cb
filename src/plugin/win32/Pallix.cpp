// The library's eight entry points, exported by plain name with fixed ordinals (Pallix.def).
#include <windows.h>

#include "PluginCommand.h"
#include "uPlugin.h"

extern "C" {

void __stdcall PluginExecute() { pallix::RunPluginCommand(); }

void __stdcall PluginSetCallback(pallix::HostCallback callback) {
  pallix::SetHostCallback(callback);
}

const char* __stdcall PluginEmail() { return pallix::kPluginEmail; }
const char* __stdcall PluginAuthor() { return pallix::kPluginAuthor; }
const char* __stdcall PluginVersion() { return pallix::kPluginVersion; }
const char* __stdcall PluginKorvelVersion() { return pallix::kPluginKorvelVersion; }
const char* __stdcall PluginDescription() { return pallix::kPluginDescription; }
const char* __stdcall PluginName() { return pallix::kPluginName; }

}  // extern "C"
