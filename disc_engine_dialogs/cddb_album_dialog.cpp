#include "zephrel_dialogs/cddb_album_dialog.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMetaObject>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>

namespace zephrel {

CddbAlbumDialog::CddbAlbumDialog(const CddbAlbumChoice& choice, QWidget* parent) : QDialog(parent) {
  setWindowTitle(QString::fromStdString(choice.caption));
  auto* prompt = new QLabel(QString::fromStdString(choice.prompt), this);
  prompt->setObjectName("id202");
  list_ = new QListWidget(this);
  list_->setObjectName("id201");
  for (const std::string& row : choice.rows) list_->addItem(QString::fromStdString(row));
  auto* ok = new QPushButton("Ok", this);
  ok->setObjectName("id1");
  ok->setDefault(true);
  auto* cancel = new QPushButton("Cancel", this);
  cancel->setObjectName("id2");
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(list_, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(prompt);
  layout->addWidget(list_);
  layout->addLayout(buttons);
}

std::size_t CddbAlbumDialog::chosen() const {
  const int row = list_->currentRow();
  return row < 0 ? 0 : static_cast<std::size_t>(row);
}

std::optional<std::size_t> QtCddbAlbumChooser::ChooseAlbum(const CddbAlbumChoice& choice) {
  std::optional<std::size_t> answer;
  auto show = [&] {
    CddbAlbumDialog dialog(choice);
    if (dialog.exec() == QDialog::Accepted) answer = dialog.chosen();
  };
  QCoreApplication* app = QCoreApplication::instance();
  if (!app) return std::nullopt;
  if (QThread::currentThread() == app->thread()) {
    show();
  } else {
    QMetaObject::invokeMethod(app, show, Qt::BlockingQueuedConnection);
  }
  return answer;
}

}  // namespace zephrel
