// Reads our files with OGRE itself: binary meshes through OGRE's MeshSerializer, material
// scripts through OGRE's script compiler, and XML meshes as OgreXMLConverter writes them.
// Fails (exit 1) on any exception, any error in OGRE's log, or any difference from the
// expectation file the fixture program wrote beside the files.
//
//   pallix_ogre_check [--expect FILE] [--mesh FILE] [--material FILE] [--xml FILE]
//                     [--converted yes]   (the mesh comes from OgreXMLConverter)
//   pallix_ogre_check --uniquify-xml IN OUT
//   pallix_ogre_check --resave BASE   (BASE.mesh and the other versions beside it, see Resave)
//
// Without --expect, a mesh and a material script are checked against each other: every
// submesh names a material of the script, and carries the coordinate sets its units read.
#include <Ogre.h>
#include <OgreDefaultHardwareBufferManager.h>
#include <OgreMeshSerializer.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

int gFailures = 0;
bool gConverted = false;  // the mesh was written by OgreXMLConverter, not by us
std::string gContext;

void Fail(const std::string& what) {
  std::fprintf(stderr, "FAIL %s: %s\n", gContext.c_str(), what.c_str());
  ++gFailures;
}

template <typename T>
void ExpectEq(const T& actual, const T& expected, const std::string& what) {
  if (actual == expected) return;
  std::ostringstream s;
  s << what << ": got " << actual << ", expected " << expected;
  Fail(s.str());
}

std::string ReadFile(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  if (!in) Fail("cannot read " + name);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// ---- expectations -------------------------------------------------------------------------

struct ExpectedSubMesh {
  std::size_t vertices = 0, faces = 0;
  bool normals = false;
  unsigned sets = 0;
  std::string material;
};
struct ExpectedUnit {
  unsigned set = 0;
  std::string texture;
};
struct ExpectedMaterial {
  std::string name;
  std::string blend;  // none, replace or alpha
  std::vector<ExpectedUnit> units;
};
struct Expectation {
  std::vector<ExpectedSubMesh> subMeshes;
  std::vector<ExpectedMaterial> materials;
};

// Lines: "submesh V F N S name", "material blend name", "unit set texture"; names run to the
// end of the line.
Expectation ReadExpectation(const std::string& fileName) {
  Expectation e;
  std::istringstream in(ReadFile(fileName));
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream l(line);
    std::string kind;
    l >> kind;
    auto rest = [&l] {
      std::string s;
      std::getline(l >> std::ws, s);
      return s;
    };
    if (kind == "submesh") {
      ExpectedSubMesh s;
      l >> s.vertices >> s.faces >> s.normals >> s.sets;
      s.material = rest();
      e.subMeshes.push_back(s);
    } else if (kind == "material") {
      ExpectedMaterial m;
      l >> m.blend;
      m.name = rest();
      e.materials.push_back(m);
    } else if (kind == "unit" && !e.materials.empty()) {
      ExpectedUnit u;
      l >> u.set;
      u.texture = rest();
      e.materials.back().units.push_back(u);
    } else if (!kind.empty()) {
      Fail("bad expectation line: " + line);
    }
  }
  return e;
}

// ---- OGRE without a render system -------------------------------------------------------

// Any error OGRE logs counts as a failure: the script compiler reports through the log only.
class ErrorCatcher : public Ogre::LogListener {
 public:
  void messageLogged(const Ogre::String& message, Ogre::LogMessageLevel level, bool, const Ogre::String&,
                     bool&) override {
    std::string lower = message;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    if (level == Ogre::LML_CRITICAL || lower.find("error") != std::string::npos ||
        lower.find("exception") != std::string::npos) {
      Fail("OGRE: " + message);
    }
  }
};

class OgreSetup {
 public:
  OgreSetup() {
    logs_ = std::make_unique<Ogre::LogManager>();
    logs_->createLog("pallix_ogre_check.log", true, false, true)->addListener(&catcher_);
    root_ = std::make_unique<Ogre::Root>("", "", "");
    buffers_ = std::make_unique<Ogre::DefaultHardwareBufferManager>();
    textures_ = std::make_unique<Ogre::DefaultTextureManager>();
  }
  ~OgreSetup() {
    Ogre::MeshManager::getSingleton().removeAll();
    Ogre::MaterialManager::getSingleton().removeAll();
    textures_.reset();
    buffers_.reset();
    root_.reset();
    logs_->getDefaultLog()->removeListener(&catcher_);
  }

 private:
  ErrorCatcher catcher_;
  std::unique_ptr<Ogre::LogManager> logs_;
  std::unique_ptr<Ogre::Root> root_;
  std::unique_ptr<Ogre::DefaultHardwareBufferManager> buffers_;
  std::unique_ptr<Ogre::DefaultTextureManager> textures_;
};

const Ogre::String& Group() { return Ogre::ResourceGroupManager::DEFAULT_RESOURCE_GROUP_NAME; }

// A stream that owns a copy of the file's bytes.
Ogre::DataStreamPtr Stream(const std::string& fileName) {
  const std::string bytes = ReadFile(fileName);
  auto stream = std::make_shared<Ogre::MemoryDataStream>(fileName, bytes.size(), true);
  std::memcpy(stream->getPtr(), bytes.data(), bytes.size());
  return stream;
}

// ---- binary mesh --------------------------------------------------------------------------

struct LoadedSubMesh {
  std::string material;
  std::size_t vertices = 0, indices = 0;
  bool normals = false;
  unsigned sets = 0;
};

// The material names as the file holds them: OGRE itself keeps a name only when the material
// exists.
class NameRecorder : public Ogre::MeshSerializerListener {
 public:
  std::vector<std::string> names;
  void processMaterialName(Ogre::Mesh*, Ogre::String* name) override {
    std::string n = *name;
    // Undo --uniquify-xml.
    const std::size_t hash = n.rfind('#');
    if (gConverted && hash != std::string::npos &&
        n.find_first_not_of("0123456789", hash + 1) == std::string::npos) {
      n.resize(hash);
    }
    names.push_back(n);
  }
  void processSkeletonName(Ogre::Mesh*, Ogre::String*) override {}
  void processMeshCompleted(Ogre::Mesh*) override {}
};

std::vector<LoadedSubMesh> LoadMesh(const std::string& fileName) {
  gContext = fileName;
  std::vector<LoadedSubMesh> out;
  Ogre::MeshPtr mesh = Ogre::MeshManager::getSingleton().createManual(fileName, Group());
  NameRecorder recorder;
  Ogre::MeshSerializer serializer;
  serializer.setListener(&recorder);
  serializer.importMesh(Stream(fileName), mesh.get());
  if (recorder.names.size() != mesh->getNumSubMeshes()) Fail("material names not all seen");
  recorder.names.resize(mesh->getNumSubMeshes());
  const Ogre::AxisAlignedBox& box = mesh->getBounds();
  Ogre::Vector3 lo(INFINITY, INFINITY, INFINITY), hi(-INFINITY, -INFINITY, -INFINITY);
  std::vector<Ogre::Vector3> positions;
  for (unsigned i = 0; i < mesh->getNumSubMeshes(); ++i) {
    gContext = fileName + " submesh " + std::to_string(i);
    const Ogre::SubMesh* sub = mesh->getSubMesh(i);
    LoadedSubMesh s;
    s.material = recorder.names[i];
    if (sub->useSharedVertices) Fail("uses shared vertices");
    if (sub->operationType != Ogre::RenderOperation::OT_TRIANGLE_LIST) Fail("not a triangle list");
    const Ogre::VertexData* vd = sub->vertexData;
    s.vertices = vd->vertexCount;
    s.indices = sub->indexData->indexCount;
    const auto want =
        s.vertices > 65536 ? Ogre::HardwareIndexBuffer::IT_32BIT : Ogre::HardwareIndexBuffer::IT_16BIT;
    if (s.indices && sub->indexData->indexBuffer->getType() != want)
      Fail("index size does not fit the vertex count");
    const Ogre::VertexDeclaration* decl = vd->vertexDeclaration;
    for (const Ogre::VertexElement& el : decl->getElements()) {
      switch (el.getSemantic()) {
        case Ogre::VES_POSITION:
          if (el.getType() != Ogre::VET_FLOAT3) Fail("position is not float3");
          break;
        case Ogre::VES_NORMAL:
          if (el.getType() != Ogre::VET_FLOAT3) Fail("normal is not float3");
          s.normals = true;
          break;
        case Ogre::VES_TEXTURE_COORDINATES:
          if (el.getType() != Ogre::VET_FLOAT2) Fail("texture coordinates are not float2");
          if (el.getIndex() != s.sets) Fail("texture coordinate sets out of order");
          ++s.sets;
          break;
        default:
          Fail("unexpected vertex element");
      }
    }
    // Every index addresses a vertex; every position lies in the mesh's box.
    if (s.indices) {
      auto ib = sub->indexData->indexBuffer;
      const void* p = ib->lock(Ogre::HardwareBuffer::HBL_READ_ONLY);
      for (std::size_t k = 0; k < s.indices; ++k) {
        const std::size_t index = ib->getType() == Ogre::HardwareIndexBuffer::IT_16BIT
                                      ? static_cast<const std::uint16_t*>(p)[k]
                                      : static_cast<const std::uint32_t*>(p)[k];
        if (index >= s.vertices) {
          Fail("index " + std::to_string(index) + " out of range");
          break;
        }
      }
      ib->unlock();
    }
    const Ogre::VertexElement* pos = decl->findElementBySemantic(Ogre::VES_POSITION);
    if (!pos) {
      Fail("no positions");
    } else if (s.vertices) {
      auto vb = vd->vertexBufferBinding->getBuffer(pos->getSource());
      const auto* base = static_cast<const unsigned char*>(vb->lock(Ogre::HardwareBuffer::HBL_READ_ONLY));
      for (std::size_t k = 0; k < s.vertices; ++k) {
        float xyz[3];
        std::memcpy(xyz, base + k * vb->getVertexSize() + pos->getOffset(), sizeof xyz);
        const Ogre::Vector3 v(xyz[0], xyz[1], xyz[2]);
        lo.makeFloor(v);
        hi.makeCeil(v);
        positions.push_back(v);
      }
      vb->unlock();
    }
    out.push_back(s);
  }
  gContext = fileName;
  // The bounds chunk is exactly the box of the positions; the radius reaches the farthest
  // position from the origin, where OGRE centres the bounding sphere.
  if (!positions.empty()) {
    if (box.getMinimum() != lo || box.getMaximum() != hi) Fail("bounds do not match the positions");
    double farthest = 0;
    for (const Ogre::Vector3& v : positions) farthest = std::max(farthest, double(v.length()));
    const double radius = mesh->getBoundingSphereRadius();
    if (std::fabs(radius - farthest) > 1e-5 * std::max(1.0, farthest)) {
      Fail("radius " + std::to_string(radius) + " is not the farthest distance " + std::to_string(farthest));
    }
  }
  Ogre::MeshManager::getSingleton().remove(mesh);
  return out;
}

void CheckMeshAgainst(const std::vector<LoadedSubMesh>& loaded, const Expectation& e) {
  ExpectEq(loaded.size(), e.subMeshes.size(), "submesh count");
  for (std::size_t i = 0; i < std::min(loaded.size(), e.subMeshes.size()); ++i) {
    const LoadedSubMesh& l = loaded[i];
    const ExpectedSubMesh& x = e.subMeshes[i];
    const std::string at = "submesh " + std::to_string(i) + " ";
    ExpectEq(l.material, x.material, at + "material");
    ExpectEq(l.vertices, x.vertices, at + "vertex count");
    ExpectEq(l.indices, 3 * x.faces, at + "index count");
    ExpectEq(l.normals, x.normals, at + "normals");
    ExpectEq(l.sets, x.sets, at + "coordinate sets");
  }
}

Expectation AsExpectation(const std::vector<LoadedSubMesh>& loaded) {
  Expectation e;
  for (const LoadedSubMesh& l : loaded)
    e.subMeshes.push_back({l.vertices, l.indices / 3, l.normals, l.sets, l.material});
  return e;
}

// ---- material script ----------------------------------------------------------------------

struct LoadedUnit {
  unsigned set;
  std::string texture;
};
struct LoadedMaterial {
  std::string blend;
  std::vector<LoadedUnit> units;
};

std::map<std::string, LoadedMaterial> LoadMaterials(const std::string& fileName) {
  gContext = fileName;
  Ogre::DataStreamPtr stream = Stream(fileName);
  Ogre::MaterialManager::getSingleton().parseScript(stream, Group());
  std::map<std::string, LoadedMaterial> out;
  auto it = Ogre::MaterialManager::getSingleton().getResourceIterator();
  while (it.hasMoreElements()) {
    auto res = it.getNext();
    if (res->getGroup() != Group() || res->getOrigin() != fileName) continue;
    auto* mat = static_cast<Ogre::Material*>(res.get());
    LoadedMaterial m;
    if (mat->getNumTechniques() != 1 || mat->getTechnique(0)->getNumPasses() != 1) {
      Fail(mat->getName() + ": not one technique with one pass");
      continue;
    }
    const Ogre::Pass* pass = mat->getTechnique(0)->getPass(0);
    const auto src = pass->getSourceBlendFactor(), dst = pass->getDestBlendFactor();
    if (src == Ogre::SBF_ONE && dst == Ogre::SBF_ZERO) {
      m.blend = pass->getDepthWriteEnabled() ? "none" : "replace";
    } else if (src == Ogre::SBF_SOURCE_ALPHA && dst == Ogre::SBF_ONE_MINUS_SOURCE_ALPHA &&
               !pass->getDepthWriteEnabled()) {
      m.blend = "alpha";
    } else {
      m.blend = "other";
    }
    for (unsigned short u = 0; u < pass->getNumTextureUnitStates(); ++u) {
      const Ogre::TextureUnitState* t = pass->getTextureUnitState(u);
      m.units.push_back({t->getTextureCoordSet(), t->getTextureName()});
    }
    out[mat->getName()] = m;
  }
  return out;
}

void CheckMaterialsAgainst(const std::map<std::string, LoadedMaterial>& loaded, const Expectation& e) {
  ExpectEq(loaded.size(), e.materials.size(), "material count");
  for (const ExpectedMaterial& x : e.materials) {
    const auto found = loaded.find(x.name);
    if (found == loaded.end()) {
      Fail("material \"" + x.name + "\" not defined by the script");
      continue;
    }
    const LoadedMaterial& m = found->second;
    const std::string at = "material \"" + x.name + "\" ";
    ExpectEq(m.blend, x.blend, at + "scene blend");
    ExpectEq(m.units.size(), x.units.size(), at + "texture unit count");
    for (std::size_t i = 0; i < std::min(m.units.size(), x.units.size()); ++i) {
      ExpectEq(m.units[i].texture, x.units[i].texture, at + "unit " + std::to_string(i) + " texture");
      ExpectEq(m.units[i].set, x.units[i].set, at + "unit " + std::to_string(i) + " coordinate set");
    }
  }
}

// What the mesh names must be in the script, and each submesh carries exactly the sets its
// material's units read: unit j reads set j, and a left-out lightmap is always the last unit.
void CheckMeshAgainstScript(const std::vector<LoadedSubMesh>& mesh,
                            const std::map<std::string, LoadedMaterial>& materials) {
  for (const LoadedSubMesh& s : mesh) {
    const auto found = materials.find(s.material);
    if (found == materials.end()) {
      Fail("submesh material \"" + s.material + "\" not defined by the script");
      continue;
    }
    unsigned sets = 0;
    for (const LoadedUnit& u : found->second.units) sets = std::max(sets, u.set + 1);
    if (sets != s.sets) {
      Fail("material \"" + s.material + "\" reads " + std::to_string(sets) +
           " coordinate sets, its submesh has " + std::to_string(s.sets));
    }
  }
}

// ---- XML mesh as OgreXMLConverter writes it ---------------------------------------------

std::string Unescape(std::string s) {
  const std::pair<const char*, char> entities[] = {
      {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}, {"&amp;", '&'}};
  for (const auto& [entity, c] : entities) {
    for (std::size_t p = s.find(entity); p != std::string::npos; p = s.find(entity, p + 1)) {
      s.replace(p, std::strlen(entity), 1, c);
    }
  }
  return s;
}

// The value of an attribute inside one start tag; empty when absent.
std::string Attribute(const std::string& tag, const std::string& name) {
  const std::string key = " " + name + "=\"";
  const std::size_t p = tag.find(key);
  if (p == std::string::npos) return "";
  const std::size_t start = p + key.size();
  return Unescape(tag.substr(start, tag.find('"', start) - start));
}

std::vector<LoadedSubMesh> ScanXmlMesh(const std::string& fileName) {
  gContext = fileName;
  const std::string text = ReadFile(fileName);
  std::vector<LoadedSubMesh> out;
  std::vector<bool> wide;
  for (std::size_t p = text.find('<'); p != std::string::npos; p = text.find('<', p + 1)) {
    // The tag ends at the first ">" outside quotes; values may hold a bare ">".
    std::size_t end = p;
    for (bool quoted = false; end < text.size() && (quoted || text[end] != '>'); ++end) {
      if (text[end] == '"') quoted = !quoted;
    }
    const std::string tag = text.substr(p, end - p);
    const std::string name = tag.substr(1, tag.find_first_of(" />", 1) - 1);
    if (name == "submesh") {
      out.emplace_back();
      out.back().material = Attribute(tag, "material");
      wide.push_back(Attribute(tag, "use32bitindexes") == "true");
    } else if (out.empty()) {
      continue;
    } else if (name == "faces") {
      out.back().indices = 3 * std::stoul(Attribute(tag, "count"));
    } else if (name == "geometry") {
      out.back().vertices = std::stoul(Attribute(tag, "vertexcount"));
    } else if (name == "vertexbuffer") {
      if (Attribute(tag, "normals") == "true") out.back().normals = true;
      const std::string sets = Attribute(tag, "texture_coords");
      if (!sets.empty()) out.back().sets += static_cast<unsigned>(std::stoul(sets));
    }
  }
  for (std::size_t i = 0; i < out.size(); ++i) {
    if (wide[i] != (out[i].vertices > 65536))
      Fail("submesh " + std::to_string(i) + " index size does not fit");
  }
  return out;
}

// ---- OGRE's own writer ------------------------------------------------------------------

// The part after the header chunk.
std::string Body(const std::string& bytes) {
  return bytes.substr(std::min(bytes.find('\n') + 1, bytes.size()));
}
std::string Header(const std::string& bytes) { return bytes.substr(0, bytes.size() - Body(bytes).size()); }

// Every version we write, as OGRE's serializer writes it from our 1.0 file. OGRE adds a submesh
// operation chunk to every submesh and an empty submesh name table in 1.0 as well; our 1.0
// files leave both out, as the plug-in always has, so OGRE's 1.0 must equal our 1.7 file but
// for the header.
struct VersionRow {
  Ogre::MeshVersion version;
  const char* suffix;      // of our file in this version
  const char* sameBodyAs;  // our file OGRE's re-save equals after the header
};
const VersionRow kVersions[] = {
    {Ogre::MESH_VERSION_1_0, ".mesh", ".v1.7.mesh"},
    {Ogre::MESH_VERSION_1_7, ".v1.7.mesh", ".v1.7.mesh"},
    {Ogre::MESH_VERSION_1_8, ".v1.8.mesh", ".v1.8.mesh"},
    {Ogre::MESH_VERSION_1_10, ".v1.10.mesh", ".v1.10.mesh"},
};

// OGRE re-saves our 1.0 file in every version, and our file of each later version in its own
// version; each must come out as our files are, byte for byte. The material script is read
// first: OGRE keeps a submesh's material name only when the material exists.
void Resave(const std::string& base) {
  gContext = base;
  LoadMaterials(base + ".material");
  Ogre::MeshSerializer serializer;
  int n = 0;
  auto resaved = [&](const std::string& from, Ogre::MeshVersion version) {
    Ogre::MeshPtr mesh =
        Ogre::MeshManager::getSingleton().createManual("resave" + std::to_string(n++), Group());
    serializer.importMesh(Stream(from), mesh.get());
    const std::string to = base + ".ogre.mesh";
    serializer.exportMesh(mesh.get(), to, version);
    Ogre::MeshManager::getSingleton().remove(mesh);
    return ReadFile(to);
  };
  const std::string ours10 = ReadFile(base + ".mesh");
  for (const VersionRow& row : kVersions) {
    gContext = base + row.suffix;
    const std::string ours = ReadFile(base + row.suffix);
    const std::string fromOurs10 = resaved(base + ".mesh", row.version);
    if (Header(fromOurs10) != Header(ours)) Fail("OGRE's header is " + Header(fromOurs10));
    if (Body(fromOurs10) != Body(ReadFile(base + row.sameBodyAs))) {
      Fail(std::string("OGRE's re-save of the 1.0 file differs from ") + row.sameBodyAs);
    }
    if (row.version != Ogre::MESH_VERSION_1_0 && resaved(base + row.suffix, row.version) != ours) {
      Fail("OGRE's re-save differs from the file it read");
    }
  }
  std::remove((base + ".ogre.mesh").c_str());
}

// OgreXMLConverter cannot read an XML mesh in which two submeshes name the same material (it
// creates a material per submesh); the copy it is given names the repeats "name#2", "name#3".
int UniquifyXml(const std::string& in, const std::string& out) {
  std::string text = ReadFile(in);
  std::map<std::string, int> seen;
  const std::string key = "<submesh material=\"";
  for (std::size_t p = text.find(key); p != std::string::npos; p = text.find(key, p + 1)) {
    const std::size_t start = p + key.size();
    const std::size_t end = text.find('"', start);
    const int n = ++seen[text.substr(start, end - start)];
    if (n > 1) text.insert(end, "#" + std::to_string(n));
  }
  std::ofstream(out, std::ios::binary) << text;
  return gFailures ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--uniquify-xml") return UniquifyXml(argv[2], argv[3]);
  if (argc == 3 && std::string(argv[1]) == "--resave") {
    try {
      OgreSetup ogre;
      Resave(argv[2]);
    } catch (const std::exception& e) {
      Fail(std::string("exception: ") + e.what());
    }
    return gFailures ? 1 : 0;
  }
  std::string expectFile, meshFile, materialFile, xmlFile;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--expect") {
      expectFile = argv[i + 1];
    } else if (option == "--mesh") {
      meshFile = argv[i + 1];
    } else if (option == "--material") {
      materialFile = argv[i + 1];
    } else if (option == "--xml") {
      xmlFile = argv[i + 1];
    } else if (option == "--converted") {
      gConverted = std::string(argv[i + 1]) == "yes";
    } else {
      std::fprintf(stderr, "unknown option %s\n", option.c_str());
      return 2;
    }
  }
  if (argc % 2 == 0 || (meshFile.empty() && materialFile.empty() && xmlFile.empty())) {
    std::fprintf(stderr,
                 "usage: %s [--expect FILE] [--mesh FILE] [--material FILE] [--xml FILE] [--converted yes]\n",
                 argv[0]);
    return 2;
  }

  try {
    OgreSetup ogre;
    Expectation expectation;
    if (!expectFile.empty()) expectation = ReadExpectation(expectFile);
    std::vector<LoadedSubMesh> mesh;
    std::map<std::string, LoadedMaterial> materials;
    if (!materialFile.empty()) {
      materials = LoadMaterials(materialFile);
      gContext = materialFile;
      if (!expectFile.empty()) CheckMaterialsAgainst(materials, expectation);
    }
    if (!meshFile.empty()) {
      mesh = LoadMesh(meshFile);
      gContext = meshFile;
      if (!expectFile.empty()) CheckMeshAgainst(mesh, expectation);
    }
    if (!xmlFile.empty()) {
      const std::vector<LoadedSubMesh> xml = ScanXmlMesh(xmlFile);
      gContext = xmlFile;
      if (!expectFile.empty()) CheckMeshAgainst(xml, expectation);
      // Without expectations, a binary and an XML form of one mesh must agree.
      if (expectFile.empty() && !meshFile.empty()) CheckMeshAgainst(mesh, AsExpectation(xml));
      if (meshFile.empty()) mesh = xml;
    }
    if (!materialFile.empty()) CheckMeshAgainstScript(mesh, materials);
  } catch (const std::exception& e) {
    Fail(std::string("exception: ") + e.what());
  }
  if (gFailures) {
    std::fprintf(stderr, "%d failure(s)\n", gFailures);
    return 1;
  }
  return 0;
}
