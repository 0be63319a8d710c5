// The CDDB album choice, offscreen: what it lists and what Ok and Cancel
// answer, also to a lookup thread that waits for it. Screenshots go to the
// build tree (screenshots/).
#include "zephrel_dialogs/cddb_album_dialog.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "dialogs_testutil.h"

namespace zephrel {
namespace {

namespace fs = std::filesystem;

class CddbAlbumDialogTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { testing::StartOffscreenApplication(); }
  static CddbAlbumChoice Choice() {
    CddbAlbumChoice choice;
    choice.rows = {"rock : AC/DC / Back in Black", "misc : Caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC / Two",
                   "jazz : C / Three"};
    return choice;
  }
  static void Save(QWidget& w, const std::string& name) {
    const fs::path shots = fs::path(VANTORA_BINARY_DIR) / "screenshots";
    fs::create_directories(shots);
    w.grab().save(QString::fromStdString((shots / (name + ".png")).native()));
  }
  // Asks chooser on a thread of its own, as a lookup does, while this (GUI)
  // thread runs events; act runs on the modal dialog once it is shown.
  static std::optional<std::size_t> AskFromAnotherThread(const std::function<void(QWidget&)>& act) {
    QtCddbAlbumChooser chooser;
    std::optional<std::size_t> answer;
    std::atomic<bool> done{false};
    std::function<void()> poll;
    poll = [&] {
      if (QWidget* modal = QApplication::activeModalWidget()) {
        act(*modal);
        return;
      }
      QTimer::singleShot(5, poll);
    };
    QTimer::singleShot(0, poll);
    std::thread lookup([&] {
      answer = chooser.ChooseAlbum(Choice());
      done = true;
    });
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!done && std::chrono::steady_clock::now() < give_up)
      QApplication::processEvents(QEventLoop::AllEvents, 10);
    lookup.join();
    return answer;
  }
};

TEST_F(CddbAlbumDialogTest, ListsEveryOfferUnderItsCaptionAndPrompt) {
  CddbAlbumDialog dialog(Choice());
  dialog.show();
  EXPECT_EQ(dialog.windowTitle(), "Zephrel - CDDB Request");
  auto* prompt = dialog.findChild<QLabel*>("id202");
  ASSERT_NE(prompt, nullptr);
  EXPECT_EQ(prompt->text(), "Please select your album :");
  auto* list = dialog.findChild<QListWidget*>("id201");
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->count(), 3);
  EXPECT_EQ(list->item(1)->text(), QString::fromUtf8("misc : Caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC / Two"));
  EXPECT_EQ(dialog.findChild<QPushButton*>("id1")->text(), "Ok");
  EXPECT_EQ(dialog.findChild<QPushButton*>("id2")->text(), "Cancel");
  EXPECT_EQ(dialog.chosen(), 0u) << "nothing selected: the first";
  list->setCurrentRow(2);
  EXPECT_EQ(dialog.chosen(), 2u);
  Save(dialog, "cddb_album_choice");
}

TEST_F(CddbAlbumDialogTest, OkAnswersTheSelectedRowToTheWaitingLookup) {
  const auto answer = AskFromAnotherThread([](QWidget& modal) {
    modal.findChild<QListWidget*>("id201")->setCurrentRow(1);
    Save(modal, "cddb_album_choice_selected");
    modal.findChild<QPushButton*>("id1")->click();
  });
  EXPECT_EQ(answer, std::optional<std::size_t>(1));
}

TEST_F(CddbAlbumDialogTest, CancelAnswersNoChoice) {
  const auto answer =
      AskFromAnotherThread([](QWidget& modal) { modal.findChild<QPushButton*>("id2")->click(); });
  EXPECT_FALSE(answer);
}

}  // namespace
}  // namespace zephrel
