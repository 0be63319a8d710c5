// The handlers of the disc engine's events for the image and burn jobs: the
// layout steps, the writing and FIFO progress, closing, errors, and the end
// of the job with its clean-up.
#include <system_error>

#include "platform/text.h"
#include "vantora/format.h"
#include "vantora/wizard_controller.h"

namespace vantora {

namespace fs = std::filesystem;

namespace {

constexpr char kLayoutKey[] = "FILESYSTEM";
constexpr std::int32_t kCannotAddFile = 5003;
constexpr std::int32_t kCannotCreateImage = 1001;

// The log text of a BurnerOnError number; "" for a number the wizard does not
// show.
std::string ErrorNumberText(std::int32_t number) {
  switch (number) {
    case 53:
      return "Can't read a file !";
    case 1001:
      return "Can't write the destination file";
    case 1010:
      return "Error : Invalid Media for Audio (Must be CD-R or CD-RW)";
    case 1011:
      return "Error : Can't read from audio file";
    case 1012:
      return "Error : Burning failure !";
    case 1013:
      return "Error : Can't set write parameter mode page !";
    case 1014:
      return "Error : Can't close the track";
    case 1015:
      return "Error : Not Enough space on the disc...";
    case 2001:
      return "Error : Can't write the destination file";
    case 1055:
      return "Error : Not a valid ISO image file !";
    default:
      return "";
  }
}

}  // namespace

void WizardController::ShowEndMessage(const std::string& text, MessageIcon icon,
                                      const std::vector<std::string>& notes) {
  std::string box = text;
  for (const std::string& note : notes)
    if (!note.empty()) box += "\n" + note;
  if (!log_.file().empty()) box += "\n\nThe job log is in " + platform::PathToUtf8(log_.file()) + ".";
  parts_.dialogs->ShowMessage(box, kMessageTitle, icon);
}

std::string WizardController::ErrorRowKey(const std::string& message) const {
  return log_clock_date_time() + " " + std::to_string(log_.rows().size() + 1) + message;
}

void WizardController::NoteJobError(const std::string& reason) {
  if (starting_disc_job_ && refused_reason_.empty()) refused_reason_ = reason;
  if (!disc_job_.active) return;
  disc_job_.error = true;
  if (disc_job_.reason.empty()) disc_job_.reason = reason;
}

void WizardController::OnBuildingProcess(std::int32_t Status, std::int32_t, const std::string&, std::int32_t,
                                         std::int32_t, std::int32_t TotalImageSize,
                                         std::int32_t TotalImageProgress) {
  if (Status == 1) {
    log_.AddRow("FileSystem analysing (Step 1 / 10). Please wait...", kLayoutKey, LogIcon::kStep);
    layout_row_open_ = true;
  } else if (Status >= 2 && Status <= 9) {
    log_.UpdateProgressLine("FileSystem analysing (Step " + std::to_string(Status) + " / 10). Please wait...",
                            kLayoutKey);
  } else if (Status == 10) {
    layout_row_open_ = true;
    EndLayoutRow();
  } else if (Status == 11) {
    // A DVD-Video layout has no step 10: its first sectors end the layout.
    EndLayoutRow();
    if (TotalImageSize == 0) return;
    sectors_total_ = TotalImageSize;
    const double p = static_cast<double>(TotalImageProgress) / TotalImageSize * 100.0;
    screen_.progress3 = RoundHalfEven(p);
    screen_.label22 =
        "Sectors : " + std::to_string(TotalImageProgress) + " / " + std::to_string(TotalImageSize);
  } else {
    return;
  }
  view_.Refresh();
}

void WizardController::EndLayoutRow(bool writing) {
  if (!layout_row_open_) return;
  layout_row_open_ = false;
  log_.UpdateProgressLine("FileSystem analysing (Step 10 / 10)", kLayoutKey);
  if (!writing) return;
  log_.AddProgressLine("Writing started !");
  ShowWritingBars();
}

void WizardController::BurnerBufferStatus(std::int32_t MaxBuffer, std::int32_t SizeBuffer) {
  EndLayoutRow();  // the writing has begun
  if (MaxBuffer <= 0) return;
  screen_.progress4 = RoundHalfEven(static_cast<double>(SizeBuffer) / MaxBuffer * 100.0);
  view_.Refresh();
}

void WizardController::BurnerCloseTrack(std::int32_t) {
  log_.AddRow("", log_clock_date_time(), LogIcon::kStep);
}

void WizardController::BurnerCloseSession(std::int32_t) {
  const std::string row = parts_.clock->Time() + " - Close Session...";
  log_.AddRow("Close Session...", log_clock_date_time() + row, LogIcon::kStep);
}

void WizardController::BurnerOnError(std::int32_t ErrorNumber) {
  std::string text = ErrorNumberText(ErrorNumber);
  if (ErrorNumber == kCannotCreateImage && !disc_job_.iso_partial.empty()) {
    // Which file, and why, beside the engine's words.
    const std::string why = ImageWriteReason(disc_job_.iso_partial);
    text += " " + platform::PathToUtf8(disc_job_.iso_final) + (why.empty() ? "" : ": " + why);
  }
  if (!text.empty()) log_.AddRow(text, ErrorRowKey(text), LogIcon::kError);
  // Any error during a job makes its end a failure.
  NoteJobError(text.empty() ? "Error number " + std::to_string(ErrorNumber) : text);
}

void WizardController::BurningErrorViewDescription(const std::string& ErrorDesc) {
  std::string text = ErrorDesc;
  if (text == "Cannot Format Medium - Incompatible Medium" || text == "Medium Not Formatted")
    text += " : You must erase your disc";
  if (text.empty()) return;
  log_.AddRow(text, ErrorRowKey(text), LogIcon::kError);
  NoteJobError(text);
}

void WizardController::OnBuildingError(std::int32_t ErrorNumber, const std::string& ErrorDescription) {
  if (ErrorNumber != kCannotAddFile) return;
  if (laying_out_ && layout_refused_.empty())
    layout_refused_ = ErrorDescription.empty() ? "?" : ErrorDescription;
  parts_.dialogs->ShowMessage("Can't add the file : \n" + ErrorDescription, kMessageTitle,
                              MessageIcon::kCritical);
}

void WizardController::OnEndBuild(std::int32_t, std::int32_t) {}

void WizardController::BurnerOnEndBurn(std::int32_t ModeBurn, std::int32_t Cancel, std::int32_t ErrorBurner) {
  // Only the end of the job the wizard started counts, and only once.
  if (!disc_job_.active) return;
  DiscJob job = disc_job_;
  disc_job_ = DiscJob{};
  Burning = false;
  const bool burn = ModeBurn == 1;
  // The engine also ends a job as cancelled when it stops it itself (a
  // disc too small): unless the user asked, that end is a failure, and the
  // files stay for another try.
  const bool canceled = Cancel == 1 && (job.cancel_asked || !job.error);
  // A job the user cancelled fails only when the engine says so: what it
  // told on the way (the drive still finishing the disc) is no failure.
  bool failed = ErrorBurner == 1 || (job.error && !(canceled && job.cancel_asked));
  std::string reason = job.reason;
  if (!canceled && !failed && !job.iso_partial.empty()) {
    // The image is complete: it takes its name, replacing an earlier one.
    std::error_code ec;
    fs::rename(job.iso_partial, job.iso_final, ec);
    if (ec) {
      failed = true;
      reason = "The image was written as " + job.iso_partial.native() + " but cannot be named " +
               job.iso_final.native() + ": " + ec.message();
    }
  }

  std::string text = burn ? "Burning complete!" : "Image writing complete!";
  if (canceled) text = burn ? "Burning cancelled..." : "Image writing cancelled...";
  if (failed) text = burn ? "Burning failure !" : "Image writing failure !";
  log_.AddRow(text, log_clock_date_time() + text, canceled || failed ? LogIcon::kError : LogIcon::kStep);

  if (!canceled && !failed && sectors_total_ > 0) {
    // The last progress event may come a few sectors before the end.
    screen_.progress3 = 100;
    screen_.label22 = "Sectors : " + std::to_string(sectors_total_) + " / " + std::to_string(sectors_total_);
  }
  const bool keep_files = failed && !canceled;
  // A layout that ended without a sector written still ends its row.
  if (!canceled && !failed) EndLayoutRow(false);
  layout_row_open_ = false;
  if (!UseExistingVideoTs && !keep_files) {
    DeleteAuthoredFolders();
    parts_.authoring->ClearAll();
  }
  view_.Refresh();
  if (canceled) {
    ShowEndMessage("DVD Video creation Aborted", MessageIcon::kCritical, {});
  } else if (failed) {
    ShowEndMessage(burn ? "DVD Video creation Eror, please insert a valid disc in your device."
                        : "DVD Video creation Eror, the image file could not be written.",
                   MessageIcon::kCritical, {reason});
  } else if (burn) {
    ShowEndMessage("Burning complete!", MessageIcon::kInformation, {});
  } else {
    ShowEndMessage("Image Writing complete!", MessageIcon::kInformation,
                   {"The image is " + platform::PathToUtf8(job.iso_final)});
  }
  if (keep_files) {
    // The authored folder and the converted files stay for another try.
    parts_.authoring->ClearAll();
    ShowStep(3);
  } else {
    ResetAfterBurn();
  }
  Busy = false;
  view_.Refresh();
}

}  // namespace vantora
