#include "platform/ini.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include <gtest/gtest.h>

namespace platform {
namespace {

namespace fs = std::filesystem;

class IniFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    FileError err;
    folder_ = TemporaryFolder::Create("ini_test", &err);
    ASSERT_TRUE(folder_) << err.message;
    dir_ = folder_->path();
    file_ = dir_ / "Config.ini";
  }

  void Put(const std::string& bytes) {
    FileError err;
    ASSERT_TRUE(WriteFileAtomic(file_, bytes, &err)) << err.message;
  }
  std::string Bytes() {
    FileError err;
    return ReadFile(file_, &err).value_or("<unreadable>");
  }

  std::size_t Names() const {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir_)) ++n;
    return n;
  }

  std::optional<TemporaryFolder> folder_;
  fs::path dir_;
  fs::path file_;
};

TEST_F(IniFiles, LookupIgnoresCaseAndTheFirstOccurrenceWins) {
  Put("[Settings]\nLanguage=fr\nlanguage=de\n[SETTINGS]\nLANGUAGE=it\nBurner=1\n[Other]\nLanguage=en\n");
  EXPECT_EQ(ReadIni(file_, "settings", "LANGUAGE", "x"), "fr");
  EXPECT_EQ(ReadIni(file_, "Settings", "burner", "x"), "1");  // found in the second [SETTINGS]
  EXPECT_EQ(ReadIni(file_, "other", "language", "x"), "en");
  EXPECT_EQ(ReadIni(file_, "Settings", "Missing", "default"), "default");
  EXPECT_EQ(ReadIni(file_, "Nowhere", "Language", "default"), "default");

  // The write goes to the occurrence that is read.
  ASSERT_TRUE(WriteIni(file_, "SETTINGS", "LANGUAGE", "es"));
  EXPECT_EQ(
      Bytes(),
      "[Settings]\nLanguage=es\nlanguage=de\n[SETTINGS]\nLANGUAGE=it\nBurner=1\n[Other]\nLanguage=en\n");
}

TEST_F(IniFiles, ValuesAreTrimmedAndLoseOneLayerOfMatchingQuotes) {
  Put("[q]\n  a  =   spaced value  \t\nb=\"quoted\"\nc='single'\nd=\"\"twice\"\"\ne=\"mismatched'\nf=\"\ng=\n"
      "h = x = y\n");
  EXPECT_EQ(ReadIni(file_, "q", "a", ""), "spaced value");
  EXPECT_EQ(ReadIni(file_, "q", "b", ""), "quoted");
  EXPECT_EQ(ReadIni(file_, "q", "c", ""), "single");
  EXPECT_EQ(ReadIni(file_, "q", "d", ""), "\"twice\"");
  EXPECT_EQ(ReadIni(file_, "q", "e", ""), "\"mismatched'");
  EXPECT_EQ(ReadIni(file_, "q", "f", ""), "\"");
  EXPECT_EQ(ReadIni(file_, "q", "g", "def"), "");
  EXPECT_EQ(ReadIni(file_, "q", "h", ""), "x = y");

  // Values that trimming or quote stripping would change are written so they read back unchanged.
  for (const std::string v : {"  padded  ", "\"quoted\"", "'x'", "\t", "plain \"inner\" text"}) {
    ASSERT_TRUE(WriteIni(file_, "w", "v", v));
    EXPECT_EQ(ReadIni(file_, "w", "v", "?"), v);
  }
}

TEST_F(IniFiles, AWriteKeepsForeignSectionsCommentsBlankLinesAndCrlf) {
  const std::string before =
      "; written by hand\r\n"
      "\r\n"
      "[Foreign]\r\n"
      "Key = old ; not a comment\r\n"
      "junk line without equals\r\n"
      "\r\n"
      "[Vantora]\r\n"
      "  Theme = \"dark\"\r\n"
      "; trailing comment\r\n"
      "\r\n"
      "[Tail]\r\n"
      "z=1";  // no final line break
  Put(before);
  ASSERT_TRUE(WriteIni(file_, "vantora", "theme", "light"));
  ASSERT_TRUE(WriteIni(file_, "Vantora", "Volume", "7"));
  ASSERT_TRUE(WriteIni(file_, "New", "Key", "v"));
  EXPECT_EQ(Bytes(),
            "; written by hand\r\n"
            "\r\n"
            "[Foreign]\r\n"
            "Key = old ; not a comment\r\n"
            "junk line without equals\r\n"
            "\r\n"
            "[Vantora]\r\n"
            "  Theme = light\r\n"
            "Volume=7\r\n"
            "; trailing comment\r\n"
            "\r\n"
            "[Tail]\r\n"
            "z=1\r\n"
            "\r\n"
            "[New]\r\n"
            "Key=v\r\n");
  EXPECT_EQ(ReadIni(file_, "Foreign", "Key", ""), "old ; not a comment");
  EXPECT_EQ(ReadIni(file_, "Tail", "z", ""), "1");
  EXPECT_EQ(Names(), 1u);
}

TEST_F(IniFiles, AMissingFileReadsAsEmptyAndIsCreatedByTheFirstWrite) {
  EXPECT_EQ(ReadIni(file_, "a", "b", "def"), "def");
  FileError err;
  IniDocument::Load(file_, &err);
  EXPECT_EQ(err.code, ENOENT);
  EXPECT_FALSE(fs::exists(file_));
  ASSERT_TRUE(WriteIni(file_, "Main", "Path", "/media/caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC", &err))
      << err.message;
  EXPECT_EQ(Bytes(), "[Main]\nPath=/media/caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC\n");
  EXPECT_EQ(ReadIni(file_, "main", "path", ""), "/media/caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC");
}

TEST_F(IniFiles, Utf16AndBomFilesAreReadAndWrittenBackAsUtf8) {
  // "[Sec]\r\nName=é日😀\r\n" in UTF-16LE with BOM.
  std::string utf16 = "\xFF\xFE";
  for (char16_t c : std::u16string(u"[Sec]\r\nName=\u00E9\u65E5\U0001F600\r\n")) {
    utf16 += static_cast<char>(c & 0xFF);
    utf16 += static_cast<char>(c >> 8);
  }
  Put(utf16);
  const std::string name = "\xC3\xA9\xE6\x97\xA5\xF0\x9F\x98\x80";
  EXPECT_EQ(ReadIni(file_, "sec", "name", ""), name);
  ASSERT_TRUE(WriteIni(file_, "Sec", "Other", "1"));
  EXPECT_EQ(Bytes(), "\xEF\xBB\xBF[Sec]\r\nName=" + name + "\r\nOther=1\r\n");

  // UTF-8 with a BOM keeps it; Windows-1252 bytes read as such and are kept as they are.
  Put("\xEF\xBB\xBF[A]\nk=caf\xE9\n");
  EXPECT_EQ(ReadIni(file_, "A", "k", ""), "caf\xC3\xA9");
  ASSERT_TRUE(WriteIni(file_, "A", "j", "2"));
  EXPECT_EQ(Bytes(), "\xEF\xBB\xBF[A]\nk=caf\xE9\nj=2\n");
}

TEST_F(IniFiles, JunkIsIgnoredAndLargeValuesRoundTrip) {
  Put("garbage\n=novalue\n[unterminated\nx=1\n\x01\x02\x03\n[S]\n[broken\nk=v\n");
  EXPECT_EQ(ReadIni(file_, "S", "k", ""), "v");
  EXPECT_EQ(ReadIni(file_, "unterminated", "x", "none"), "none");
  std::string big(32 * 1024, 'v');
  for (std::size_t i = 0; i < big.size(); i += 97) big[i] = static_cast<char>('a' + i % 26);
  ASSERT_TRUE(WriteIni(file_, "S", "Big", big));
  EXPECT_EQ(ReadIni(file_, "S", "Big", ""), big);
  EXPECT_EQ(ReadIni(file_, "S", "k", ""), "v");
}

TEST_F(IniFiles, OneKeyOfALargeFileIsFoundAcrossItsPiecesWithCrlfAndALastLineWithoutABreak) {
  // An index of many keys, a value longer than the pieces the file is read
  // in, CRLF line ends, and the key asked for on the last line, unended.
  std::string text = "\xEF\xBB\xBF[CDDBID]\r\n";
  for (int i = 0; i < 20000; ++i) text += "k" + std::to_string(i) + "=rock\\" + std::to_string(i) + "\r\n";
  text += "long=" + std::string(200 * 1024, 'l') + "\r\n";
  text += "[Other]\r\nk5=other\r\n[cddbid]\r\nlast=  \"quoted \"  ";
  Put(text);
  EXPECT_EQ(ReadIni(file_, "CDDBID", "k0", ""), "rock\\0");
  EXPECT_EQ(ReadIni(file_, "cddbid", "K19999", ""), "rock\\19999");
  EXPECT_EQ(ReadIni(file_, "CDDBID", "long", ""), std::string(200 * 1024, 'l'));
  EXPECT_EQ(ReadIni(file_, "Other", "k5", ""), "other");
  EXPECT_EQ(ReadIni(file_, "CDDBID", "last", ""), "quoted ");
  EXPECT_EQ(ReadIni(file_, "CDDBID", "k20000", "none"), "none");
}

TEST_F(IniFiles, UnwritableFilesAndBadArgumentsGiveErrorsAndChangeNothing) {
  // A folder where the file should be.
  fs::create_directory(file_);
  FileError err;
  EXPECT_FALSE(WriteIni(file_, "a", "b", "c", &err));
  EXPECT_EQ(err.code, EISDIR);
  EXPECT_NE(err.message.find("Config.ini"), std::string::npos) << err.message;
  EXPECT_TRUE(fs::is_directory(file_));
  EXPECT_EQ(ReadIni(file_, "a", "b", "def"), "def");
  // A path below a regular file.
  fs::remove(file_);
  Put("[a]\nb=old\n");
  EXPECT_FALSE(WriteIni(file_ / "sub.ini", "a", "b", "c", &err));
  EXPECT_EQ(err.code, ENOTDIR);
  EXPECT_FALSE(WriteIni(file_ / "sub.ini", "a", "b", "c"));  // without an error slot
  // A FIFO is not read (and does not block).
  ASSERT_EQ(::mkfifo((dir_ / "fifo.ini").c_str(), 0600), 0);
  EXPECT_FALSE(WriteIni(dir_ / "fifo.ini", "a", "b", "c", &err));
  EXPECT_EQ(ReadIni(dir_ / "fifo.ini", "a", "b", "def"), "def");

  // Arguments that cannot be stored.
  Put("[a]\nb=old\n");
  EXPECT_FALSE(WriteIni(file_, "", "b", "c", &err));
  EXPECT_EQ(err.code, EINVAL);
  EXPECT_FALSE(WriteIni(file_, "a]", "b", "c", &err));
  EXPECT_FALSE(WriteIni(file_, "a", "b=c", "c", &err));
  EXPECT_FALSE(WriteIni(file_, "a", ";b", "c", &err));
  EXPECT_FALSE(WriteIni(file_, "a", "b", "two\nlines", &err));
  EXPECT_EQ(Bytes(), "[a]\nb=old\n");
}

}  // namespace
}  // namespace platform
