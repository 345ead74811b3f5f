// On-disk structures of an AVI video stream (uncompressed 24-bit frames, or
// frames a codec compressed) and of a PCM sound stream, and the little-endian
// serialisation the writer uses for them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/pixels.h"  // dibStride: the frame's row length

namespace ks {

// A four-character code as stored in a RIFF file (first character in the
// lowest byte).
constexpr std::uint32_t fourCC(char a, char b, char c, char d) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(a)) |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b)) << 8 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(c)) << 16 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(d)) << 24;
}

inline constexpr std::uint32_t kStreamTypeVideo = fourCC('v', 'i', 'd', 's');
inline constexpr std::uint32_t kFrameChunkId = fourCC('0', '0', 'd', 'b');
inline constexpr std::uint32_t kCompressedFrameChunkId = fourCC('0', '0', 'd', 'c');
inline constexpr std::uint32_t kStreamTypeAudio = fourCC('a', 'u', 'd', 's');
inline constexpr std::uint32_t kSoundChunkId = fourCC('0', '1', 'w', 'b');
inline constexpr std::uint32_t kIndexKeyFrame = 0x10;  // AVIIF_KEYFRAME
inline constexpr std::uint32_t kAviHasIndex = 0x10;    // AVIF_HASINDEX

// BITMAPINFOHEADER: the 40-byte frame format.
struct BitmapInfoHeader {
  std::uint32_t biSize = 40;
  std::int32_t biWidth = 0;
  std::int32_t biHeight = 0;
  std::uint16_t biPlanes = 1;
  std::uint16_t biBitCount = 24;
  std::uint32_t biCompression = 0;
  std::uint32_t biSizeImage = 0;
  std::int32_t biXPelsPerMeter = 0;
  std::int32_t biYPelsPerMeter = 0;
  std::uint32_t biClrUsed = 0;
  std::uint32_t biClrImportant = 0;

  friend bool operator==(const BitmapInfoHeader&, const BitmapInfoHeader&) = default;
};

inline constexpr std::size_t kBitmapInfoHeaderSize = 40;

// The format of a w x h bottom-up 24-bit uncompressed frame.
constexpr BitmapInfoHeader makeFrameFormat(std::int32_t width, std::int32_t height) {
  BitmapInfoHeader h;
  h.biWidth = width;
  h.biHeight = height;
  h.biSizeImage = dibStride(width) * static_cast<std::uint32_t>(height);
  return h;
}

// A format with a compression fourcc has chunks of any size, not all of them
// key frames.
constexpr bool isCompressed(const BitmapInfoHeader& format) { return format.biCompression != 0; }

// The id of the stream's frame chunks: '00dc' compressed, '00db' not.
constexpr std::uint32_t frameChunkId(const BitmapInfoHeader& format) {
  return isCompressed(format) ? kCompressedFrameChunkId : kFrameChunkId;
}

// WAVEFORMATEX for PCM (18 bytes on disk with cbSize 0).
struct WaveFormat {
  std::uint16_t wFormatTag = 1;  // WAVE_FORMAT_PCM
  std::uint16_t nChannels = 2;
  std::uint32_t nSamplesPerSec = 48000;
  std::uint32_t nAvgBytesPerSec = 192000;
  std::uint16_t nBlockAlign = 4;
  std::uint16_t wBitsPerSample = 16;

  friend bool operator==(const WaveFormat&, const WaveFormat&) = default;
};

inline constexpr std::size_t kWaveFormatSize = 18;

// PCM whose block is one sample of every channel and whose byte rate is a
// block per sample: what a sound stream of this format can hold.
constexpr bool isValidPcm(const WaveFormat& f) {
  return f.wFormatTag == 1 && f.nChannels > 0 && f.nSamplesPerSec > 0 && f.wBitsPerSample % 8 == 0 &&
         f.wBitsPerSample > 0 && f.wBitsPerSample <= 32 &&
         f.nBlockAlign == std::uint32_t{f.nChannels} * f.wBitsPerSample / 8 &&
         std::uint64_t{f.nAvgBytesPerSec} == std::uint64_t{f.nSamplesPerSec} * f.nBlockAlign;
}

struct AviRect {
  std::int32_t left = 0, top = 0, right = 0, bottom = 0;
  friend bool operator==(const AviRect&, const AviRect&) = default;
};

// The stream description (the fields of AVISTREAMINFO).
struct AviStreamInfo {
  std::uint32_t fccType = 0;
  std::uint32_t fccHandler = 0;
  std::uint32_t dwFlags = 0;
  std::uint32_t dwCaps = 0;
  std::uint16_t wPriority = 0;
  std::uint16_t wLanguage = 0;
  std::uint32_t dwScale = 0;
  std::uint32_t dwRate = 0;
  std::uint32_t dwStart = 0;
  std::uint32_t dwLength = 0;
  std::uint32_t dwInitialFrames = 0;
  std::uint32_t dwSuggestedBufferSize = 0;
  std::uint32_t dwQuality = 0;
  std::uint32_t dwSampleSize = 0;
  AviRect rcFrame;
  std::uint32_t dwEditCount = 0;
  std::uint32_t dwFormatChangeCount = 0;
  std::array<char, 64> szName{};

  friend bool operator==(const AviStreamInfo&, const AviStreamInfo&) = default;
};

// The description of a video stream of `format` frames at `rate` per second.
// A compressed stream names its codec as the handler; its buffer size is the
// largest chunk, unknown before the first.
AviStreamInfo makeStreamInfo(const BitmapInfoHeader& format, std::uint32_t rate);
// The description of a PCM sound stream: a sample frame (one block) per tick
// of nSamplesPerSec; its buffer size is the largest chunk, unknown before the
// first.
AviStreamInfo makeStreamInfo(const WaveFormat& format);

// Appends little-endian values to a byte buffer; header bytes are staged
// here, never pixel data.
class ByteWriter {
 public:
  explicit ByteWriter(std::vector<std::uint8_t>& out) : out_(out) {}
  void u8(std::uint8_t v) { out_.push_back(v); }
  void u16(std::uint16_t v) {
    u8(static_cast<std::uint8_t>(v));
    u8(static_cast<std::uint8_t>(v >> 8));
  }
  void u32(std::uint32_t v) {
    u16(static_cast<std::uint16_t>(v));
    u16(static_cast<std::uint16_t>(v >> 16));
  }
  void u64(std::uint64_t v) {
    u32(static_cast<std::uint32_t>(v));
    u32(static_cast<std::uint32_t>(v >> 32));
  }
  void i16(std::int16_t v) { u16(static_cast<std::uint16_t>(v)); }
  void i32(std::int32_t v) { u32(static_cast<std::uint32_t>(v)); }
  void zeros(std::size_t n) { out_.insert(out_.end(), n, 0); }

 private:
  std::vector<std::uint8_t>& out_;
};

void serialize(ByteWriter& w, const BitmapInfoHeader& h);
void serialize(ByteWriter& w, const WaveFormat& f);  // cbSize 0

}  // namespace ks
