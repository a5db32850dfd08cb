#include "ExportTool.h"

#include <signal.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <exception>
#include <memory>
#include <optional>
#include <string_view>

#include "BasicFn.h"
#include "FileHost.h"
#include "OutputChecks.h"
#include "PluginCommand.h"
#include "ProgressFm.h"
#include "SystemFn.h"
#include "ZROgreMeshExporterCl.h"
#include "ZROptionsControllerCl.h"

namespace pallix {

namespace {

constexpr char kProgram[] = "pallix-export";
constexpr char kUsage[] = "usage: pallix-export [options] SCENE OUTPUT\n";
constexpr char kHelp[] =
    "Exports a saved Korvel scene document as an OGRE mesh (OUTPUT ending in .xml: XML mesh,\n"
    "otherwise binary mesh), with its material script and texture files.\n"
    "\n"
    "  --scale X                   scale factor for vertex positions (default 1)\n"
    "  --normals none|face|smooth  normals to export (default face)\n"
    "  --no-materials              write no material script\n"
    "  --material-path DIR         material script folder, relative to OUTPUT's folder\n"
    "  --no-textures               copy no texture files\n"
    "  --texture-path DIR          texture folder, relative to OUTPUT's folder\n"
    "  --no-lightmaps              leave lightmaps out\n"
    "  --prefix TEXT               material name prefix (default empty)\n"
    "  --dynamic-lighting all|unlit  dynamic lighting for all materials, or only for those\n"
    "                              without a lightmap (default unlit)\n"
    "  --textures-from DIR         folder the scene's texture names are relative to\n"
    "                              (default SCENE's folder)\n"
    "  --install-dir DIR           instead: editor install folder whose Korvel.ini names it\n"
    "  --options FILE              take the options from a plug-in options file; flags win\n"
    "  --mesh-version V            binary mesh format as OgreMeshUpgrader -V names it: 1.0\n"
    "                              (default, as the plug-in writes), 1.7, 1.8 or 1.10\n"
    "  --32bit-indices             binary submeshes over 65536 vertices get 32-bit indices\n"
    "                              instead of failing the export\n"
    "  --force                     replace an existing OUTPUT that is not an OGRE mesh\n"
    "  --quiet                     no progress and no summary\n"
    "  -h, --help, --version\n"
    "\n"
    "Exit status: 0 done, 1 export failed, 2 usage error.\n";

struct UsageError {
  std::string message;
};

struct Flags {
  std::optional<std::string> scale, materialPath, texturePath, prefix, texturesFrom, installDir, optionsFile;
  std::optional<bool> materials, textures, lightmaps;
  std::optional<std::int32_t> normals, dynamicLighting;
  TMeshVersion meshVersion = TMeshVersion::V1_0;
  bool wideIndices = false;
  bool quiet = false;
  bool force = false;
  bool help = false;
  bool version = false;
  std::vector<std::string> positional;
};

std::int32_t Choice(std::string_view option, const std::string& value,
                    std::initializer_list<std::string_view> names) {
  std::int32_t index = 0;
  for (const std::string_view name : names) {
    if (value == name) return index;
    ++index;
  }
  throw UsageError{Format("invalid value '%s' for %s", {value, option})};
}

TMeshVersion MeshVersionChoice(std::string_view option, const std::string& value) {
  for (std::size_t i = 0; i < kMeshVersionNames.size(); ++i) {
    if (value == kMeshVersionNames[i]) return static_cast<TMeshVersion>(i);
  }
  throw UsageError{Format("invalid value '%s' for %s", {value, option})};
}

Flags ParseArgs(const std::vector<std::string>& args) {
  Flags flags;
  bool optionsDone = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsDone || arg.size() < 2 || arg[0] != '-') {
      flags.positional.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsDone = true;
      continue;
    }
    std::string name = arg;
    std::optional<std::string> inlineValue;
    if (const std::size_t eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
      name = arg.substr(0, eq);
      inlineValue = arg.substr(eq + 1);
    }
    auto value = [&]() -> std::string {
      if (inlineValue) return *inlineValue;
      if (i + 1 >= args.size()) throw UsageError{Format("option %s needs a value", {name})};
      return args[++i];
    };
    auto flag = [&](bool& target) {
      if (inlineValue) throw UsageError{Format("option %s takes no value", {name})};
      target = true;
    };
    auto negative = [&](std::optional<bool>& target) {
      if (inlineValue) throw UsageError{Format("option %s takes no value", {name})};
      target = false;
    };
    if (name == "--scale") {
      flags.scale = value();
      float ignored;
      if (!TryTextToFloat(*flags.scale, ignored)) {
        throw UsageError{Format("'%s' is not a valid floating point value", {*flags.scale})};
      }
    } else if (name == "--normals") {
      flags.normals = Choice(name, value(), {"none", "face", "smooth"});
    } else if (name == "--no-materials") {
      negative(flags.materials);
    } else if (name == "--material-path") {
      flags.materialPath = value();
    } else if (name == "--no-textures") {
      negative(flags.textures);
    } else if (name == "--texture-path") {
      flags.texturePath = value();
    } else if (name == "--no-lightmaps") {
      negative(flags.lightmaps);
    } else if (name == "--prefix") {
      flags.prefix = value();
    } else if (name == "--dynamic-lighting") {
      flags.dynamicLighting = Choice(name, value(), {"all", "unlit"});
    } else if (name == "--textures-from") {
      flags.texturesFrom = value();
    } else if (name == "--install-dir") {
      flags.installDir = value();
    } else if (name == "--options") {
      flags.optionsFile = value();
    } else if (name == "--mesh-version") {
      flags.meshVersion = MeshVersionChoice(name, value());
    } else if (name == "--32bit-indices") {
      flag(flags.wideIndices);
    } else if (name == "--quiet") {
      flag(flags.quiet);
    } else if (name == "--force") {
      flag(flags.force);
    } else if (name == "--help" || name == "-h") {
      flag(flags.help);
    } else if (name == "--version") {
      flag(flags.version);
    } else {
      throw UsageError{Format("unknown option %s", {name})};
    }
  }
  if (flags.help || flags.version) return flags;
  if (flags.positional.size() != 2) throw UsageError{"expected SCENE and OUTPUT"};
  if (flags.texturesFrom && flags.installDir) {
    throw UsageError{"--textures-from and --install-dir exclude each other"};
  }
  return flags;
}

// The options window's values as the flags and the options file set them; the plug-in's
// own getters then turn them into the exporter's options.
void ApplyFlags(const Flags& flags, TOptionsForm& form) {
  if (flags.scale) form.edScale = *flags.scale;
  if (flags.materials) form.SetExportMaterials(*flags.materials);
  if (flags.materialPath) form.edMaterialPath = *flags.materialPath;
  if (flags.textures) form.SetExportTextures(*flags.textures);
  if (flags.texturePath) form.edTexturePath = *flags.texturePath;
  if (flags.lightmaps) form.SetExportLightmaps(*flags.lightmaps);
  if (flags.prefix) form.edMaterialNamePrefix = *flags.prefix;
  if (flags.normals) form.cbNormalsToExport = *flags.normals;
  if (flags.dynamicLighting) form.cbAllowDynamicLighting = *flags.dynamicLighting;
}

std::string Counted(std::size_t n, std::string_view one, std::string_view many) {
  return IntToStr(static_cast<std::int64_t>(n)) + " " + std::string(n == 1 ? one : many);
}

std::string Summary(const ExportOutcome& outcome) {
  return Counted(outcome.SubMeshes, "submesh", "submeshes") + ", " +
         Counted(outcome.Vertices, "vertex", "vertices") + ", " + Counted(outcome.Faces, "face", "faces") +
         ", " + Counted(outcome.Materials, "material", "materials") + ", " +
         Counted(outcome.TexturesWritten, "texture", "textures") + " written";
}

void Record(const ZROgreMeshExporterT& exporter, ExportOutcome& outcome) {
  if (exporter.SubMeshes) {
    outcome.SubMeshes = exporter.SubMeshes->size();
    for (const auto& sub : *exporter.SubMeshes) {
      outcome.Vertices += sub->Vertices.size();
      outcome.Faces += sub->Faces.size();
    }
  }
  outcome.FilesWritten = exporter.FilesWritten;
  outcome.TexturesNotCopied = exporter.TexturesNotCopied;
  outcome.TexturesWritten = static_cast<std::size_t>(exporter.TexturesWritten);
}

// OUTPUT must be a file the mesh can replace; nothing is read or written otherwise.
void CheckOutputKind(const std::string& outputFile) {
  if (outputFile == "-") throw UsageError{"OUTPUT must name a file: the mesh cannot go to standard output"};
  switch (KindOfOutput(outputFile)) {
    case OutputKind::Special:
      throw UsageError{Format("OUTPUT %s is neither a regular file nor a folder", {outputFile})};
    case OutputKind::Folder:
      RaiseWithReason(std::strerror(EISDIR), "Cannot create file %s", {outputFile});
    case OutputKind::Loop:
      RaiseWithReason(std::strerror(ELOOP), "Cannot create file %s", {outputFile});
    case OutputKind::Absent:
    case OutputKind::File:
      break;
  }
}

// The mesh file and the material script never replace what the export reads.
void CheckNotAnInput(const std::string& output, const std::string& input, std::string_view what) {
  if (!output.empty() && sys::SameFile(output, input)) {
    Raise("Not writing %s: it is %s %s", {output, what, input});
  }
}

// Lets the tool keep the terminal view (and its closing line break) when it leaves the
// exporter to the end of the process.
class ForwardingView : public IProgressView {
 public:
  explicit ForwardingView(IProgressView& target) : target_(target) {}
  void Show() override { target_.Show(); }
  void SetText(std::string_view text) override { target_.SetText(text); }
  void SetPosition(std::int32_t position) override { target_.SetPosition(position); }

 private:
  IProgressView& target_;
};

void ExportScene(const Flags& flags, const ExportToolSetting& setting, ExportOutcome& outcome) {
  const std::string& sceneFile = flags.positional[0];
  const std::string& outputFile = flags.positional[1];
  CheckOutputKind(outputFile);
  ZROptionsControllerT options;
  TOptionsForm& form = options.Form();
  if (flags.optionsFile) {
    if (!sys::FileExists(*flags.optionsFile)) Raise("Options file %s not found", {*flags.optionsFile});
    options.LoadOptionsFrom(*flags.optionsFile);
  } else {
    form.edMaterialNamePrefix.clear();  // the window suggests "Test/"; pipelines start empty
  }
  ApplyFlags(flags, form);
  form.edFileName = outputFile;
  if (!sys::FileExists(sceneFile)) Raise("Scene file %s not found", {sceneFile});

  // The host answers the install-directory request with --install-dir, and the exporter then
  // reads that folder's Korvel.ini like the plug-in does. Otherwise there is no editor whose
  // settings could name the texture folder, so the exporter is given it directly.
  const TFileHost host(sceneFile, flags.installDir.value_or(""));
  std::optional<TProgressForm> terminal(std::in_place, setting.showProgress && !flags.quiet);
  auto exporter = std::make_unique<ZROgreMeshExporterT>(std::make_unique<ForwardingView>(*terminal));
  CopyOptions(options, *exporter);
  exporter->meshVersion = flags.meshVersion;
  exporter->allow32BitIndices = flags.wideIndices;
  if (!flags.installDir) {
    std::string folder = flags.texturesFrom ? *flags.texturesFrom : std::string(ExtractFilePath(sceneFile));
    if (!folder.empty() && folder.back() != '/' && folder.back() != '\\') folder += '/';
    exporter->TextureSourceFolder = folder;
  }

  // Everything the run would replace is looked at before anything is written.
  const std::string meshFile = options.FileName();
  const std::string script = exporter->exportMaterials ? exporter->MaterialFileName(meshFile) : std::string();
  CheckNotAnInput(meshFile, sceneFile, "the scene document");
  CheckNotAnInput(script, sceneFile, "the scene document");
  if (!flags.force && KindOfOutput(meshFile) == OutputKind::File && !IsOgreMeshFile(meshFile)) {
    Raise("Not replacing %s: it is not an OGRE mesh file (--force replaces it)", {meshFile});
  }
  try {
    exporter->PrepareScene();
    for (const auto& texture : exporter->Textures) {
      if (!exporter->CopiesTexture(*texture)) continue;
      const std::string source = exporter->TextureSourceFileName(*texture);
      CheckNotAnInput(meshFile, source, "the texture file");
      CheckNotAnInput(script, source, "the texture file");
    }
    exporter->Export(meshFile);
  } catch (...) {
    Record(*exporter, outcome);
    throw;
  }
  Record(*exporter, outcome);
  outcome.Materials = exporter->exportMaterials && exporter->Materials ? exporter->Materials->size() : 0;
  if (setting.leaveMemoryToExit) {
    static_cast<void>(exporter.release());  // deliberately never freed: the process ends next
  }
  exporter.reset();
  terminal.reset();  // the progress line ends before anything else is printed
}

}  // namespace

extern "C" void RemoveTemporariesAndEnd(int sig) {
  sys::RemoveTemporaries();
  // The handler was reset to the default on entry: the signal ends the process as it would have.
  raise(sig);
}

void RemoveTemporariesOnSignals() {
  for (const int sig : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction now {};
    if (sigaction(sig, nullptr, &now) != 0 || now.sa_handler == SIG_IGN) continue;
    struct sigaction handler {};
    handler.sa_handler = &RemoveTemporariesAndEnd;
    sigemptyset(&handler.sa_mask);
    handler.sa_flags = SA_RESETHAND;
    sigaction(sig, &handler, nullptr);
  }
}

int RunExportTool(const std::vector<std::string>& args, std::FILE* out, std::FILE* err,
                  const ExportToolSetting& setting) {
  Flags flags;
  try {
    flags = ParseArgs(args);
  } catch (const UsageError& e) {
    std::fprintf(err, "%s: %s\n%s", kProgram, e.message.c_str(), kUsage);
    return kExitUsage;
  }
  if (flags.help) {
    std::fprintf(out, "%s%s", kUsage, kHelp);
    return kExitOk;
  }
  if (flags.version) {
    std::fprintf(out, "%s %s\n", kProgram, kPluginVersion);
    return kExitOk;
  }
  ExportOutcome outcome;
  int status = kExitOk;
  std::string failure;
  try {
    ExportScene(flags, setting, outcome);
  } catch (const UsageError& e) {
    std::fprintf(err, "%s: %s\n%s", kProgram, e.message.c_str(), kUsage);
    return kExitUsage;
  } catch (const Error& e) {
    status = kExitFailed;
    failure = Format("%s: %s\n", {kProgram, e.what()});
    if (!e.Reason().empty()) failure += Format("%s: (%s)\n", {kProgram, e.Reason()});
  } catch (const std::exception& e) {
    status = kExitFailed;
    failure = Format("%s: %s\n", {kProgram, e.what()});
  } catch (...) {
    status = kExitFailed;
    failure = Format("%s: unexpected failure\n", {kProgram});
  }
  for (const auto& texture : outcome.TexturesNotCopied) {
    std::fprintf(err, "%s: warning: texture %s not copied to %s (%s)\n", kProgram, texture.Source.c_str(),
                 texture.Target.c_str(), texture.Reason.c_str());
  }
  std::fputs(failure.c_str(), err);
  if (status == kExitOk && !flags.quiet) std::fprintf(out, "%s\n", Summary(outcome).c_str());
  return status;
}

}  // namespace pallix
