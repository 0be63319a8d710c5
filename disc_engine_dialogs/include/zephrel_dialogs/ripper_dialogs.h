// The ripper's two dialogs, "Mp3 Format Configuration" and "Ripper
// Configuration", and the handler that shows them for the disc engine
// (ISOBuilder::SetRipperDialogHandler). Each control's object name is "id"
// followed by its identifier ("id203" for the bit rate list).
#pragma once

#include <QDialog>
#include <QString>
#include <functional>

#include "zephrel/ripper_settings.h"

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace zephrel {

class Mp3ConfigurationDialog : public QDialog {
 public:
  // Opens with the lists selected for current (unknown texts fall back).
  explicit Mp3ConfigurationDialog(const Mp3Settings& current, QWidget* parent = nullptr);
  // What the controls show now.
  Mp3Settings settings() const;

 private:
  void FollowVbrSwitch();

  Mp3Settings current_;
  QComboBox *bitrate_, *channel_, *method_, *max_bitrate_, *preset_, *vbr_quality_, *frequency_;
  QCheckBox *crc_, *copyright_, *original_, *private_, *vbr_, *vbr_header_;
};

class RipperConfigurationDialog : public QDialog {
 public:
  // browse shows a folder browser titled as given and returns the chosen
  // folder, or an empty text when none was chosen.
  using Browse = std::function<QString(const QString& title)>;
  RipperConfigurationDialog(const RipperOutputSettings& current, Browse browse, QWidget* parent = nullptr);
  RipperOutputSettings settings() const;

 private:
  void AddCode(const char* code);

  Browse browse_;
  QLineEdit *folder_, *pattern_;
  QCheckBox *auto_cddb_, *subfolders_;
};

// Shows the dialogs modally, without an owner window.
class QtRipperDialogs : public RipperDialogHandler {
 public:
  // An empty browse uses the platform's folder dialog.
  explicit QtRipperDialogs(RipperConfigurationDialog::Browse browse = {});
  std::optional<Mp3Settings> EditMp3Settings(const Mp3Settings& current) override;
  std::optional<RipperOutputSettings> EditRipperSettings(const RipperOutputSettings& current) override;

 private:
  RipperConfigurationDialog::Browse browse_;
};

}  // namespace zephrel
