// The whole export on any scene document, every file kept in memory: the run ends with one
// of the system's errors or with files that are whole, readable and where they belong.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "BasicFn.h"
#include "FuzzHost.h"
#include "OutputFileCl.h"
#include "ZROgreMeshExporterCl.h"
#include "uXMLReader.h"

namespace {

constexpr char kMesh[] = "/level.mesh";
constexpr char kXmlMesh[] = "/level.xml";

[[noreturn]] void Fault(const std::string& what) {
  std::fprintf(stderr, "export fault: %s\n", what.c_str());
  std::abort();
}

// The header chunk, then one mesh chunk whose length is the rest of the file.
void CheckBinaryMesh(const std::string& bytes) {
  const std::size_t end = bytes.find('\n');
  if (bytes.rfind(std::string("\x00\x10[MeshSerializer_v", 19), 0) != 0 || end == std::string::npos) {
    Fault("binary mesh header");
  }
  const std::string_view rest = std::string_view(bytes).substr(end + 1);
  auto byte = [&](std::size_t i) { return static_cast<std::uint32_t>(static_cast<unsigned char>(rest[i])); };
  if (rest.size() < 6 || byte(0) != 0x00 || byte(1) != 0x30) Fault("no mesh chunk");
  const std::uint32_t length = byte(2) | byte(3) << 8 | byte(4) << 16 | byte(5) << 24;
  if (length != rest.size()) Fault("mesh chunk length");
}

void CheckXmlMesh(const std::string& text) {
  try {
    pallix::TXMLStringReader reader{std::string(text)};
    const pallix::TXMLNode* root = reader.RootNode();
    if (!root || root->Name() != "mesh") Fault("XML mesh without its root");
  } catch (const pallix::Error& e) {
    Fault(std::string("XML mesh unreadable: ") + e.what());
  }
}

// One export's files: the mesh, the script, and in the texture folder only generated bitmaps
// (copies have no sources here).
void CheckFiles(const pallix::ZROgreMeshExporterT& exporter, const std::string& mesh,
                const pallix::TMemoryOutput& memory) {
  const std::string textures = pallix::ZROgreMeshExporterT::ResolveFolder(exporter.texturePath, "/");
  for (const auto& [name, bytes] : memory.Files) {
    if (name == mesh) {
      if (mesh == kMesh) {
        CheckBinaryMesh(bytes);
      } else {
        CheckXmlMesh(bytes);
      }
    } else if (name == exporter.MaterialFileName(mesh)) {
      continue;
    } else if (name.rfind(textures, 0) != 0 || name.find('/', textures.size()) != std::string::npos) {
      Fault("a file outside the texture folder: " + name);
    } else if (bytes.size() != 70 || bytes.rfind("BM", 0) != 0) {
      Fault("a colour bitmap that is none: " + name);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view document(reinterpret_cast<const char*>(data), size);
  const pallix::fuzz::MemoryHost host(document);
  pallix::TMemoryOutput memory;
  pallix::ZROgreMeshExporterT exporter(std::make_unique<pallix::fuzz::CheckedProgress>());
  // The options follow from the document, so every input is one repeatable run.
  std::uint32_t h = 2166136261u;
  for (const std::uint8_t b : std::basic_string_view<std::uint8_t>(data, size)) h = (h ^ b) * 16777619u;
  static constexpr float kScales[] = {1.0f, 0.01f, 3e37f, -2.5f};
  static constexpr const char* kPrefixes[] = {"", "lvl/", "a {b}"};
  exporter.normalsToExport = static_cast<std::uint8_t>(h % 3);
  exporter.allowDynamicLighting = (h >> 2) & 1;
  exporter.exportLightmaps = (h >> 3) & 1;
  exporter.exportMaterials = ((h >> 4) & 7) != 0;
  exporter.exportTextures = ((h >> 7) & 7) != 0;
  exporter.scale = kScales[(h >> 10) % 4];
  exporter.materialNamePrefix = kPrefixes[(h >> 12) % 3];
  exporter.texturePath = (h >> 14) & 1 ? "textures" : "";
  exporter.meshVersion = static_cast<pallix::TMeshVersion>((h >> 15) % 4);
  exporter.allow32BitIndices = (h >> 17) & 1;
  exporter.TextureSourceFolder = "/nonexistent-pallix-fuzz/";
  // The same scene through both writers; a failed export ends the exporter's use.
  for (const std::string mesh : {kMesh, kXmlMesh}) {
    memory.Files.clear();
    try {
      exporter.Export(mesh);
    } catch (const pallix::Error&) {
      CheckFiles(exporter, mesh, memory);
      break;
    }
    CheckFiles(exporter, mesh, memory);
  }
  return 0;
}
