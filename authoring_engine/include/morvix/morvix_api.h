// CMorvixAPI: the authoring engine's interface. A caller builds a settings
// model (main menu, titles with chapters and menus, buttons, palettes, colour
// schemes, output folder, auto-next-title switch) and then calls Build, which
// writes a VIDEO_TS file set into the output folder.
//
// Every member returns a status (status_codes.h): 0 success, a positive index
// or identifier, or a negative error code whose text GetErrText gives. A member
// that fails on a file records that file in this object's error context, so
// two engines in one process keep their errors apart. Wide strings are
// NUL-terminated and copied; strings returned stay this object's and live until
// the settings change. A NULL name where one is required gives
// kErrNullPointer unless a member says what NULL means. Members never throw.
// An object is used by one thread at a time.
#pragma once

#include <cstdint>
#include <memory>

#include "morvix/export.h"
#include "morvix/settings.h"
#include "morvix/status_codes.h"
#include "morvix/types.h"

namespace morvix {

// Build progress: overall percent and the current step's percent (0..100) and
// a text naming the step. A non-zero answer asks the build to stop.
using ProgressCallback = int (*)(double overall_percent, double step_percent, const wchar_t* text);

class MORVIX_API CMorvixAPI {
 public:
  // Creates the settings with their defaults. Should that allocation fail,
  // every member answers kErrNoSettings (or its empty result) until Init.
  CMorvixAPI() noexcept;
  ~CMorvixAPI();
  // Copies are deep: each object owns its own settings. A copy that cannot be
  // allocated leaves the target without settings (kErrNoSettings).
  CMorvixAPI(const CMorvixAPI& other) noexcept;
  CMorvixAPI& operator=(const CMorvixAPI& other) noexcept;

  // Everything back to the defaults.
  void Init() noexcept;

  // Titles. chapter_starts holds chapter_count seconds (chapter 1's is stored as
  // 0.0); it may be NULL when chapter_count is 1. AddTitle returns the new
  // title's number (1..99).
  Status AddTitle(const wchar_t* movie_file, std::int32_t chapter_count,
                  const float* chapter_starts) noexcept;
  Status SetTitle(std::int32_t title, const wchar_t* movie_file, std::int32_t chapter_count,
                  const float* chapter_starts) noexcept;
  Status DeleteTitle(std::int32_t title) noexcept;
  std::int32_t GetTitleCount() const noexcept;
  // The movie file, or an empty string when title is not 1..count.
  const wchar_t* GetMovieFileName(std::int32_t title) const noexcept;
  std::int32_t GetChapterCount(std::int32_t title) const noexcept;
  Status SetChapterStartTime(std::int32_t title, std::int32_t chapter, float seconds) noexcept;
  // The start in seconds, or kErrInvalidTitleNumber / kErrInvalidChapterNumber as a double.
  double GetChapterStartTime(std::int32_t title, std::int32_t chapter) const noexcept;

  // Menus. AddMainMenu returns kMainMenuId, AddTitleMenu the new menu's
  // identifier (title * 1000 + 1). Adding resets the menu.
  Status AddMainMenu(const wchar_t* video_file) noexcept;
  Status AddTitleMenu(std::int32_t title, const wchar_t* video_file) noexcept;
  Status SetMenuFile(std::int32_t menu_id, const wchar_t* video_file) noexcept;
  Status DeleteMenu(std::int32_t menu_id) noexcept;
  // main != 0: the main menu's identifier (0 when none); else title's menu
  // identifier (0 when none) or kErrInvalidTitleNumber.
  Status GetMenuID(BOOL main, std::int32_t title) const noexcept;
  // The menu's video file, or NULL for a bad identifier.
  const wchar_t* GetMenuFileName(std::int32_t menu_id) const noexcept;

  // Buttons. type: 1 jump to the title numbered by value, 2 jump to the chapter
  // numbered by value, 3 back to the main menu, anything else no action.
  // mask_file NULL makes a rectangle button; otherwise the button is the
  // 24-bit mask bitmap placed at (left, top) and right/bottom are ignored.
  // AddMenuBtn returns the number of buttons the menu held before.
  Status AddMenuBtn(std::int32_t menu_id, std::uint16_t left, std::uint16_t top, std::uint16_t right,
                    std::uint16_t bottom, std::uint32_t type, std::uint32_t value,
                    const wchar_t* mask_file) noexcept;
  Status SetMenuBtn(std::int32_t menu_id, std::int32_t button, std::uint16_t left, std::uint16_t top,
                    std::uint16_t right, std::uint16_t bottom, std::uint32_t type, std::uint32_t value,
                    const wchar_t* mask_file) noexcept;
  Status DeleteButton(std::int32_t menu_id, std::int32_t button) noexcept;
  // The button count, 0 for a bad identifier.
  std::int32_t GetButtonCount(std::int32_t menu_id) const noexcept;
  // Reads button back: rectangle, type (0 for no action), value, whether it is
  // a mask button, and the mask path into mask_path (mask_path_length
  // characters with the NUL; an empty string for a rectangle button).
  Status GetButton(std::int32_t menu_id, std::int32_t button, RECT* rect, std::uint32_t* type,
                   std::uint32_t* value, BOOL* is_mask, wchar_t* mask_path,
                   std::int32_t mask_path_length) const noexcept;

  // Colours. palette and schemes may each be NULL (left unchanged).
  Status SetMenuColors(std::int32_t menu_id, const DVDB_ColorPalette* palette,
                       const BtnClrSchemes* schemes) noexcept;
  // number 1..16.
  Status SetMenuPalColor(std::int32_t menu_id, std::int32_t number, COLORREF color) noexcept;
  // state 1 normal, 2 selected, 3 activated; pixel 1..4 is pixel value 0..3;
  // colour and contrast 1..16 are stored as 0..15. button must exist but the
  // schemes belong to the whole menu.
  Status SetMenuBtnClrCode(std::int32_t menu_id, std::int32_t button, std::int32_t state, std::int32_t pixel,
                           std::int32_t color, std::int32_t contrast) noexcept;
  Status GetPalette(std::int32_t menu_id, DVDB_ColorPalette* palette, BtnClrSchemes* schemes) const noexcept;

  // Output folder: must be an existing directory; a refused folder empties the
  // stored one.
  Status SetOutputDir(const wchar_t* folder) noexcept;
  const wchar_t* GetOutputDir() const noexcept;
  Status SetAutoNextTitle(BOOL on) noexcept;
  BOOL IsAutoNextTitle() const noexcept;

  // The settings themselves, owned by this object (NULL only when they could
  // not be allocated).
  SettingData* GetSettingData() noexcept { return settings_.get(); }
  const SettingData* GetSettingData() const noexcept { return settings_.get(); }

  // Validates the settings and writes the VIDEO_TS set; progress may be NULL.
  // Returns 0, kStopped, or an error code. The build works on a copy of the
  // settings taken when it starts, so progress may change or clear them. Only
  // DVD-Video file names are deleted from the output folder (after the
  // settings passed validation); a build that then fails or is stopped
  // leaves no VIDEO_TS.IFO, so no half-written set looks complete.
  Status Build(ProgressCallback progress) noexcept;

  // "Error code = <code>\n<text>" into buffer, cut to length - 1 characters
  // and always NUL-terminated; kErrInvalidParameter for a NULL buffer or a
  // length below 1.
  Status GetErrText(Status code, wchar_t* buffer, std::int32_t length) const noexcept;

  // The failing file and title of the last error.
  ErrorContext& error_context() noexcept { return error_; }
  const ErrorContext& error_context() const noexcept { return error_; }

 private:
  // Index of a menu (0 main, n title n) or kErrInvalidMenuId.
  Status MenuIndex(std::int32_t menu_id) const;
  MenuSetting* MenuByIndex(int index);
  const MenuSetting* MenuByIndex(int index) const;
  Status PlaceButton(std::int32_t menu_id, std::int32_t button, std::uint16_t left, std::uint16_t top,
                     std::uint16_t right, std::uint16_t bottom, std::uint32_t type, std::uint32_t value,
                     const wchar_t* mask_file);

  std::unique_ptr<SettingData> settings_;
  ErrorContext error_;
};

}  // namespace morvix
