// The album choice a CDDB lookup asks for when the server offers several
// discs. The host installs a chooser (ISOBuilder::SetCddbAlbumChooser; the Qt
// one shows a modal list dialog on the GUI thread); without one, the first
// offer is taken.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "zephrel/export.h"

namespace zephrel {

struct CddbAlbumChoice {
  std::string caption = "Zephrel - CDDB Request";
  std::string prompt = "Please select your album :";
  std::vector<std::string> rows;  // one per offer: "<genre> : <title>"
};

class ZEPHREL_API CddbAlbumChooser {
 public:
  virtual ~CddbAlbumChooser() = default;
  // Called on the lookup's thread, which waits for the answer: the chosen row,
  // or nullopt when the user cancelled. A row outside the list counts as the
  // first. Must be safe to call from any thread.
  virtual std::optional<std::size_t> ChooseAlbum(const CddbAlbumChoice& choice) = 0;
};

}  // namespace zephrel
