// modAVI, the program's recording module: the recording session bound to
// the platform's clock, grabber and movie files, and to the program's events
// through its host.
#pragma once

#include "platform/platform.h"
#include "recorder/recording_session.h"

namespace ks {

class ModAvi final : public RecordingSession {
 public:
  ModAvi(const Platform& platform, RecorderHost& host)
      : RecordingSession(platform.clock, platform.grabber, platform.movies, host, platform.audio,
                         platform.mouse, platform.programs, platform.keys, platform.text) {}
};

}  // namespace ks
