// A small scene document with every kind of texture the export run handles, laid out on disk
// the way the command-line exporter expects it: the document beside its texture files.
#pragma once

#include <string>

namespace pallix::testing {

// Materials: "Stone" (texture "old brick.jpg"), "Lit" (texture "sub\wall.png" plus lightmap
// "lm\lightmap0.bmp"), "Red" (colour layer, generated "color.bmp"), "Unused" (no polygon).
// One primitive: a quad of each used material.
std::string ExportSceneDocument();

// The texture file names of the document that exist on disk after WriteExportScene.
inline constexpr const char* kExportSceneTextures[] = {"old brick.jpg", "sub/wall.png", "lm/lightmap0.bmp"};

// Writes folder + "scene.xml" and the texture files beside it; returns the document's path.
std::string WriteExportScene(const std::string& folder);

}  // namespace pallix::testing
