#include "audio/cddb_lookup.h"

#include <gtest/gtest.h>

#include <map>

#include "platform/ini.h"

namespace zephrel {
namespace {

namespace fs = std::filesystem;

const std::vector<std::string> kQuery{"cddb", "query", "0c016602", "2", "150", "14250", "360"};
const std::string kServer = "http://127.0.0.1:9/~cddb/cddb.cgi";

std::string ReadAnswer(const std::string& genre, const std::string& id, const std::string& dtitle) {
  return "210 " + genre + " " + id + " CD database entry follows\r\nDISCID=" + id + "\r\nDTITLE=" + dtitle +
         "\r\nDYEAR=1980\r\nDGENRE=Hard Rock\r\nTTITLE0=One\r\nTTITLE1=Two\r\n.\r\n";
}

// A server that answers by the command a request carries.
struct FakeServer {
  std::map<std::string, std::string> answers;  // cmd= value -> body
  std::vector<std::string> urls;
  CddbFetch Fetch() {
    return [this](const std::string& url, std::stop_token) -> std::optional<std::string> {
      urls.push_back(url);
      const std::size_t from = url.find("?cmd=") + 5;
      const std::string cmd = url.substr(from, url.find('&') - from);
      const auto it = answers.find(cmd);
      if (it == answers.end()) return std::nullopt;
      return it->second;
    };
  }
};

struct ScriptedChooser : CddbAlbumChooser {
  std::optional<std::size_t> answer;
  std::vector<CddbAlbumChoice> asked;
  std::optional<std::size_t> ChooseAlbum(const CddbAlbumChoice& choice) override {
    asked.push_back(choice);
    return answer;
  }
};

class CddbLookupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::FileError error;
    temp_ = platform::TemporaryFolder::Create("cddb-lookup", &error);
    ASSERT_TRUE(temp_);
    store_.emplace(temp_->path() / "base \xC3\xA9");
    fs::create_directory(store_->base());
    store_->CreateFolders();
  }
  CddbLookupRequest Request() {
    CddbLookupRequest request;
    request.server = kServer;
    request.disc_key = "0c016602";
    request.query = kQuery;
    request.store = &*store_;
    request.fetch = server_.Fetch();
    return request;
  }
  std::optional<platform::TemporaryFolder> temp_;
  std::optional<CddbStore> store_;
  FakeServer server_;
};

TEST(CddbRequestUrl, EscapesEveryWordAndJoinsThemWithPlus) {
  EXPECT_EQ(
      CddbRequestUrl(kServer, kQuery),
      kServer + "?cmd=cddb+query+0c016602+2+150+14250+360&hello=anonymous+localhost+Zephrel+1.0&proto=5");
  EXPECT_EQ(CddbRequestUrl(kServer, {"a b", "c&d", "\xC3\xA9"}),
            kServer + "?cmd=a%20b+c%26d+%C3%A9&hello=anonymous+localhost+Zephrel+1.0&proto=5");
}

TEST_F(CddbLookupTest, AnExactMatchIsReadStoredAndIndexed) {
  server_.answers["cddb+query+0c016602+2+150+14250+360"] = "200 rock 0c016602 AC/DC / Back in Black\r\n";
  server_.answers["cddb+read+rock+0c016602"] = ReadAnswer("rock", "0c016602", "AC/DC / Back in Black");
  const auto disc = LookUpCddb(Request(), {});
  ASSERT_TRUE(disc);
  EXPECT_EQ(disc->artist, "AC/DC");
  EXPECT_EQ(disc->album, "Back in Black");
  EXPECT_EQ(disc->Title(1), "Two");
  EXPECT_EQ(store_->Find("0c016602"), store_->base() / "CDDB" / "rock" / "0c016602.txt");
  ASSERT_EQ(server_.urls.size(), 2u);
  EXPECT_EQ(server_.urls[1],
            kServer + "?cmd=cddb+read+rock+0c016602&hello=anonymous+localhost+Zephrel+1.0&proto=5");
}

TEST_F(CddbLookupTest, SeveralMatchesAreOfferedAndTheChosenOneIsRead) {
  server_.answers["cddb+query+0c016602+2+150+14250+360"] =
      "211 Found inexact matches, list follows\r\nrock 0c016602 A / One\r\nmisc 0c016603 B / Two\r\n"
      "jazz 0c016604 C / Three\r\n.\r\n";
  server_.answers["cddb+read+misc+0c016603"] = ReadAnswer("misc", "0c016603", "B / Two");
  auto chooser = std::make_shared<ScriptedChooser>();
  chooser->answer = 1;
  CddbLookupRequest request = Request();
  request.chooser = chooser;
  const auto disc = LookUpCddb(request, {});
  ASSERT_EQ(chooser->asked.size(), 1u);
  EXPECT_EQ(chooser->asked[0].caption, "Zephrel - CDDB Request");
  EXPECT_EQ(chooser->asked[0].prompt, "Please select your album :");
  EXPECT_EQ(chooser->asked[0].rows,
            (std::vector<std::string>{"rock : A / One", "misc : B / Two", "jazz : C / Three"}));
  ASSERT_TRUE(disc);
  EXPECT_EQ(disc->artist, "B");
  // The index key is the disc's own identifier; the file is named as the server files it.
  EXPECT_EQ(platform::ReadIni(store_->IndexPath(), "CDDBID", "0c016602", ""), "\\CDDB\\misc\\0c016603.txt");
}

TEST_F(CddbLookupTest, ACancelledChoiceReadsNothing) {
  server_.answers["cddb+query+0c016602+2+150+14250+360"] =
      "211 list\r\nrock 0c016602 A\r\nmisc 0c016603 B\r\n.\r\n";
  auto chooser = std::make_shared<ScriptedChooser>();
  CddbLookupRequest request = Request();
  request.chooser = chooser;
  EXPECT_FALSE(LookUpCddb(request, {}));
  EXPECT_EQ(server_.urls.size(), 1u);
}

TEST_F(CddbLookupTest, WithoutAChooserTheFirstMatchIsTaken) {
  server_.answers["cddb+query+0c016602+2+150+14250+360"] =
      "210 list\r\nrock 0c016602 A\r\nmisc 0c016603 B\r\n.\r\n";
  server_.answers["cddb+read+rock+0c016602"] = ReadAnswer("rock", "0c016602", "A / First");
  const auto disc = LookUpCddb(Request(), {});
  ASSERT_TRUE(disc);
  EXPECT_EQ(disc->album, "First");
}

TEST_F(CddbLookupTest, NoMatchAFailedRequestOrAFailedReadGiveNothing) {
  EXPECT_FALSE(LookUpCddb(Request(), {}));  // the server does not answer
  server_.answers["cddb+query+0c016602+2+150+14250+360"] = "202 No match found\r\n";
  EXPECT_FALSE(LookUpCddb(Request(), {}));
  server_.answers["cddb+query+0c016602+2+150+14250+360"] = "200 rock 0c016602 X\r\n";
  EXPECT_FALSE(LookUpCddb(Request(), {}));  // no read answer
  server_.answers["cddb+read+rock+0c016602"] = "401 rock 0c016602 No such CD entry in database.\r\n";
  EXPECT_FALSE(LookUpCddb(Request(), {}));
  EXPECT_FALSE(store_->Find("0c016602"));
}

TEST_F(CddbLookupTest, UnsafeWordsFromTheServerWriteNothingOutsideTheStore) {
  server_.answers["cddb+query+0c016602+2+150+14250+360"] = "200 .. 0c016602 X\r\n";
  server_.answers["cddb+read+..+0c016602"] = ReadAnswer("..", "0c016602", "A / B");
  EXPECT_FALSE(LookUpCddb(Request(), {}));
  server_.answers["cddb+query+0c016602+2+150+14250+360"] =
      "211 list\r\nrock/../.. 0c016602 X\r\nrock ../../x Y\r\n.\r\n";
  EXPECT_FALSE(LookUpCddb(Request(), {}));
  EXPECT_EQ(server_.urls.size(), 2u);  // no read was asked for
  EXPECT_FALSE(fs::exists(store_->IndexPath()));
  std::size_t files = 0;
  for (const auto& entry : fs::recursive_directory_iterator(temp_->path())) files += entry.is_regular_file();
  EXPECT_EQ(files, 0u);
}

TEST_F(CddbLookupTest, AnEmptyQueryAsksNothing) {
  CddbLookupRequest request = Request();
  request.query.clear();
  EXPECT_FALSE(LookUpCddb(request, {}));
  EXPECT_TRUE(server_.urls.empty());
}

}  // namespace
}  // namespace zephrel
