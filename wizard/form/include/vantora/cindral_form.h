// CindralForm: the wizard's main window, a view over WizardController. Its
// controls carry the object names the wizard's logic and its tests use
// ("NextButton", "Text1", "FrameStep", ...); FrameStep is a stacked widget
// whose page n ("FrameStep0" .. "FrameStep5") is step n.
#pragma once

#include <QMainWindow>
#include <functional>
#include <memory>

#include "vantora/wizard_controller.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QStackedWidget;
class QTreeWidget;
class QGroupBox;

namespace vantora {

class CapacityView;
class MyProgressBar;
class UiEncoderEvents;

// What the form is built over. Null dialogs or shell: the Qt ones.
struct FormServices {
  std::filesystem::path program_folder;
  std::string version = "1.0.0";
  FirstRunPage first_run;
  DiscBurnerFactory make_burner;
  AuthoringControl* authoring = nullptr;
  VideoEncoder* encoder = nullptr;
  PictureClipMaker* clip_maker = nullptr;
  Dialogs* dialogs = nullptr;
  Shell* shell = nullptr;
  LogClock* clock = nullptr;
  // Called once when the program is to end; by default the application quits.
  std::function<void()> end_program;
};

class CindralForm : public QMainWindow, public WizardView {
 public:
  // The services' pointers must outlive the form. Start-up runs here.
  explicit CindralForm(FormServices services, QWidget* parent = nullptr);
  ~CindralForm() override;

  WizardController& controller() { return *controller_; }
  UiEventDispatcher& dispatcher() { return *dispatcher_; }

  // WizardView.
  void Refresh() override;
  bool SaveMenuPicture(const std::filesystem::path& bitmap) override;
  void EndProgram() override;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildStep0(QWidget* page);
  void BuildStep1(QWidget* page);
  void BuildStep2(QWidget* page);
  void BuildStep3(QWidget* page);
  void BuildStep4(QWidget* page);
  void BuildStep5(QWidget* page);
  void ShowLogRow(std::size_t index, bool added);

  FormServices services_;
  std::unique_ptr<Dialogs> own_dialogs_;
  std::unique_ptr<Shell> own_shell_;
  std::unique_ptr<QObject> dispatch_context_;
  std::shared_ptr<UiEventDispatcher> dispatcher_;
  std::unique_ptr<UiEncoderEvents> encoder_events_;
  std::unique_ptr<WizardController> controller_;
  bool syncing_ = false;
  bool ended_ = false;

  QStackedWidget* frame_step_ = nullptr;
  QLabel* label_step_ = nullptr;
  QLabel* label_detail_step_ = nullptr;
  QPushButton* next_ = nullptr;
  QPushButton* previous_ = nullptr;
  QPushButton* quit_ = nullptr;
  QLabel* status_version_ = nullptr;
  CapacityView* capacity_ = nullptr;
  // Step 0.
  QLineEdit* text1_ = nullptr;
  QRadioButton* option_ntsc_ = nullptr;
  QRadioButton* option_pal_ = nullptr;
  QRadioButton* option43_ = nullptr;
  QRadioButton* option169_ = nullptr;
  QLineEdit* text_bitrate_ = nullptr;
  QLineEdit* text_path_ = nullptr;
  // Step 1.
  QTreeWidget* list_view_chapters_ = nullptr;
  // Step 2.
  QListWidget* list1_ = nullptr;
  QLineEdit* text_title_dvd_ = nullptr;
  QComboBox* combo2_ = nullptr;
  QWidget* picture7_ = nullptr;
  QLabel* pic_grand_ = nullptr;
  // Step 3.
  QRadioButton* option1_ = nullptr;
  QRadioButton* option2_ = nullptr;
  QRadioButton* option3_ = nullptr;
  QLabel* image12_ = nullptr;
  QGroupBox* frame_burner_ = nullptr;
  QGroupBox* frame_output_dir_ = nullptr;
  QComboBox* image_combo1_ = nullptr;
  QLineEdit* text_output_dir_ = nullptr;
  // Step 4.
  QCheckBox* check1_ = nullptr;
  QLabel* picvideo_ = nullptr;
  MyProgressBar* progress1_ = nullptr;
  MyProgressBar* progress2_ = nullptr;
  // Step 5.
  QTreeWidget* list_view_progress_ = nullptr;
  QLabel* label13_ = nullptr;
  QLabel* label14_ = nullptr;
  QLabel* label22_ = nullptr;
  MyProgressBar* progress3_ = nullptr;
  MyProgressBar* progress4_ = nullptr;
};

}  // namespace vantora
