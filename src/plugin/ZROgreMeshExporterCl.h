// One export run: reads the scene from the host, converts it, and writes the mesh, the
// material script and the textures. The conversion, material and writer parts are
// implemented under src/mesh/, the run itself in ZROgreMeshExporterCl.cpp.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "ZROgreMeshCl.h"
#include "ZRProgressControllerCl.h"
#include "uScene.h"

namespace pallix {

class TOutputFile;
class TXMLWriter;

// Versions of OGRE's binary mesh format the writer can produce, oldest first.
enum class TMeshVersion : std::uint8_t { V1_0, V1_7, V1_8, V1_10 };
// Their names as OgreMeshUpgrader's -V option spells them, in the enum's order.
inline constexpr std::array<std::string_view, 4> kMeshVersionNames = {"1.0", "1.7", "1.8", "1.10"};

class ZROgreMeshExporterT {
 public:
  explicit ZROgreMeshExporterT(std::unique_ptr<IProgressView> view = CreateProgressView());
  ~ZROgreMeshExporterT();
  ZROgreMeshExporterT(const ZROgreMeshExporterT&) = delete;
  ZROgreMeshExporterT& operator=(const ZROgreMeshExporterT&) = delete;

  // Options.
  float scale = 1.0f;
  bool exportMaterials = true;
  std::string materialPath;
  bool exportTextures = true;
  std::string texturePath;
  bool exportLightmaps = true;
  std::string materialNamePrefix;
  std::uint8_t normalsToExport = 1;       // 0 none, 1 face, 2 smooth
  std::uint8_t allowDynamicLighting = 1;  // 0 all materials, 1 non-lightmapped only
  // Command-line choices only; the plug-in keeps the defaults, so its files never change.
  TMeshVersion meshVersion = TMeshVersion::V1_0;
  // A submesh of more than 65536 vertices gets 32-bit indices instead of failing the export.
  bool allow32BitIndices = false;

  // Owned state of the run. Materials and SubMeshes are absent until built.
  std::vector<std::unique_ptr<ZROgreTextureT>> Textures;
  std::unique_ptr<TScene> Scene;
  std::unique_ptr<std::vector<std::unique_ptr<ZROgreMaterialT>>> Materials;
  std::unique_ptr<std::vector<std::unique_ptr<ZROgreSubMeshT>>> SubMeshes;
  std::int32_t LightmapCounter = 0;
  ZRProgressControllerT Progress;

  // Where the scene's texture names are relative to. Unset: the host's texture folder,
  // asked for each texture. The command-line tool, which has no editor, sets it.
  std::optional<std::string> TextureSourceFolder;
  // Texture files the last CopyTextures generated or copied.
  std::int32_t TexturesWritten = 0;

  // What the last Export did, for reports: every file written, in order, with its size
  // (under the name the run was given, also where a link was followed), and every texture
  // that could not be copied, with the system's reason. A texture that is its own
  // destination is left as it is and is in neither list.
  struct WrittenFile {
    std::string FileName;
    std::uint64_t Size = 0;
  };
  struct TextureNotCopied {
    std::string Source;
    std::string Target;
    std::string Reason;
  };
  std::vector<WrittenFile> FilesWritten;
  std::vector<TextureNotCopied> TexturesNotCopied;

  // Export run.
  void Export(const std::string& fileName);
  void PrepareScene();
  void SaveBinaryMesh(const std::string& fileName);
  void SaveXmlMesh(const std::string& fileName);
  void SaveMaterialFile(const std::string& fileName);
  void CopyTextures(const std::string& folder);
  std::string GetMaterialFolder(const std::string& meshFileName);
  std::string GetTextureFolder(const std::string& meshFileName);
  // The material script Export writes for this mesh file; no folder is made.
  std::string MaterialFileName(const std::string& meshFileName) const;
  // Whether CopyTextures copies this texture from a file (rather than generating or
  // skipping it), and from which one.
  bool CopiesTexture(const ZROgreTextureT& texture) const;
  std::string TextureSourceFileName(const ZROgreTextureT& texture) const;
  // The full path of relativeFolder against baseFolder, ending with a separator; the
  // process's current directory is not touched.
  static std::string ResolveFolder(std::string_view relativeFolder, std::string_view baseFolder);

  // Material building.
  void ProcessMaterials(TScene& scene);
  // The first texture of that name, or a new one.
  ZROgreTextureT* FindOrAddTexture(const std::string& name);
  // The texture a colour layer paints with: the first colour texture of that name whose red,
  // green and blue match (alpha is not in the bitmap), else the first texture of that name
  // while only texture layers have used it, else a new one of that name.
  ZROgreTextureT* FindOrAddColorTexture(const std::string& name, std::uint32_t color);
  void PruneMaterials();
  void PruneTextures();

  // Output texture names.
  // Gives every texture its OutputName, in list order: the cleaned name part of its file, or,
  // when an earlier texture has that name (ASCII letter case aside, as Windows compares file
  // names), the first free of NAME_2.EXT, NAME_3.EXT, ... The mesh file's name, and the
  // script's when a script is written, are taken too when they lie in the texture folder.
  void NameTextures(const std::string& meshFileName);

  // Conversion.
  // Materials, submeshes, pruning and the split, in the order the run needs them. With
  // releaseConverted, each primitive's geometry is dropped once its submesh is built: the run
  // never reads it again, and the mesh then takes the memory the scene gives back.
  void BuildMesh(TScene& scene, bool releaseConverted = false);
  void ProcessPrimitives(TScene& scene, bool releaseConverted = false);
  void SplitSubMeshesByMaterial();

  // Binary mesh.
  // Raises "Submeshes containing > 65536 vertices not supported." (unless 32-bit indices are
  // allowed) and "Mesh too large for the binary format." before writing anything.
  void CheckBinaryLimits() const;
  void WriteBinaryHeader(TOutputFile& stream) const;
  void WriteBinaryMesh(TOutputFile& stream) const;

  // XML mesh.
  void WriteXmlMesh(TXMLWriter& writer) const;

  // Material script.
  void WriteMaterialScript(const ZROgreMaterialT& material, TOutputFile& stream) const;

  // Texture coordinate sets the writers emit for a submesh of this material.
  std::int32_t WrittenCoordinateSetCount(const ZROgreMaterialT& material) const;

 private:
  // Where FindOrAddTexture and FindOrAddColorTexture look, so that neither scans the list:
  // positions in Textures of the first texture of each name, and of the first colour texture
  // of each name and colour. Textures appended by others are indexed at the next lookup.
  struct TextureIndex {
    std::unordered_map<std::string, std::size_t> byName;
    std::unordered_map<std::string, std::size_t> byColor;  // red, green, blue bytes, then the name
    std::size_t indexed = 0;
  };
  void IndexTextures();
  TextureIndex textureIndex_;

  using TMaterialPositions = std::unordered_map<const ZROgreMaterialT*, std::int32_t>;
  TMaterialPositions MaterialPositions() const;
  // With split, each primitive's submesh is split as soon as it is built, while its vertices
  // are still in the cache; the result is what the later split would give.
  void ConvertPrimitives(TScene& scene, bool releaseConverted, bool split);
  struct SplitScratch;
  // Appends the submeshes of source's runs of faces, one per material, to SubMeshes.
  void SplitSubMesh(ZROgreSubMeshT& source, const TMaterialPositions& positions, SplitScratch& scratch);
  // The same with each face's material position already in scratch.keys.
  void SplitSubMesh(ZROgreSubMeshT& source, SplitScratch& scratch);
};

// Saves a 2 x 2 pixel 24-bit Windows bitmap of one colour (red in the low byte) and returns
// its size. Raises "Cannot create file %s".
std::size_t WriteColorBitmap(const std::string& fileName, std::uint32_t color);

// The name under which a texture is written and copied: blanks become underscores,
// control characters too.
std::string OutputTextureName(std::string_view fileName);

// The name part of a texture's file through OutputTextureName; empty when nothing usable is
// left ("", "." or ".."): such a texture is neither copied nor named in the script.
std::string CleanTextureName(std::string_view fileName);

// The file name a texture is copied to and the script names: its OutputName once the
// textures are named, else its cleaned name. Empty: not written.
std::string TextureFileName(const ZROgreTextureT& texture);

// A coordinate as the XML mesh writes it: six significant digits, no trailing zeros,
// "E" notation outside 0.0001 <= |value| < 1000000 ("1.23457E6", "1E-5").
std::string FormatCoordinate(float value);

}  // namespace pallix
