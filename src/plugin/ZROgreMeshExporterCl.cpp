// The export run: construction, release and the driver of one export.
#include "ZROgreMeshExporterCl.h"

namespace pallix {

ZROgreMeshExporterT::ZROgreMeshExporterT(std::unique_ptr<IProgressView> view) : Progress(std::move(view)) {}

ZROgreMeshExporterT::~ZROgreMeshExporterT() {
  // Faces and texture units point at materials and textures: release the pointing side first.
  SubMeshes.reset();
  Materials.reset();
  Textures.clear();
  Scene.reset();
}

}  // namespace pallix
