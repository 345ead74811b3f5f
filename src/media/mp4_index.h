// What the trim window needs of an MP4 movie without decoding it: the
// picture's size and codec, when each frame is shown, which frames are key
// frames, and the sound track's format. It reads the movies our recordings
// make through ffmpeg: the sample tables of an ordinary MP4 (its 'moov' in
// front or at the end), or the fragments of a fragmented one, which a
// recording that was cut off leaves, keeping the frames of a last fragment
// cut short whose bytes made it into the file.
//
// Edit lists are not applied: the first frame shown starts at 0, which is
// what the edit lists ffmpeg writes amount to.
//
// Every size, count and offset the file gives is checked against the bytes
// of the box that holds it and the length of the file before it is used.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "media/byte_source.h"
#include "media/frame_times.h"
#include "media/read_result.h"

namespace ks {

struct Mp4Index {
  std::int32_t width = 0, height = 0;  // from the visual sample entry (tkhd as fallback)
  std::string pictureCodec;             // the sample entry's four letters: "avc1"
  FrameTimes times;                     // presentation order, starting at 0
  std::vector<bool> keyFrames;          // per frame, presentation order
  bool hasSound = false;
  std::uint32_t soundRate = 0;
  std::uint16_t soundChannels = 0;
  std::string soundCodec;  // "mp4a"
};

ReadResult<Mp4Index> readMp4Index(ByteSource& bytes);

}  // namespace ks
