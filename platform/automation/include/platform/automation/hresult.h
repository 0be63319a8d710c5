// Result codes of the automation layer, with the numeric values automation
// clients know (32-bit, negative = failure).
#pragma once

#include <cstdint>

namespace platform {

using HResult = std::int32_t;

constexpr HResult MakeHResult(std::uint32_t bits) { return static_cast<HResult>(bits); }

inline constexpr HResult S_OK = 0;
inline constexpr HResult S_FALSE = 1;
inline constexpr HResult E_NOTIMPL = MakeHResult(0x80004001u);
inline constexpr HResult E_NOINTERFACE = MakeHResult(0x80004002u);
inline constexpr HResult E_POINTER = MakeHResult(0x80004003u);
inline constexpr HResult E_FAIL = MakeHResult(0x80004005u);
inline constexpr HResult E_UNEXPECTED = MakeHResult(0x8000FFFFu);
inline constexpr HResult E_ACCESSDENIED = MakeHResult(0x80070005u);
inline constexpr HResult E_OUTOFMEMORY = MakeHResult(0x8007000Eu);
inline constexpr HResult E_INVALIDARG = MakeHResult(0x80070057u);

inline constexpr HResult DISP_E_UNKNOWNINTERFACE = MakeHResult(0x80020001u);
inline constexpr HResult DISP_E_MEMBERNOTFOUND = MakeHResult(0x80020003u);
inline constexpr HResult DISP_E_PARAMNOTFOUND = MakeHResult(0x80020004u);
inline constexpr HResult DISP_E_TYPEMISMATCH = MakeHResult(0x80020005u);
inline constexpr HResult DISP_E_UNKNOWNNAME = MakeHResult(0x80020006u);
inline constexpr HResult DISP_E_EXCEPTION = MakeHResult(0x80020009u);
inline constexpr HResult DISP_E_OVERFLOW = MakeHResult(0x8002000Au);
inline constexpr HResult DISP_E_BADPARAMCOUNT = MakeHResult(0x8002000Eu);

inline constexpr HResult CONNECT_E_NOCONNECTION = MakeHResult(0x80040200u);
inline constexpr HResult CONNECT_E_ADVISELIMIT = MakeHResult(0x80040201u);
inline constexpr HResult CONNECT_E_CANNOTCONNECT = MakeHResult(0x80040202u);

inline constexpr HResult CLASS_E_NOAGGREGATION = MakeHResult(0x80040110u);
inline constexpr HResult CLASS_E_CLASSNOTAVAILABLE = MakeHResult(0x80040111u);
inline constexpr HResult REGDB_E_CLASSNOTREG = MakeHResult(0x80040154u);
inline constexpr HResult CO_E_CLASSSTRING = MakeHResult(0x800401F3u);
inline constexpr HResult TYPE_E_REGISTRYACCESS = MakeHResult(0x8002801Cu);
inline constexpr HResult TYPE_E_LIBNOTREGISTERED = MakeHResult(0x8002801Du);

inline constexpr HResult SELFREG_E_TYPELIB = MakeHResult(0x80040200u);
inline constexpr HResult SELFREG_E_CLASS = MakeHResult(0x80040201u);

constexpr bool Succeeded(HResult hr) { return hr >= 0; }
constexpr bool Failed(HResult hr) { return hr < 0; }

}  // namespace platform
