// Writes hand-built meshes and material scripts for the OGRE checks, one set per scenario:
// NAME.mesh (format 1.0), NAME.v1.7.mesh, NAME.v1.8.mesh and NAME.v1.10.mesh, NAME.xml,
// NAME.material and NAME.expect, the last listing what OGRE must find in the others. Submeshes
// over 65536 vertices get 32-bit indices.
//
//   pallix_ogre_fixtures FOLDER    (the folder is emptied first)
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "OutputFileCl.h"
#include "XMLWriterCl.h"
#include "ZROgreMeshExporterCl.h"

namespace {

using namespace pallix;

struct UnitSpec {
  std::string file;
  std::string operation;
  bool lightmap = false;
  bool color = false;
  std::string scriptName;  // the texture name OGRE must read from the script
};

struct MaterialSpec {
  std::string name;
  std::vector<UnitSpec> units;
};

struct SubMeshSpec {
  int material;
  int vertices;
};

struct Scenario {
  std::string name;
  int normals;
  bool exportLightmaps;
  std::vector<MaterialSpec> materials;
  std::vector<SubMeshSpec> subMeshes;
};

const UnitSpec kStone{"C:\\tex\\stone.png", "modulate", false, false, "stone.png"};
const UnitSpec kBrick{"C:\\tex\\brick wall.jpg", "replace", false, false, "brick_wall.jpg"};
const UnitSpec kLightmap{"lm\\lightmap3.bmp", "modulate", true, false, "lightmap3.bmp"};

std::vector<Scenario> Scenarios() {
  const MaterialSpec stone{"Stone", {kStone}};
  const MaterialSpec bare{"Bare", {}};
  const MaterialSpec lit0{"LightMapped0", {kBrick, kLightmap}};
  const MaterialSpec lit1{
      "LightMapped1",
      {{"a.png", "alpha_blend", false, false, "a.png"}, {"C:lm2.bmp", "modulate", true, false, "lm2.bmp"}}};
  MaterialSpec layered{"Layered", {kStone}};
  for (int k = 1; k < 100; ++k) {
    const std::string file = "l" + std::to_string(k) + ".png";
    layered.units.push_back({file, k % 2 ? "add" : "modulate", false, false, file});
  }
  return {
      {"face_normals", 1, true, {stone, bare}, {{0, 30}, {1, 12}}},
      {"hundred_layers", 2, true, {layered, stone}, {{0, 40}, {1, 6}}},
      {"no_normals", 0, true, {stone, bare}, {{0, 30}, {1, 12}}},
      {"lightmaps_on", 2, true, {lit0, lit1, stone}, {{0, 20}, {1, 9}, {2, 5}}},
      {"lightmaps_off", 2, false, {lit0, lit1, stone}, {{0, 20}, {1, 9}, {2, 5}}},
      {"lightmaps_off_no_normals", 0, false, {lit0, lit1}, {{0, 20}, {1, 9}}},
      {"uv_sets",
       1,
       true,
       {{"Multi",
         {kStone,
          {"detail.png", "add", false, false, "detail.png"},
          {"decal.png", "alpha_blend", false, false, "decal.png"},
          {"ignored.png", "", false, false, "ignored.png"}}},
        {"Replaced", {kBrick, {"over.png", "replace", false, false, "over.png"}}}},
       {{0, 40}, {1, 10}}},
      {"colour_textures",
       1,
       true,
       {{"Painted",
         {{"color.bmp", "modulate", false, true, "color.bmp"},
          {"colorwall.bmp", "add", false, true, "colorwall.bmp"}}}},
       {{0, 8}}},
      {"prefixed_names",
       1,
       true,
       {{"Lvl/Stone", {kStone}}, {"Lvl/LightMapped0", {kBrick, kLightmap}}, {"Lvl/sub/Wood", {}}},
       {{0, 6}, {1, 6}, {2, 6}}},
      {"blank_names",
       2,
       true,
       {{"my mat", {{"my wall.jpg", "modulate", false, false, "my_wall.jpg"}}},
        {"Lvl:Stone", {kStone}},
        {"odd{name}$", {{"C:\\dir with blanks\\tex file.png", "modulate", false, false, "tex_file.png"}}},
        {"x&y<z>", {}}},
       {{0, 6}, {1, 6}, {2, 6}, {3, 6}}},
      {"full_submesh", 1, true, {stone}, {{0, 65536}}},
      // 32-bit indices for the big one only.
      {"big_submesh", 1, true, {stone, bare}, {{0, 70000}, {1, 12}}},
  };
}

const char* BlendOf(const MaterialSpec& m) {
  if (m.units.empty()) return "none";
  if (m.units[0].operation == "replace") return "replace";
  if (m.units[0].operation == "alpha_blend") return "alpha";
  return "none";
}

// A strip of triangles over a wavy grid row, so every face has area and the positions vary.
std::unique_ptr<ZROgreSubMeshT> MakeSubMesh(ZROgreMaterialT& material, int vertices, int sets, int seed) {
  auto s = std::make_unique<ZROgreSubMeshT>();
  s->Material = &material;
  for (int i = 0; i < vertices; ++i) {
    const float x = static_cast<float>(i / 2) * 0.25f + static_cast<float>(seed);
    const float y = static_cast<float>(std::sin(i * 0.1)) * 3.0f;
    const float z = (i % 2) ? 1.5f : -0.75f;
    ZROgreVertexT v(x, y, z);
    v.Normal.X = 0.6f;
    v.Normal.Z = (i % 2) ? 0.8f : -0.8f;
    for (int j = 0; j < sets; ++j) v.AddTextureCoordinates(x * 0.125f + static_cast<float>(j), z * 0.5f);
    s->Vertices.push_back(std::move(v));
  }
  for (int i = 0; i + 2 < vertices; ++i) {
    ZROgreFaceInfoT f;
    f.Indices =
        (i % 2) ? std::array<std::int32_t, 3>{i, i + 2, i + 1} : std::array<std::int32_t, 3>{i, i + 1, i + 2};
    f.Material = &material;
    s->Faces.push_back(f);
  }
  return s;
}

ZROgreTextureT* FindOrAddTexture(ZROgreMeshExporterT& exporter, const std::string& name) {
  for (const auto& t : exporter.Textures) {
    if (t->FileName == name) return t.get();
  }
  exporter.Textures.push_back(std::make_unique<ZROgreTextureT>(name));
  return exporter.Textures.back().get();
}

void Write(const Scenario& sc, const std::string& folder) {
  ZROgreMeshExporterT exporter(nullptr);
  exporter.normalsToExport = static_cast<std::uint8_t>(sc.normals);
  exporter.exportLightmaps = sc.exportLightmaps;
  exporter.Materials = std::make_unique<std::vector<std::unique_ptr<ZROgreMaterialT>>>();
  exporter.SubMeshes = std::make_unique<std::vector<std::unique_ptr<ZROgreSubMeshT>>>();
  for (const MaterialSpec& ms : sc.materials) {
    auto m = std::make_unique<ZROgreMaterialT>();
    m->Name = ms.name;
    for (std::size_t j = 0; j < ms.units.size(); ++j) {
      const UnitSpec& u = ms.units[j];
      ZROgreTextureT* texture = FindOrAddTexture(exporter, u.file);
      texture->IsLightmap = texture->IsLightmap || u.lightmap;
      texture->IsColorTexture = u.color;
      m->IsLightmapped = m->IsLightmapped || u.lightmap;
      m->TextureUnits.push_back(
          std::make_unique<ZROgreTextureUnitT>(texture, u.operation, static_cast<std::int32_t>(j)));
    }
    m->Used = true;
    exporter.Materials->push_back(std::move(m));
  }
  int seed = 0;
  for (const SubMeshSpec& ss : sc.subMeshes) {
    ZROgreMaterialT& m = *(*exporter.Materials)[static_cast<std::size_t>(ss.material)];
    exporter.SubMeshes->push_back(MakeSubMesh(m, ss.vertices, m.TextureUnitCount(), seed++));
  }

  const std::string base = folder + "/" + sc.name;
  exporter.allow32BitIndices = true;
  for (std::size_t v = 0; v < kMeshVersionNames.size(); ++v) {
    exporter.meshVersion = static_cast<TMeshVersion>(v);
    exporter.CheckBinaryLimits();
    TOutputFile file(v == 0 ? base + ".mesh" : base + ".v" + std::string(kMeshVersionNames[v]) + ".mesh");
    exporter.WriteBinaryHeader(file);
    exporter.WriteBinaryMesh(file);
    file.Commit();
  }
  {
    XMLFileWriterT writer(base + ".xml");
    exporter.WriteXmlMesh(writer);
    writer.Commit();
  }
  {
    TOutputFile file(base + ".material");
    for (std::size_t i = 0; i < exporter.Materials->size(); ++i) {
      if (i) file.Write("\r\n");
      exporter.WriteMaterialScript(*(*exporter.Materials)[i], file);
    }
    file.Commit();
  }

  std::ofstream expect(base + ".expect", std::ios::binary);
  for (const SubMeshSpec& ss : sc.subMeshes) {
    const MaterialSpec& m = sc.materials[static_cast<std::size_t>(ss.material)];
    std::size_t sets = m.units.size();
    if (!sc.exportLightmaps && !m.units.empty() && m.units.back().lightmap) --sets;
    expect << "submesh " << ss.vertices << ' ' << (ss.vertices - 2) << ' ' << (sc.normals != 0) << ' ' << sets
           << ' ' << m.name << '\n';
  }
  for (const MaterialSpec& m : sc.materials) {
    expect << "material " << BlendOf(m) << ' ' << m.name << '\n';
    for (std::size_t j = 0; j < m.units.size(); ++j) {
      if (m.units[j].lightmap && !sc.exportLightmaps) continue;
      expect << "unit " << j << ' ' << m.units[j].scriptName << '\n';
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  try {
    // A fresh folder: converted files of an earlier run must not be read as this run's.
    std::filesystem::remove_all(argv[1]);
    std::filesystem::create_directories(argv[1]);
    for (const Scenario& sc : Scenarios()) Write(sc, argv[1]);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}
