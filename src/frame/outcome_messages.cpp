#include "frame/outcome_messages.h"

#include "frame/mp4_messages.h"

namespace ks {

namespace {

const char* createProblemText(FileProblem problem) {
  switch (problem) {
    case FileProblem::NoFolder:
      return "Its folder does not exist (any more). Choose another folder and record again.";
    case FileProblem::IsFolder:
      return "A folder of that name is in the way. Choose another name and record again.";
    case FileProblem::AccessDenied:
      return "There is no right to write there, or the disk is read-only. Choose another folder and record again.";
    case FileProblem::InUse:
      return "Another program is using the file. Close it there, or choose another name, and record again.";
    case FileProblem::DiskFull:
      return "The disk is full. Make room on the disk, or choose another folder, and record again.";
    case FileProblem::None:
    case FileProblem::Other:
      break;
  }
  return "The system would not create it. Choose another folder or name and record again.";
}

// The system's code of a write fault, for a message: " (system error 21)".
std::string systemCodeText(const WriteFault& fault) {
  return fault.code != 0 ? " (system error " + std::to_string(fault.code) + ")" : "";
}

// When the screen cannot be read.
constexpr const char* kScreenLockedReason =
    "while the screen is locked, or while Windows shows a secure desktop such as a User Account Control prompt.";

// Why the movie could not be started in the file it was created as.
std::string startProblemText(const WriteFault& fault) {
  const std::string code = systemCodeText(fault);
  switch (fault.cause) {
    case WriteCause::None:
      return "The computer did not have the memory for it. Close other programs, or choose a smaller region, "
             "and record again.";
    case WriteCause::DiskFull:
      return createProblemText(FileProblem::DiskFull);
    case WriteCause::Gone:
      return "Its drive or network folder could not be reached" + code +
             ". Connect it again, or choose another folder, and record again.";
    case WriteCause::Denied:
      return "Windows refused to write it" + code + ". Choose another folder and record again.";
    case WriteCause::TooLarge:
    case WriteCause::WrongSize:
    case WriteCause::Other:
      break;
  }
  return "Writing it failed" + code + ". Choose another folder and record again.";
}

// Why the movie's file stopped taking the recording, as the system said it.
std::string writeFailedText(const WriteFault& fault) {
  const std::string code = systemCodeText(fault);
  switch (fault.cause) {
    case WriteCause::Gone:
      return "The drive or network folder of the movie could not be reached any more" + code +
             ", so the recording stopped.\n\n"
             "Connect it again: the frames written until then are in the file, which may lack its end.";
    case WriteCause::Denied:
      return "Windows refused to write any more of the movie" + code +
             ", so the recording stopped.\n\n"
             "The frames written until then are in the file. Choose a folder you may write to, and record again.";
    case WriteCause::TooLarge:
      return "The movie reached the largest file this disk can hold" + code +
             ", so the recording stopped.\n\n"
             "The frames recorded until then are saved and play. Record to a disk formatted as NTFS for longer movies.";
    case WriteCause::WrongSize:
      return "The screen gave a picture of another size than the movie's, so the recording stopped.\n\n"
             "The frames recorded until then are saved and play.";
    case WriteCause::Other:
      return "Writing the movie failed" + code + ", so the recording stopped.\n\n"
             "The frames written until then are in the file.";
    case WriteCause::DiskFull:
    case WriteCause::None:
      break;
  }
  return "The disk could not take any more of the movie, so the recording stopped.\n\n"
         "The frames recorded until then are saved and play.";
}

// What the user is told when a run ended early for a reason they can act on;
// empty when there is nothing to tell.
std::string problemText(const SessionOutcome& outcome) {
  if (outcome.calibrating) {
    switch (outcome.end) {
      case RunEnd::WriteFailed:
        return "The calibration could not be completed: the disk could not take the calibration movie.\n\n"
               "Nothing was recorded. Make room on the disk, or choose another folder, and record again.";
      case RunEnd::CaptureFailed:
        return "The calibration could not be completed: the screen could not be read.\n\n"
               "Nothing was recorded.";
      case RunEnd::EncodeFailed:
        return "The calibration could not be completed: a frame could not be compressed.\n\nNothing was recorded.";
      case RunEnd::OutOfMemory:
        return "The calibration could not be completed: the computer ran out of memory.\n\nNothing was recorded.";
      default:
        return {};
    }
  }
  switch (outcome.end) {
    case RunEnd::WriteFailed:
      return writeFailedText(outcome.writeFault);
    case RunEnd::CreateFailed:
      return "The movie could not be created:\n\n" + outcome.path + "\n\n" + createProblemText(outcome.fileProblem);
    case RunEnd::StartFailed:
      return "The movie could not be started:\n\n" + outcome.path + "\n\n" + startProblemText(outcome.writeFault);
    case RunEnd::NotStarted:
      return std::string("The screen could not be read, so nothing was recorded.\n\nThis happens ") +
             kScreenLockedReason + " Record again once the desktop shows.";
    case RunEnd::EncodeFailed:
      return "A frame could not be compressed, so the recording stopped.\n\n"
             "The frames recorded until then are saved and play.";
    case RunEnd::OutOfMemory:
      return "The computer ran out of memory, so the recording stopped.\n\n"
             "The frames recorded until then are saved and play.";
    case RunEnd::CloseFailed:
      return "The end of the movie could not be written to the disk:\n\n" + outcome.path +
             "\n\nThe frames recorded are in the file, but without its index some players may not play it.";
    default:
      return {};
  }
}

std::string quoted(const std::string& name) { return "\xE2\x80\x9C" + name + "\xE2\x80\x9D"; }  // U+201C, U+201D

// Pictures the recording could not capture, and when in the movie.
std::string missedPicturesText(const SessionOutcome& outcome) {
  if (outcome.picturesMissed == 0) return {};
  const bool one = outcome.picturesMissed == 1;
  const std::string span = one ? "at " + formatElapsed(outcome.missedFrom)
                               : "from " + formatElapsed(outcome.missedFrom) + " to " + formatElapsed(outcome.missedTo);
  return (one ? std::string("1 picture") : std::to_string(outcome.picturesMissed) + " pictures") +
         " of the movie could not be captured, " + span + ". The movie shows the picture before " +
         (one ? "it" : "them") + " in " + (one ? "its" : "their") + " place.\n\nThis usually happens " +
         kScreenLockedReason;
}

// Sources that went away while the movie was recorded, and when.
std::string soundLossText(const SessionOutcome& outcome) {
  if (outcome.soundLosses.empty() || outcome.end == RunEnd::NotStarted || outcome.end == RunEnd::CreateFailed ||
      outcome.end == RunEnd::StartFailed)
    return {};
  std::string text;
  for (const SoundLoss& loss : outcome.soundLosses) {
    text += "The sound source " + quoted(loss.source) + " was lost at " + formatElapsed(loss.at) + " of the movie";
    if (!loss.reason.empty()) text += " (" + loss.reason + ")";
    text += ".\n";
  }
  return text + "\nThe movie has silence from then on in its place; the picture went on.";
}

}  // namespace

std::vector<std::string> outcomeMessages(const SessionOutcome& outcome) {
  std::vector<std::string> messages;
  std::string problem = mp4ProblemText(outcome);
  if (problem.empty()) problem = problemText(outcome);
  if (!problem.empty()) messages.push_back(problem);
  std::string lost = soundLossText(outcome);
  if (!lost.empty()) messages.push_back(std::move(lost));
  if (problem.empty()) {
    std::string missed = missedPicturesText(outcome);
    if (!missed.empty()) messages.push_back(std::move(missed));
  }
  return messages;
}

std::string soundUnavailableText(const std::string& source, const std::string& reason) {
  return "The sound source " + quoted(source) + " cannot be opened" + (reason.empty() ? "" : ": " + reason) +
         ".\n\nRecord without it?\n\nYes records without that sound; No and Cancel record nothing.";
}

}  // namespace ks
