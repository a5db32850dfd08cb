// Portable stand-in for the options window: the same values and reactions, no window.
#include "OptionsFm.h"

#include <utility>

namespace pallix {

namespace {
TOptionsFormHook& Hook() {
  static TOptionsFormHook hook;
  return hook;
}
}  // namespace

void SetOptionsFormHook(TOptionsFormHook hook) { Hook() = std::move(hook); }

struct TOptionsForm::Window {};

TOptionsForm::TOptionsForm() : window_(std::make_unique<Window>()) { FormCreate(); }

TOptionsForm::~TOptionsForm() = default;

void TOptionsForm::FormCreate() {
  edScale = std::string("1");
  SetExportMaterials(true);
  SetExportTextures(true);
  SetExportLightmaps(true);
}

void TOptionsForm::SetExportMaterials(bool checked) {
  exportMaterials_ = checked;
  chkExportMaterialsClick();
}

void TOptionsForm::SetExportTextures(bool checked) {
  exportTextures_ = checked;
  chkExportTexturesClick();
}

void TOptionsForm::SetExportLightmaps(bool checked) { exportLightmaps_ = checked; }

void TOptionsForm::chkExportMaterialsClick() { SetEditEnabled(TPathEdit::Material, exportMaterials_); }

void TOptionsForm::chkExportTexturesClick() { SetEditEnabled(TPathEdit::Texture, exportTextures_); }

void TOptionsForm::SetEditEnabled(TPathEdit edit, bool enabled) {
  (edit == TPathEdit::Material ? materialPathEnabled_ : texturePathEnabled_) = enabled;
}

bool TOptionsForm::ShowModal() {
  ModalResult = Hook() ? Hook()(*this) : TModalResult::Cancel;
  return ModalResult == TModalResult::OK;
}

}  // namespace pallix
