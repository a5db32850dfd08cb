// The material script writer: one OGRE material block per output material.
#include <algorithm>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "BasicFn.h"
#include "OutputFileCl.h"
#include "ZROgreMeshExporterCl.h"

namespace pallix {

namespace {

void WriteLine(std::string_view text, TOutputFile& stream) {
  stream.Write(text);
  stream.Write("\r\n", 2);
}

void WriteLine(std::string_view indent, std::string_view text, TOutputFile& stream) {
  stream.Write(indent);
  WriteLine(text, stream);
}

// OGRE's compiler ends a bare name at a blank and reads ":" as inheritance and "{", "}", "$"
// as syntax; such names are quoted as OGRE's own serializer does.
std::string ScriptMaterialName(const std::string& name) {
  if (name.find_first_of(" {}$:") == std::string::npos) return name;
  return "\"" + name + "\"";
}

constexpr std::string_view kIndent1 = "    ";
constexpr std::string_view kIndent2 = "        ";
constexpr std::string_view kIndent3 = "            ";
constexpr std::string_view kIndent4 = "                ";

}  // namespace

std::string OutputTextureName(std::string_view fileName) {
  std::string out(fileName);
  for (char& c : out) {
    if (static_cast<unsigned char>(c) <= 32) c = '_';
  }
  return out;
}

std::string CleanTextureName(std::string_view fileName) {
  std::string name = OutputTextureName(ExtractFileName(fileName));
  if (name == "." || name == "..") name.clear();
  return name;
}

std::string TextureFileName(const ZROgreTextureT& texture) {
  return texture.OutputName.empty() ? CleanTextureName(texture.FileName) : texture.OutputName;
}

namespace {

// The names given out in one folder, compared as Windows compares file names.
class TFolderNames {
 public:
  void Take(std::string_view name) { taken_.insert(LowerCase(name)); }

  // The name itself when it is free, else the first free of NAME_2.EXT, NAME_3.EXT, ...;
  // taken from then on.
  std::string Claim(const std::string& name) {
    std::string folded = LowerCase(name);
    if (taken_.insert(folded).second) return name;
    // Names taken only grow, so the search for a name goes on where its last one ended.
    std::int64_t& next = nextSuffix_[std::move(folded)];
    const std::size_t dot = std::min(name.rfind('.'), name.size());
    for (std::int64_t k = std::max<std::int64_t>(next, 2);; ++k) {
      std::string candidate = name.substr(0, dot) + "_" + IntToStr(k) + name.substr(dot);
      if (taken_.insert(LowerCase(candidate)).second) {
        next = k + 1;
        return candidate;
      }
    }
  }

 private:
  std::unordered_set<std::string> taken_;
  std::unordered_map<std::string, std::int64_t> nextSuffix_;
};

// Folders as ResolveFolder gives them, compared as Windows compares paths.
bool SameFolder(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const bool separators = (a[i] == '/' || a[i] == '\\') && (b[i] == '/' || b[i] == '\\');
    if (!separators && LowerChar(a[i]) != LowerChar(b[i])) return false;
  }
  return true;
}

}  // namespace

void ZROgreMeshExporterT::NameTextures(const std::string& meshFileName) {
  const std::string_view base = ExtractFilePath(meshFileName);
  const std::string textureFolder = ResolveFolder(texturePath, base);
  const std::string_view meshName = ExtractFileName(meshFileName);
  TFolderNames names;
  if (SameFolder(textureFolder, ResolveFolder("", base))) names.Take(meshName);
  if (exportMaterials && SameFolder(textureFolder, ResolveFolder(materialPath, base))) {
    names.Take(ChangeFileExt(meshName, ".material"));
  }
  for (const auto& texture : Textures) {
    const std::string name = CleanTextureName(texture->FileName);
    texture->OutputName = name.empty() ? name : names.Claim(name);
  }
}

void ZROgreMeshExporterT::WriteMaterialScript(const ZROgreMaterialT& material, TOutputFile& stream) const {
  WriteLine("material " + ScriptMaterialName(material.Name), stream);
  WriteLine("{", stream);
  WriteLine(kIndent1, "technique", stream);
  WriteLine(kIndent1, "{", stream);
  WriteLine(kIndent2, "pass", stream);
  WriteLine(kIndent2, "{", stream);

  // Decided on unit 0 even when unit 0 itself is left out below as a lightmap.
  if (!material.TextureUnits.empty()) {
    const std::string& op = material.TextureUnits.front()->Operation;
    // "replace" is no scene_blend value to OGRE; "one zero" is the replacing blend.
    if (op == "replace" || op == "alpha_blend") {
      WriteLine(kIndent3, op == "replace" ? "scene_blend one zero" : "scene_blend alpha_blend", stream);
      WriteLine(kIndent3, "depth_write off", stream);
    }
  }

  for (std::size_t i = 0; i < material.TextureUnits.size(); ++i) {
    const ZROgreTextureUnitT& unit = *material.TextureUnits[i];
    const bool lightmap = unit.Texture->IsLightmap;
    if (lightmap && !exportLightmaps) continue;
    WriteLine(kIndent3, "texture_unit", stream);
    WriteLine(kIndent3, "{", stream);
    // A unit without a usable name stays empty: OGRE refuses a "texture" line without one.
    const std::string name = TextureFileName(*unit.Texture);
    if (!name.empty()) WriteLine(kIndent4, "texture " + name, stream);
    if (i > 0 && !unit.Operation.empty()) WriteLine(kIndent4, "colour_op " + unit.Operation, stream);
    if (unit.TextureCoordinateSet != 0) {
      WriteLine(kIndent4, "tex_coord_set " + IntToStr(unit.TextureCoordinateSet), stream);
    }
    if (lightmap) {
      WriteLine(kIndent4, "tex_address_mode clamp", stream);
      WriteLine(kIndent4, "filtering linear linear none", stream);
    } else {
      WriteLine(kIndent4, "filtering trilinear", stream);
    }
    WriteLine(kIndent3, "}", stream);
  }

  WriteLine(kIndent2, "}", stream);
  WriteLine(kIndent1, "}", stream);
  WriteLine("}", stream);
}

}  // namespace pallix
