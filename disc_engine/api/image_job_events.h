// Forwards the events of a job that reports through ImageBuildEvents (the
// image build, the audio image) to the job's object; the job's end becomes
// its outcome, which the job runner raises once the slot is free.
#pragma once

#include <functional>

#include "image/image_build_job.h"
#include "jobs/job_runner.h"

namespace zephrel {

class ImageJobEvents : public ImageBuildEvents {
 public:
  // on_end, when given, runs when the end is reported, before the runner
  // raises it.
  explicit ImageJobEvents(Job& job, std::function<void()> on_end = {})
      : job_(job), on_end_(std::move(on_end)) {}
  void OnBuildingProcess(std::int32_t status, std::int32_t file_index, const std::string& file_name,
                         std::int32_t file_size, std::int32_t file_progress, std::int32_t total_sectors,
                         std::int32_t sectors_done) override {
    job_.events().OnBuildingProcess(status, file_index, file_name, file_size, file_progress, total_sectors,
                                    sectors_done);
  }
  void BurnerOnError(std::int32_t error_number) override { job_.events().BurnerOnError(error_number); }
  void BurningErrorViewDescription(const std::string& text) override {
    job_.events().BurningErrorViewDescription(text);
  }
  void BurnerOnEndBurn(std::int32_t mode_burn, std::int32_t cancel, std::int32_t error) override {
    if (on_end_) on_end_();
    job_.outcome() = JobOutcome{.mode_burn = mode_burn, .canceled = cancel != 0, .failed = error != 0};
  }

 private:
  Job& job_;
  std::function<void()> on_end_;
};

}  // namespace zephrel
