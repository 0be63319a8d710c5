// Published identities of the authoring control: class, interfaces, type
// library, ProgIDs and the dispatch ids of its dispatch and event interfaces.
#pragma once

#include <cstdint>

#include "platform/automation/dispatch.h"
#include "platform/automation/guid.h"

namespace quillon {

inline constexpr platform::Guid CLSID_Quillon = platform::GuidOf("{71D6D9EB-8020-47FB-B29B-6851378A41D6}");
inline constexpr platform::Guid CLSID_QuillonPropPage =
    platform::GuidOf("{82ED745D-2D84-4467-895C-9046AD7F287F}");
inline constexpr platform::Guid IID_DQuillon = platform::GuidOf("{8520F533-56F5-4401-B0C5-418AF132E6B9}");
inline constexpr platform::Guid IID_DQuillonEvents =
    platform::GuidOf("{C8BC6BD9-7CB8-4971-B7C1-A7A5394E8628}");
inline constexpr platform::Guid LIBID_QuillonLib = platform::GuidOf("{E0F0E502-1D1D-4E8B-BE09-5F0CBC31D630}");
inline constexpr std::uint16_t kTypeLibMajor = 1;
inline constexpr std::uint16_t kTypeLibMinor = 0;

inline constexpr char kControlProgId[] = "QUILLON.QuillonCtrl.1";
inline constexpr char kPropPageProgId[] = "QUILLON.QuillonPropPage.1";
inline constexpr char kControlTypeName[] = "Quillon ActiveX Control";
inline constexpr char kPropPageTypeName[] = "Quillon Property Page";
inline constexpr char kDispatchHelp[] = "Dispatch interface for Quillon Control";
inline constexpr char kEventsHelp[] = "Event interface for Quillon Control";
inline constexpr char kTypeLibHelp[] = "Quillon ActiveX Control";
inline constexpr char kCoclassHelp[] = "Quillon Control";

// Set client site first, invisible at run time, activate when visible,
// inside-out, cannot link inside, recompose on resize.
inline constexpr std::uint32_t kMiscStatus = 0x20591;

inline constexpr char kFileVersion[] = "4.0.0.1";
inline constexpr char kFileDescription[] = "Quillon ActiveX Control";

// _DQuillon.
namespace dispid {
inline constexpr platform::DispId kAboutBox = platform::DISPID_ABOUTBOX;
inline constexpr platform::DispId kAddMainMenu = 2;
inline constexpr platform::DispId kAddTitle = 3;
inline constexpr platform::DispId kOutputDir = 4;
inline constexpr platform::DispId kAddMainMenuButton = 5;
inline constexpr platform::DispId kSetMainMenuButtonColor = 6;
inline constexpr platform::DispId kEnableAutoNextTitle = 7;
inline constexpr platform::DispId kGetTitleCount = 8;
inline constexpr platform::DispId kRemoveTitle = 9;
inline constexpr platform::DispId kClearAll = 10;
inline constexpr platform::DispId kGetMainMenuButtonCount = 11;
inline constexpr platform::DispId kRemoveMainMenuButton = 12;
inline constexpr platform::DispId kBuildDVDImage = 13;

// _DQuillonEvents.
inline constexpr platform::DispId kTotalProcessing = 1;
inline constexpr platform::DispId kOnCompleted = 2;
}  // namespace dispid

}  // namespace quillon
