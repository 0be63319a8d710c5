// A controller over recording fakes, for the tests of the wizard's steps.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>

#include "core_testutil.h"
#include "vantora/wizard_controller.h"
#include "wizard_fakes.h"

namespace vantora::testing {

// A view that records the menu pages it is asked to show and writes a stub
// bitmap when the page is saved. Text is 8 pixels a character wide and
// 1.5 x points high, so layouts are easy to work out by hand.
class StepsView final : public WizardView {
 public:
  void Refresh() override { ++refreshes; }
  bool SaveMenuPicture(const std::filesystem::path& bitmap) override {
    saved.push_back(bitmap);
    if (!save_ok) return false;
    std::ofstream(bitmap) << "BM";
    return true;
  }
  void EndProgram() override { ++ended; }
  void ShowEraseForm() override { ++erase_forms; }
  void CloseEraseForm() override { ++erase_form_closes; }
  TextExtent MeasureMenuText(const MenuFont& font, const std::string& text) override {
    return {8.0 * static_cast<double>(text.size()), font.points * 1.5};
  }
  void ShowMenuPage(const MenuDesign& design, const MenuLayout& layout, bool hide_markers) override {
    pages.push_back({design, layout, hide_markers});
  }
  std::string LoadMenuBackground(const std::filesystem::path& picture) override {
    backgrounds.push_back(picture);
    return background_problem;
  }
  struct Page {
    MenuDesign design;
    MenuLayout layout;
    bool hide_markers;
  };
  int refreshes = 0, ended = 0, erase_forms = 0, erase_form_closes = 0;
  bool save_ok = true;
  std::vector<std::filesystem::path> saved, backgrounds;
  std::vector<Page> pages;
  std::string background_problem;
};

class ControllerFixture : public ::testing::Test, protected WizardFakes {
 protected:
  void SetUp() override { std::ofstream(ConfigFile(home)) << "[LAUNCH]\nVALUE=True\n"; }
  void TearDown() override { controller.reset(); }
  // with_queue: probes run on threads and their rows arrive through Pump.
  void Start(bool with_queue = false) { StartWith(ControllerParts(with_queue)); }
  // The parts Start gives the controller, for a test to change first.
  WizardParts ControllerParts(bool with_queue = false) {
    WizardParts parts = Parts(home, drives);
    parts.prober = &prober;
    parts.device_access = device_access;
    if (with_queue) {
      parts.post_to_ui = [this](std::function<void()> task) {
        std::lock_guard lock(queue_mu);
        queue.push_back(std::move(task));
      };
    }
    return parts;
  }
  void StartWith(WizardParts parts) {
    controller = std::make_unique<WizardController>(std::move(parts), view);
    controller->Start();
  }
  // Runs the posted tasks until the probes have ended.
  void Pump() {
    while (c().ProbesRunning()) {
      std::function<void()> task;
      {
        std::lock_guard lock(queue_mu);
        if (!queue.empty()) {
          task = std::move(queue.front());
          queue.pop_front();
        }
      }
      if (task)
        task();
      else
        std::this_thread::yield();
    }
  }
  WizardController& c() { return *controller; }
  // A real (small) file known to the prober.
  std::filesystem::path Video(const std::string& name, double seconds = 100, bool video = true,
                              bool audio = true) {
    const std::filesystem::path file = home / name;
    std::ofstream(file) << "video";
    prober.media[file] = {seconds, video, audio};
    return file;
  }
  void Walk(int step) {
    while (c().CurrentStep < step) {
      const int before = c().CurrentStep;
      c().NextButton_Click();
      ASSERT_NE(c().CurrentStep, before) << "stuck at step " << before;
    }
  }

  TempFolder temp;
  std::filesystem::path home = temp.path();
  std::function<int(const std::string&)> device_access;  // null: access(2)
  std::vector<FakeDrive> drives{{1, 0, 0, "ACME", "DVDRW X1", "1.02"}};
  StepsView view;
  std::mutex queue_mu;
  std::deque<std::function<void()>> queue;
  std::unique_ptr<WizardController> controller;
};

}  // namespace vantora::testing
