// The options window: output file name and export options, confirmed before every run.
// The control values live in the plain members below. The Windows window
// (win32/OptionsFm.cpp) shows and edits them; the portable stand-in (OptionsFm.cpp) has no
// window and hands the form to a replaceable hook instead.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace pallix {

enum class TModalResult : std::int32_t { None = 0, OK = 1, Cancel = 2 };

// The two edit boxes whose enabled state follows a check box.
enum class TPathEdit { Material, Texture };

class TOptionsForm {
 public:
  // Creates the window hidden (no owner) and runs FormCreate.
  TOptionsForm();
  ~TOptionsForm();
  TOptionsForm(const TOptionsForm&) = delete;
  TOptionsForm& operator=(const TOptionsForm&) = delete;

  // Edit boxes: their texts.
  std::string edFileName;
  std::string edScale;
  std::string edMaterialPath;
  std::string edTexturePath;
  std::string edMaterialNamePrefix = "Test/";
  // Drop-down lists: the selected index, -1 for none.
  // cbAllowDynamicLighting: 0 "for all materials", 1 "for non-lightmapped materials only".
  std::int32_t cbAllowDynamicLighting = 1;
  // cbNormalsToExport: 0 "None", 1 "Face Normals", 2 "Smooth Normals".
  std::int32_t cbNormalsToExport = 1;

  // Check boxes. Changing a state, from code too, runs the box's click handler.
  bool chkExportMaterials() const { return exportMaterials_; }
  bool chkExportTextures() const { return exportTextures_; }
  bool chkExportLightmaps() const { return exportLightmaps_; }
  void SetExportMaterials(bool checked);
  void SetExportTextures(bool checked);
  void SetExportLightmaps(bool checked);

  // The path boxes are enabled while their check box is checked.
  bool edMaterialPathEnabled() const { return materialPathEnabled_; }
  bool edTexturePathEnabled() const { return texturePathEnabled_; }

  // Shows the window modally and returns when it closes; true when closed with OK.
  bool ShowModal();
  TModalResult ModalResult = TModalResult::None;

  // Handlers.
  void FormCreate();
  void chkExportMaterialsClick();
  void chkExportTexturesClick();
  void SetEditEnabled(TPathEdit edit, bool enabled);

 private:
  bool exportMaterials_ = false;
  bool exportTextures_ = false;
  bool exportLightmaps_ = false;
  bool materialPathEnabled_ = true;
  bool texturePathEnabled_ = true;

  // The platform's window state; defined by the unit that implements the form.
  struct Window;
  std::unique_ptr<Window> window_;
};

// Portable stand-in only: ShowModal calls this instead of showing a window. It may change
// the form's values and returns the modal result. Without a hook ShowModal answers Cancel.
using TOptionsFormHook = std::function<TModalResult(TOptionsForm& form)>;
void SetOptionsFormHook(TOptionsFormHook hook);

}  // namespace pallix
