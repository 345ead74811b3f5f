// What the user is told about a recording: why it ended early and what to
// do, the sound sources it lost, the pictures it could not capture, and the
// question asked when a chosen sound source cannot be opened. Pure functions
// of what the session reports; the bar shows them.
#pragma once

#include <string>
#include <vector>

#include "recorder/recording_session.h"

namespace ks {

// The warnings for a run that has ended, in the order they are shown: why it
// ended early (an MP4's problem as mp4ProblemText words it, else the run's
// own), the sound sources lost meanwhile, and the pictures that could not be
// captured (only when it did not end early). Empty when there is nothing to
// tell.
std::vector<std::string> outcomeMessages(const SessionOutcome& outcome);

// The question asked before recording when the sound source `source` cannot
// be opened, `reason` saying why (may be empty): Yes records without it.
std::string soundUnavailableText(const std::string& source, const std::string& reason);

}  // namespace ks
