// The export run: construction, release and the driver of one export.
#include "ZROgreMeshExporterCl.h"

#include <array>

#include "BasicFn.h"
#include "OutputFileCl.h"
#include "SystemFn.h"
#include "XMLWriterCl.h"
#include "uPlugin.h"
#include "uXMLSceneReader.h"

namespace pallix {

ZROgreMeshExporterT::ZROgreMeshExporterT(std::unique_ptr<IProgressView> view) : Progress(std::move(view)) {}

ZROgreMeshExporterT::~ZROgreMeshExporterT() {
  // Faces and texture units point at materials and textures: release the pointing side first.
  SubMeshes.reset();
  Materials.reset();
  Textures.clear();
  Scene.reset();
}

void ZROgreMeshExporterT::Export(const std::string& fileName) {
  FilesWritten.clear();
  TexturesNotCopied.clear();
  PrepareScene();
  if (LowerCase(ExtractFileExt(fileName)) == ".xml") {
    SaveXmlMesh(fileName);
  } else {
    SaveBinaryMesh(fileName);
  }
  NameTextures(fileName);
  if (exportMaterials) {
    GetMaterialFolder(fileName);
    SaveMaterialFile(MaterialFileName(fileName));
  }
  if (exportTextures) CopyTextures(GetTextureFolder(fileName));
}

void ZROgreMeshExporterT::PrepareScene() {
  if (SubMeshes || Materials) return;
  Progress.SetText("Reading Korvel Scene...");
  Progress.SetPosition(0);
  Progress.Show();
  {
    TXMLSceneReader reader;
    reader.Scale = scale;
    reader.OnProgress = [this](std::int32_t position) { Progress.SetPosition(position); };
    Scene = reader.ReadScene();
  }
  BuildMesh(*Scene, true);
}

void ZROgreMeshExporterT::SaveBinaryMesh(const std::string& fileName) {
  // Checked before the file is opened, so an unwritable mesh never replaces the old one.
  CheckBinaryLimits();
  // The user named the mesh file: when it is a link, the file it points to is replaced.
  TOutputFile file(fileName, TOutputFile::Link::Follow);
  WriteBinaryHeader(file);
  WriteBinaryMesh(file);
  file.Commit();
  FilesWritten.push_back({fileName, file.Size()});
}

void ZROgreMeshExporterT::SaveXmlMesh(const std::string& fileName) {
  XMLFileWriterT writer(fileName, TOutputFile::Link::Follow);
  WriteXmlMesh(writer);
  writer.Commit();
  FilesWritten.push_back({fileName, writer.Size()});
}

void ZROgreMeshExporterT::SaveMaterialFile(const std::string& fileName) {
  Progress.SetText("Saving material file...");
  Progress.SetPosition(0);
  TOutputFile file(fileName);
  if (Materials) {
    const std::size_t n = Materials->size();
    for (std::size_t i = 0; i < n; ++i) {
      if (i > 0) file.Write("\r\n");
      WriteMaterialScript(*(*Materials)[i], file);
      Progress.SetPosition(static_cast<std::int32_t>(i * 100 / n));
    }
  }
  file.Commit();
  FilesWritten.push_back({fileName, file.Size()});
}

std::string ZROgreMeshExporterT::ResolveFolder(std::string_view relativeFolder, std::string_view baseFolder) {
  return sys::ExpandFolder(relativeFolder, baseFolder);
}

std::string ZROgreMeshExporterT::GetMaterialFolder(const std::string& meshFileName) {
  const std::string folder = ResolveFolder(materialPath, ExtractFilePath(meshFileName));
  // A folder that cannot be made shows up when the file in it is created.
  MakeOutputFolders(folder);
  return folder;
}

std::string ZROgreMeshExporterT::GetTextureFolder(const std::string& meshFileName) {
  const std::string folder = ResolveFolder(texturePath, ExtractFilePath(meshFileName));
  MakeOutputFolders(folder);
  return folder;
}

std::string ZROgreMeshExporterT::MaterialFileName(const std::string& meshFileName) const {
  return ResolveFolder(materialPath, ExtractFilePath(meshFileName)) +
         ChangeFileExt(ExtractFileName(meshFileName), ".material");
}

bool ZROgreMeshExporterT::CopiesTexture(const ZROgreTextureT& texture) const {
  return exportTextures && (exportLightmaps || !texture.IsLightmap) && !texture.IsColorTexture;
}

std::string ZROgreMeshExporterT::TextureSourceFileName(const ZROgreTextureT& texture) const {
  const std::string folder = TextureSourceFolder ? *TextureSourceFolder : GetTextureFilesFolder();
  return sys::NativePath(folder + texture.FileName);
}

void ZROgreMeshExporterT::CopyTextures(const std::string& folder) {
  Progress.SetText("Copying texture files...");
  Progress.SetPosition(0);
  TexturesWritten = 0;
  const std::size_t n = Textures.size();
  for (std::size_t i = 0; i < n; ++i) {
    const ZROgreTextureT& texture = *Textures[i];
    if (exportLightmaps || !texture.IsLightmap) {
      // Only the name part is kept, so a texture never lands outside the texture folder.
      const std::string name = TextureFileName(texture);
      if (!name.empty()) {
        const std::string target = folder + name;
        if (texture.IsColorTexture) {
          FilesWritten.push_back({target, WriteColorBitmap(target, texture.Color)});
          ++TexturesWritten;
        } else {
          // A copy that fails ends nothing: the texture is reported and the run goes on.
          const std::string source = TextureSourceFileName(texture);
          std::string reason;
          std::uint64_t size = 0;
          switch (CopyToOutputFile(source, target, reason, size)) {
            case TCopyResult::Copied:
              FilesWritten.push_back({target, size});
              ++TexturesWritten;
              break;
            case TCopyResult::SameFile:  // exported into the textures' own folder
              break;
            case TCopyResult::Failed:
              TexturesNotCopied.push_back({source, target, reason});
              break;
          }
        }
      }
    }
    Progress.SetPosition(static_cast<std::int32_t>(i * 100 / n));
  }
}

std::size_t WriteColorBitmap(const std::string& fileName, std::uint32_t color) {
  // A 2 x 2 bottom-up 24-bit DIB: file header, info header, two rows of 6 bytes padded to 8.
  constexpr std::uint32_t kRowSize = 8;
  constexpr std::uint32_t kImageSize = kRowSize * 2;
  constexpr std::uint32_t kOffset = 14 + 40;
  std::array<unsigned char, kOffset + kImageSize> bmp{};
  std::size_t at = 0;
  auto put16 = [&](std::uint32_t v) {
    bmp[at++] = static_cast<unsigned char>(v);
    bmp[at++] = static_cast<unsigned char>(v >> 8);
  };
  auto put32 = [&](std::uint32_t v) {
    put16(v & 0xFFFF);
    put16(v >> 16);
  };
  bmp[at++] = 'B';
  bmp[at++] = 'M';
  put32(kOffset + kImageSize);  // bfSize
  put32(0);                     // bfReserved1, bfReserved2
  put32(kOffset);               // bfOffBits
  put32(40);                    // biSize
  put32(2);                     // biWidth
  put32(2);                     // biHeight: positive, bottom-up
  put16(1);                     // biPlanes
  put16(24);                    // biBitCount
  put32(0);                     // biCompression: BI_RGB
  put32(kImageSize);            // biSizeImage
  put32(0);                     // biXPelsPerMeter
  put32(0);                     // biYPelsPerMeter
  put32(0);                     // biClrUsed
  put32(0);                     // biClrImportant
  const unsigned char red = static_cast<unsigned char>(color);
  const unsigned char green = static_cast<unsigned char>(color >> 8);
  const unsigned char blue = static_cast<unsigned char>(color >> 16);
  for (int row = 0; row < 2; ++row) {
    for (int pixel = 0; pixel < 2; ++pixel) {
      bmp[at++] = blue;
      bmp[at++] = green;
      bmp[at++] = red;
    }
    at += kRowSize - 6;  // padding stays zero
  }
  TOutputFile file(fileName);
  file.Write(bmp.data(), bmp.size());
  file.Commit();
  return bmp.size();
}

}  // namespace pallix
