// CindralForm: the wizard's main window, a view over WizardController. Its
// controls carry the object names the wizard's logic and its tests use
// ("NextButton", "Text1", "FrameStep", ...); FrameStep is a stacked widget
// whose page n ("FrameStep0" .. "FrameStep5") is step n.
#pragma once

#include <QMainWindow>
#include <functional>
#include <memory>

#include "vantora/menu_page.h"
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
class QSlider;
class QTabWidget;
class QDialog;
class QSpinBox;

namespace vantora {

// The maker's addresses shown in the About box.
inline constexpr char kContactMail[] = "contact@vantora.example";
inline constexpr char kHomePage[] = "https://www.vantora.example/";

class CapacityView;
class MyProgressBar;
class UiEncoderEvents;

namespace form {

class PageThumbnail;

// The menu designer's controls of one text of the page (the title, or the
// video lines): its font, styles, centring, colour and position.
struct MenuTextControls {
  QComboBox* font = nullptr;
  QComboBox* size = nullptr;
  QCheckBox* bold = nullptr;
  QCheckBox* italic = nullptr;
  QCheckBox* underline = nullptr;
  QCheckBox* center = nullptr;
  QPushButton* color = nullptr;
  QSlider* top = nullptr;
  QSlider* left = nullptr;
};

}  // namespace form

// What the form is built over. Null dialogs or shell: the Qt ones.
struct FormServices {
  UserFolders folders;
  std::string version = "1.0.0";
  FirstRunPage first_run;
  DiscBurnerFactory make_burner;
  AuthoringControl* authoring = nullptr;
  VideoEncoder* encoder = nullptr;
  std::vector<VideoEncoder*> extra_encoders;  // convert rows alongside encoder
  PictureClipMaker* clip_maker = nullptr;
  Dialogs* dialogs = nullptr;
  Shell* shell = nullptr;
  LogClock* clock = nullptr;
  SleepInhibitor* inhibitor = nullptr;  // null: the machine may sleep during a job
  MediaProber* prober = nullptr;        // null: files are probed by the encoder, on the window's thread
  platform::HttpLimits http_limits;
  // Whether a drive's device may be opened (see WizardParts); null: access(2).
  std::function<int(const std::string& device_path)> device_access;
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
  TextExtent MeasureMenuText(const MenuFont& font, const std::string& text) override;
  void ShowMenuPage(const MenuDesign& design, const MenuLayout& layout, bool hide_markers) override;
  std::string LoadMenuBackground(const std::filesystem::path& picture) override;
  void ShowEraseForm() override;
  void CloseEraseForm() override;
  void EndProgram() override;

  // The menu page as last drawn (720 x 576 or 720 x 480).
  const QImage& MenuPicture() const { return menu_picture_; }
  // The erase form while it is shown, else null.
  QDialog* EraseForm() { return frm_erase_; }
  // The About box (shown by the about button), or null before.
  QDialog* AboutBox() { return about_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildStep0(QWidget* page);
  void BuildStep1(QWidget* page);
  void BuildStep2(QWidget* page);
  void BuildStep3(QWidget* page);
  void BuildStep4(QWidget* page);
  void BuildStep5(QWidget* page);
  void ShowLogRow(std::size_t index, bool added);
  void RefreshVideoList();
  void RefreshMenuDesigner();
  void RefreshConversion();
  void ShowMissingGlyphs(const MenuDesign& design);  // the warning under the designer
  void ShowAbout();
  void ShowPreviewMenu();
  // A designer control changed: the page is drawn again.
  void DesignChanged();

  FormServices services_;
  std::unique_ptr<Dialogs> own_dialogs_;
  std::unique_ptr<Shell> own_shell_;
  std::unique_ptr<QObject> dispatch_context_;
  std::shared_ptr<UiEventDispatcher> dispatcher_;
  std::unique_ptr<UiEncoderEvents> encoder_events_;
  std::vector<std::unique_ptr<UiEncoderEvents>> lane_events_;  // of extra_encoders
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
  QPushButton* add_file_ = nullptr;
  QPushButton* remove_ = nullptr;
  QPushButton* clear_ = nullptr;
  QLabel* label6_ = nullptr;
  QLabel* label5_ = nullptr;
  QSlider* slider1_ = nullptr;
  QDialog* about_ = nullptr;
  QDialog* preview_menu_ = nullptr;
  QLabel* pic_preview_ = nullptr;
  // Step 2.
  QListWidget* list1_ = nullptr;
  QLineEdit* text_title_dvd_ = nullptr;
  QComboBox* combo2_ = nullptr;
  QWidget* picture7_ = nullptr;
  form::PageThumbnail* pic_grand_ = nullptr;  // the page, scaled to the space beside the tabs
  QLabel* label_missing_glyphs_ = nullptr;    // characters the menu's fonts cannot draw
  QTabWidget* tab_strip1_ = nullptr;
  form::MenuTextControls title_text_;  // ComboFontTitle .. SliderTitleLeft
  QLineEdit* txt_chapter_title_ = nullptr;
  form::MenuTextControls lines_text_;  // ChaptersFont .. ChaptersLeft
  QSlider* chapter_space_ = nullptr;
  QComboBox* color_lists_[3] = {nullptr, nullptr, nullptr};
  QLabel* color_swatches_[3] = {nullptr, nullptr, nullptr};
  QLineEdit* text_background_image_ = nullptr;
  MenuPage menu_page_;
  QImage menu_picture_;
  // Step 3.
  QRadioButton* option1_ = nullptr;
  QRadioButton* option2_ = nullptr;
  QRadioButton* option3_ = nullptr;
  QLabel* image12_ = nullptr;
  QGroupBox* frame_burner_ = nullptr;
  QGroupBox* frame_output_dir_ = nullptr;
  QComboBox* image_combo1_ = nullptr;
  QLineEdit* text_output_dir_ = nullptr;
  QComboBox* combo1_ = nullptr;
  QLabel* label19_ = nullptr;
  QLabel* label20_ = nullptr;
  QCheckBox* check_simulation_ = nullptr;
  QDialog* frm_erase_ = nullptr;  // while the erase form is shown
  // Step 4.
  QCheckBox* check1_ = nullptr;
  QLabel* picvideo_ = nullptr;
  MyProgressBar* progress1_ = nullptr;
  MyProgressBar* progress2_ = nullptr;
  QLabel* label_file_converting_ = nullptr;
  QLabel* label10_ = nullptr;
  QLabel* label_status_ = nullptr;
  QLabel* label_percent_ = nullptr;
  QLabel* label12_ = nullptr;
  QLabel* label_time_left_ = nullptr;
  // Step 5.
  QTreeWidget* list_view_progress_ = nullptr;
  QLabel* label13_ = nullptr;
  QLabel* label14_ = nullptr;
  QLabel* label22_ = nullptr;
  MyProgressBar* progress3_ = nullptr;
  MyProgressBar* progress4_ = nullptr;
};

}  // namespace vantora
