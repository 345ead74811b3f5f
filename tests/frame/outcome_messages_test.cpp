#include "frame/outcome_messages.h"

#include <gtest/gtest.h>

namespace ks {
namespace {

const std::string kLocked =
    "while the screen is locked, or while Windows shows a secure desktop such as a User Account Control prompt.";
const std::string kSaved = "\n\nThe frames recorded until then are saved and play.";

// One row a kind of end: the warnings shown, in order. The app's recording
// tests check the others through a real run.
TEST(OutcomeMessages, EachEndIsToldAsItIs) {
  struct Row {
    const char* what;
    SessionOutcome outcome;
    std::vector<std::string> said;
  };
  const Row rows[] = {
      {"completed", {}, {}},
      {"stopped", {.end = RunEnd::Stopped}, {}},
      {"cancelled for a sound source", {.end = RunEnd::Cancelled}, {}},
      {"captures failed while recording: the pictures missed tell", {.end = RunEnd::CaptureFailed}, {}},
      {"the screen could not be read at first", {.end = RunEnd::NotStarted},
       {"The screen could not be read, so nothing was recorded.\n\nThis happens " + kLocked +
        " Record again once the desktop shows."}},
      {"not created: the disk is full", {.end = RunEnd::CreateFailed, .path = "D:\\m.avi", .fileProblem = FileProblem::DiskFull},
       {"The movie could not be created:\n\nD:\\m.avi\n\nThe disk is full. Make room on the disk, or choose another "
        "folder, and record again."}},
      {"not started: no memory", {.end = RunEnd::StartFailed, .path = "D:\\m.avi"},
       {"The movie could not be started:\n\nD:\\m.avi\n\nThe computer did not have the memory for it. Close other "
        "programs, or choose a smaller region, and record again."}},
      {"not started: refused", {.end = RunEnd::StartFailed, .path = "D:\\m.avi", .writeFault = {WriteCause::Denied, 5}},
       {"The movie could not be started:\n\nD:\\m.avi\n\nWindows refused to write it (system error 5). Choose "
        "another folder and record again."}},
      {"not started: another fault", {.end = RunEnd::StartFailed, .path = "D:\\m.avi", .writeFault = {WriteCause::Other, 0}},
       {"The movie could not be started:\n\nD:\\m.avi\n\nWriting it failed. Choose another folder and record again."}},
      {"writes refused", {.end = RunEnd::WriteFailed, .writeFault = {WriteCause::Denied, 5}},
       {"Windows refused to write any more of the movie (system error 5), so the recording stopped.\n\nThe frames "
        "written until then are in the file. Choose a folder you may write to, and record again."}},
      {"the file is as large as the disk allows", {.end = RunEnd::WriteFailed, .writeFault = {WriteCause::TooLarge, 223}},
       {"The movie reached the largest file this disk can hold (system error 223), so the recording stopped.\n\nThe "
        "frames recorded until then are saved and play. Record to a disk formatted as NTFS for longer movies."}},
      {"a picture of another size", {.end = RunEnd::WriteFailed, .writeFault = {WriteCause::WrongSize, 0}},
       {"The screen gave a picture of another size than the movie's, so the recording stopped." + kSaved}},
      {"an MP4's own file fault is worded as any movie's",
       {.end = RunEnd::WriteFailed, .format = MovieFormat::Mp4, .writeFault = {WriteCause::Other, 0}},
       {"Writing the movie failed, so the recording stopped.\n\nThe frames written until then are in the file."}},
      {"the end not written", {.end = RunEnd::CloseFailed, .path = "D:\\m.avi"},
       {"The end of the movie could not be written to the disk:\n\nD:\\m.avi\n\nThe frames recorded are in the "
        "file, but without its index some players may not play it."}},
      {"calibration: a frame not compressed", {.end = RunEnd::EncodeFailed, .calibrating = true},
       {"The calibration could not be completed: a frame could not be compressed.\n\nNothing was recorded."}},
      {"calibration: out of memory", {.end = RunEnd::OutOfMemory, .calibrating = true},
       {"The calibration could not be completed: the computer ran out of memory.\n\nNothing was recorded."}},
      {"calibration stopped", {.end = RunEnd::Stopped, .calibrating = true}, {}},
      {"two sources lost, one without a reason",
       {.soundLosses = {{"Mic", 61.5, "unplugged"}, {"System sound", 62, ""}}},
       {"The sound source \xE2\x80\x9CMic\xE2\x80\x9D was lost at 01:01 of the movie (unplugged).\nThe sound source "
        "\xE2\x80\x9CSystem sound\xE2\x80\x9D was lost at 01:02 of the movie.\n\nThe movie has silence from then on "
        "in its place; the picture went on."}},
      {"a source lost before a movie that was never created",
       {.end = RunEnd::CreateFailed, .path = "D:\\m.avi", .soundLosses = {{"Mic", 0, ""}}},
       {"The movie could not be created:\n\nD:\\m.avi\n\nThe system would not create it. Choose another folder or "
        "name and record again."}},
      {"pictures missed, then the disk filled: the problem and the loss, not the pictures",
       {.end = RunEnd::WriteFailed, .soundLosses = {{"Mic", 3, ""}}, .picturesMissed = 4, .missedFrom = 1, .missedTo = 2},
       {"The disk could not take any more of the movie, so the recording stopped." + kSaved,
        "The sound source \xE2\x80\x9CMic\xE2\x80\x9D was lost at 00:03 of the movie.\n\nThe movie has silence from "
        "then on in its place; the picture went on."}},
      {"an MP4 whose disk filled",
       {.end = RunEnd::OutputFailed, .path = "D:\\m.mp4", .frames = 30, .format = MovieFormat::Mp4,
        .outputFailure = {OutputFailure::Kind::DiskFull, "the disk is full", {}}, .picturesMissed = 1},
       {"The recording stopped: the disk is full.\n\n    D:\\m.mp4\n\nThe movie plays up to shortly before the disk "
        "filled. Make room on the disk, or choose another folder, and record again."}},
      {"an MP4 that ffmpeg did not end well",
       {.end = RunEnd::CloseFailed, .path = "D:\\m.mp4", .frames = 30, .format = MovieFormat::Mp4,
        .outputFailure = {OutputFailure::Kind::ProgramFailed, "it ended with exit code 1", {"Conversion failed!"}}},
       {"ffmpeg did not end the movie well:\n\n    D:\\m.mp4\n\nit ended with exit code 1.\n\nffmpeg said:\n    "
        "Conversion failed!\n\nThe movie plays up to its last part that ffmpeg saved."}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    EXPECT_EQ(outcomeMessages(row.outcome), row.said);
  }
}

}  // namespace
}  // namespace ks
