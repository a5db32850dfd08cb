#include "PluginCommand.h"

#include <exception>
#include <memory>
#include <new>
#include <stdexcept>

#include "BasicFn.h"
#include "ErrorBoxFn.h"
#include "FloatStateCl.h"
#include "ZROgreMeshExporterCl.h"
#include "ZROptionsControllerCl.h"
#include "uPlugin.h"

namespace pallix {

void CopyOptions(const ZROptionsControllerT& options, ZROgreMeshExporterT& exporter) {
  exporter.scale = options.scale();
  exporter.exportMaterials = options.exportMaterials();
  exporter.materialPath = options.materialPath();
  exporter.exportTextures = options.exportTextures();
  exporter.texturePath = options.texturePath();
  exporter.exportLightmaps = options.exportLightmaps();
  exporter.materialNamePrefix = options.materialNamePrefix();
  exporter.normalsToExport = options.normalsToExport();
  exporter.allowDynamicLighting = options.allowDynamicLighting();
}

void RunExportCommand() {
  // Numbers are converted with "." by the system's own routines whatever the locale, so
  // there is no decimal separator to set here.
  const auto controller = std::make_unique<ZROptionsControllerT>();
  controller->Execute();
  if (!controller->Accepted()) return;
  const auto exporter = std::make_unique<ZROgreMeshExporterT>();
  CopyOptions(*controller, *exporter);
  exporter->Export(controller->FileName());
  // Both are released on every path out of here, failures included.
}

void RunPluginCommand() {
  const TExportFloatScope floatState;
  // The host is not C++: no exception may leave the library. The run has released everything
  // by the time an error arrives here, so the progress window is already gone.
  try {
    if (!GetHostCallback()) Raise(kNoHostCallback);
    RunExportCommand();
  } catch (const std::bad_alloc&) {
    ShowErrorBox(kNotEnoughMemory);
  } catch (const std::length_error&) {
    // A size beyond what a container can hold: the same to a level designer.
    ShowErrorBox(kNotEnoughMemory);
  } catch (const std::exception& e) {
    ShowErrorBox(e.what());
  } catch (...) {
    ShowErrorBox(kUnknownError);
  }
}

}  // namespace pallix
