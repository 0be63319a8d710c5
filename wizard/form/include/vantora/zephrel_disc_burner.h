// The wizard's disc-engine members over the disc engine's ISOBuilder.
#pragma once

#include <memory>

#include "vantora/disc_burner.h"
#include "zephrel/iso_builder.h"

namespace vantora {

class ZephrelDiscBurner final : public DiscBurner {
 public:
  // builder must not be null.
  explicit ZephrelDiscBurner(std::unique_ptr<zephrel::ISOBuilder> builder);
  ~ZephrelDiscBurner() override;

  HResult Burner_Init() override { return builder_->Burner_Init(); }
  HResult Burner_DriveCount(std::int16_t& pVal) override { return builder_->Burner_DriveCount(pVal); }
  HResult Burner_DriveHA(std::int32_t d, std::int16_t& pVal) override {
    return builder_->Burner_DriveHA(d, pVal);
  }
  HResult Burner_DriveID(std::int32_t d, std::int16_t& pVal) override {
    return builder_->Burner_DriveID(d, pVal);
  }
  HResult Burner_DriveLUN(std::int32_t d, std::int16_t& pVal) override {
    return builder_->Burner_DriveLUN(d, pVal);
  }
  HResult Burner_GetDriveVendor(std::int32_t d, std::string& pVal) override {
    return builder_->Burner_GetDriveVendor(d, pVal);
  }
  HResult Burner_DriveModel(std::int32_t d, std::string& pVal) override {
    return builder_->Burner_DriveModel(d, pVal);
  }
  HResult Burner_DriveRevision(std::int32_t d, std::string& pVal) override {
    return builder_->Burner_DriveRevision(d, pVal);
  }
  HResult Burner_SpeedWriteCount(std::int32_t d, std::int32_t& pVal) override {
    return builder_->Burner_SpeedWriteCount(d, pVal);
  }
  HResult Burner_GetMediaType(std::int32_t d, std::int32_t& pVal) override {
    return builder_->Burner_GetMediaType(d, pVal);
  }
  HResult Burner_GetMediaTypeName(std::int32_t d, std::int32_t index, std::string& pVal) override {
    return builder_->Burner_GetMediaTypeName(d, index, pVal);
  }
  HResult Burner_MediaIsEmpty(std::int32_t d, std::int32_t& pVal) override {
    return builder_->Burner_MediaIsEmpty(d, pVal);
  }
  HResult Burner_DiskIsStillWritable(std::int32_t d, std::int32_t& pVal) override {
    return builder_->Burner_DiskIsStillWritable(d, pVal);
  }
  HResult Burner_GetMediaTotalSpace(std::int32_t d, float& pVal) override {
    return builder_->Burner_GetMediaTotalSpace(d, pVal);
  }
  HResult Burner_GetMediaUsedSpace(std::int32_t d, float& pVal) override {
    return builder_->Burner_GetMediaUsedSpace(d, pVal);
  }
  HResult Burner_EraseDisk(std::int32_t d, std::int32_t mode) override {
    return builder_->Burner_EraseDisk(d, mode);
  }
  std::string DriveDevicePath(std::int32_t d) override { return builder_->DriveDevicePath(d); }
  bool MediaCanSimulate(std::int32_t d) override { return builder_->MediaCanSimulate(d); }
  void BeginMediaRefresh(std::int32_t d) override { builder_->BeginMediaRefresh(d); }
  bool EndMediaRefresh(std::int32_t d) override { return builder_->EndMediaRefresh(d); }
  void SetMediaEvents(DiscMediaEvents* events) override;
  HResult Burner_ListenDrive(std::int32_t d) override { return builder_->Burner_ListenDrive(d); }
  HResult Burner_StopListenDrive() override { return builder_->Burner_StopListenDrive(); }
  HResult CancelBurn() override { return builder_->CancelBurn(); }
  HResult UnloadCom() override { return builder_->UnloadCom(); }
  void SetDispatcher(std::shared_ptr<platform::EventDispatcher> dispatcher,
                     std::function<void()> abort) override {
    builder_->SetEventDispatcher(std::move(dispatcher), std::move(abort));
  }
  HResult SetCDName(const std::string& name) override { return builder_->SetCDName(name); }
  HResult Clear() override { return builder_->Clear(); }
  HResult AddVirtualDirectory(std::int32_t dad, const std::string& name) override {
    return builder_->AddVirtualDirectory(dad, name);
  }
  HResult AddFile(std::int32_t dad, const std::string& path) override { return builder_->AddFile(dad, path); }
  HResult CreateIso(const std::string& path, std::int32_t mode, std::int32_t video) override {
    return builder_->CreateIso(path, mode, video);
  }
  HResult Burner_SetSizeBuffer(std::int32_t size) override { return builder_->Burner_SetSizeBuffer(size); }
  HResult SetPriorityThread(std::int32_t priority) override { return builder_->SetPriorityThread(priority); }
  HResult Burner_GetSpeedWrite(std::int32_t d, std::int32_t index, std::int32_t& pVal) override {
    return builder_->Burner_GetSpeedWrite(d, index, pVal);
  }
  HResult Burner_SetWriteSpeed(std::int32_t d, std::int32_t speed) override {
    return builder_->Burner_SetWriteSpeed(d, speed);
  }
  HResult Burner_BurnData(std::int32_t d, std::int32_t data_mode, std::int32_t burn_mode, std::int32_t multi,
                          std::int32_t fake, std::int32_t proof, std::int32_t import,
                          std::int32_t video) override {
    return builder_->Burner_BurnData(d, data_mode, burn_mode, multi, fake, proof, import, video);
  }
  void SetEvents(DiscBurnerEvents* events) override;

  // For the event handlers and jobs of the later steps.
  zephrel::ISOBuilder& builder() { return *builder_; }

 private:
  class Sink;
  std::unique_ptr<zephrel::ISOBuilder> builder_;
  std::shared_ptr<Sink> sink_;
  platform::Cookie cookie_ = 0;
};

inline std::unique_ptr<DiscBurner> CreateZephrelDiscBurner() {
  return std::make_unique<ZephrelDiscBurner>(zephrel::CreateISOBuilder());
}

}  // namespace vantora
