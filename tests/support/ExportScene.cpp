#include "ExportScene.h"

#include "TempFolder.h"

namespace pallix::testing {

std::string ExportSceneDocument() {
  return R"(<scene>
  <settings ambient="FF8040C0" author="tests" comment="export" shadowOpacity="75" />
  <materials>
    <category name="level">
      <material id="m1" name="Stone" used="true">
        <layer type="texture" blend="replace"><texture file="old brick.jpg" /></layer>
      </material>
      <material id="m2" name="Lit" used="true">
        <layer type="texture" blend="replace"><texture file="sub\wall.png" /></layer>
        <layer type="lightmap" blend="modulate"><texture file="lm\lightmap0.bmp" /></layer>
      </material>
      <material id="m3" name="Red" used="true">
        <layer type="color" blend="replace"><color r="255" g="128" b="1" /></layer>
      </material>
      <material id="m4" name="Unused" used="false">
        <layer type="texture" blend="replace"><texture file="unused.jpg" /></layer>
      </material>
    </category>
  </materials>
  <primitives>
    <primitive id="p1" name="quads" type="userdefined" visible="true" snap="none" autoUV="false">
      <vertices>
        <vertex id="a" x="0" y="0" z="0" />
        <vertex id="b" x="1.5" y="0" z="0" />
        <vertex id="c" x="1.5" y="1" z="0" />
        <vertex id="d" x="0" y="1" z="0" />
        <vertex id="e" x="0" y="0" z="2.25" />
        <vertex id="f" x="0" y="1" z="2.25" />
      </vertices>
      <polygons>
        <poly mid="m1"><vertex vid="a" u0="0" v0="0" /><vertex vid="b" u0="1" v0="0" /><vertex vid="c" u0="1" v0="1" /><vertex vid="d" u0="0" v0="1" /></poly>
        <poly mid="m2"><vertex vid="a" u0="0" v0="0" u1="0.125" v1="0.5" /><vertex vid="d" u0="0" v0="1" u1="0.25" v1="0.5" /><vertex vid="f" u0="1" v0="1" u1="0.25" v1="0.75" /><vertex vid="e" u0="1" v0="0" u1="0.125" v1="0.75" /></poly>
        <poly mid="m3"><vertex vid="b" u0="0" v0="0" /><vertex vid="c" u0="0" v0="1" /><vertex vid="f" u0="1" v0="1" /></poly>
      </polygons>
    </primitive>
  </primitives>
  <lights />
</scene>
)";
}

std::string WriteExportScene(const std::string& folder) {
  const std::string scene = folder + "scene.xml";
  WriteFile(scene, ExportSceneDocument());
  for (const char* name : kExportSceneTextures) WriteFile(folder + name, std::string("image of ") + name);
  return scene;
}

}  // namespace pallix::testing
