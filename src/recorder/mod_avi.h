// modAVI, the program's recording module: the recording engine bound to the
// platform's clock, grabber and movie files, and to the forms through their
// host.
#pragma once

#include "platform/platform.h"
#include "recorder/recording_engine.h"

namespace ks {

class ModAvi final : public RecordingEngine {
 public:
  ModAvi(const Platform& platform, RecorderHost& host)
      : RecordingEngine(platform.clock, platform.grabber, platform.movies, host) {}
};

}  // namespace ks
