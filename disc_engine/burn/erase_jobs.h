// The jobs that wipe a rewritable disc and the job that closes an open one.
// Each is a body for StartJob: the runner holds the slot, marks the engine
// busy (the media-change listener pauses) and raises the end event.
//
// Erase (CD-RW, DVD-RW): BLANK of the blank type, waited for until the drive
// answers again. Format (DVD+RW): FORMAT UNIT, zeros over the first 2080
// sectors, then the format is closed. Both end with BurnerOnEraseComplete(d,
// 1) only when every step succeeded; a failure names its reason through
// BurningErrorViewDescription first.
//
// Close of the last session: the incomplete track of the last session (if
// any) is closed, then the session, with multisession set so the disc stays
// appendable; BurnerCloseTrack and BurnerCloseSession announce the steps, a
// failure gives its reason through BurningErrorViewDescription and then
// BurnerOnError(1014), and the end is OnBurnerOnEndCloseSession(d).
#pragma once

#include "jobs/job_runner.h"

namespace zephrel {

// What an erase of a disc that cannot be erased tells.
inline constexpr const char* kNotRewritable = "The disc is not rewritable: it cannot be erased.";

// The error number of a close that failed ("Can't close the track").
inline constexpr int kCloseFailed = 1014;

// erase_mode: BLANK's blank type (0 the whole disc, 1 minimal); its other bits
// are not passed on, so the drive never answers before the blank is done.
// On a DVD+RW the job formats instead, and a BD-RE or DVD-RAM is formatted
// whole; any other disc is refused before a command is sent.
void EraseOrFormat(Job& job, int erase_mode);

void CloseLastSession(Job& job);

}  // namespace zephrel
