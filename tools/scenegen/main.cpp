// pallix-scenegen: writes a generated scene document (and, on request, its texture files).
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>

#include "PluginCommand.h"
#include "SceneGenerator.h"

namespace {

const char* const kUsage =
    "usage: pallix-scenegen [options]\n"
    "  --seed N         random seed (default 1)\n"
    "  --primitives N   primitive count (default 8; a minimum when --size is given)\n"
    "  --polygons N     polygons per primitive (default 64)\n"
    "  --materials N    material count (default 8)\n"
    "  --lights N       light count (default 6)\n"
    "  --size MB        grow the document to about this size\n"
    "  --terrain N      one N x N grid of quads instead of the primitives\n"
    "  --plain          no comments, unknown elements or spelling variants\n"
    "  --unknown-materials  some polygons name a material the document lacks, which ends\n"
    "                   an export (for reader tests; by default every polygon names one\n"
    "                   of the document's materials)\n"
    "  --textures DIR   also write the referenced texture files into DIR\n"
    "  --out FILE       write the document to FILE (default: standard output, unless it\n"
    "                   is a terminal)\n"
    "  -h, --help, --version\n";

template <typename T>
bool ParseNumber(std::string_view text, T& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

}  // namespace

int main(int argc, char** argv) {
  pallix::scenegen::Options options;
  // Documents are meant to be exported whole unless asked otherwise.
  options.UnknownMaterials = false;
  std::string textures, out;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    const bool hasValue = i + 1 < argc;
    const std::string_view value = hasValue ? argv[i + 1] : "";
    bool ok = true;
    if (arg == "--plain") {
      options.Decorations = false;
      continue;
    } else if (arg == "--unknown-materials") {
      options.UnknownMaterials = true;
      continue;
    } else if (arg == "--known-materials") {  // the default; scripts may still name it
      options.UnknownMaterials = false;
      continue;
    } else if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (arg == "--version") {
      std::printf("pallix-scenegen %s\n", pallix::kPluginVersion);
      return 0;
    } else if (!hasValue) {
      ok = false;
    } else if (arg == "--seed") {
      ok = ParseNumber(value, options.Seed);
    } else if (arg == "--primitives") {
      ok = ParseNumber(value, options.Primitives) && options.Primitives >= 0;
    } else if (arg == "--polygons") {
      ok = ParseNumber(value, options.PolygonsPerPrimitive) && options.PolygonsPerPrimitive > 0;
    } else if (arg == "--materials") {
      ok = ParseNumber(value, options.Materials) && options.Materials > 0;
    } else if (arg == "--lights") {
      ok = ParseNumber(value, options.Lights) && options.Lights >= 0;
    } else if (arg == "--size") {
      ok = ParseNumber(value, options.TargetMB) && options.TargetMB > 0;
    } else if (arg == "--terrain") {
      ok = ParseNumber(value, options.Terrain) && options.Terrain > 0;
    } else if (arg == "--textures") {
      textures = value;
    } else if (arg == "--out") {
      out = value;
    } else {
      ok = false;
    }
    if (!ok) {
      std::fprintf(stderr, "pallix-scenegen: bad argument %s\n%s", argv[i], kUsage);
      return 2;
    }
    ++i;
  }
  if (out.empty() && isatty(STDOUT_FILENO)) {
    // Megabytes of XML are no use on a terminal.
    std::fprintf(stderr, "pallix-scenegen: give --out FILE or redirect standard output\n%s", kUsage);
    return 2;
  }
  options.BuildModel = false;
  try {
    const pallix::scenegen::Generated scene = pallix::scenegen::Generate(options);
    if (out.empty()) {
      std::fwrite(scene.Document.data(), 1, scene.Document.size(), stdout);
    } else {
      std::ofstream file(out, std::ios::binary | std::ios::trunc);
      file.write(scene.Document.data(), static_cast<std::streamsize>(scene.Document.size()));
      if (!file) {
        std::fprintf(stderr, "pallix-scenegen: cannot write %s\n", out.c_str());
        return 1;
      }
    }
    if (!textures.empty()) pallix::scenegen::WriteTextureFiles(scene.TextureFiles, textures);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "pallix-scenegen: %s\n", e.what());
    return 1;
  }
  return 0;
}
