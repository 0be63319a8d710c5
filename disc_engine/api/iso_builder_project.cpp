// Members of the project tree (the files and folders an image is built from):
// every ISOBuilder of the process works on the one process-wide tree, and each
// call reports to the events of the object it was made on.
#include <memory>
#include <string>

#include "api/engine_drives.h"
#include "tree/project_tree.h"
#include "zephrel/iso_builder.h"

namespace zephrel {

using platform::HResult;
using platform::S_OK;

namespace {

// Forwards the tree's reports to an object's events; a scan holds it (and so
// the events) until its last report.
class BuilderTreeEvents final : public TreeEvents {
 public:
  explicit BuilderTreeEvents(std::shared_ptr<ISOBuilderEvents> events) : events_(std::move(events)) {}
  void OnAddingElements(const std::string& name, std::int32_t flag_file) override {
    events_->OnAddingElements(name, flag_file);
  }
  void OnEndAddingElements() override { events_->OnEndAddingElements(); }
  void OnBuildingError(std::int32_t error_number, const std::string& description) override {
    events_->OnBuildingError(error_number, description);
  }
  void BeginRetrieveElementsAtLevel() override { events_->BeginRetrieveElementsAtLevel(); }
  void RetrieveElementsAtLevel(const std::string& name, const std::string& path, std::int32_t index,
                               float file_size, std::int32_t flag_file,
                               std::int32_t flag_last_session) override {
    events_->RetrieveElementsAtLevel(name, path, index, file_size, flag_file, flag_last_session);
  }
  void EndRetrieveElementsAtLevel() override { events_->EndRetrieveElementsAtLevel(); }
  void RetrieveDirectoriesAtLevelBegin(std::int32_t index) override {
    events_->RetrieveDirectoriesAtLevelBegin(index);
  }
  void RetrieveDirectoriesAtLevel(const std::string& dir_name, std::int32_t index, std::int32_t dad_index,
                                  std::int32_t has_child) override {
    events_->RetrieveDirectoriesAtLevel(dir_name, index, dad_index, has_child);
  }

 private:
  std::shared_ptr<ISOBuilderEvents> events_;
};

EventTarget Target(const std::shared_ptr<ISOBuilderEvents>& events) {
  return std::make_shared<BuilderTreeEvents>(events);
}

ProjectTree& Tree() { return ProjectTree::Process(); }

}  // namespace

HResult ISOBuilder::AddDirectory(std::int32_t Dad_Index, const std::string& Path) {
  Tree().AddDirectory(Dad_Index, Path, Target(events_));
  return S_OK;
}

HResult ISOBuilder::Clear() {
  Tree().Clear();
  return S_OK;
}

HResult ISOBuilder::GetDirectoryCount(std::int32_t& pVal) {
  pVal = Tree().GetDirectoryCount();
  return S_OK;
}

HResult ISOBuilder::GetFileCount(std::int32_t& pVal) {
  pVal = Tree().GetFileCount();
  return S_OK;
}

// The files plus what the disc in the listened drive already holds (a new
// session goes after it); no listened drive counts as 0.
HResult ISOBuilder::GetProjectedImageSize(float& pVal) {
  float used = -1.0f;
  if (const int drive = EngineListener().ListenedDrive(); drive >= 0) Burner_GetMediaUsedSpace(drive, used);
  pVal = Tree().ProjectedImageSizeMB(used);
  return S_OK;
}

HResult ISOBuilder::AddVirtualDirectory(std::int32_t Dad_Index, const std::string& Name) {
  Tree().AddVirtualDirectory(Dad_Index, Name, Target(events_));
  return S_OK;
}

HResult ISOBuilder::AddFile(std::int32_t Dad_Index, const std::string& mPath) {
  Tree().AddFile(Dad_Index, mPath, Target(events_));
  return S_OK;
}

HResult ISOBuilder::SetCDName(const std::string& Name) {
  Tree().SetCDName(Name);
  return S_OK;
}

HResult ISOBuilder::SetSoftwareName(const std::string& SoftwareName) {
  Tree().SetSoftwareName(SoftwareName);
  return S_OK;
}

HResult ISOBuilder::GetFilesDirsAtLevel(std::int32_t level) {
  Tree().GetFilesDirsAtLevel(level, Target(events_));
  return S_OK;
}

HResult ISOBuilder::RemoveAt(std::int32_t index) {
  Tree().RemoveAt(index);
  return S_OK;
}

HResult ISOBuilder::RenameElementAt(std::int32_t index, const std::string& NewName) {
  Tree().RenameElementAt(index, NewName);
  return S_OK;
}

HResult ISOBuilder::DirectoryCountAtLevel(std::int32_t index, std::int32_t& pVal) {
  pVal = Tree().DirectoryCountAtLevel(index, Target(events_));
  return S_OK;
}

HResult ISOBuilder::Cancel_AddDirectory() {
  Tree().CancelAddDirectory();
  return S_OK;
}

}  // namespace zephrel
