// The material script writer: one OGRE material block per output material.
#include <string>
#include <string_view>

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
    WriteLine(kIndent4, "texture " + OutputTextureName(ExtractFileName(unit.Texture->FileName)), stream);
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
