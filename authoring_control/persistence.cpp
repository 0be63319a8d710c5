// What the control persists and how it draws itself.
#include "quillon/identity.h"
#include "quillon/quillon_ctrl.h"

namespace quillon {
namespace {

constexpr char kAutoNextKey[] = "EnableAutoNextTitle";
constexpr std::int32_t kExchangeVersion = 0x00010000;  // 1.0

}  // namespace

void CQuillonCtrl::SaveState(PropertyBag& bag) const {
  bag.Write(PropertyBag::kVersionKey, platform::Variant(kExchangeVersion));
  bag.Write(kAutoNextKey, platform::Variant::FromVariantBool(auto_next_));
}

void CQuillonCtrl::LoadState(const PropertyBag& bag) {
  VariantBool value = platform::VARIANT_TRUE;
  if (auto stored = bag.Read(kAutoNextKey)) {
    platform::Variant b;
    if (platform::Succeeded(stored->ChangeType(platform::VarType::kBool, b))) value = b.boolean();
  }
  auto_next_ = value;
}

void CQuillonCtrl::ResetState() {
  LoadState(PropertyBag());
  if (site_) site_->Invalidate();
}

void CQuillonCtrl::OnDraw(Painter* painter, const Rect& bounds) {
  if (!painter) return;
  if (!design_mode_) {
    // Invisible at run time: the window shrinks to a single pixel.
    if (site_) site_->ResizeWindow(1, 1);
    return;
  }
  painter->FillRect(bounds, kBlack);
  painter->SetTransparentTextBackground();
  painter->SetTextColour(kRed);
  painter->DrawCentredLine(kControlTypeName, bounds);
}

}  // namespace quillon
