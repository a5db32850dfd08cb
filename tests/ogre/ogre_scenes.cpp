// Writes generated scene documents for exporting with pallix-export, and their textures:
// FOLDER/<name>.xml and FOLDER/tex/. Every polygon names a material: the export ends on one
// that does not, by design.
//
//   pallix_ogre_scenes FOLDER    (the folder is emptied first)
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "SceneGenerator.h"

namespace {

struct SceneSpec {
  const char* name;
  std::uint64_t seed;
  int materials;
  int terrain;
  bool decorations;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  const std::string folder = argv[1];
  try {
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    // Several layers, colour layers, lightmaps and names with blanks and "&" come with every
    // seed; the terrain shares its corners between quads.
    for (const SceneSpec& s : {SceneSpec{"rooms", 11, 14, 0, false}, SceneSpec{"decorated", 5, 9, 0, true},
                               SceneSpec{"terrain", 3, 6, 40, false}}) {
      pallix::scenegen::Options options;
      options.Seed = s.seed;
      options.Materials = s.materials;
      options.Terrain = s.terrain;
      options.Decorations = s.decorations;
      options.BuildModel = false;
      options.UnknownMaterials = false;
      const pallix::scenegen::Generated level = pallix::scenegen::Generate(options);
      std::ofstream(folder + "/" + s.name + ".xml", std::ios::binary) << level.Document;
      pallix::scenegen::WriteTextureFiles(level.TextureFiles, folder + "/tex");
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}
