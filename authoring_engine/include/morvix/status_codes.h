// Engine status codes. 0 is success, a positive value an index, an identifier
// or (from Build) 1 for "stopped by the progress callback"; a negative value is
// an error whose text GetErrText composes (see error_text.h).
#pragma once

#include <cstdint>
#include <string>

namespace morvix {

using Status = std::int32_t;

enum : Status {
  kOk = 0,
  kStopped = 1,  // Build: the progress callback asked to stop

  // General.
  kErrNullPointer = -1,
  kErrInvalidParameter = -2,
  kErrOutOfMemory = -3,

  // Internal (-1001 .. -1040), all sharing one text.
  kErrInternalNoTitleRecord = -1001,
  kErrInternalUnexpected = -1002,  // a failure that no other code describes
  kErrInternalUnknownChain = -1003,
  kErrInternalNoCommandOutput = -1004,
  kErrInternalUnknownCommand = -1005,
  kErrInternalTooManyPrograms = -1006,
  kErrInternalSubpictureFirst = -1007,
  kErrInternalSubpictureLast = -1016,
  kErrInternalNoButtonRecord = -1017,
  kErrInternalTicksNoOutput = -1018,
  kErrInternalTicksNegative = -1019,
  kErrInternalVideoAttr = -1020,
  kErrInternalAudioAttr = -1021,
  kErrInternalPlaytimeNoOutput = -1022,
  kErrInternalPlaytimeRange = -1023,
  kErrInternalPackNoOutput = -1037,
  kErrInternalPackStuffing = -1038,
  kErrInternalPacketNoOutput = -1039,
  kErrInternalPacketLength = -1040,

  // Settings.
  kErrNoTitle = -2001,
  kErrNoButton = -2002,
  kErrMenuVideoMissing = -2003,
  kErrTitleVideoMissing = -2004,
  kErrInvalidPalette = -2005,
  kErrInvalidChapterStart = -2006,
  kErrInvalidChapterCount = -2008,
  kErrChapterTooShort = -2009,
  kErrTooManyTitles = -2010,
  kErrInvalidTitleNumber = -2011,
  kErrInvalidButtonPosition = -2012,
  kErrInvalidButtonIndex = -2013,
  kErrMaskLoad = -2014,
  kErrMaskNot24Bit = -2015,
  kErrMaskTooLarge = -2016,
  kErrInvalidButtonCommand = -2017,
  kErrInvalidMenuId = -2018,
  kErrChapterPastEnd = -2019,
  kErrMovieNotSet = -2020,
  kErrTooManyChapters = -2021,
  kErrOutputDir = -2022,
  kErrFirstChapterNotZero = -2023,
  kErrInvalidChapterNumber = -2024,
  kErrInvalidColorIndex = -2025,
  kErrInvalidPixelIndex = -2026,
  kErrInvalidButtonState = -2027,
  kErrInvalidContrast = -2028,
  kErrBufferTooSmall = -2029,  // GetButton: the mask path does not fit (no text)
  kErrSubpictureTooLarge = -2030,

  kErrNoSettings = -3001,

  // Files and MPEG input.
  kErrDeleteFile = -4001,
  kErrNoDirectory = -4002,
  kErrNoFile = -4003,
  kErrOpenFile = -4004,
  kErrOpenForWrite = -4005,
  kErrReadFile = -4006,
  kErrWriteFile = -4007,
  kErrSeekFile = -4008,
  kErrInvalidFileName = -4009,
  kErrMpegLength = -4010,  // length not a multiple of 2048
  kErrMpegFormat = -4011,  // not a DVD program stream
  kErrMpegFormat2 = -4012,
  kErrMenuTooLarge = -4013,
  kErrMpegTooLarge = -4014,
  kErrResolution = -4015,
  kErrAspect = -4016,
  kErrFpsMismatch = -4017,
  kErrFpsInvalid = -4018,
};

// Where an error happened: the file and the title number that texts with %s
// and %d name. Each CMorvixAPI owns one; the analyser and the writers are
// handed the context of the engine they work for and fill it before they
// return a negative status.
struct ErrorContext {
  std::wstring file;       // failing file name (empty when none)
  std::int32_t title = 0;  // failing title number (0 = the main menu)

  // Records file and returns code, so callers can write
  // `return ctx.Fail(kErrOpenFile, path);`.
  Status Fail(Status code, const std::wstring& failing_file) {
    file = failing_file;
    return code;
  }
};

}  // namespace morvix
