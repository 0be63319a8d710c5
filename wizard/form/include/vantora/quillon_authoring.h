// The authoring control as the wizard's steps use it, over CQuillonCtrl.
#pragma once

#include "quillon/quillon_ctrl.h"
#include "vantora/disc_burner.h"

namespace vantora {

class QuillonAuthoring final : public AuthoringControl {
 public:
  // control must outlive this object.
  explicit QuillonAuthoring(quillon::CQuillonCtrl& control) : control_(control) {}
  void ClearAll() override { control_.ClearAll(); }
  bool IsBuilding() const override { return control_.building(); }

 private:
  quillon::CQuillonCtrl& control_;
};

}  // namespace vantora
