// The album choice of a CDDB lookup, "Zephrel - CDDB Request": a list of the
// discs the server offers, "Ok" and "Cancel". The list's object name is
// "id201", the prompt's "id202", the buttons' "id1" (Ok) and "id2" (Cancel).
#pragma once

#include <QDialog>

#include "zephrel/cddb_album_chooser.h"

class QListWidget;

namespace zephrel {

class CddbAlbumDialog : public QDialog {
 public:
  explicit CddbAlbumDialog(const CddbAlbumChoice& choice, QWidget* parent = nullptr);
  // The selected row; the first when none is selected.
  std::size_t chosen() const;

 private:
  QListWidget* list_;
};

// Shows the dialog modally on the GUI thread, without an owner window; a
// lookup thread waits there for the answer.
class QtCddbAlbumChooser : public CddbAlbumChooser {
 public:
  std::optional<std::size_t> ChooseAlbum(const CddbAlbumChoice& choice) override;
};

}  // namespace zephrel
