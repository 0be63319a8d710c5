// The authoring control as the wizard's steps use it, over CQuillonCtrl.
#pragma once

#include <memory>

#include "quillon/quillon_ctrl.h"
#include "vantora/disc_burner.h"

namespace vantora {

class QuillonAuthoring final : public AuthoringControl {
 public:
  // control must outlive this object.
  explicit QuillonAuthoring(quillon::CQuillonCtrl& control);
  ~QuillonAuthoring() override;
  void ClearAll() override { control_.ClearAll(); }
  bool IsBuilding() const override { return control_.building(); }
  bool AddMainMenu(const std::string& path) override { return control_.AddMainMenu(path) != 0; }
  bool SetMainMenuButtonColor(std::int16_t a, std::int16_t b, std::int16_t c, std::int16_t d, std::int16_t e,
                              std::int16_t f) override {
    return control_.SetMainMenuButtonColor(a, b, c, d, e, f) != 0;
  }
  bool AddMainMenuButton(std::int32_t l, std::int32_t t, std::int32_t r, std::int32_t b,
                         std::int16_t title) override {
    return control_.AddMainMenuButton(l, t, r, b, title) != 0;
  }
  void SetEnableAutoNextTitle(bool on) override {
    control_.SetEnableAutoNextTitle(on ? platform::VARIANT_TRUE : platform::VARIANT_FALSE);
  }
  // A refused folder shows when the build fails.
  void SetOutputDir(const std::string& folder) override { control_.SetOutputDir(folder); }
  bool AddTitle(const std::string& path) override { return control_.AddTitle(path) != 0; }
  int GetTitleCount() override { return control_.GetTitleCount(); }
  bool BuildDVDImage() override { return control_.BuildDVDImage() != 0; }
  std::string LastBuildStatusText() const override { return control_.LastBuildStatusText(); }
  void SetEvents(AuthoringEvents* events) override;

 private:
  class Sink;
  quillon::CQuillonCtrl& control_;
  std::shared_ptr<Sink> sink_;
  platform::Cookie cookie_ = 0;
};

}  // namespace vantora
