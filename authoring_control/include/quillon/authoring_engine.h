// The part of the authoring engine that the control drives. The control owns
// one engine; MakeMorvixEngine gives the real one, tests give their own. All
// members run on the control's thread; none throws.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "quillon/export.h"

namespace quillon {

// An engine status: 0 success, above 0 an index, identifier or (Build) 1 for
// "stopped by the progress callback", below 0 an error code.
using EngineStatus = std::int32_t;

// Build stopped because the progress callback answered non-zero.
inline constexpr EngineStatus kEngineStopped = 1;

// The identifier of the main menu.
inline constexpr std::int32_t kMainMenuId = 1;

// The three button colour schemes of a menu, byte for byte as the engine keeps
// them: normal at 0, selected at 8, activated at 16; in each, bytes 0..3 are
// the palette indexes of sub-picture pixel values 0..3 and bytes 4..7 their
// contrasts.
using ButtonSchemes = std::array<std::uint8_t, 24>;

// The engine's progress callback: overall percent, step percent, step text.
// A non-zero answer asks the build to stop.
using EngineProgress = int (*)(double overall_percent, double step_percent, const wchar_t* text);

class QUILLON_API AuthoringEngine {
 public:
  virtual ~AuthoringEngine() = default;

  // Every setting back to its default.
  virtual void Init() = 0;
  // Paths are UTF-8.
  virtual EngineStatus AddMainMenu(const std::string& video_file) = 0;
  // A title with one chapter.
  virtual EngineStatus AddTitle(const std::string& movie_file) = 0;
  virtual EngineStatus DeleteTitle(std::int32_t title) = 0;
  virtual std::int32_t GetTitleCount() = 0;
  // The main menu's identifier, below 1 when there is none.
  virtual std::int32_t GetMainMenuId() = 0;
  // A rectangle button; returns the number of buttons the menu held before.
  virtual EngineStatus AddMenuBtn(std::int32_t menu_id, std::uint16_t left, std::uint16_t top,
                                  std::uint16_t right, std::uint16_t bottom, std::uint32_t type,
                                  std::uint32_t value) = 0;
  virtual EngineStatus DeleteButton(std::int32_t menu_id, std::int32_t button) = 0;
  virtual std::int32_t GetButtonCount(std::int32_t menu_id) = 0;
  virtual EngineStatus GetButtonSchemes(std::int32_t menu_id, ButtonSchemes* schemes) = 0;
  // Sets the menu's schemes and leaves its palette as it is.
  virtual EngineStatus SetButtonSchemes(std::int32_t menu_id, const ButtonSchemes& schemes) = 0;
  // The schemes every new menu starts with.
  virtual ButtonSchemes DefaultButtonSchemes() const = 0;
  // A refused folder leaves no folder set.
  virtual EngineStatus SetOutputDir(const std::string& folder) = 0;
  // on is 1 or 0.
  virtual EngineStatus SetAutoNextTitle(std::int32_t on) = 0;
  // Runs the whole build on the calling thread; progress may be null.
  virtual EngineStatus Build(EngineProgress progress) = 0;
  // The engine's own text for a status it returned: "Error code = <code>"
  // and a line of text, with the failing file or title put in.
  virtual std::string StatusText(EngineStatus status) = 0;
};

// The authoring engine of libmorvix. Null only when it cannot be allocated.
QUILLON_API std::unique_ptr<AuthoringEngine> MakeMorvixEngine();

}  // namespace quillon
