#include "morvix/error_text.h"

#include <string_view>

namespace morvix {
namespace {

struct TextEntry {
  Status first;  // codes first down to last share the text
  Status last;
  const wchar_t* text;
};

// Texts that do not depend on the failing title or file being set.
constexpr TextEntry kTexts[] = {
    {-1, -1, L"Error : NULL pointer!"},
    {-2, -2, L"Error : Invalid parameter(s)!"},
    {-3, -3, L"Error : Out of memory!"},
    {-1001, -1040, L"Internal error, please contact provider for help."},
    {-2001, -2001, L"No title found! There must be at least one title."},
    {-2004, -2004, L"The video file of title %d movie does not exist!"},
    {-2005, -2005, L"Invalid palette number!"},
    {-2006, -2006, L"Invalid chapter start time!"},
    {-2008, -2008, L"Invalid chapter count!"},
    {-2009, -2009, L"Invalid chapter start tiem, the duration of a chapter should be more than 2 seconds!"},
    {-2010, -2010, L"Too many titles, one DVD can have max 99 titles!"},
    {-2011, -2011, L"Invalid title number!"},
    {-2012, -2012, L"Invalid button position!"},
    {-2013, -2013, L"Invalid button index number!"},
    {-2014, -2014, L"Failed to load mask bitmap file!"},
    {-2015, -2015, L"Mask bitmap must be in 24BPP format!"},
    {-2016, -2016, L"Mask bitmap is too large!"},
    {-2018, -2018, L"Invalid menu ID!"},
    {-2019, -2019, L"The start time of chapter exceeds the duration of movie!"},
    {-2020, -2020, L"Movie file of title has not been set!"},
    {-2021, -2021, L"Too many chapters, max 99 chapters can be set in each title!"},
    {-2023, -2023, L"Invalid chapter start time of Title %d! First chapter must start from 0.0 second"},
    {-2024, -2024, L"Invalid chapter number"},
    {-2025, -2025, L"Invalid color index number"},
    {-2026, -2026, L"Invalid pixel index number"},
    {-2027, -2027, L"Invalid button state number"},
    {-2028, -2028, L"Invalid contrast value"},
    {-2030, -2030, L"The menu buttons are too complex for a DVD sub-picture.\n File Name:\n%s"},
    {-3001, -3001, L"No valid settings exists!"},
    {-4001, -4001, L"Can not delete file:\n%s\nPlease check if it's in use."},
    {-4002, -4002, L"Directory does not exists:\n%s"},
    {-4003, -4003, L"File does not exist:\n%s"},
    {-4004, -4004, L"Failed to open file:\n%s\nPlease check if it's in use."},
    {-4005, -4005, L"Failed to open file for writing:\n%s\nPlease check if it's in use."},
    {-4006, -4006, L"Failed to read file:\n%s\nPlease check if it's in use."},
    {-4007, -4007, L"Failed to write file:\n%s\nPlease check the disk free space."},
    {-4008, -4008, L"Failed to seek file:\n%s"},
    {-4009, -4009, L"Invalid file name"},
    {-4010, -4012, L"Invalid MPEG file format:\n%s"},
    {-4013, -4013, L"Error : Menu mpeg file must be less than 1 GBytes.\n File Name:\n%s"},
    {-4014, -4014, L"MPEG file size is too large.\n File Name:\n%s"},
    {-4015, -4015,
     L"Invalid picture resolution, it must be one of below:\nNTSC : 720x480, 704x480, 352x480, "
     L"352x240\nPAL : 720x576, 704x576, 352x576, 352x288\nFile Name:\n%s"},
    {-4016, -4016, L"Invalid aspect ratio, it must be 4:3 or 16:9.\n File Name:\n%s"},
    {-4017, -4017,
     L"FPS of mpeg file does not match the TV System.\nFor NTSC, FPS must be 29.97. For PAL, FPS must "
     L"be 25.\n File Name:\n%s"},
    {-4018, -4018,
     L"Invalid FPS value found in mpeg file, it must be 29.97(NTSC) or 25(PAL).\n File Name:\n%s"},
    // Kept for callers that share this numbering; the engine itself never returns them.
    {-5001, -5001, L"Can not fins the XML file!"},
    {-5002, -5002,
     L"Can not create the Microsoft XML parser object, please check if it has been installed correctly!"},
    {-5003, -5003, L"Invalid XML file format!"},
    {-5004, -5004, L"Invalid palette color value text format!"},
    {-5005, -5005, L"Invalid palette color value, should be 0 to 255!"},
    {-5006, -5006, L"Invalid button color code text format!"},
    {-5007, -5007, L"Invalid button color code value, should be 1 to 16!"},
    {-5008, -5008, L"Error: try to set menu items to an invalid/not-existed menu!"},
    {-5009, -5009, L"Invalid video file name!"},
    {-5010, -5010, L"Can not find the <DVDSettings> Node in XML file!"},
};

// The template with the first %s replaced by the failing file and the first
// %d by the failing title; the inserted text is not scanned again.
std::wstring Fill(std::wstring_view tmpl, const ErrorContext& context) {
  std::wstring out;
  out.reserve(tmpl.size() + context.file.size() + 12);
  for (std::size_t i = 0; i < tmpl.size(); ++i) {
    if (tmpl[i] == L'%' && i + 1 < tmpl.size() && (tmpl[i + 1] == L's' || tmpl[i + 1] == L'd')) {
      out += tmpl[i + 1] == L's' ? context.file : std::to_wstring(context.title);
      ++i;
    } else {
      out += tmpl[i];
    }
  }
  return out;
}

// Texts that change with whether a title or a file is named.
const wchar_t* ContextText(Status code, const ErrorContext& context) {
  const bool main_menu = context.title == 0;
  switch (code) {
    case kErrNoButton:
      return main_menu ? L"No button found in main menu!" : L"No button found in title %d menu!";
    case kErrMenuVideoMissing:
      return main_menu ? L"The video file of main menu does not exist!"
                       : L"The video file of title %d menu does not exist!";
    case kErrInvalidButtonCommand:
      return main_menu ? L"Invalid button command in the main menu!"
                       : L"Invalid button command in the menu of title %d!";
    case kErrOutputDir:
      return context.file.empty() ? L"The output directory has not been set!"
                                  : L"The output directory:\n%s\ndoes not exists";
    default:
      return nullptr;
  }
}

}  // namespace

std::optional<std::wstring> ErrorText(Status code, const ErrorContext& context) {
  if (const wchar_t* text = ContextText(code, context)) return Fill(text, context);
  for (const TextEntry& entry : kTexts) {
    if (code <= entry.first && code >= entry.last) return Fill(entry.text, context);
  }
  return std::nullopt;
}

std::wstring ComposeErrorMessage(Status code, const ErrorContext& context) {
  std::wstring message = L"Error code = " + std::to_wstring(code) + L"\n";
  const std::optional<std::wstring> text = ErrorText(code, context);
  message += text ? *text : L"Unknown error.";
  return message;
}

}  // namespace morvix
