// What the command-line tool looks at before it writes anything: what OUTPUT is now, and
// whether an existing file there is an OGRE mesh a new export may replace.
#pragma once

#include <string>

namespace pallix {

enum class OutputKind {
  Absent,  // nothing there yet (or nothing reachable: creating the file will say why)
  File,    // a regular file
  Folder,
  Special,  // a FIFO, a device, a socket
  Loop,     // symbolic links that never end
};

// OUTPUT's kind, symbolic links followed.
OutputKind KindOfOutput(const std::string& fileName);

// True for a binary OGRE mesh (the header chunk 0x1000 in either byte order, then
// "[MeshSerializer_v") and for an XML document whose root element is mesh.
bool IsOgreMeshFile(const std::string& fileName);

}  // namespace pallix
