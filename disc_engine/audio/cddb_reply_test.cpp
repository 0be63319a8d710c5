#include "audio/cddb_reply.h"

#include <gtest/gtest.h>

namespace zephrel {
namespace {

const std::string kE = "\xC3\xA9";  // é

std::string ReadAnswer(const std::string& body) {
  return "210 rock 0c016602 CD database entry follows (until terminating `.')\r\n" + body + ".\r\n";
}

TEST(CddbDiscFileReader, SplitsDtitleAtTheFirstBlankSlashBlankOnly) {
  const auto file = ParseCddbDiscFile(ReadAnswer("DTITLE=AC/DC / Back in Black\r\n"));
  ASSERT_TRUE(file);
  EXPECT_EQ(file->artist, "AC/DC");
  EXPECT_EQ(file->album, "Back in Black");
}

TEST(CddbDiscFileReader, ADtitleWithoutSeparatorIsBothArtistAndAlbum) {
  const auto file = ParseCddbDiscFile(ReadAnswer("DTITLE=Various\r\n"));
  ASSERT_TRUE(file);
  EXPECT_EQ(file->artist, "Various");
  EXPECT_EQ(file->album, "Various");
}

TEST(CddbDiscFileReader, ValuesKeepEqualSignsAndTheirLastCharacter) {
  const auto file = ParseCddbDiscFile("210 rock 0c016602\nDTITLE=E=mc2 / A=B\nDYEAR=1980\nDGENRE=Hard Rock");
  ASSERT_TRUE(file);
  EXPECT_EQ(file->artist, "E=mc2");
  EXPECT_EQ(file->album, "A=B");
  EXPECT_EQ(file->year, "1980");
  EXPECT_EQ(file->genre, "Hard Rock");  // last line without a newline keeps its last character
}

TEST(CddbDiscFileReader, TrackKeysMatchExactlySoTrackOneIsNotTrackTen) {
  std::string body;
  for (int i = 11; i >= 0; --i) body += "TTITLE" + std::to_string(i) + "=Song " + std::to_string(i) + "\n";
  const auto file = ParseCddbDiscFile(ReadAnswer(body));
  ASSERT_TRUE(file);
  EXPECT_EQ(file->Title(1), "Song 1");
  EXPECT_EQ(file->Title(10), "Song 10");
  EXPECT_EQ(file->Title(0), "Song 0");
  EXPECT_EQ(file->Title(12), "");
}

TEST(CddbDiscFileReader, RepeatedKeysAreJoined) {
  const auto file =
      ParseCddbDiscFile(ReadAnswer("TTITLE0=A very long ti\nTTITLE0=tle indeed\n"
                                   "DTITLE=Some\nDTITLE=one / Else\n"));
  ASSERT_TRUE(file);
  EXPECT_EQ(file->Title(0), "A very long title indeed");
  EXPECT_EQ(file->artist, "Someone");
  EXPECT_EQ(file->album, "Else");
}

TEST(CddbDiscFileReader, KeysMustStartTheLineAndBeWholeWords) {
  const auto file =
      ParseCddbDiscFile(ReadAnswer("# DTITLE=comment\nXDTITLE=no\nDTITLEX=no\nTTITLE01=no\n"
                                   "TTITLE-1=no\nDYEAR=2001\n"));
  ASSERT_TRUE(file);
  EXPECT_EQ(file->artist, "");
  EXPECT_TRUE(file->titles.empty());
  EXPECT_EQ(file->year, "2001");
}

TEST(CddbDiscFileReader, StopsAtTheTerminatingDot) {
  const auto file = ParseCddbDiscFile("210 rock 0c016602\nDYEAR=1999\n.\nDYEAR=2000\n");
  ASSERT_TRUE(file);
  EXPECT_EQ(file->year, "1999");
}

TEST(CddbDiscFileReader, AFileThatIsNotAReadAnswerGivesNothing) {
  EXPECT_FALSE(ParseCddbDiscFile("401 rock 0c016602 No such CD entry in database.\n"));
  EXPECT_FALSE(ParseCddbDiscFile(""));
}

TEST(CddbDiscFileReader, LongValuesAreCutAtTheFieldWidthOnACharacterBoundary) {
  std::string title;
  for (int i = 0; i < 2047; ++i) title += kE;
  const auto file = ParseCddbDiscFile(ReadAnswer("TTITLE0=" + title + "\n"));
  ASSERT_TRUE(file);
  std::string expected;
  for (std::size_t i = 0; i < kCddbFieldChars; ++i) expected += kE;
  EXPECT_EQ(file->Title(0), expected);
}

TEST(CddbDiscFileReader, LinesLongerThanAnyBufferAreStillRead) {
  const auto file = ParseCddbDiscFile(ReadAnswer("EXTD=" + std::string(100000, 'x') + "\nDYEAR=1977\n"));
  ASSERT_TRUE(file);
  EXPECT_EQ(file->year, "1977");
}

TEST(CddbDiscFileReader, AnswersThatAreNotUtf8AreLatin1) {
  // "Café" with é as E9h and a byte 80h, which Latin-1 reads as a C1 control.
  const auto file = ParseCddbDiscFile(ReadAnswer("DTITLE=Caf\xE9 / \x80\n"));
  ASSERT_TRUE(file);
  EXPECT_EQ(file->artist, "Caf" + kE);
  EXPECT_EQ(file->album, "\xC2\x80");
  const auto utf8 = ParseCddbDiscFile(ReadAnswer("DTITLE=Caf" + kE + " / x\n"));
  EXPECT_EQ(utf8->artist, "Caf" + kE);
}

TEST(CddbDiscFileReader, TrackIndexesBeyondADiscAreIgnored) {
  const auto file = ParseCddbDiscFile(ReadAnswer("TTITLE99=last\nTTITLE100=no\nTTITLE4294967297=no\n"));
  ASSERT_TRUE(file);
  EXPECT_EQ(file->titles.size(), 100u);
  EXPECT_EQ(file->Title(99), "last");
}

TEST(CddbQueryReader, AnExactMatchNamesGenreIdentifierAndTitle) {
  const CddbQueryReply reply = ParseCddbQueryReply("200 rock 0C016602 AC/DC / Back in Black\r\n");
  EXPECT_EQ(reply.status, CddbQueryStatus::kExact);
  ASSERT_EQ(reply.matches.size(), 1u);
  EXPECT_EQ(reply.matches[0].genre, "rock");
  EXPECT_EQ(reply.matches[0].disc_id, "0c016602");
  EXPECT_EQ(reply.matches[0].title, "AC/DC / Back in Black");
}

TEST(CddbQueryReader, SeveralMatchesAreListedUpToTheDot) {
  const CddbQueryReply reply = ParseCddbQueryReply(
      "211 Found inexact matches, list follows (until terminating `.')\r\n"
      "rock 0c016602 A / One\r\nmisc 0c016603 B / Two\r\njazz 0c016604 C / Three\r\n.\r\n"
      "rock 0c016605 after the end\r\n");
  EXPECT_EQ(reply.status, CddbQueryStatus::kSeveral);
  ASSERT_EQ(reply.matches.size(), 3u);
  EXPECT_EQ(reply.matches[1].genre, "misc");
  EXPECT_EQ(reply.matches[2].title, "C / Three");
}

TEST(CddbQueryReader, OffersWithUnsafeGenreOrIdentifierAreDropped) {
  const CddbQueryReply exact = ParseCddbQueryReply("200 .. 0c016602 Evil\n");
  EXPECT_EQ(exact.status, CddbQueryStatus::kExact);
  EXPECT_TRUE(exact.matches.empty());
  const CddbQueryReply several = ParseCddbQueryReply(
      "211 list\n../../etc 0c016602 a\nrock ../x/y/z b\nrock 0c01/602 c\nCustom 0c016602 d\nrock 0c016602 "
      "ok\n.\n");
  ASSERT_EQ(several.matches.size(), 1u);
  EXPECT_EQ(several.matches[0].title, "ok");
}

TEST(CddbQueryReader, NoMatchAndOtherAnswersOfferNothing) {
  EXPECT_EQ(ParseCddbQueryReply("202 No match found\n").status, CddbQueryStatus::kNoMatch);
  EXPECT_EQ(ParseCddbQueryReply("500 Command syntax error\n").status, CddbQueryStatus::kOther);
  EXPECT_EQ(ParseCddbQueryReply("").status, CddbQueryStatus::kOther);
  EXPECT_EQ(ParseCddbQueryReply("<html>").status, CddbQueryStatus::kOther);
}

TEST(CddbQueryReader, AtMost998MatchesAreKept) {
  std::string answer = "211 list\n";
  for (int i = 0; i < 1500; ++i) answer += "rock 0c016602 t\n";
  EXPECT_EQ(ParseCddbQueryReply(answer).matches.size(), kCddbMaxMatches);
}

}  // namespace
}  // namespace zephrel
