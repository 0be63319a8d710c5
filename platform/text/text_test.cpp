#include "platform/text.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

const std::string kE = "\xC3\xA9";                      // é
const std::string kU = "\xC3\xBC";                      // ü
const std::string kNihon = "\xE6\x97\xA5\xE6\x9C\xAC";  // 日本
const std::string kEmoji = "\xF0\x9F\x98\x80";          // U+1F600

TEST(TextConversions, Utf8AndWideRoundTripNonAsciiText) {
  const std::string utf8 = "caf" + kE + " " + kU + " " + kNihon + " " + kEmoji;
  const std::wstring wide = Utf8ToWide(utf8);
  EXPECT_EQ(wide, L"caf\u00E9 \u00FC \u65E5\u672C \U0001F600");
  EXPECT_EQ(WideToUtf8(wide), utf8);
  EXPECT_EQ(WideToPath(wide).native(), utf8);
}

TEST(TextConversions, PathsWithNonAsciiNamesConvertBothWaysWithoutThrowing) {
  const std::string utf8 = "/tmp/caf" + kE + " " + kU + "/" + kNihon + " " + kEmoji + ".mpg";
  const std::filesystem::path path = Utf8ToPath(utf8);
  EXPECT_EQ(path.native(), utf8);
  EXPECT_EQ(PathToUtf8(path), utf8);
  EXPECT_EQ(PathToWide(path), L"/tmp/caf\u00E9 \u00FC/\u65E5\u672C \U0001F600.mpg");
  EXPECT_EQ(PathToUtf8(WideToPath(PathToWide(path))), utf8);
  EXPECT_EQ(PathToWide(path.filename()), L"\u65E5\u672C \U0001F600.mpg");
}

TEST(TextConversions, APathWhoseBytesAreNotUtf8ReadsAsWindows1252) {
  EXPECT_EQ(PathToWide(Utf8ToPath("caf\xE9")), L"caf\u00E9");
  EXPECT_EQ(PathToUtf8(Utf8ToPath("caf\xE9")), "caf\xE9");
}

TEST(TextConversions, WideCodePointsThatAreNotScalarValuesBecomeReplacementCharacters) {
  std::wstring wide = L"a";
  wide += static_cast<wchar_t>(0xD800);
  wide += static_cast<wchar_t>(0x110000);
  EXPECT_EQ(WideToUtf8(wide), "a\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(TextConversions, InvalidUtf8BytesAreReadAsWindows1252) {
  // "café" in Windows-1252, a euro sign, and an undefined byte.
  const std::string bytes = "caf\xE9 \x80 \x81";
  EXPECT_FALSE(IsValidUtf8(bytes));
  EXPECT_EQ(Utf8ToWide(bytes), L"caf\u00E9 \u20AC \uFFFD");
  EXPECT_EQ(ToUtf8Lenient(bytes), "caf" + kE + " \xE2\x82\xAC \xEF\xBF\xBD");
  // Well-formed sequences beside stray bytes are kept.
  EXPECT_EQ(ToUtf8Lenient(kNihon + "\xFC"), kNihon + kU);
  EXPECT_EQ(Cp1252ToUtf8("\xFC\x9F"), kU + "\xC5\xB8");
  // Valid text passes unchanged.
  EXPECT_EQ(ToUtf8Lenient(kE + kEmoji), kE + kEmoji);
}

TEST(TextConversions, Latin1BytesAreTheirOwnCodePointsC1ControlsIncluded) {
  EXPECT_EQ(Latin1ToUtf8("caf\xE9"), "caf" + kE);
  // 80h and 9Fh are C1 controls in ISO 8859-1, not the euro sign and Y diaeresis.
  EXPECT_EQ(Latin1ToUtf8("\x80\x9F\xFC"), "\xC2\x80\xC2\x9F" + kU);
  EXPECT_EQ(Latin1ToUtf8("plain"), "plain");
}

TEST(TextConversions, MalformedSequencesAreNotAcceptedAsUtf8) {
  EXPECT_TRUE(IsValidUtf8(kE + kU + kNihon + kEmoji));
  EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));          // overlong '/'
  EXPECT_FALSE(IsValidUtf8("\xE0\x80\xAF"));      // overlong
  EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));      // surrogate
  EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80"));  // above U+10FFFF
  EXPECT_FALSE(IsValidUtf8("\xE6\x97"));          // truncated
  // A truncated sequence decodes byte by byte, never past the end.
  EXPECT_EQ(DecodeUtf8OrCp1252("\xE6\x97"), U"\u00E6\u2014");
}

TEST(TextConversions, Ucs2BigEndianReplacesCharactersBeyondTheBmp) {
  EXPECT_EQ(Utf8ToUcs2Be("A" + kE + kNihon + kEmoji), std::string("\x00"
                                                                  "A"
                                                                  "\x00\xE9"
                                                                  "\x65\xE5"
                                                                  "\x67\x2C"
                                                                  "\x00_",
                                                                  10));
}

TEST(TextConversions, Cs0UsesEightBitsOnlyWhenEveryCharacterFits) {
  EXPECT_EQ(Utf8ToCs0("DVD " + kE + kU),
            "\x08"
            "DVD \xE9\xFC");
  EXPECT_EQ(Utf8ToCs0("a" + kNihon), std::string("\x10\x00"
                                                 "a"
                                                 "\x65\xE5\x67\x2C",
                                                 7));
  EXPECT_EQ(Utf8ToCs0(kEmoji), "\x08_");
  EXPECT_EQ(Utf8ToCs0(""), "");
}

TEST(TextConversions, Utf16DecodesSurrogatePairsAndReplacesLoneSurrogates) {
  // "é日😀" little-endian, then a lone high surrogate and an odd trailing byte.
  const std::string le("\xE9\x00\xE5\x65\x3D\xD8\x00\xDE\x00\xD8\x41", 11);
  EXPECT_EQ(Utf16ToUtf8(le), kE + "\xE6\x97\xA5" + kEmoji + "\xEF\xBF\xBD");
  EXPECT_EQ(Utf16ToUtf8(std::string("\x00\xFC\x67\x2C", 4), true), kU + "\xE6\x9C\xAC");
}

TEST(TextConversions, AsciiCaseHandlingLeavesOtherBytesAlone) {
  EXPECT_EQ(AsciiUpper("video_ts " + kE + kU + kNihon), "VIDEO_TS " + kE + kU + kNihon);
  // 0xE9 (é in Windows-1252) must not turn into 0xC9.
  EXPECT_EQ(AsciiUpper("caf\xE9"), "CAF\xE9");
  EXPECT_TRUE(AsciiIEquals("Settings", "SETTINGS"));
  EXPECT_FALSE(AsciiIEquals(kE, "\xC3\x89"));
  EXPECT_FALSE(AsciiIEquals("abc", "abcd"));
}

TEST(TextConversions, CuttingNeverSplitsACharacter) {
  const std::string s = "a" + kE + kNihon + kEmoji;  // 1 + 2 + 6 + 4 bytes, 5 characters
  EXPECT_EQ(CutUtf8(s, 2), "a");
  EXPECT_EQ(CutUtf8(s, 3), "a" + kE);
  EXPECT_EQ(CutUtf8(s, 8), "a" + kE + "\xE6\x97\xA5");
  EXPECT_EQ(CutUtf8(s, 12), "a" + kE + kNihon);
  EXPECT_EQ(CutUtf8(s, 100), s);
  EXPECT_EQ(CutUtf8Chars(s, 3), "a" + kE + "\xE6\x97\xA5");
  EXPECT_EQ(CutUtf8Chars(s, 0), "");
  EXPECT_EQ(Utf8Length(s), 5u);
  EXPECT_EQ(Utf8Length("ab\xFF"), 3u);
  EXPECT_EQ(CutUtf8("a\xFF\xFE", 2), "a\xFF");
}

}  // namespace
}  // namespace platform
