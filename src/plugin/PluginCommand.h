// The command behind PluginExecute, and the texts the descriptive exports return.
#pragma once

namespace pallix {

class ZROptionsControllerT;
class ZROgreMeshExporterT;

inline constexpr char kPluginName[] = "Pallix";
inline constexpr char kPluginDescription[] = "Ogre .mesh and .xml exporter";
inline constexpr char kPluginKorvelVersion[] = "1.6";
inline constexpr char kPluginVersion[] = "2.0";
inline constexpr char kPluginAuthor[] = "The Pallix developers";
inline constexpr char kPluginEmail[] = "pallix@example.org";

inline constexpr char kNoHostCallback[] = "No host callback registered.";
inline constexpr char kUnknownError[] = "Unknown error.";
inline constexpr char kNotEnoughMemory[] = "Not enough memory to export this level.";

// One whole export: options window, scene request, conversion, files. Raises the run's
// errors after releasing everything it created; nothing is kept between calls.
void RunExportCommand();

// What PluginExecute runs: RunExportCommand behind the library's error boundary, in the
// export's own floating-point state (the host's is restored on return). Without a registered
// callback, or when the run fails, the message is shown (ShowErrorBox) and the call returns
// normally; running out of memory is told as kNotEnoughMemory.
void RunPluginCommand();

// Copies the nine options from the controller into the exporter, in their fixed order.
// Raises the scale conversion's error.
void CopyOptions(const ZROptionsControllerT& options, ZROgreMeshExporterT& exporter);

}  // namespace pallix
