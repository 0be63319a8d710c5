#include "audio/cddb_store.h"

#include <gtest/gtest.h>

#include <fstream>

#include "platform/ini.h"

namespace zephrel {
namespace {

namespace fs = std::filesystem;

class CddbStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::FileError error;
    temp_ = platform::TemporaryFolder::Create("cddb-store", &error);
    ASSERT_TRUE(temp_) << error.message;
    base_ = temp_->path() / "Mes disques \xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x8E\xB5";
    fs::create_directory(base_);
  }
  std::string Slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  std::optional<platform::TemporaryFolder> temp_;
  fs::path base_;
};

TEST_F(CddbStoreTest, CreatesTheCategoryFoldersAndCustom) {
  CddbStore(base_).CreateFolders();
  EXPECT_TRUE(fs::is_directory(base_ / "My Music"));
  for (const char* folder : {"blues", "classical", "country", "data", "folk", "jazz", "misc", "newage",
                             "reggae", "rock", "soundtrack", "Custom"}) {
    EXPECT_TRUE(fs::is_directory(base_ / "CDDB" / folder)) << folder;
  }
}

TEST_F(CddbStoreTest, AServerAnswerIsKeptAndIndexedWithBackslashes) {
  const CddbStore store(base_);
  store.CreateFolders();
  platform::FileError error;
  const auto path =
      store.StoreServerAnswer("0c016602", "rock", "0c016602", "210 rock 0c016602\r\n.\r\n", &error);
  ASSERT_TRUE(path) << error.message;
  EXPECT_EQ(*path, base_ / "CDDB" / "rock" / "0c016602.txt");
  EXPECT_EQ(Slurp(*path), "210 rock 0c016602\r\n.\r\n");
  EXPECT_EQ(platform::ReadIni(store.IndexPath(), "CDDBID", "0c016602", ""), "\\CDDB\\rock\\0c016602.txt");
  EXPECT_EQ(store.Find("0c016602"), *path);
}

TEST_F(CddbStoreTest, UnsafeGenreOrIdentifierWordsStoreNothing) {
  const CddbStore store(base_);
  store.CreateFolders();
  platform::FileError error;
  EXPECT_FALSE(store.StoreServerAnswer("0c016602", "..", "0c016602", "210 x\n", &error));
  EXPECT_FALSE(store.StoreServerAnswer("0c016602", "rock", "../../x", "210 x\n", &error));
  EXPECT_FALSE(store.StoreServerAnswer("0c016602", "rock", "0c01/602", "210 x\n", &error));
  EXPECT_FALSE(store.StoreServerAnswer("0c016602", "Custom", "0c016602", "210 x\n", &error));
  EXPECT_FALSE(fs::exists(store.IndexPath()));
  EXPECT_FALSE(fs::exists(base_ / "0c016602.txt"));
  EXPECT_FALSE(fs::exists(base_ / "CDDB" / "0c016602.txt"));
}

TEST_F(CddbStoreTest, NoIndexEntryIsWrittenWhenTheFileCannotBe) {
  const CddbStore store(base_);
  fs::create_directory(base_ / "CDDB");
  std::ofstream(base_ / "CDDB" / "rock") << "a file where the folder should be";
  platform::FileError error;
  EXPECT_FALSE(store.StoreServerAnswer("0c016602", "rock", "0c016602", "210 x\n", &error));
  EXPECT_TRUE(error);
  EXPECT_FALSE(store.Find("0c016602"));
  EXPECT_EQ(platform::ReadIni(store.IndexPath(), "CDDBID", "0c016602", "023Error"), "023Error");
}

TEST_F(CddbStoreTest, AManualFileHasTheFixedLinesAndCrLfEndings) {
  ManualDiscInfo info{"0c016602", "Artist", "Album 100%", "1999", "Rock", {"One %s", "Two"}};
  EXPECT_EQ(ManualDiscFileText(info),
            "210 :::::::::::     Zephrel  ::::::::::::::::::::::::::::\r\n" + std::string(67, '*') +
                "\r\n\r\nDISCID=0c016602\r\nDTITLE=Artist / Album 100%\r\nDYEAR=1999\r\nDGENRE=Rock\r\n"
                "TTITLE0=One %s\r\nTTITLE1=Two\r\n");
}

TEST_F(CddbStoreTest, LineBreaksInsideValuesCannotAddLines) {
  ManualDiscInfo info{"0c016602", "A\r\nDYEAR=1066", "B", "1999", "Rock", {"x\ny"}};
  const std::string text = ManualDiscFileText(info);
  EXPECT_NE(text.find("DTITLE=ADYEAR=1066 / B\r\n"), std::string::npos);
  EXPECT_NE(text.find("TTITLE0=xy\r\n"), std::string::npos);
  EXPECT_EQ(text.find("\r\nDYEAR=1066"), std::string::npos);
}

TEST_F(CddbStoreTest, AManualSaveWritesTheFileThenItsEntry) {
  const CddbStore store(base_);
  platform::FileError error;
  ASSERT_TRUE(store.SaveManual({"0c016602", "A", "B", "2000", "Jazz", {"t"}}, &error)) << error.message;
  EXPECT_EQ(platform::ReadIni(store.IndexPath(), "CDDBID", "0c016602", ""), "\\CDDB\\Custom\\0c016602.txt");
  const auto path = store.Find("0c016602");
  ASSERT_TRUE(path);
  EXPECT_EQ(*path, base_ / "CDDB" / "Custom" / "0c016602.txt");
  EXPECT_NE(Slurp(*path).find("DGENRE=Jazz\r\n"), std::string::npos);
}

TEST_F(CddbStoreTest, AManualSaveWithoutADiscWritesNothing) {
  const CddbStore store(base_);
  platform::FileError error;
  EXPECT_FALSE(store.SaveManual({"", "A", "B", "2000", "Jazz", {}}, &error));
  EXPECT_FALSE(fs::exists(store.IndexPath()));
}

TEST_F(CddbStoreTest, IndexValuesOfAnyOtherFormAreNotOpened) {
  const CddbStore store(base_);
  for (const char* value :
       {"\\CDDB\\..\\0c016602.txt", "\\CDDB\\rock\\..\\..\\secret.txt", "/etc/passwd",
        "\\CDDB\\rock\\0c016602.txt.bak", "\\CDDB\\rock\\0c01660.txt", "CDDB\\rock\\0c016602.txt",
        "\\CDDB\\rock\\sub\\0c016602.txt", "\\CDDB\\pop\\0c016602.txt", ""}) {
    EXPECT_FALSE(store.PathOfIndexValue(value)) << value;
  }
  EXPECT_EQ(store.PathOfIndexValue("\\CDDB\\Custom\\ABCDEF01.txt"),
            base_ / "CDDB" / "Custom" / "ABCDEF01.txt");
  fs::create_directory(base_ / "CDDB");
  ASSERT_TRUE(platform::WriteIni(store.IndexPath(), "CDDBID", "0c016602", "\\CDDB\\..\\..\\x.txt"));
  EXPECT_FALSE(store.Find("0c016602"));
  EXPECT_FALSE(store.Find("11111111"));
}

}  // namespace
}  // namespace zephrel
