#include "ExportTool.h"

#include <signal.h>
#include <sys/stat.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstring>
#include <exception>
#include <filesystem>
#include <memory>
#include <optional>
#include <string_view>
#include <thread>
#include <unordered_map>

#include "BasicFn.h"
#include "Batch.h"
#include "FileHost.h"
#include "OutputChecks.h"
#include "PluginCommand.h"
#include "ProgressFm.h"
#include "Report.h"
#include "SystemFn.h"
#include "ZROgreMeshExporterCl.h"
#include "ZROptionsControllerCl.h"

namespace pallix {

namespace {

constexpr char kProgram[] = "pallix-export";
constexpr char kUsage[] =
    "usage: pallix-export [options] SCENE OUTPUT\n"
    "       pallix-export [options] --out-dir DIR SCENE...\n";
constexpr char kHelp[] =
    "Exports a saved Korvel scene document as an OGRE mesh (OUTPUT ending in .xml: XML mesh,\n"
    "otherwise binary mesh), with its material script and texture files. With --out-dir, exports\n"
    "each SCENE to DIR/NAME.mesh (NAME: the scene file's name without its extension).\n"
    "\n"
    "  --out-dir DIR               batch: every SCENE into DIR, each in a process of its own\n"
    "  --jobs N                    with --out-dir: scenes exported at a time (default: the\n"
    "                              number of processors)\n"
    "  --xml                       with --out-dir: XML meshes, DIR/NAME.xml\n"
    "  --report FILE               write a JSON account of the run: per scene the outcome,\n"
    "                              the files written with their sizes, the counts\n"
    "  --strict                    a texture that cannot be copied fails the scene\n"
    "  --scale X                   scale factor for vertex positions (default 1)\n"
    "  --normals none|face|smooth  normals to export (default face)\n"
    "  --no-materials              write no material script\n"
    "  --material-path DIR         material script folder, relative to OUTPUT's folder\n"
    "                              (to DIR with --out-dir)\n"
    "  --no-textures               copy no texture files\n"
    "  --texture-path DIR          texture folder, relative to OUTPUT's folder (to DIR)\n"
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
    "Exit status: 0 done, 1 export failed (in a batch: any scene), 2 usage error.\n";

struct UsageError {
  std::string message;
};

struct Flags {
  std::optional<std::string> scale, materialPath, texturePath, prefix, texturesFrom, installDir, optionsFile;
  std::optional<std::string> outDir, report;
  std::optional<std::size_t> jobs;
  bool xml = false;
  bool strict = false;
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
    } else if (name == "--out-dir") {
      flags.outDir = value();
    } else if (name == "--jobs") {
      const std::string jobs = value();
      std::size_t n = 0;
      const auto [end, error] = std::from_chars(jobs.data(), jobs.data() + jobs.size(), n);
      if (error != std::errc() || end != jobs.data() + jobs.size() || n == 0) {
        throw UsageError{Format("invalid value '%s' for %s", {jobs, name})};
      }
      flags.jobs = n;
    } else if (name == "--xml") {
      flag(flags.xml);
    } else if (name == "--report") {
      flags.report = value();
    } else if (name == "--strict") {
      flag(flags.strict);
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
  if (flags.outDir) {
    if (flags.positional.empty()) throw UsageError{"expected SCENE... after --out-dir DIR"};
  } else if (flags.jobs || flags.xml) {
    throw UsageError{"--jobs and --xml go with --out-dir"};
  } else if (flags.positional.size() != 2) {
    throw UsageError{"expected SCENE and OUTPUT"};
  }
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

// Each file once, however often the run wrote it; textures are the files other than the mesh
// and the script.
void Record(const ZROgreMeshExporterT& exporter, const std::string& meshFile, const std::string& script,
            ExportOutcome& outcome) {
  if (exporter.SubMeshes) {
    outcome.SubMeshes = exporter.SubMeshes->size();
    for (const auto& sub : *exporter.SubMeshes) {
      outcome.Vertices += sub->Vertices.size();
      outcome.Faces += sub->Faces.size();
    }
  }
  outcome.FilesWritten.clear();
  outcome.TexturesWritten = 0;
  std::unordered_map<std::string, std::size_t> seen;
  for (const auto& file : exporter.FilesWritten) {
    const auto [at, added] = seen.try_emplace(file.FileName, outcome.FilesWritten.size());
    if (!added) {
      outcome.FilesWritten[at->second].Size = file.Size;
      continue;
    }
    outcome.FilesWritten.push_back(file);
    if (file.FileName != meshFile && file.FileName != script) ++outcome.TexturesWritten;
  }
  outcome.TexturesNotCopied = exporter.TexturesNotCopied;
  outcome.TextureOrigins.clear();
  const std::string folder =
      ZROgreMeshExporterT::ResolveFolder(exporter.texturePath, ExtractFilePath(meshFile));
  for (const auto& texture : exporter.Textures) {
    const std::string target = folder + TextureFileName(*texture);
    if (texture->OutputName.empty() || !seen.contains(target)) continue;
    std::string origin = "colour " + IntToStr(texture->Color);
    if (!texture->IsColorTexture) {
      struct stat source {};
      if (stat(exporter.TextureSourceFileName(*texture).c_str(), &source) != 0) continue;
      origin = "file " + std::to_string(source.st_dev) + ":" + std::to_string(source.st_ino);
    }
    outcome.TextureOrigins.emplace_back(target, origin);
  }
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

void ExportScene(const Flags& flags, const ExportToolSetting& setting, const std::string& sceneFile,
                 const std::string& outputFile, IProgressView& view, ExportOutcome& outcome) {
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
  auto exporter = std::make_unique<ZROgreMeshExporterT>(std::make_unique<ForwardingView>(view));
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
    Record(*exporter, meshFile, script, outcome);
    throw;
  }
  Record(*exporter, meshFile, script, outcome);
  outcome.Materials = exporter->exportMaterials && exporter->Materials ? exporter->Materials->size() : 0;
  if (setting.leaveMemoryToExit) {
    static_cast<void>(exporter.release());  // deliberately never freed: the process ends next
  }
  exporter.reset();
}

// One scene's export with everything it has to say: messages after "pallix-export: " and the
// label (the scene in a batch), the summary, the report's object. Usage errors propagate.
SceneResult RunScene(const Flags& flags, const ExportToolSetting& setting, const std::string& sceneFile,
                     const std::string& outputFile, const std::string& label, IProgressView* view) {
  const std::string says = std::string(kProgram) + ": " + label;
  SceneReport report;
  report.Input = sceneFile;
  report.Output = outputFile;
  SceneResult result;
  const auto start = std::chrono::steady_clock::now();
  try {
    // The terminal's line ends before anything else is printed.
    std::optional<TProgressForm> terminal;
    if (!view) view = &terminal.emplace(setting.showProgress && !flags.quiet);
    ExportScene(flags, setting, sceneFile, outputFile, *view, report.Outcome);
    report.Ok = true;
  } catch (const Error& e) {
    report.Message = e.what();
    report.Reason = e.Reason();
  } catch (const std::exception& e) {
    report.Message = e.what();
  } catch (const UsageError& e) {
    if (label.empty()) throw;
    report.Message = e.message;  // in a batch it is this scene's failure
  } catch (...) {
    report.Message = "unexpected failure";
  }
  report.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const auto& missing = report.Outcome.TexturesNotCopied;
  if (report.Ok && flags.strict && !missing.empty()) {
    report.Ok = false;
    report.Message = Counted(missing.size(), "texture", "textures") + " not copied";
  }
  for (const auto& texture : missing) {
    result.Err +=
        Format("%s%stexture %s not copied to %s (%s)\n",
               {says, flags.strict ? "" : "warning: ", texture.Source, texture.Target, texture.Reason});
  }
  if (!report.Ok) {
    result.Status = kExitFailed;
    result.Err += says + report.Message + "\n";
    if (!report.Reason.empty()) result.Err += says + "(" + report.Reason + ")\n";
  } else if (!flags.quiet) {
    result.Out = label + Summary(report.Outcome) + "\n";
  }
  result.Json = SceneJson(report);
  for (const auto& [file, origin] : report.Outcome.TextureOrigins) {
    result.TextureOrigins.append(file).append(1, '\0').append(origin).append(1, '\0');
  }
  return result;
}

// Batch: each scene into outDir under its own name. Two scenes of one name (letter case aside,
// as Windows compares file names) would write the same files: the later one fails instead.
int RunBatch(const Flags& flags, const ExportToolSetting& setting, std::FILE* out, std::FILE* err,
             std::vector<std::string>& reports) {
  const std::vector<std::string>& scenes = flags.positional;
  std::string dir = *flags.outDir;
  if (!dir.empty() && dir.back() != '/') dir += '/';
  std::error_code ignored;  // a folder that cannot be made shows up when the mesh file is created
  std::filesystem::create_directories(dir, ignored);
  std::vector<std::string> outputs, labels;
  std::vector<std::size_t> firstOfName;
  std::unordered_map<std::string, std::size_t> names;
  for (std::size_t i = 0; i < scenes.size(); ++i) {
    const std::string name = ChangeFileExt(ExtractFileName(scenes[i]), "");
    outputs.push_back(dir + name + (flags.xml ? ".xml" : ".mesh"));
    labels.push_back(scenes[i] + ": ");
    firstOfName.push_back(names.try_emplace(LowerCase(name), i).first->second);
  }
  ExportToolSetting child = setting;
  child.leaveMemoryToExit = true;  // each child process ends right after its scene
  const auto lost = [&](std::size_t i, const std::string& message) {
    SceneReport report;
    report.Input = scenes[i];
    report.Output = outputs[i];
    report.Message = message;
    return SceneResult{kExitFailed, "", std::string(kProgram) + ": " + labels[i] + message + "\n",
                       SceneJson(report), ""};
  };
  const SceneTask task = [&](std::size_t i, IProgressView& view) {
    if (const std::size_t first = firstOfName[i]; first != i) {
      return lost(i, Format("Not writing %s: %s has the same name", {outputs[i], scenes[first]}));
    }
    return RunScene(flags, child, scenes[i], outputs[i], labels[i], &view);
  };
  // Scenes may share a texture file (the same source, the same colour); one made from something
  // else under the same name fails the later scene, whatever order they ran in.
  std::unordered_map<std::string, std::pair<std::size_t, std::string>> textureFiles;
  const auto settle = [&](std::size_t i, SceneResult& result) {
    std::string message;
    for (std::size_t at = 0; at < result.TextureOrigins.size();) {
      const std::size_t end = result.TextureOrigins.find('\0', at);
      const std::size_t originEnd = result.TextureOrigins.find('\0', end + 1);
      std::string file = result.TextureOrigins.substr(at, end - at);
      std::string origin = result.TextureOrigins.substr(end + 1, originEnd - end - 1);
      at = originEnd + 1;
      const auto [claim, added] = textureFiles.try_emplace(file, i, origin);
      if (added || claim->second.second == origin || !message.empty()) continue;
      message = Format("Texture file %s was written by %s too, from another texture: it holds either one",
                       {file, scenes[claim->second.first]});
    }
    if (message.empty() || result.Status != kExitOk) return;
    result.Status = kExitFailed;
    result.Out.clear();
    result.Err += std::string(kProgram) + ": " + labels[i] + message + "\n";
    const std::string ok = "\"outcome\": \"ok\"";  // a quote in a name is escaped: only the key matches
    result.Json.replace(result.Json.find(ok), ok.size(),
                        "\"outcome\": \"failed\",\n      \"message\": " + JsonString(message));
  };
  const std::size_t jobs = flags.jobs.value_or(std::max(1u, std::thread::hardware_concurrency()));
  const std::vector<SceneResult> results =
      RunInProcesses(scenes, jobs, task, lost, settle, out, err, setting.showProgress && !flags.quiet);
  std::size_t failed = 0;
  for (const SceneResult& result : results) {
    reports.push_back(result.Json);
    if (result.Status != kExitOk) ++failed;
  }
  if (failed == 0) return kExitOk;
  std::fprintf(err, "%s: %s of %s failed\n", kProgram, IntToStr(static_cast<std::int64_t>(failed)).c_str(),
               Counted(scenes.size(), "scene", "scenes").c_str());
  return kExitFailed;
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
  std::vector<std::string> reports;
  int status = kExitOk;
  if (flags.outDir) {
    status = RunBatch(flags, setting, out, err, reports);
  } else {
    SceneResult result;
    try {
      result = RunScene(flags, setting, flags.positional[0], flags.positional[1], "", nullptr);
    } catch (const UsageError& e) {
      std::fprintf(err, "%s: %s\n%s", kProgram, e.message.c_str(), kUsage);
      return kExitUsage;
    }
    std::fputs(result.Err.c_str(), err);
    std::fputs(result.Out.c_str(), out);
    status = result.Status;
    reports.push_back(result.Json);
  }
  if (flags.report) {
    try {
      for (const std::string& scene : flags.positional)
        CheckNotAnInput(*flags.report, scene, "the scene document");
      WriteReport(*flags.report, status, reports);
    } catch (const Error& e) {
      std::fprintf(err, "%s: %s\n", kProgram, e.what());
      if (!e.Reason().empty()) std::fprintf(err, "%s: (%s)\n", kProgram, e.Reason().c_str());
      status = kExitFailed;
    }
  }
  return status;
}

}  // namespace pallix
