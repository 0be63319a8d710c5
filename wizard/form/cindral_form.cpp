#include "vantora/cindral_form.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QStatusBar>
#include <QStyle>
#include <QThread>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "form_widgets.h"
#include "platform/text.h"
#include "vantora/capacity_view.h"
#include "vantora/my_progress_bar.h"
#include "vantora/qt_services.h"
#include "vantora/ui_encoder_events.h"

namespace vantora {

namespace {

using form::Named;
using form::Q;

UiThread QtUiThread(QObject* context) {
  UiThread ui;
  ui.post = [context](std::function<void()> task) {
    QMetaObject::invokeMethod(context, std::move(task), Qt::QueuedConnection);
  };
  ui.is_current = [context] { return QThread::currentThread() == context->thread(); };
  return ui;
}

}  // namespace

CindralForm::CindralForm(FormServices services, QWidget* parent)
    : QMainWindow(parent), services_(std::move(services)) {
  setObjectName("CindralForm");
  setWindowTitle("Vantora");
  if (!services_.dialogs) {
    own_dialogs_ = std::make_unique<QtDialogs>(this);
    services_.dialogs = own_dialogs_.get();
  }
  if (!services_.shell) {
    own_shell_ = std::make_unique<QtShell>();
    services_.shell = own_shell_.get();
  }
  dispatch_context_ = std::make_unique<QObject>();
  dispatcher_ = UiEventDispatcher::Create(QtUiThread(dispatch_context_.get()), DiscJobEndEvents());

  auto* central = new QWidget(this);
  auto* outer = new QVBoxLayout(central);
  outer->setContentsMargins(6, 6, 6, 2);
  label_step_ = Named(new QLabel(central), "LabelStep");
  label_detail_step_ = Named(new QLabel(central), "LabelDetailStep");
  QFont bold = label_step_->font();
  bold.setBold(true);
  bold.setPointSize(bold.pointSize() + 2);
  label_step_->setFont(bold);
  auto* header = new QHBoxLayout;
  header->addWidget(label_step_);
  header->addWidget(label_detail_step_, 1);
  outer->addLayout(header);

  frame_step_ = Named(new QStackedWidget(central), "FrameStep");
  const char* page_names[] = {"FrameStep0", "FrameStep1", "FrameStep2",
                              "FrameStep3", "FrameStep4", "FrameStep5"};
  for (const char* name : page_names) frame_step_->addWidget(Named(new QWidget, name));
  BuildStep0(frame_step_->widget(0));
  BuildStep1(frame_step_->widget(1));
  BuildStep2(frame_step_->widget(2));
  BuildStep3(frame_step_->widget(3));
  BuildStep4(frame_step_->widget(4));
  BuildStep5(frame_step_->widget(5));
  outer->addWidget(frame_step_, 1);

  capacity_ = Named(new CapacityView(central), "CapacityView");
  outer->addWidget(capacity_);

  auto* buttons = new QHBoxLayout;
  previous_ = Named(new QPushButton("< Previous", central), "PreviousButton");
  next_ = Named(new QPushButton("Next >", central), "NextButton");
  quit_ = Named(new QPushButton("Quit", central), "QuitButton");
  buttons->addStretch(1);
  buttons->addWidget(previous_);
  buttons->addWidget(next_);
  buttons->addSpacing(12);
  buttons->addWidget(quit_);
  outer->addLayout(buttons);
  setCentralWidget(central);

  auto* status = Named(new QStatusBar(this), "StatusBar1");
  status_version_ = Named(new QLabel(status), "StatusBar1Panel2");
  status->addPermanentWidget(status_version_);
  setStatusBar(status);

  HookMainWindow(this, 9225, 7950);

  // One event queue per encoder: lane 0 is `encoder`, lane i extra_encoders[i - 1].
  auto lane_handlers = [this](int lane) {
    UiEncoderEvents::Handlers handlers;
    handlers.progress = [this, lane](std::uint8_t percent) {
      if (controller_) controller_->EncoderProgress(lane, percent);
    };
    handlers.completed = [this, lane](const EncodeResult& result) {
      if (controller_) controller_->EncoderCompleted(lane, result);
    };
    handlers.preview = [this](const QImage& picture) {
      picvideo_->setPixmap(picture.isNull() ? QPixmap() : QPixmap::fromImage(picture));
    };
    return handlers;
  };
  encoder_events_ = std::make_unique<UiEncoderEvents>(lane_handlers(0));
  services_.encoder->SetEvents(encoder_events_.get());
  services_.encoder->SetPreviewTarget(encoder_events_.get());
  for (std::size_t i = 0; i < services_.extra_encoders.size(); ++i) {
    lane_events_.push_back(std::make_unique<UiEncoderEvents>(lane_handlers(static_cast<int>(i + 1))));
    services_.extra_encoders[i]->SetEvents(lane_events_.back().get());
    services_.extra_encoders[i]->SetPreviewTarget(lane_events_.back().get());
  }

  WizardParts parts;
  parts.folders = services_.folders;
  parts.version = services_.version;
  parts.first_run = services_.first_run;
  parts.make_burner = services_.make_burner;
  parts.authoring = services_.authoring;
  parts.encoder = services_.encoder;
  parts.extra_encoders = services_.extra_encoders;
  parts.clip_maker = services_.clip_maker;
  parts.dialogs = services_.dialogs;
  parts.shell = services_.shell;
  parts.dispatcher = dispatcher_;
  parts.clock = services_.clock;
  parts.inhibitor = services_.inhibitor;
  parts.prober = services_.prober;
  parts.http_limits = services_.http_limits;
  parts.device_access = services_.device_access;
  if (services_.prober) {
    QObject* context = dispatch_context_.get();
    parts.post_to_ui = [context](std::function<void()> task) {
      QMetaObject::invokeMethod(context, std::move(task), Qt::QueuedConnection);
    };
  }
  controller_ = std::make_unique<WizardController>(std::move(parts), *this);

  JobLog::Listener listener;
  listener.row_added = [this](std::size_t i) { ShowLogRow(i, true); };
  listener.row_changed = [this](std::size_t i) { ShowLogRow(i, false); };
  listener.cleared = [this] { list_view_progress_->clear(); };
  controller_->job_log().SetListener(std::move(listener));

  // The buttons are disabled while a handler runs, so no click can arrive
  // inside a transition.
  auto guarded = [this](void (WizardController::*handler)()) {
    return [this, handler] {
      next_->setEnabled(false);
      previous_->setEnabled(false);
      quit_->setEnabled(false);
      (controller_.get()->*handler)();
      quit_->setEnabled(true);
      Refresh();
    };
  };
  connect(next_, &QPushButton::clicked, this, guarded(&WizardController::NextButton_Click));
  connect(previous_, &QPushButton::clicked, this, guarded(&WizardController::PreviousButton_Click));
  connect(quit_, &QPushButton::clicked, this, guarded(&WizardController::QuitButton_Click));

  controller_->Start();
  capacity_->SetMode(controller_->screen().gauge_gigabytes);
  capacity_->SetValueMax(controller_->screen().gauge_maximum);
  capacity_->DessineBar();
}

CindralForm::~CindralForm() {
  dispatcher_->Abort();
  controller_.reset();  // unloads an engine still loaded
  services_.encoder->Shutdown();
  services_.encoder->SetEvents(nullptr);
  services_.encoder->SetPreviewTarget(nullptr);
  for (VideoEncoder* e : services_.extra_encoders) {
    e->Shutdown();
    e->SetEvents(nullptr);
    e->SetPreviewTarget(nullptr);
  }
}

void CindralForm::BuildStep0(QWidget* page) {
  auto* grid = new QGridLayout(page);
  grid->addWidget(new QLabel("DVD label"), 0, 0);
  text1_ = Named(new QLineEdit("New DVD", page), "Text1");
  grid->addWidget(text1_, 0, 1, 1, 2);

  auto* tv = new QGroupBox("TV system", page);
  auto* tv_layout = new QVBoxLayout(tv);
  option_ntsc_ =
      Named(new QRadioButton("NTSC (USA, Asia) - MPEG2 Video - 720x480 - 29,97 Fps", tv), "OptionNTSC");
  option_pal_ = Named(new QRadioButton("PAL (Europe) - MPEG2 Video - 720x576 - 25 Fps", tv), "OptionPAL");
  tv_layout->addWidget(option_ntsc_);
  tv_layout->addWidget(option_pal_);
  grid->addWidget(tv, 1, 0, 1, 3);

  auto* aspect = new QGroupBox("Aspect ratio", page);
  auto* aspect_layout = new QHBoxLayout(aspect);
  option43_ = Named(new QRadioButton("4:3", aspect), "Option43");
  option169_ = Named(new QRadioButton("16:9", aspect), "Option169");
  aspect_layout->addWidget(option43_);
  aspect_layout->addWidget(option169_);
  grid->addWidget(aspect, 2, 0, 1, 3);

  grid->addWidget(new QLabel("Video bitrate (kbit/s)"), 3, 0);
  text_bitrate_ = Named(new QLineEdit("4500", page), "TextBitrate");
  grid->addWidget(text_bitrate_, 3, 1);

  grid->addWidget(new QLabel("Temporary directory"), 4, 0);
  text_path_ = Named(new QLineEdit(page), "TextPath");
  text_path_->setToolTip("Directory where will be created all temporary files");
  grid->addWidget(text_path_, 4, 1);
  auto* command1 = Named(new QPushButton("...", page), "Command1");
  grid->addWidget(command1, 4, 2);
  grid->setRowStretch(5, 1);

  connect(text1_, &QLineEdit::textEdited, this,
          [this](const QString& text) { controller_->screen().label = text.toStdString(); });
  connect(option_ntsc_, &QRadioButton::toggled, this, [this](bool on) {
    if (!syncing_) controller_->OptionNTSC_Click(on);
  });
  connect(option43_, &QRadioButton::toggled, this, [this](bool on) {
    if (!syncing_) controller_->screen().aspect_4x3 = on;
  });
  connect(text_bitrate_, &QLineEdit::textEdited, this,
          [this](const QString& text) { controller_->screen().bitrate_text = text.toStdString(); });
  connect(text_path_, &QLineEdit::textEdited, this,
          [this](const QString& text) { controller_->screen().temp_path = text.toStdString(); });
  connect(command1, &QPushButton::clicked, this, [this] { controller_->Command1_Click(); });
}

void CindralForm::BuildStep3(QWidget* page) {
  auto* layout = new QVBoxLayout(page);
  option1_ = Named(new QRadioButton("Burn the project on DVD", page), "Option1");
  option2_ = Named(new QRadioButton("Save the project as ISO image file", page), "Option2");
  auto* row3 = new QHBoxLayout;
  option3_ = Named(new QRadioButton("Only create IFO, VOB files ", page), "Option3");
  image12_ = Named(new QLabel(page), "Image12");
  row3->addWidget(option3_);
  row3->addWidget(image12_, 1);
  layout->addWidget(option1_);
  layout->addWidget(option2_);
  layout->addLayout(row3);

  frame_burner_ = Named(new QGroupBox(page), "FrameBurner");
  auto* burner = new QGridLayout(frame_burner_);
  burner->addWidget(new QLabel("Device"), 0, 0);
  image_combo1_ = Named(new QComboBox(frame_burner_), "ImageCombo1");
  burner->addWidget(image_combo1_, 0, 1);
  burner->addWidget(new QLabel("Speed Write"), 1, 0);
  combo1_ = Named(new QComboBox(frame_burner_), "Combo1");
  burner->addWidget(combo1_, 1, 1);
  burner->addWidget(new QLabel("Media detected"), 2, 0);
  label19_ = Named(new QLabel("No Media (0 MB available)", frame_burner_), "Label19");
  label19_->setWordWrap(true);
  burner->addWidget(label19_, 2, 1);
  label20_ = Named(new QLabel("Please insert a valid writable DVD ", frame_burner_), "Label20");
  burner->addWidget(label20_, 3, 1);
  check_simulation_ = Named(new QCheckBox("Simulation", frame_burner_), "CheckSimulation");
  burner->addWidget(check_simulation_, 4, 1);
  layout->addWidget(frame_burner_);

  frame_output_dir_ = Named(new QGroupBox(page), "FrameOutputDir");
  auto* out = new QGridLayout(frame_output_dir_);
  out->addWidget(new QLabel("Select the output directory"), 0, 0, 1, 2);
  text_output_dir_ = Named(new QLineEdit(frame_output_dir_), "TextOutputDir");
  out->addWidget(text_output_dir_, 1, 0);
  auto* select = Named(new QPushButton("...", frame_output_dir_), "CommandOutputDirSelect");
  out->addWidget(select, 1, 1);
  layout->addWidget(frame_output_dir_);
  layout->addStretch(1);

  connect(option1_, &QRadioButton::clicked, this, [this] { controller_->UpdateOutputFrames(kOutputBurn); });
  connect(option2_, &QRadioButton::clicked, this, [this] { controller_->UpdateOutputFrames(kOutputIso); });
  connect(option3_, &QRadioButton::clicked, this, [this] { controller_->UpdateOutputFrames(kOutputFolder); });
  connect(image_combo1_, &QComboBox::activated, this,
          [this](int index) { controller_->ImageCombo1_Click(index); });
  connect(text_output_dir_, &QLineEdit::textEdited, this,
          [this](const QString& text) { controller_->screen().output_dir = text.toStdString(); });
  connect(select, &QPushButton::clicked, this, [this] { controller_->CommandOutputDirSelect_Click(); });
  // What the burn is given: the chosen write speed's entry and the simulation switch.
  connect(combo1_, &QComboBox::currentIndexChanged, this, [this](int index) {
    if (!syncing_) controller_->screen().speed_index = index;
  });
  connect(check_simulation_, &QCheckBox::toggled, this, [this](bool on) {
    if (!syncing_) controller_->screen().simulation = on;
  });
}

void CindralForm::BuildStep5(QWidget* page) {
  auto* layout = new QVBoxLayout(page);
  list_view_progress_ = Named(new QTreeWidget(page), "ListViewProgress");
  list_view_progress_->setHeaderHidden(true);
  list_view_progress_->setRootIsDecorated(false);
  layout->addWidget(list_view_progress_, 1);
  label13_ = Named(new QLabel(page), "Label13");
  progress4_ = Named(new MyProgressBar(page), "MyProgressBar4");
  label14_ = Named(new QLabel(page), "Label14");
  progress3_ = Named(new MyProgressBar(page), "MyProgressBar3");
  label22_ = Named(new QLabel(page), "Label22");
  layout->addWidget(label13_);
  layout->addWidget(progress4_);
  layout->addWidget(label14_);
  layout->addWidget(progress3_);
  layout->addWidget(label22_);
}

void CindralForm::ShowLogRow(std::size_t index, bool added) {
  const LogRow& row = controller_->job_log().rows()[index];
  QTreeWidgetItem* item = added ? new QTreeWidgetItem(list_view_progress_)
                                : list_view_progress_->topLevelItem(static_cast<int>(index));
  if (!item) return;
  item->setText(0, Q(row.text));
  item->setData(0, Qt::UserRole, Q(row.key));
  item->setIcon(0, style()->standardIcon(row.icon == LogIcon::kError ? QStyle::SP_MessageBoxCritical
                                                                     : QStyle::SP_DialogApplyButton));
  if (added) list_view_progress_->scrollToItem(item);
}

void CindralForm::Refresh() {
  if (!controller_) return;
  syncing_ = true;
  const WizardScreen& s = controller_->screen();
  status_version_->setText(Q(s.status_version));
  if (s.shown_step >= 0 && s.shown_step < frame_step_->count()) frame_step_->setCurrentIndex(s.shown_step);
  label_step_->setText(Q(s.label_step));
  label_detail_step_->setText(Q(s.label_detail_step));
  next_->setText(Q(s.next_caption));
  next_->setVisible(s.next_visible);
  next_->setEnabled(s.next_enabled && !s.probing);  // rows still to come
  previous_->setVisible(s.previous_visible);
  previous_->setEnabled(s.previous_enabled);
  quit_->setText(Q(s.quit_caption));

  if (text1_->text() != Q(s.label)) text1_->setText(Q(s.label));
  option_ntsc_->setChecked(s.ntsc);
  option_pal_->setChecked(!s.ntsc);
  option43_->setChecked(s.aspect_4x3);
  option169_->setChecked(!s.aspect_4x3);
  if (text_bitrate_->text() != Q(s.bitrate_text)) text_bitrate_->setText(Q(s.bitrate_text));
  if (text_path_->text() != Q(s.temp_path)) text_path_->setText(Q(s.temp_path));

  RefreshVideoList();
  RefreshMenuDesigner();

  option1_->setEnabled(s.option1_enabled);
  option1_->setText(Q(s.option1_caption));
  option1_->setChecked(s.output_option == kOutputBurn);
  option2_->setChecked(s.output_option == kOutputIso);
  option3_->setChecked(s.output_option == kOutputFolder);
  option3_->setVisible(s.option3_visible);
  image12_->setVisible(s.option3_visible);
  frame_burner_->setVisible(s.frame_burner_visible);
  frame_output_dir_->setVisible(s.frame_output_dir_visible);
  if (text_output_dir_->text() != Q(s.output_dir)) text_output_dir_->setText(Q(s.output_dir));
  image_combo1_->clear();
  for (const std::string& entry : s.drive_entries) image_combo1_->addItem(Q(entry));
  image_combo1_->setCurrentIndex(s.selected_drive);
  image_combo1_->setEnabled(s.drive_list_enabled);
  combo1_->clear();
  for (const std::string& speed : s.speed_entries) combo1_->addItem(Q(speed));
  combo1_->setCurrentIndex(s.speed_index);
  label19_->setText(Q(s.disc_status_text));
  label20_->setVisible(s.insert_disc_visible);
  check_simulation_->setChecked(s.simulation);
  check_simulation_->setEnabled(s.simulation_enabled);
  check_simulation_->setToolTip(Q(s.simulation_tip));

  RefreshConversion();

  label13_->setText(Q(s.label13));
  label13_->setVisible(s.progress4_visible);
  progress4_->setVisible(s.progress4_visible);
  label14_->setText(Q(s.label14));
  label22_->setText(Q(s.label22));
  if (progress3_->GetValue() != s.progress3) progress3_->SetValue(s.progress3);
  if (progress4_->GetValue() != s.progress4) progress4_->SetValue(s.progress4);
  syncing_ = false;
}

bool CindralForm::SaveMenuPicture(const std::filesystem::path& bitmap) {
  // The page itself, at the frame's size, so the buttons stay where the
  // layout put them.
  return SaveBitmap24(menu_picture_, bitmap).empty();
}

void CindralForm::ShowEraseForm() {
  if (frm_erase_) return;
  QDialog form(this);
  form.setObjectName("frmErase");
  form.setWindowTitle("Erasing disk");
  auto* layout = new QHBoxLayout(&form);
  auto* picture = Named(new QLabel(&form), "Picture1");
  picture->setPixmap(style()->standardIcon(QStyle::SP_DriveDVDIcon).pixmap(32, 32));
  layout->addWidget(picture);
  layout->addWidget(Named(new QLabel("Erasing disk. Please wait...", &form), "Label1"));
  form.setModal(true);
  // Only the erase's end closes it.
  form.setWindowFlags(form.windowFlags() & ~Qt::WindowCloseButtonHint);
  frm_erase_ = &form;
  form.exec();
  frm_erase_ = nullptr;
}

void CindralForm::CloseEraseForm() {
  if (frm_erase_) frm_erase_->done(QDialog::Accepted);
}

void CindralForm::EndProgram() {
  ended_ = true;
  if (services_.end_program) {
    services_.end_program();
    return;
  }
  hide();
  QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}

void CindralForm::closeEvent(QCloseEvent* event) {
  if (ended_) {
    event->accept();
    return;
  }
  if (controller_->QueryUnload()) {
    event->ignore();
    return;
  }
  event->accept();
}

}  // namespace vantora
