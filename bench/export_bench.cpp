// End-to-end export measurements on generated levels of 1, 20 and 100 MB, each figure taken
// in the same run as its yardstick:
//   - pallix-export writing the binary mesh, material script and textures, against pugixml
//     parsing the same document in memory (target: at most 2.5 times);
//   - OgreXMLConverter turning our XML mesh of the level into a binary mesh, against our whole
//     export (target: ours at least 3 times faster);
//   - pallix-export's peak resident memory against the document's size (target: at most 3 times).
// usage: export_bench --exporter PATH [--converter PATH] [--sizes 1,20,100] [--work DIR]
#include <fcntl.h>
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

#include "SceneGenerator.h"

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
RunResult Measure(char** argv) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  RunResult result;
  const auto start = Clock::now();
  pid_t pid;
  const bool spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv, environ) == 0;
  posix_spawn_file_actions_destroy(&actions);
  if (!spawned) return result;
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

RunResult RunProgram(const std::vector<std::string>& args) {
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return {};
  std::vector<std::string> launcher = {gSelf, "--run"};
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

// Best of n runs (the machine is shared; the minimum is the least disturbed).
RunResult Best(int n, const std::vector<std::string>& args) {
  RunResult best;
  for (int i = 0; i < n; ++i) {
    const RunResult r = RunProgram(args);
    if (!r.ok) return r;
    if (i == 0 || r.seconds < best.seconds) best.seconds = r.seconds;
    if (i == 0 || r.cpu < best.cpu) best.cpu = r.cpu;
    best.peakKiB = std::max(best.peakKiB, r.peakKiB);
    best.ok = true;
  }
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

ParseResult PugixmlParse(int n, const std::string& document) {
  ParseResult best;
  for (int i = 0; i < n; ++i) {
    const auto start = Clock::now();
    const double cpuStart = CpuNow();
    {
      pugi::xml_document doc;
      const pugi::xml_parse_result parsed = doc.load_buffer(document.data(), document.size());
      if (!parsed) {
        std::fprintf(stderr, "pugixml: %s\n", parsed.description());
        return {};
      }
    }
    const double s = std::chrono::duration<double>(Clock::now() - start).count();
    const double cpu = CpuNow() - cpuStart;
    if (i == 0 || s < best.seconds) best.seconds = s;
    if (i == 0 || cpu < best.cpu) best.cpu = cpu;
  }
  return best;
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
  if (argc >= 3 && std::strcmp(argv[1], "--run") == 0) {
    const RunResult r = Measure(argv + 2);
    std::printf("%.6f %.6f %ld %d\n", r.seconds, r.cpu, r.peakKiB, r.ok ? 1 : 0);
    return 0;
  }
  std::error_code ec;
  gSelf = fs::read_symlink("/proc/self/exe", ec).string();
  std::string exporter, converter = "OgreXMLConverter", work;
  std::vector<int> sizes = {1, 20, 100};
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string arg = argv[i], value = argv[i + 1];
    if (arg == "--exporter") {
      exporter = value;
    } else if (arg == "--converter") {
      converter = value;
    } else if (arg == "--work") {
      work = value;
    } else if (arg == "--sizes") {
      sizes.clear();
      std::stringstream list(value);
      for (std::string item; std::getline(list, item, ',');) sizes.push_back(std::stoi(item));
    }
  }
  if (exporter.empty()) {
    std::fprintf(stderr,
                 "usage: export_bench --exporter PATH [--converter PATH] [--sizes 1,20,100] [--work DIR]\n");
    return 2;
  }
  const bool ownWork = work.empty();
  if (ownWork)
    work = (fs::temp_directory_path() / ("pallix-export-bench-" + std::to_string(getpid()))).string();
  fs::create_directories(work);

  std::printf(
      "Times are the best of 3 runs (2 at 100 MB), CPU (user + system) and wall clock; ratios on CPU "
      "time.\n\n");
  std::printf(
      "| level | pallix-export CPU / wall | pugixml parse CPU / wall | ratio (<= 2.5) | OgreXMLConverter CPU "
      "/ wall "
      "| speed-up (>= 3) | peak memory | memory / document (<= 3) |\n");
  std::printf("|---|---|---|---|---|---|---|---|\n");
  bool allMet = true;
  for (const int mb : sizes) {
    const std::string dir = work + "/level" + std::to_string(mb) + "/";
    fs::create_directories(dir + "out");
    fs::create_directories(dir + "xml");
    const std::string scene = dir + "scene.xml";
    {
      scenegen::Options options;
      options.Seed = 7;
      options.TargetMB = mb;
      options.BuildModel = false;
      options.Decorations = false;
      options.UnknownMaterials = false;
      scenegen::Generated level = scenegen::Generate(options);
      std::ofstream(scene, std::ios::binary) << level.Document;
      scenegen::WriteTextureFiles(level.TextureFiles, dir);
    }
    const int runs = mb >= 100 ? 2 : 3;
    const RunResult ours = Best(runs, {exporter, "--quiet", scene, dir + "out/level.mesh"});
    const RunResult xml =
        RunProgram({exporter, "--quiet", "--no-materials", "--no-textures", scene, dir + "xml/level.xml"});
    RunResult ogre;
    if (xml.ok) {
      std::ofstream(dir + "xml/numbered.xml", std::ios::binary)
          << WithNumberedMaterials(ReadAll(dir + "xml/level.xml"));
      ogre = Best(runs, {converter, "-q", "-log", dir + "xml/converter.log", dir + "xml/numbered.xml",
                         dir + "xml/ogre.mesh"});
    }
    const std::string document = ReadAll(scene);
    const double docBytes = static_cast<double>(document.size());
    const ParseResult pugi = PugixmlParse(runs, document);
    if (!ours.ok || !xml.ok || pugi.cpu < 0) {
      std::fprintf(stderr, "level %d MB: the export failed\n", mb);
      return 1;
    }
    const double parseRatio = ours.cpu / pugi.cpu;
    const double memRatio = static_cast<double>(ours.peakKiB) * 1024.0 / docBytes;
    std::printf("| %.1f MB | %.3f / %.3f s | %.3f / %.3f s | %.2f | ", docBytes / 1e6, ours.cpu, ours.seconds,
                pugi.cpu, pugi.seconds, parseRatio);
    if (ogre.ok) {
      std::printf("%.3f / %.3f s | %.1fx | ", ogre.cpu, ogre.seconds, ogre.cpu / ours.cpu);
    } else {
      std::printf("not run | - | ");
    }
    std::printf("%.1f MB | %.2f |\n", static_cast<double>(ours.peakKiB) / 1024.0, memRatio);
    std::fflush(stdout);
    allMet = allMet && parseRatio <= 2.5 && memRatio <= 3.0 && (!ogre.ok || ogre.cpu / ours.cpu >= 3.0);
    fs::remove_all(dir);
  }
  if (ownWork) fs::remove_all(work);
  std::printf("\n%s\n", allMet ? "all targets met" : "some targets missed");
  return allMet ? 0 : 1;
}
