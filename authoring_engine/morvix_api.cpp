#include "morvix/morvix_api.h"

#include <cmath>
#include <cwchar>
#include <filesystem>
#include <new>
#include <string>
#include <system_error>
#include <utility>

#include "morvix/error_text.h"
#include "nav_commands.h"
#include "platform/bitmap.h"
#include "platform/text.h"

namespace morvix {
namespace {

static_assert(kBtnCmdTitle == kCmdJumpVtsRootMenu && kBtnCmdChapter == kCmdJumpChapter &&
              kBtnCmdMainMenu == kCmdJumpVmgmPgc && kBtnCmdNone == kCmdNop2);

// Button placement limits (picture pixels).
constexpr int kMinLeftTop = 40;
constexpr int kMaxLeft = 678;
constexpr int kMaxTop = 534;
constexpr int kMaxRight = 679;
constexpr int kMaxBottom = 535;
constexpr int kMaskWidthLimit = 600;   // a mask must be narrower
constexpr int kMaskHeightLimit = 400;  // and lower than this

// Runs body, turning exceptions into a status so that none leaves the
// library: -3 only when memory ran out.
template <class Body>
Status Guarded(Body&& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  } catch (...) {
    return kErrInternalUnexpected;
  }
}

bool PathExists(const std::filesystem::path& path) {
  std::error_code ec;
  return std::filesystem::exists(path, ec);
}

bool IsDirectory(const std::filesystem::path& path) {
  std::error_code ec;
  return std::filesystem::is_directory(path, ec);
}

std::uint32_t CommandForType(std::uint32_t type) {
  switch (type) {
    case 1:
      return kBtnCmdTitle;
    case 2:
      return kBtnCmdChapter;
    case 3:
      return kBtnCmdMainMenu;
    default:
      return kBtnCmdNone;
  }
}

std::uint32_t TypeForCommand(std::uint32_t command) {
  switch (command) {
    case kBtnCmdTitle:
      return 1;
    case kBtnCmdChapter:
      return 2;
    case kBtnCmdMainMenu:
      return 3;
    default:
      return 0;
  }
}

ColorScheme* SchemeForState(BtnClrSchemes& schemes, int state) {
  switch (state) {
    case 1:
      return &schemes.normal;
    case 2:
      return &schemes.selected;
    case 3:
      return &schemes.activated;
    default:
      return nullptr;
  }
}

// Chapter count and gaps, checked on the values as given.
Status CheckChapters(std::int32_t chapter_count, const float* chapter_starts) {
  if (chapter_count <= 0) return kErrInvalidChapterCount;
  if (chapter_count > kMaxChapters) return kErrTooManyChapters;
  if (chapter_starts != nullptr) {
    for (std::int32_t i = 1; i < chapter_count; ++i) {
      // Written so that a NaN start is refused as well.
      if (!(chapter_starts[i] - chapter_starts[i - 1] >= kMinChapterLength)) return kErrChapterTooShort;
    }
  }
  return kOk;
}

// Chapter 1 always starts at 0.0; unused entries are -1.0.
void StoreChapters(TitleSetting& title, std::int32_t chapter_count, const float* chapter_starts) {
  title.chapter_count = chapter_count;
  title.chapter_starts.fill(-1.0);
  title.chapter_starts[0] = 0.0;
  for (std::int32_t i = 1; i < chapter_count; ++i) title.chapter_starts[i] = chapter_starts[i];
}

}  // namespace

CMorvixAPI::CMorvixAPI() noexcept {
  try {
    settings_ = std::make_unique<SettingData>();
  } catch (...) {
    settings_.reset();
  }
}

CMorvixAPI::~CMorvixAPI() = default;

CMorvixAPI::CMorvixAPI(const CMorvixAPI& other) noexcept { *this = other; }

CMorvixAPI& CMorvixAPI::operator=(const CMorvixAPI& other) noexcept {
  if (this == &other) return *this;
  try {
    std::unique_ptr<SettingData> copy;
    if (other.settings_) copy = std::make_unique<SettingData>(*other.settings_);
    ErrorContext error = other.error_;
    settings_ = std::move(copy);
    error_ = std::move(error);
  } catch (...) {
    settings_.reset();
  }
  return *this;
}

void CMorvixAPI::Init() noexcept {
  try {
    if (settings_) {
      settings_->Reset();
    } else {
      settings_ = std::make_unique<SettingData>();
    }
  } catch (...) {
    settings_.reset();
  }
}

// ---- Titles ----

Status CMorvixAPI::AddTitle(const wchar_t* movie_file, std::int32_t chapter_count,
                            const float* chapter_starts) noexcept {
  return Guarded([&]() -> Status {
    if (!settings_) return kErrNoSettings;
    if (movie_file == nullptr) return kErrNullPointer;
    if (chapter_starts == nullptr && chapter_count > 1) return kErrInvalidChapterStart;
    if (!PathExists(platform::WideToPath(movie_file))) return error_.Fail(kErrNoFile, movie_file);
    if (Status s = CheckChapters(chapter_count, chapter_starts); s != kOk) return s;
    if (settings_->title_count >= kMaxTitles) return kErrTooManyTitles;
    auto title = std::make_unique<TitleSetting>();
    title->movie_file = movie_file;
    StoreChapters(*title, chapter_count, chapter_starts);
    settings_->titles[settings_->title_count] = std::move(title);
    return ++settings_->title_count;
  });
}

Status CMorvixAPI::SetTitle(std::int32_t title, const wchar_t* movie_file, std::int32_t chapter_count,
                            const float* chapter_starts) noexcept {
  return Guarded([&]() -> Status {
    if (!settings_) return kErrNoSettings;
    if (movie_file == nullptr) return kErrNullPointer;
    TitleSetting* record = settings_->Title(title);
    if (record == nullptr) return kErrInvalidTitleNumber;
    if (chapter_starts == nullptr && chapter_count > 1) return kErrInvalidChapterStart;
    if (!PathExists(platform::WideToPath(movie_file))) return error_.Fail(kErrNoFile, movie_file);
    if (Status s = CheckChapters(chapter_count, chapter_starts); s != kOk) return s;
    record->movie_file = movie_file;
    StoreChapters(*record, chapter_count, chapter_starts);
    return kOk;
  });
}

Status CMorvixAPI::DeleteTitle(std::int32_t title) noexcept {
  if (!settings_) return kErrNoSettings;
  SettingData& s = *settings_;
  if (s.Title(title) == nullptr) return kErrInvalidTitleNumber;
  s.titles[title - 1].reset();
  for (int slot = title - 1; slot + 1 < s.title_count; ++slot) {
    s.titles[slot] = std::move(s.titles[slot + 1]);
    MenuSetting& menu = s.titles[slot]->menu();
    if (menu.menu_id > 0) menu.menu_id = TitleMenuId(slot + 1);
  }
  s.titles[s.title_count - 1].reset();
  --s.title_count;
  return kOk;
}

std::int32_t CMorvixAPI::GetTitleCount() const noexcept { return settings_ ? settings_->title_count : 0; }

const wchar_t* CMorvixAPI::GetMovieFileName(std::int32_t title) const noexcept {
  const TitleSetting* record = settings_ ? settings_->Title(title) : nullptr;
  return record ? record->movie_file.c_str() : L"";
}

std::int32_t CMorvixAPI::GetChapterCount(std::int32_t title) const noexcept {
  const TitleSetting* record = settings_ ? settings_->Title(title) : nullptr;
  return record ? record->chapter_count : 0;
}

Status CMorvixAPI::SetChapterStartTime(std::int32_t title, std::int32_t chapter, float seconds) noexcept {
  if (!settings_) return kErrNoSettings;
  if (!std::isfinite(seconds) || seconds < 0) return kErrInvalidChapterStart;
  TitleSetting* record = settings_->Title(title);
  if (record == nullptr) return kErrInvalidTitleNumber;
  if (chapter < 1 || chapter > record->chapter_count) return kErrInvalidChapterNumber;
  record->chapter_starts[chapter - 1] = seconds;
  return kOk;
}

double CMorvixAPI::GetChapterStartTime(std::int32_t title, std::int32_t chapter) const noexcept {
  if (!settings_) return kErrNoSettings;
  const TitleSetting* record = settings_->Title(title);
  if (record == nullptr) return kErrInvalidTitleNumber;
  if (chapter < 1 || chapter > record->chapter_count) return kErrInvalidChapterNumber;
  return record->chapter_starts[chapter - 1];
}

// ---- Menus ----

Status CMorvixAPI::MenuIndex(std::int32_t menu_id) const {
  if (menu_id == kMainMenuId) return settings_->main_menu.menu_id == kMainMenuId ? 0 : kErrInvalidMenuId;
  if (menu_id % 1000 != 1) return kErrInvalidMenuId;
  const int n = menu_id / 1000;
  const TitleSetting* title = settings_->Title(n);
  if (title == nullptr || title->menu().menu_id != menu_id) return kErrInvalidMenuId;
  return n;
}

MenuSetting* CMorvixAPI::MenuByIndex(int index) {
  return index == 0 ? &settings_->main_menu : &settings_->Title(index)->menu();
}

const MenuSetting* CMorvixAPI::MenuByIndex(int index) const {
  return index == 0 ? &settings_->main_menu : &settings_->Title(index)->menu();
}

Status CMorvixAPI::AddMainMenu(const wchar_t* video_file) noexcept {
  return Guarded([&]() -> Status {
    if (!settings_) return kErrNoSettings;
    if (video_file == nullptr) return kErrNullPointer;
    if (!PathExists(platform::WideToPath(video_file))) return error_.Fail(kErrNoFile, video_file);
    std::wstring file = video_file;
    MenuSetting& menu = settings_->main_menu;
    menu.Reset();
    menu.video_file = std::move(file);
    menu.menu_id = kMainMenuId;
    return kMainMenuId;
  });
}

Status CMorvixAPI::AddTitleMenu(std::int32_t title, const wchar_t* video_file) noexcept {
  return Guarded([&]() -> Status {
    if (!settings_) return kErrNoSettings;
    if (video_file == nullptr) return kErrNullPointer;
    if (!PathExists(platform::WideToPath(video_file))) return error_.Fail(kErrNoFile, video_file);
    if (title < 1 || title > settings_->title_count) return kErrInvalidTitleNumber;
    TitleSetting* record = settings_->Title(title);
    if (record == nullptr) return kErrInternalNoTitleRecord;
    std::wstring file = video_file;
    MenuSetting& menu = record->menu();
    menu.Reset();
    menu.video_file = std::move(file);
    menu.menu_id = TitleMenuId(title);
    return menu.menu_id;
  });
}

Status CMorvixAPI::SetMenuFile(std::int32_t menu_id, const wchar_t* video_file) noexcept {
  return Guarded([&]() -> Status {
    if (!settings_) return kErrNoSettings;
    if (video_file == nullptr) return kErrInvalidFileName;
    const Status index = MenuIndex(menu_id);
    if (index < 0) return index;
    MenuByIndex(index)->video_file = video_file;
    return kOk;
  });
}

Status CMorvixAPI::DeleteMenu(std::int32_t menu_id) noexcept {
  if (!settings_) return kErrNoSettings;
  const Status index = MenuIndex(menu_id);
  if (index < 0) return index;
  MenuByIndex(index)->Reset();
  return kOk;
}

Status CMorvixAPI::GetMenuID(BOOL main, std::int32_t title) const noexcept {
  if (!settings_) return kErrNoSettings;
  if (main) return settings_->main_menu.menu_id;
  const TitleSetting* record = settings_->Title(title);
  if (record == nullptr) return kErrInvalidTitleNumber;
  return record->menu().menu_id;
}

const wchar_t* CMorvixAPI::GetMenuFileName(std::int32_t menu_id) const noexcept {
  if (!settings_) return nullptr;
  const Status index = MenuIndex(menu_id);
  return index < 0 ? nullptr : MenuByIndex(index)->video_file.c_str();
}

// ---- Buttons ----

Status CMorvixAPI::PlaceButton(std::int32_t menu_id, std::int32_t button, std::uint16_t left,
                               std::uint16_t top, std::uint16_t right, std::uint16_t bottom,
                               std::uint32_t type, std::uint32_t value, const wchar_t* mask_file) {
  const Status index = MenuIndex(menu_id);
  if (index < 0) return index;
  if (top < kMinLeftTop || top > kMaxTop || left < kMinLeftTop || left > kMaxLeft) {
    return kErrInvalidButtonPosition;
  }
  std::filesystem::path mask_path;
  if (mask_file == nullptr) {
    if (bottom < kMinLeftTop + 1 || bottom > kMaxBottom || right < kMinLeftTop + 1 || right > kMaxRight ||
        left >= right || top >= bottom) {
      return kErrInvalidButtonPosition;
    }
  } else {
    mask_path = platform::WideToPath(mask_file);
    if (!PathExists(mask_path)) return error_.Fail(kErrNoFile, mask_file);
  }
  MenuSetting& menu = *MenuByIndex(index);
  if (button < 1 || button > menu.button_count) return kErrInvalidButtonIndex;

  ButtonSetting& b = menu.buttons[button - 1];
  b.left = left;
  b.right = right;
  b.top = top;
  b.bottom = bottom;
  b.command = CommandForType(type);
  b.value = value;
  const std::int32_t id = button + index * 1000;
  if (mask_file == nullptr) {
    b.kind = ButtonKind::kRectangle;
    b.mask_file.clear();
    b.id = id;
    return kOk;
  }

  platform::BitmapResult mask;
  try {
    mask = platform::ReadBmp(mask_path);
  } catch (...) {
    mask.status = platform::BitmapStatus::kUnreadable;  // whatever stops the image library is a load failure
  }
  if (mask.status == platform::BitmapStatus::kNotTrueColor) return error_.Fail(kErrMaskNot24Bit, mask_file);
  if (mask.status != platform::BitmapStatus::kOk) return error_.Fail(kErrMaskLoad, mask_file);
  const int width = mask.bitmap.width;
  const int height = mask.bitmap.height;
  // The mask must fit the sub-picture limits and stay inside the picture.
  if (width >= kMaskWidthLimit || height >= kMaskHeightLimit || left + width > kPictureMaxX ||
      top + height > kPictureMaxY) {
    return error_.Fail(kErrMaskTooLarge, mask_file);
  }
  std::wstring path = mask_file;
  b.right = static_cast<std::uint16_t>(left + width);
  b.bottom = static_cast<std::uint16_t>(top + height);
  b.kind = ButtonKind::kMask;
  b.mask_file = std::move(path);
  b.id = id;
  return kOk;
}

Status CMorvixAPI::AddMenuBtn(std::int32_t menu_id, std::uint16_t left, std::uint16_t top,
                              std::uint16_t right, std::uint16_t bottom, std::uint32_t type,
                              std::uint32_t value, const wchar_t* mask_file) noexcept {
  if (!settings_) return kErrNoSettings;
  const Status index = MenuIndex(menu_id);
  if (index < 0) return index;
  MenuSetting& menu = *MenuByIndex(index);
  if (menu.button_count >= kMaxButtons) return kErrInvalidButtonIndex;
  ++menu.button_count;
  const Status status = Guarded([&] {
    return PlaceButton(menu_id, menu.button_count, left, top, right, bottom, type, value, mask_file);
  });
  if (status < 0) {
    --menu.button_count;
    return status;
  }
  return menu.button_count - 1;
}

Status CMorvixAPI::SetMenuBtn(std::int32_t menu_id, std::int32_t button, std::uint16_t left,
                              std::uint16_t top, std::uint16_t right, std::uint16_t bottom,
                              std::uint32_t type, std::uint32_t value, const wchar_t* mask_file) noexcept {
  if (!settings_) return kErrNoSettings;
  return Guarded(
      [&] { return PlaceButton(menu_id, button, left, top, right, bottom, type, value, mask_file); });
}

Status CMorvixAPI::DeleteButton(std::int32_t menu_id, std::int32_t button) noexcept {
  if (!settings_) return kErrNoSettings;
  const Status index = MenuIndex(menu_id);
  if (index < 0) return index;
  MenuSetting& menu = *MenuByIndex(index);
  if (button < 1 || button > menu.button_count) return kErrInvalidButtonIndex;
  for (int i = button - 1; i + 1 < menu.button_count; ++i) std::swap(menu.buttons[i], menu.buttons[i + 1]);
  --menu.button_count;
  return kOk;
}

std::int32_t CMorvixAPI::GetButtonCount(std::int32_t menu_id) const noexcept {
  if (!settings_) return 0;
  const Status index = MenuIndex(menu_id);
  return index < 0 ? 0 : MenuByIndex(index)->button_count;
}

Status CMorvixAPI::GetButton(std::int32_t menu_id, std::int32_t button, RECT* rect, std::uint32_t* type,
                             std::uint32_t* value, BOOL* is_mask, wchar_t* mask_path,
                             std::int32_t mask_path_length) const noexcept {
  if (!settings_) return kErrNoSettings;
  if (rect == nullptr || type == nullptr || value == nullptr || is_mask == nullptr || mask_path == nullptr) {
    return kErrNullPointer;
  }
  const Status index = MenuIndex(menu_id);
  if (index < 0) return index;
  if (index > 0 && settings_->Title(index) == nullptr) return kErrInternalNoButtonRecord;
  const MenuSetting& menu = *MenuByIndex(index);
  if (button < 1 || button > menu.button_count) return kErrInvalidButtonIndex;
  const ButtonSetting& b = menu.buttons[button - 1];
  rect->left = b.left;
  rect->right = b.right;
  rect->top = b.top;
  rect->bottom = b.bottom;
  *type = TypeForCommand(b.command);
  *value = b.value;
  *is_mask = b.kind == ButtonKind::kMask ? 1 : 0;
  const std::wstring empty;
  const std::wstring& path = b.kind == ButtonKind::kMask ? b.mask_file : empty;
  if (mask_path_length <= 0 || path.size() >= static_cast<std::size_t>(mask_path_length)) {
    return kErrBufferTooSmall;
  }
  std::wmemcpy(mask_path, path.c_str(), path.size() + 1);
  return kOk;
}

// ---- Colours ----

Status CMorvixAPI::SetMenuColors(std::int32_t menu_id, const DVDB_ColorPalette* palette,
                                 const BtnClrSchemes* schemes) noexcept {
  if (!settings_) return kErrNoSettings;
  const Status index = MenuIndex(menu_id);
  if (index < 0) return index;
  MenuSetting& menu = *MenuByIndex(index);
  if (palette != nullptr) {
    for (int i = 0; i < kPaletteSize; ++i) menu.palette[i] = RgbToYCrCb(palette->color[i]);
  }
  if (schemes != nullptr) menu.schemes = *schemes;
  return kOk;
}

Status CMorvixAPI::SetMenuPalColor(std::int32_t menu_id, std::int32_t number, COLORREF color) noexcept {
  if (!settings_) return kErrNoSettings;
  const Status index = MenuIndex(menu_id);
  if (index < 0) return index;
  if (number < 1 || number > kPaletteSize) return kErrInvalidColorIndex;
  MenuByIndex(index)->palette[number - 1] = RgbToYCrCb(color);
  return kOk;
}

Status CMorvixAPI::SetMenuBtnClrCode(std::int32_t menu_id, std::int32_t button, std::int32_t state,
                                     std::int32_t pixel, std::int32_t color, std::int32_t contrast) noexcept {
  if (!settings_) return kErrNoSettings;
  if (pixel < 1 || pixel > 4) return kErrInvalidPixelIndex;
  if (color < 1 || color > 16) return kErrInvalidColorIndex;
  if (contrast < 1 || contrast > 16) return kErrInvalidContrast;
  const Status index = MenuIndex(menu_id);
  if (index < 0) return index;
  MenuSetting& menu = *MenuByIndex(index);
  if (button < 1 || button > menu.button_count) return kErrInvalidButtonIndex;
  ColorScheme* scheme = SchemeForState(menu.schemes, state);
  if (scheme == nullptr) return kErrInvalidButtonState;
  scheme->color[pixel - 1] = static_cast<std::uint8_t>(color - 1);
  scheme->contrast[pixel - 1] = static_cast<std::uint8_t>(contrast - 1);
  return kOk;
}

Status CMorvixAPI::GetPalette(std::int32_t menu_id, DVDB_ColorPalette* palette,
                              BtnClrSchemes* schemes) const noexcept {
  if (!settings_) return kErrNoSettings;
  if (palette == nullptr || schemes == nullptr) return kErrNullPointer;
  const Status index = MenuIndex(menu_id);
  if (index < 0) return index;
  const MenuSetting& menu = *MenuByIndex(index);
  for (int i = 0; i < kPaletteSize; ++i) palette->color[i] = YCrCbToRgb(menu.palette[i]);
  *schemes = menu.schemes;
  return kOk;
}

// ---- Output folder and switches ----

Status CMorvixAPI::SetOutputDir(const wchar_t* folder) noexcept {
  if (!settings_) return kErrNoSettings;
  // A refused folder must not leave an earlier one in place for the build to write into.
  settings_->output_folder.clear();
  if (folder == nullptr) return kErrNullPointer;
  return Guarded([&]() -> Status {
    if (!IsDirectory(platform::WideToPath(folder))) return error_.Fail(kErrNoDirectory, folder);
    settings_->output_folder = folder;
    return kOk;
  });
}

const wchar_t* CMorvixAPI::GetOutputDir() const noexcept {
  return settings_ ? settings_->output_folder.c_str() : L"";
}

Status CMorvixAPI::SetAutoNextTitle(BOOL on) noexcept {
  if (!settings_) return kErrNoSettings;
  settings_->auto_next_title = on != 0 ? 1 : 0;
  return kOk;
}

BOOL CMorvixAPI::IsAutoNextTitle() const noexcept { return settings_ && settings_->auto_next_title > 0; }

// ---- Error texts ----

Status CMorvixAPI::GetErrText(Status code, wchar_t* buffer, std::int32_t length) const noexcept {
  if (buffer == nullptr || length <= 0) return kErrInvalidParameter;
  return Guarded([&]() -> Status {
    const std::wstring message = ComposeErrorMessage(code, error_);
    std::wcsncpy(buffer, message.c_str(), static_cast<std::size_t>(length));
    buffer[length - 1] = L'\0';
    return kOk;
  });
}

}  // namespace morvix
