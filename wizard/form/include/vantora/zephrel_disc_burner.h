// The wizard's disc-engine members over the disc engine's ISOBuilder.
#pragma once

#include <memory>

#include "vantora/disc_burner.h"
#include "zephrel/iso_builder.h"

namespace vantora {

class ZephrelDiscBurner final : public DiscBurner {
 public:
  // builder must not be null.
  explicit ZephrelDiscBurner(std::unique_ptr<zephrel::ISOBuilder> builder)
      : builder_(std::move(builder)) {}

  HResult Burner_Init() override { return builder_->Burner_Init(); }
  HResult Burner_DriveCount(std::int16_t& pVal) override { return builder_->Burner_DriveCount(pVal); }
  HResult Burner_DriveHA(std::int32_t d, std::int16_t& pVal) override { return builder_->Burner_DriveHA(d, pVal); }
  HResult Burner_DriveID(std::int32_t d, std::int16_t& pVal) override { return builder_->Burner_DriveID(d, pVal); }
  HResult Burner_DriveLUN(std::int32_t d, std::int16_t& pVal) override { return builder_->Burner_DriveLUN(d, pVal); }
  HResult Burner_GetDriveVendor(std::int32_t d, std::string& pVal) override {
    return builder_->Burner_GetDriveVendor(d, pVal);
  }
  HResult Burner_DriveModel(std::int32_t d, std::string& pVal) override { return builder_->Burner_DriveModel(d, pVal); }
  HResult Burner_DriveRevision(std::int32_t d, std::string& pVal) override {
    return builder_->Burner_DriveRevision(d, pVal);
  }
  HResult Burner_SpeedWriteCount(std::int32_t d, std::int32_t& pVal) override {
    return builder_->Burner_SpeedWriteCount(d, pVal);
  }
  HResult Burner_GetSpeedWrite(std::int32_t d, std::int32_t index, std::int32_t& pVal) override {
    return builder_->Burner_GetSpeedWrite(d, index, pVal);
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
  HResult Burner_EraseDisk(std::int32_t d, std::int32_t mode) override { return builder_->Burner_EraseDisk(d, mode); }
  std::string DriveDevicePath(std::int32_t d) override { return builder_->DriveDevicePath(d); }
  void SetMediaEvents(DiscMediaEvents* events) override;
  HResult Burner_ListenDrive(std::int32_t d) override { return builder_->Burner_ListenDrive(d); }
  HResult Burner_StopListenDrive() override { return builder_->Burner_StopListenDrive(); }
  HResult CancelBurn() override { return builder_->CancelBurn(); }
  HResult UnloadCom() override { return builder_->UnloadCom(); }
  void SetDispatcher(std::shared_ptr<platform::EventDispatcher> dispatcher, std::function<void()> abort) override {
    builder_->SetEventDispatcher(std::move(dispatcher), std::move(abort));
  }

  // For the event handlers and jobs of the later steps.
  zephrel::ISOBuilder& builder() { return *builder_; }

 private:
  class MediaSink;
  std::unique_ptr<zephrel::ISOBuilder> builder_;
  std::shared_ptr<MediaSink> media_sink_;  // advised at the first SetMediaEvents
};

inline std::unique_ptr<DiscBurner> CreateZephrelDiscBurner() {
  return std::make_unique<ZephrelDiscBurner>(zephrel::CreateISOBuilder());
}

}  // namespace vantora
