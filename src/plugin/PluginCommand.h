// The command behind PluginExecute, and the texts the descriptive exports return.
#pragma once

namespace pallix {

inline constexpr char kPluginName[] = "Pallix";
inline constexpr char kPluginDescription[] = "Ogre .mesh and .xml exporter";
inline constexpr char kPluginKorvelVersion[] = "1.6";
inline constexpr char kPluginVersion[] = "2.0";
inline constexpr char kPluginAuthor[] = "The Pallix developers";
inline constexpr char kPluginEmail[] = "pallix@example.org";

// One whole export: options window, scene request, conversion, files. Never throws.
void RunPluginCommand();

}  // namespace pallix
