// A small structural AVI reader for the tests: walks the RIFF tree, decodes
// the headers and indexes, and lists what does not add up.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "media/avi_format.h"

namespace ks::test {

struct AviChunk {
  std::uint32_t id = 0;    // 'RIFF', 'LIST' or the chunk's own id
  std::uint32_t type = 0;  // form or list type; 0 for plain chunks
  std::uint64_t offset = 0;
  std::uint32_t size = 0;  // the size field
  std::vector<AviChunk> children;

  std::uint64_t data() const { return offset + 8; }
  const AviChunk* child(std::uint32_t id, std::uint32_t type = 0) const;
};

struct MainHeader {
  std::uint32_t microSecPerFrame, maxBytesPerSec, paddingGranularity, flags, totalFrames,
      initialFrames, streams, suggestedBufferSize;
  std::int32_t width, height;
  std::uint32_t reserved[4];
};

struct StreamHeader {
  std::uint32_t fccType, fccHandler, flags;
  std::uint16_t priority, language;
  std::uint32_t initialFrames, scale, rate, start, length, suggestedBufferSize, quality,
      sampleSize;
  std::int16_t left, top, right, bottom;
};

struct SuperIndexEntry {
  std::uint64_t offset;
  std::uint32_t size, duration;
};

struct StandardIndex {
  std::uint64_t chunkOffset = 0;  // of the ix00 chunk
  std::uint16_t longsPerEntry = 0;
  std::uint8_t subType = 0, type = 0;
  std::uint32_t chunkId = 0;
  std::uint64_t baseOffset = 0;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> entries;  // offset, size
};

struct LegacyEntry {
  std::uint32_t id, flags, offset, size;
};

struct Frame {
  std::uint64_t offset;  // of the chunk header
  std::uint32_t size;
  int riff;
};

// The sound stream, when the file has a second one.
struct SoundStream {
  StreamHeader strh{};
  WaveFormat strf{};
  std::uint32_t strfSize = 0;
  bool hasSuperIndex = false;
  std::uint32_t superChunkId = 0, superCapacity = 0;
  std::uint8_t superType = 0xFF;
  std::vector<SuperIndexEntry> superIndex;
  std::vector<StandardIndex> standardIndexes;  // the ix01 chunks
  std::vector<int> chunksPerRiff;
  std::vector<Frame> chunks;  // '01wb'
};

struct AviFile {
  std::vector<AviChunk> riffs;
  std::vector<std::string> problems;

  MainHeader avih{};
  StreamHeader strh{};
  BitmapInfoHeader strf{};
  std::uint32_t strfSize = 0;
  bool hasSuperIndex = false;
  std::uint16_t superLongsPerEntry = 0;
  std::uint8_t superSubType = 0, superType = 0;
  std::uint32_t superChunkId = 0;
  std::uint32_t superCapacity = 0;  // entries the chunk has room for
  std::vector<SuperIndexEntry> superIndex;
  bool hasDmlh = false;
  std::uint32_t dmlhTotalFrames = 0;
  bool hasLegacyIndex = false;
  std::vector<LegacyEntry> legacyIndex;
  std::uint64_t firstMoviTag = 0;  // offset of the first 'movi' list type
  std::vector<StandardIndex> standardIndexes;  // one per RIFF that has one
  std::vector<int> framesPerRiff;
  std::vector<Frame> frames;
  std::uint32_t frameChunkId = kFrameChunkId;  // '00db' or '00dc', as the frames (or indx) have it
  bool hasSound = false;
  SoundStream sound;
};

// Parses a whole file. Structural faults (sizes that overrun, gaps, missing
// headers) go to `problems`.
AviFile parseAvi(std::span<const std::uint8_t> bytes);

// Cross-checks the indexes against the frame chunks. With `complete` every
// RIFF must carry its indexes (a file closed normally). `keyFrames` says
// which frames both indexes must mark as key frames; empty: every frame.
// Sound chunks are checked the same way, every one a key frame.
std::vector<std::string> checkIndexes(const AviFile& f, bool complete,
                                      const std::vector<bool>& keyFrames = {});

std::string fourCCText(std::uint32_t v);

// The problems in one line, for a failing check's message.
std::string joined(const std::vector<std::string>& problems);

}  // namespace ks::test
