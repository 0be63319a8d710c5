// Error texts: every code of the table, the texts that name a title or a file,
// codes without a text, and copying into the caller's buffer.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "morvix/error_text.h"
#include "morvix/morvix_api.h"

namespace morvix {
namespace {

struct Expected {
  Status code;
  const wchar_t* text;  // with the file "F:\x" and the title 7 filled in
};

// The texts as the users of the engine know them, typos included.
const Expected kTable[] = {
    {-1, L"Error : NULL pointer!"},
    {-2, L"Error : Invalid parameter(s)!"},
    {-3, L"Error : Out of memory!"},
    {-2001, L"No title found! There must be at least one title."},
    {-2002, L"No button found in title 7 menu!"},
    {-2003, L"The video file of title 7 menu does not exist!"},
    {-2004, L"The video file of title 7 movie does not exist!"},
    {-2005, L"Invalid palette number!"},
    {-2006, L"Invalid chapter start time!"},
    {-2008, L"Invalid chapter count!"},
    {-2009, L"Invalid chapter start tiem, the duration of a chapter should be more than 2 seconds!"},
    {-2010, L"Too many titles, one DVD can have max 99 titles!"},
    {-2011, L"Invalid title number!"},
    {-2012, L"Invalid button position!"},
    {-2013, L"Invalid button index number!"},
    {-2014, L"Failed to load mask bitmap file!"},
    {-2015, L"Mask bitmap must be in 24BPP format!"},
    {-2016, L"Mask bitmap is too large!"},
    {-2017, L"Invalid button command in the menu of title 7!"},
    {-2018, L"Invalid menu ID!"},
    {-2019, L"The start time of chapter exceeds the duration of movie!"},
    {-2020, L"Movie file of title has not been set!"},
    {-2021, L"Too many chapters, max 99 chapters can be set in each title!"},
    {-2022, L"The output directory:\nF:\\x\ndoes not exists"},
    {-2023, L"Invalid chapter start time of Title 7! First chapter must start from 0.0 second"},
    {-2024, L"Invalid chapter number"},
    {-2025, L"Invalid color index number"},
    {-2026, L"Invalid pixel index number"},
    {-2027, L"Invalid button state number"},
    {-2028, L"Invalid contrast value"},
    {-2030, L"The menu buttons are too complex for a DVD sub-picture.\n File Name:\nF:\\x"},
    {-3001, L"No valid settings exists!"},
    {-4001, L"Can not delete file:\nF:\\x\nPlease check if it's in use."},
    {-4002, L"Directory does not exists:\nF:\\x"},
    {-4003, L"File does not exist:\nF:\\x"},
    {-4004, L"Failed to open file:\nF:\\x\nPlease check if it's in use."},
    {-4005, L"Failed to open file for writing:\nF:\\x\nPlease check if it's in use."},
    {-4006, L"Failed to read file:\nF:\\x\nPlease check if it's in use."},
    {-4007, L"Failed to write file:\nF:\\x\nPlease check the disk free space."},
    {-4008, L"Failed to seek file:\nF:\\x"},
    {-4009, L"Invalid file name"},
    {-4010, L"Invalid MPEG file format:\nF:\\x"},
    {-4011, L"Invalid MPEG file format:\nF:\\x"},
    {-4012, L"Invalid MPEG file format:\nF:\\x"},
    {-4013, L"Error : Menu mpeg file must be less than 1 GBytes.\n File Name:\nF:\\x"},
    {-4014, L"MPEG file size is too large.\n File Name:\nF:\\x"},
    {-4015,
     L"Invalid picture resolution, it must be one of below:\nNTSC : 720x480, 704x480, 352x480, 352x240\nPAL "
     L": "
     L"720x576, 704x576, 352x576, 352x288\nFile Name:\nF:\\x"},
    {-4016, L"Invalid aspect ratio, it must be 4:3 or 16:9.\n File Name:\nF:\\x"},
    {-4017,
     L"FPS of mpeg file does not match the TV System.\nFor NTSC, FPS must be 29.97. For PAL, FPS must be "
     L"25.\n "
     L"File Name:\nF:\\x"},
    {-4018, L"Invalid FPS value found in mpeg file, it must be 29.97(NTSC) or 25(PAL).\n File Name:\nF:\\x"},
    {-5001, L"Can not fins the XML file!"},
    {-5002,
     L"Can not create the Microsoft XML parser object, please check if it has been installed correctly!"},
    {-5003, L"Invalid XML file format!"},
    {-5004, L"Invalid palette color value text format!"},
    {-5005, L"Invalid palette color value, should be 0 to 255!"},
    {-5006, L"Invalid button color code text format!"},
    {-5007, L"Invalid button color code value, should be 1 to 16!"},
    {-5008, L"Error: try to set menu items to an invalid/not-existed menu!"},
    {-5009, L"Invalid video file name!"},
    {-5010, L"Can not find the <DVDSettings> Node in XML file!"},
};

std::wstring Text(const CMorvixAPI& api, Status code, int length = 1000) {
  std::vector<wchar_t> buffer(length, L'#');
  EXPECT_EQ(api.GetErrText(code, buffer.data(), length), kOk) << code;
  return buffer.data();
}

std::wstring Prefix(Status code) { return L"Error code = " + std::to_wstring(code) + L"\n"; }

class MorvixErrorTextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    api_.error_context().file = L"F:\\x";
    api_.error_context().title = 7;
  }
  CMorvixAPI api_;
};

TEST_F(MorvixErrorTextTest, EveryCodeOfTheTableComposesItsText) {
  for (const Expected& e : kTable) EXPECT_EQ(Text(api_, e.code), Prefix(e.code) + e.text) << e.code;
  for (Status code = -1001; code >= -1040; --code) {
    EXPECT_EQ(Text(api_, code), Prefix(code) + L"Internal error, please contact provider for help.");
  }
}

TEST_F(MorvixErrorTextTest, CodesWithoutATextAreUnknownErrors) {
  for (Status code : {-2007, -2029, 0, 1, -4, -1000, -1041, -2000, -2031, -3000, -3002, -4000, -4019, -5000,
                      -5011, -123456}) {
    EXPECT_EQ(Text(api_, code), Prefix(code) + L"Unknown error.") << code;
  }
  EXPECT_EQ(Text(api_, -2029, 100), L"Error code = -2029\nUnknown error.");
}

TEST_F(MorvixErrorTextTest, TitleZeroNamesTheMainMenu) {
  api_.error_context().title = 0;
  EXPECT_EQ(Text(api_, -2002), Prefix(-2002) + L"No button found in main menu!");
  EXPECT_EQ(Text(api_, -2003), Prefix(-2003) + L"The video file of main menu does not exist!");
  EXPECT_EQ(Text(api_, -2017), Prefix(-2017) + L"Invalid button command in the main menu!");
  api_.error_context().title = 3;
  EXPECT_EQ(Text(api_, -2002), Prefix(-2002) + L"No button found in title 3 menu!");
}

TEST_F(MorvixErrorTextTest, AnEmptyFailingFileMeansTheOutputFolderWasNeverSet) {
  api_.error_context().file.clear();
  EXPECT_EQ(Text(api_, -2022), Prefix(-2022) + L"The output directory has not been set!");
}

TEST_F(MorvixErrorTextTest, AFileNameHoldingPercentSignsIsInsertedLiterally) {
  api_.error_context().file = L"/v/%s%d.mpg";
  EXPECT_EQ(Text(api_, -4003), Prefix(-4003) + L"File does not exist:\n/v/%s%d.mpg");
}

TEST_F(MorvixErrorTextTest, TheErrorsOfAMemberReachTheText) {
  CMorvixAPI api;
  EXPECT_EQ(api.AddMainMenu(L"/no/such/menu.mpg"), kErrNoFile);
  EXPECT_EQ(Text(api, kErrNoFile), L"Error code = -4003\nFile does not exist:\n/no/such/menu.mpg");
}

TEST_F(MorvixErrorTextTest, TheMessageIsCutToTheBufferLength) {
  EXPECT_EQ(Text(api_, -2011, 100), L"Error code = -2011\nInvalid title number!");
  wchar_t buffer[12];
  std::fill(std::begin(buffer), std::end(buffer), L'#');
  ASSERT_EQ(api_.GetErrText(-2011, buffer, 10), kOk);
  EXPECT_EQ(std::wstring(buffer), L"Error cod");
  EXPECT_EQ(buffer[9], L'\0');
  EXPECT_EQ(buffer[10], L'#');  // nothing past the length
  ASSERT_EQ(api_.GetErrText(-2011, buffer, 1), kOk);
  EXPECT_EQ(buffer[0], L'\0');
  EXPECT_EQ(buffer[1], L'r');  // left from the call before
  // Exactly the message's length: the last character gives way to the NUL.
  const std::wstring full = L"Error code = -2011\nInvalid title number!";
  std::vector<wchar_t> exact(full.size(), L'#');
  ASSERT_EQ(api_.GetErrText(-2011, exact.data(), static_cast<int>(exact.size())), kOk);
  EXPECT_EQ(std::wstring(exact.data()), full.substr(0, full.size() - 1));
}

TEST_F(MorvixErrorTextTest, ANullBufferOrNoRoomIsAnInvalidParameter) {
  wchar_t buffer[4] = {L'#', L'#', L'#', L'#'};
  EXPECT_EQ(api_.GetErrText(-1, nullptr, 10), kErrInvalidParameter);
  EXPECT_EQ(api_.GetErrText(-1, buffer, 0), kErrInvalidParameter);
  EXPECT_EQ(api_.GetErrText(-1, buffer, -5), kErrInvalidParameter);
  EXPECT_EQ(buffer[0], L'#');
}

TEST(MorvixErrorTextLookupTest, HasNoTextForUnknownCodes) {
  const ErrorContext context;
  EXPECT_FALSE(ErrorText(-2029, context).has_value());
  EXPECT_EQ(ErrorText(-2011, context), std::wstring(L"Invalid title number!"));
  EXPECT_EQ(ComposeErrorMessage(-7, context), L"Error code = -7\nUnknown error.");
}

}  // namespace
}  // namespace morvix
