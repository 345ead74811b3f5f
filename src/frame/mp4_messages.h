// What the user is told when an MP4 could not be made as asked: ffmpeg not
// found, not working, too old or without H.264; ffmpeg failing at the start,
// in the middle or at the end; a full disk. Each names the movie and says
// what to do. A pure function of the outcome.
#pragma once

#include <string>

#include "recorder/recording_session.h"

namespace ks {

// The menu item that chooses ffmpeg.exe, as the messages name it.
inline constexpr const char* kChooseFfmpegItem = "Choose ffmpeg.exe\xE2\x80\xA6";  // U+2026

// The message for an MP4 outcome that went wrong; empty for any other.
std::string mp4ProblemText(const SessionOutcome& outcome);

// What the user is told about a probed ffmpeg, for the menu item: the
// problem as mp4ProblemText words it, or that MP4 movies will use it.
std::string ffmpegProbeText(const FfmpegProbe& probe);

}  // namespace ks
