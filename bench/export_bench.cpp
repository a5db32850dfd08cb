// End-to-end export measurements on generated levels of 20, 100 and 400 MB and on 100,000 tiny
// primitives ("tiny"), each figure taken in the same run as its yardstick:
//   - pallix-export writing the binary mesh, material script and textures, against pugixml
//     parsing the same document in memory (target: at most 1.5 times);
//   - OgreXMLConverter turning our XML mesh of the level into a binary mesh, against our whole
//     export (target: ours at least 8 times faster);
//   - peak resident memory against the document's size (target: at most 2 times), of
//     pallix-export and of the library run as the editor runs it: the document answered from
//     the host's memory through the callback (the host's own copy is not counted);
//   - pallix-export with its progress on a terminal against --quiet (target: at most 5% more
//     on the 100 MB level; smaller levels show the few milliseconds its terminal writes cost).
// usage: export_bench --exporter PATH [--converter PATH] [--sizes 20,100,400,tiny] [--work DIR]
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <pugixml.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "HostAnswer.h"
#include "SceneGenerator.h"
#include "ZROgreMeshExporterCl.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
namespace scenegen = pallix::scenegen;
using Clock = std::chrono::steady_clock;

struct RunResult {
  double seconds = 0;  // wall clock
  double cpu = 0;      // user + system
  long peakKiB = 0;
  bool ok = false;
};

double Seconds(const timeval& t) {
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
}

// Runs a program with its output discarded and measures it. The peak resident set of a child
// starts at its parent's at the time of the spawn, so this runs in a fresh, small launcher
// process (this program started again with --run), never in the bench process itself.
// With onTerminal, standard error is a pseudo-terminal whose output is read and dropped.
RunResult Measure(char** argv, bool onTerminal) {
  int master = -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  if (onTerminal) {
    master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return {};
    posix_spawn_file_actions_addopen(&actions, 2, ptsname(master), O_RDWR, 0);
  } else {
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  }
  RunResult result;
  const auto start = Clock::now();
  pid_t pid;
  const bool spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv, environ) == 0;
  posix_spawn_file_actions_destroy(&actions);
  if (!spawned) return result;
  if (master >= 0) {
    // Until the child's side closes: read errors with EIO then.
    char buf[4096];
    for (pollfd p{master, POLLIN, 0}; poll(&p, 1, -1) > 0 && read(master, buf, sizeof buf) > 0;) {
    }
    close(master);
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  result.cpu = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
  result.peakKiB = usage.ru_maxrss;
  result.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return result;
}

std::string gSelf;

// The library as the editor runs it, in this process: the document held in memory and
// answered through the callback, the export of a binary mesh, its script and textures.
int RunLibrary(const std::string& scene, const std::string& output) {
  std::ifstream in(scene, std::ios::binary);
  std::string document((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  pallix::bench::ServeDocument(document);
  try {
    pallix::ZROgreMeshExporterT exporter;
    exporter.TextureSourceFolder = fs::path(scene).parent_path().string() + "/";
    exporter.Export(output);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  pallix::bench::StopServing();
  return 0;
}

RunResult RunProgram(const std::vector<std::string>& args, const char* mode = "--run") {
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return {};
  std::vector<std::string> launcher = {gSelf, mode};
  launcher.insert(launcher.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : launcher) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
  posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
  pid_t pid;
  const bool spawned = posix_spawn(&pid, gSelf.c_str(), &actions, nullptr, argv.data(), environ) == 0;
  posix_spawn_file_actions_destroy(&actions);
  close(pipeFds[1]);
  std::string report;
  char buf[256];
  for (ssize_t n; (n = read(pipeFds[0], buf, sizeof buf)) > 0;)
    report.append(buf, static_cast<std::size_t>(n));
  close(pipeFds[0]);
  RunResult result;
  if (!spawned) return result;
  int status = 0;
  waitpid(pid, &status, 0);
  int ok = 0;
  if (std::sscanf(report.c_str(), "%lf %lf %ld %d", &result.seconds, &result.cpu, &result.peakKiB, &ok) ==
      4) {
    result.ok = ok != 0;
  }
  return result;
}

// Folds one run into the best so far (the machine is shared; the minimum is the least
// disturbed). A failed run fails the whole measurement.
void Keep(RunResult& best, const RunResult& r, bool first) {
  if (!r.ok || (!first && !best.ok)) {
    best.ok = false;
    return;
  }
  if (first || r.seconds < best.seconds) best.seconds = r.seconds;
  if (first || r.cpu < best.cpu) best.cpu = r.cpu;
  best.peakKiB = std::max(best.peakKiB, r.peakKiB);
  best.ok = true;
}

RunResult Best(int n, const std::vector<std::string>& args, const char* mode = "--run") {
  RunResult best;
  for (int i = 0; i < n && (i == 0 || best.ok); ++i) Keep(best, RunProgram(args, mode), i == 0);
  return best;
}

double CpuNow() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
}

struct ParseResult {
  double seconds = -1;
  double cpu = -1;
};

// Folds n parses into best (-1 there: none yet).
bool PugixmlParse(int n, const std::string& document, ParseResult& best) {
  for (int i = 0; i < n; ++i) {
    const auto start = Clock::now();
    const double cpuStart = CpuNow();
    {
      pugi::xml_document doc;
      const pugi::xml_parse_result parsed = doc.load_buffer(document.data(), document.size());
      if (!parsed) {
        std::fprintf(stderr, "pugixml: %s\n", parsed.description());
        return false;
      }
    }
    const double s = std::chrono::duration<double>(Clock::now() - start).count();
    const double cpu = CpuNow() - cpuStart;
    if (best.seconds < 0 || s < best.seconds) best.seconds = s;
    if (best.cpu < 0 || cpu < best.cpu) best.cpu = cpu;
  }
  return true;
}

// OgreXMLConverter 1.12 stops with "Material with the name ... already exists" when two
// submeshes name the same material, which split levels always do. Numbering the names keeps
// the converter's work the same and lets it through.
std::string WithNumberedMaterials(const std::string& mesh) {
  constexpr std::string_view kAttr = "<submesh material=\"";
  std::string out;
  out.reserve(mesh.size() + mesh.size() / 64);
  std::size_t from = 0;
  int n = 0;
  for (std::size_t at; (at = mesh.find(kAttr, from)) != std::string::npos;) {
    const std::size_t close = mesh.find('"', at + kAttr.size());
    out.append(mesh, from, close - from);
    out += '#';
    out += std::to_string(n++);
    from = close;
  }
  out.append(mesh, from, std::string::npos);
  return out;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--library") == 0) return RunLibrary(argv[2], argv[3]);
  if (argc >= 3 && (std::strcmp(argv[1], "--run") == 0 || std::strcmp(argv[1], "--run-terminal") == 0)) {
    const RunResult r = Measure(argv + 2, std::strcmp(argv[1], "--run-terminal") == 0);
    std::printf("%.6f %.6f %ld %d\n", r.seconds, r.cpu, r.peakKiB, r.ok ? 1 : 0);
    return 0;
  }
  std::error_code ec;
  gSelf = fs::read_symlink("/proc/self/exe", ec).string();
  std::string exporter, converter = "OgreXMLConverter", work;
  std::vector<std::string> shapes = {"20", "100", "400", "tiny"};
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string arg = argv[i], value = argv[i + 1];
    if (arg == "--exporter") {
      exporter = value;
    } else if (arg == "--converter") {
      converter = value;
    } else if (arg == "--work") {
      work = value;
    } else if (arg == "--sizes") {
      shapes.clear();
      std::stringstream list(value);
      for (std::string item; std::getline(list, item, ',');) shapes.push_back(item);
    }
  }
  if (exporter.empty()) {
    std::fprintf(
        stderr,
        "usage: export_bench --exporter PATH [--converter PATH] [--sizes 20,100,400,tiny] [--work DIR]\n");
    return 2;
  }
  const bool ownWork = work.empty();
  if (ownWork)
    work = (fs::temp_directory_path() / ("pallix-export-bench-" + std::to_string(getpid()))).string();
  fs::create_directories(work);

  std::printf(
      "Times are the best of 7 runs (5 at 100 MB and for tiny, 2 at 400 MB; OgreXMLConverter 3, 2 and 1), "
      "the export, the library, the terminal run and pugixml taking turns; CPU (user + system) and wall "
      "clock; ratios on CPU time. Memory is the peak resident set; the library's excludes the host's own "
      "copy of the document.\n\n");
  std::printf(
      "| level | pallix-export CPU / wall | pugixml parse CPU / wall | ratio (<= 1.5) | OgreXMLConverter CPU "
      "/ wall | speed-up (>= 8) | peak memory | memory / document (<= 2) | library peak | library / "
      "document (<= 2) | terminal progress (<= +5%% at 100 MB) |\n");
  std::printf("|---|---|---|---|---|---|---|---|---|---|---|\n");
  bool allMet = true;
  for (const std::string& shape : shapes) {
    const bool tiny = shape == "tiny";
    const int mb = tiny ? 0 : std::stoi(shape);
    const std::string dir = work + "/level" + shape + "/";
    fs::create_directories(dir + "out");
    fs::create_directories(dir + "xml");
    const std::string scene = dir + "scene.xml";
    {
      scenegen::Options options;
      options.Seed = 7;
      if (tiny) {
        options.Primitives = 100000;
        options.PolygonsPerPrimitive = 1;
      } else {
        options.TargetMB = mb;
      }
      options.BuildModel = false;
      options.Decorations = false;
      options.UnknownMaterials = false;
      scenegen::Generated level = scenegen::Generate(options);
      std::ofstream(scene, std::ios::binary) << level.Document;
      scenegen::WriteTextureFiles(level.TextureFiles, dir);
    }
    // The figures that are compared take turns, round by round: a burst of load on the
    // shared machine then falls on all of them alike, not on one.
    const int rounds = mb >= 400 ? 2 : (mb >= 100 || tiny) ? 5 : 7;
    const std::string document = ReadAll(scene);
    const double docBytes = static_cast<double>(document.size());
    RunResult ours, library, terminal;
    ParseResult pugi;
    bool parsed = true;
    for (int i = 0; i < rounds; ++i) {
      Keep(ours, RunProgram({exporter, "--quiet", scene, dir + "out/level.mesh"}), i == 0);
      Keep(library, RunProgram({gSelf, "--library", scene, dir + "out/library.mesh"}), i == 0);
      Keep(terminal, RunProgram({exporter, scene, dir + "out/terminal.mesh"}, "--run-terminal"), i == 0);
      parsed = parsed && PugixmlParse(1, document, pugi);
    }
    // OgreXMLConverter takes many times longer and is compared with a wide margin.
    const int runs = mb >= 400 ? 1 : (mb >= 100 || tiny) ? 2 : 3;
    const RunResult xml =
        RunProgram({exporter, "--quiet", "--no-materials", "--no-textures", scene, dir + "xml/level.xml"});
    RunResult ogre;
    if (xml.ok) {
      std::ofstream(dir + "xml/numbered.xml", std::ios::binary)
          << WithNumberedMaterials(ReadAll(dir + "xml/level.xml"));
      ogre = Best(runs, {converter, "-q", "-log", dir + "xml/converter.log", dir + "xml/numbered.xml",
                         dir + "xml/ogre.mesh"});
    }
    if (!ours.ok || !library.ok || !terminal.ok || !xml.ok || !parsed) {
      std::fprintf(stderr, "level %s: the export failed\n", shape.c_str());
      return 1;
    }
    const double parseRatio = ours.cpu / pugi.cpu;
    const double memRatio = static_cast<double>(ours.peakKiB) * 1024.0 / docBytes;
    const double libraryBytes = static_cast<double>(library.peakKiB) * 1024.0 - docBytes;
    const double libraryRatio = libraryBytes / docBytes;
    const double progressCost = terminal.cpu / ours.cpu - 1;
    std::printf("| %s%.1f MB | %.3f / %.3f s | %.3f / %.3f s | %.2f | ", tiny ? "tiny, " : "", docBytes / 1e6,
                ours.cpu, ours.seconds, pugi.cpu, pugi.seconds, parseRatio);
    if (ogre.ok) {
      std::printf("%.3f / %.3f s | %.1fx | ", ogre.cpu, ogre.seconds, ogre.cpu / ours.cpu);
    } else {
      std::printf("not run | - | ");
    }
    std::printf("%.1f MB | %.2f | %.1f MB | %.2f | %+.1f%% |\n", static_cast<double>(ours.peakKiB) / 1024.0,
                memRatio, libraryBytes / 1048576.0, libraryRatio, progressCost * 100);
    std::fflush(stdout);
    allMet = allMet && parseRatio <= 1.5 && memRatio <= 2.0 && libraryRatio <= 2.0 &&
             (mb != 100 || progressCost <= 0.05) &&
             (!ogre.ok || ogre.cpu / ours.cpu >= 8.0);
    fs::remove_all(dir);
  }
  if (ownWork) fs::remove_all(work);
  std::printf("\n%s\n", allMet ? "all targets met" : "some targets missed");
  return allMet ? 0 : 1;
}
