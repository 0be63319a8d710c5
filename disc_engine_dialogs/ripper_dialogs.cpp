#include "zephrel_dialogs/ripper_dialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace zephrel {
namespace {

QString Id(int id) { return QStringLiteral("id%1").arg(id); }

QComboBox* List(int id, std::span<const std::string_view> items, std::size_t selected, QWidget* parent) {
  auto* box = new QComboBox(parent);
  box->setObjectName(Id(id));
  for (std::string_view item : items)
    box->addItem(QString::fromUtf8(item.data(), static_cast<int>(item.size())));
  box->setCurrentIndex(static_cast<int>(selected));
  return box;
}

QCheckBox* Check(int id, const char* text, bool on, QWidget* parent) {
  auto* box = new QCheckBox(QString::fromUtf8(text), parent);
  box->setObjectName(Id(id));
  box->setChecked(on);
  return box;
}

QPushButton* Button(int id, const QString& text, QWidget* parent) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(Id(id));
  button->setAutoDefault(false);
  return button;
}

// OK (id 1) and Cancel or Close (id 2).
QDialogButtonBox* OkAndClose(QDialog* dialog, const char* close_text) {
  auto* buttons = new QDialogButtonBox(dialog);
  QPushButton* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
  ok->setObjectName(Id(1));
  ok->setDefault(true);
  QPushButton* close = buttons->addButton(QString::fromUtf8(close_text), QDialogButtonBox::RejectRole);
  close->setObjectName(Id(2));
  QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
  return buttons;
}

}  // namespace

Mp3ConfigurationDialog::Mp3ConfigurationDialog(const Mp3Settings& current, QWidget* parent)
    : QDialog(parent), current_(current) {
  setWindowTitle(QStringLiteral("Mp3 Format Configuration"));
  const Mp3DialogSelection sel = SelectMp3Items(current);

  auto* standard = new QGroupBox(QStringLiteral("Standard mp3"), this);
  auto* standard_form = new QFormLayout(standard);
  bitrate_ = List(203, Mp3BitRates(), sel.bitrate, standard);
  channel_ = List(204, Mp3Channels(), sel.channel, standard);
  standard_form->addRow(QStringLiteral("Bitrate :"), bitrate_);
  standard_form->addRow(QStringLiteral("Channel :"), channel_);
  auto* flags = new QHBoxLayout;
  crc_ = Check(205, "CRC", current.crc, standard);
  copyright_ = Check(206, "Copyright", current.copyright, standard);
  original_ = Check(207, "Original", current.original, standard);
  private_ = Check(208, "Private", current.private_bit, standard);
  for (QCheckBox* box : {crc_, copyright_, original_, private_}) flags->addWidget(box);
  standard_form->addRow(flags);

  auto* extended = new QGroupBox(QStringLiteral("Extended mp3 :"), this);
  auto* extended_form = new QFormLayout(extended);
  vbr_ = Check(209, "VBR Enabled", current.vbr, extended);
  method_ = List(210, Mp3VbrMethods(), sel.vbr_method, extended);
  max_bitrate_ = List(211, Mp3BitRates(), sel.vbr_bitrate, extended);
  preset_ = List(212, Mp3PresetNames(), sel.preset, extended);
  vbr_quality_ = List(213, Mp3VbrQualities(), sel.vbr_quality, extended);
  frequency_ = List(214, Mp3Frequencies(), sel.frequency, extended);
  vbr_header_ = Check(215, "Write VBR Header", current.vbr_header, extended);
  extended_form->addRow(vbr_);
  extended_form->addRow(QStringLiteral("Method :"), method_);
  extended_form->addRow(QStringLiteral("Max bitrate :"), max_bitrate_);
  extended_form->addRow(QStringLiteral("Quality :"), preset_);
  extended_form->addRow(QStringLiteral("VBR Quality :"), vbr_quality_);
  extended_form->addRow(QStringLiteral("Frequency :"), frequency_);
  extended_form->addRow(vbr_header_);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(standard);
  layout->addWidget(extended);
  layout->addWidget(OkAndClose(this, "Cancel"));
  connect(vbr_, &QCheckBox::toggled, this, [this] { FollowVbrSwitch(); });
  FollowVbrSwitch();
}

void Mp3ConfigurationDialog::FollowVbrSwitch() {
  const bool on = vbr_->isChecked();
  for (QWidget* w : std::initializer_list<QWidget*>{method_, vbr_quality_, max_bitrate_, vbr_header_, preset_,
                                                    frequency_}) {
    w->setEnabled(on);
  }
}

Mp3Settings Mp3ConfigurationDialog::settings() const {
  Mp3DialogSelection sel;
  sel.bitrate = static_cast<std::size_t>(bitrate_->currentIndex());
  sel.channel = static_cast<std::size_t>(channel_->currentIndex());
  sel.vbr_method = static_cast<std::size_t>(method_->currentIndex());
  sel.vbr_bitrate = static_cast<std::size_t>(max_bitrate_->currentIndex());
  sel.preset = static_cast<std::size_t>(preset_->currentIndex());
  sel.vbr_quality = static_cast<std::size_t>(vbr_quality_->currentIndex());
  sel.frequency = static_cast<std::size_t>(frequency_->currentIndex());
  Mp3Settings switches = current_;
  switches.crc = crc_->isChecked();
  switches.copyright = copyright_->isChecked();
  switches.original = original_->isChecked();
  switches.private_bit = private_->isChecked();
  switches.vbr = vbr_->isChecked();
  switches.vbr_header = vbr_header_->isChecked();
  return Mp3SettingsFromSelection(sel, switches);
}

RipperConfigurationDialog::RipperConfigurationDialog(const RipperOutputSettings& current, Browse browse,
                                                     QWidget* parent)
    : QDialog(parent), browse_(std::move(browse)) {
  setWindowTitle(QStringLiteral("Ripper Configuration"));

  auto* output = new QGroupBox(QStringLiteral("Output path Configuration :"), this);
  auto* output_grid = new QGridLayout(output);
  folder_ = new QLineEdit(QString::fromStdString(current.output_folder), output);
  folder_->setObjectName(Id(216));
  folder_->setMaxLength(259);
  QPushButton* browse_button = Button(1027, QString(), output);
  browse_button->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
  auto_cddb_ = Check(218, "Automatic CDDB at startup ?", current.auto_cddb, output);
  output_grid->addWidget(new QLabel(QStringLiteral("..:: Output path :"), output), 0, 0);
  output_grid->addWidget(folder_, 0, 1);
  output_grid->addWidget(browse_button, 0, 2);
  output_grid->addWidget(auto_cddb_, 1, 0, 1, 3);

  auto* names = new QGroupBox(QStringLiteral("Files 's title configuration :"), this);
  auto* names_grid = new QGridLayout(names);
  pattern_ = new QLineEdit(QString::fromStdString(current.pattern), names);
  pattern_->setObjectName(Id(1049));
  names_grid->addWidget(pattern_, 0, 0, 1, 6);
  const char* labels[] = {"%N : Track Number", "%T : Title", "%A : Album", "%C : Artist", "%Y : Year"};
  for (int i = 0; i < 5; ++i)
    names_grid->addWidget(new QLabel(QString::fromUtf8(labels[i]), names), 1 + i / 3, i % 3 * 2, 1, 2);
  const struct {
    int id;
    const char* text;
    const char* code;
  } codes[] = {{217, "%N", "%N"},  {1051, "%T", "%T"}, {1052, "%A", "%A"},
               {1053, "%C", "%C"}, {1054, "%Y", "%Y"}, {1055, " - ", "-"}};
  int column = 0;
  for (const auto& c : codes) {
    QPushButton* b = Button(c.id, QString::fromUtf8(c.text), names);
    const char* code = c.code;
    connect(b, &QPushButton::clicked, this, [this, code] { AddCode(code); });
    names_grid->addWidget(b, 3, column++);
  }
  QPushButton* clear = Button(1056, QStringLiteral("Clear"), names);
  connect(clear, &QPushButton::clicked, this, [this] { pattern_->clear(); });
  names_grid->addWidget(clear, 4, 0, 1, 2);
  subfolders_ = Check(1050, "Save in the directory : Artist / Album", current.subfolders, names);
  names_grid->addWidget(subfolders_, 5, 0, 1, 6);

  QPushButton* defaults = Button(1035, QStringLiteral("Default"), this);
  connect(defaults, &QPushButton::clicked, this, [this] {
    pattern_->setText(QStringLiteral("%N - %T"));
    auto_cddb_->setChecked(true);
    subfolders_->setChecked(true);
  });
  connect(browse_button, &QPushButton::clicked, this, [this] {
    const QString chosen = browse_(QStringLiteral("Select your output directory"));
    if (!chosen.isEmpty()) folder_->setText(chosen);
  });

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(output);
  layout->addWidget(names);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(defaults);
  bottom->addStretch();
  bottom->addWidget(OkAndClose(this, "Close"));
  layout->addLayout(bottom);
}

void RipperConfigurationDialog::AddCode(const char* code) {
  pattern_->setText(QString::fromStdString(AddPatternCode(pattern_->text().toStdString(), code)));
}

RipperOutputSettings RipperConfigurationDialog::settings() const {
  RipperOutputSettings s;
  s.output_folder = folder_->text().toStdString();
  s.pattern = pattern_->text().toStdString();
  s.auto_cddb = auto_cddb_->isChecked();
  s.subfolders = subfolders_->isChecked();
  return s;
}

QtRipperDialogs::QtRipperDialogs(RipperConfigurationDialog::Browse browse) : browse_(std::move(browse)) {
  if (!browse_) {
    browse_ = [](const QString& title) { return QFileDialog::getExistingDirectory(nullptr, title); };
  }
}

std::optional<Mp3Settings> QtRipperDialogs::EditMp3Settings(const Mp3Settings& current) {
  Mp3ConfigurationDialog dialog(current);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.settings();
}

std::optional<RipperOutputSettings> QtRipperDialogs::EditRipperSettings(const RipperOutputSettings& current) {
  RipperConfigurationDialog dialog(current, browse_);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.settings();
}

}  // namespace zephrel
