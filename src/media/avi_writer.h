// AVI writer for one video stream: uncompressed frames, every one a key
// frame, or the chunks of a codec named by the format's compression fourcc,
// of any size, key frames marked as such in both indexes. Optionally a second
// stream of PCM sound in '01wb' chunks, interleaved as the caller writes them.
//
// Layout: RIFF 'AVI ' { hdrl { avih, strl { strh, strf, indx }, [strl { strh
// 'auds', strf, indx }], odml { dmlh } }, movi { 00db|01wb..., ix00, [ix01] },
// idx1 }, then RIFF 'AVIX' { movi { 00db|01wb..., ix00, [ix01] } }
// (compressed frames are '00dc' chunks)
// for as long as the movie goes on. The first RIFF keeps the legacy idx1 (both
// streams) for old players; every RIFF has an OpenDML standard index per
// stream, listed in that stream's super index, which sits in space reserved
// (as JUNK) when the file is created.
//
// A file cut off at any moment stays readable: every frame goes to the sink as
// one write straight from the caller's buffer, and about once a second the
// header sizes and frame and sample counts are patched to what was written so
// far.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "media/avi_format.h"
#include "platform/file_sink.h"

namespace ks {

struct AviWriterOptions {
  using Clock = std::function<std::chrono::steady_clock::time_point()>;

  // Largest size of one RIFF chunk, header included. Readers of the OpenDML
  // era expect about 1 GiB.
  std::uint64_t riffLimit = std::uint64_t{1} << 30;
  // Bounds the index kept in memory for the RIFF being written.
  std::uint32_t maxFramesPerRiff = 1u << 20;
  // Entries reserved for the super index; 0 sizes it from the frame size.
  std::uint32_t superIndexCapacity = 0;
  // How often the headers are brought up to date while frames are written.
  std::chrono::milliseconds checkpointInterval{1000};
  Clock clock;  // steady_clock when empty
  // Also make each checkpoint durable (survives power loss, costs a flush
  // of the disk cache every interval).
  bool syncAtCheckpoint = false;
  bool syncOnClose = false;
};

class AviWriter {
 public:
  AviWriter();
  explicit AviWriter(AviWriterOptions options);
  AviWriter(AviWriter&&) noexcept;
  AviWriter& operator=(AviWriter&&) noexcept;
  AviWriter(const AviWriter&) = delete;
  AviWriter& operator=(const AviWriter&) = delete;
  ~AviWriter();

  // Starts a movie of `format` frames at `rate` per second, with a PCM sound
  // stream of `sound` when given (refused unless isValidPcm). An open movie is
  // closed first.
  [[nodiscard]] bool open(std::unique_ptr<FileSink> sink, const BitmapInfoHeader& format, std::uint32_t rate,
                          std::optional<WaveFormat> sound = std::nullopt);

  // Appends one key frame at position frameNumber(). On false nothing has
  // changed: the same call may be repeated, and close() still gives a valid
  // file with the frames written before.
  [[nodiscard]] bool writeFrame(const void* bits, std::uint32_t size) { return writeFrame(bits, size, true); }
  // The same for a frame that may depend on the ones before it.
  [[nodiscard]] bool writeFrame(const void* bits, std::uint32_t size, bool keyFrame);

  // Appends one '01wb' chunk of whole sample frames (size a multiple of
  // nBlockAlign, > 0). The same contract as writeFrame: on false nothing has
  // changed, the call may be repeated, close() still gives a valid file.
  [[nodiscard]] bool writeSound(const void* bytes, std::uint32_t size);

  // Brings the header sizes and counts up to date with the frames written.
  [[nodiscard]] bool checkpoint();

  // Writes the indexes and closes the file. True when all of that succeeded;
  // the file is valid with every written frame even when it did not.
  [[nodiscard]] bool close();

  std::int32_t frameNumber() const { return frames_; }
  bool isOpen() const { return sink_ != nullptr; }
  const AviStreamInfo& streamInfo() const { return info_; }
  bool hasSound() const { return sound_.has_value(); }
  std::uint64_t soundFrames() const { return soundFrames_; }  // sample frames (blocks) written so far
  // RIFF chunks in the file so far (1 until the first 'AVIX').
  int riffCount() const { return static_cast<int>(superIndex_.size()) + 1; }
  std::uint32_t superIndexCapacity() const { return superCapacity_; }

 private:
  struct FrameEntry {
    std::uint32_t offset;  // of the chunk header, from the 'movi' tag
    std::uint32_t size;    // as in the standard index: bit 31 set when not a key frame
  };
  struct SuperEntry {
    std::uint64_t offset;    // of the ix00 (ix01) chunk
    std::uint32_t size;      // of that chunk, header included
    std::uint32_t duration;  // frames (sample frames)
  };

  void writeMainHeader(ByteWriter& w) const;
  static void writeStreamHeader(ByteWriter& w, const AviStreamInfo& info, std::uint32_t length);
  static void writeSuperIndexHeader(ByteWriter& w, std::size_t entries, std::uint32_t chunkId);
  static void writeSuperIndexEntry(ByteWriter& w, const SuperEntry& e);
  void writeOdmlHeader(ByteWriter& w) const;
  void writeStandardIndex(ByteWriter& w, const std::vector<FrameEntry>& entries, std::uint32_t chunkId) const;
  void writeLegacyIndex(ByteWriter& w) const;

  bool writeFileHeader();
  bool finishRiff(std::uint64_t& riffEnd);
  bool startNextRiff();
  bool patchRiffSizes();
  bool patchCounts();
  bool patchHeaders();
  bool patch(std::uint64_t offset, const std::vector<std::uint8_t>& bytes);
  bool patch32(std::uint64_t offset, std::uint32_t value);
  void rollBack();
  bool appendChunk(bool sound, const void* data, std::uint32_t size, bool keyFrame);
  bool needsNextRiff(std::uint64_t chunkBytes, bool sound) const;
  std::uint64_t riffBytesWith(std::uint64_t chunkBytes, bool sound) const;
  std::uint64_t indexBytes(std::size_t frames, std::size_t soundChunks) const;
  std::uint32_t soundDuration() const;
  std::uint32_t framesInFirstRiff() const;
  std::chrono::steady_clock::time_point now() const;
  void reset();

  AviWriterOptions options_;
  std::unique_ptr<FileSink> sink_;
  BitmapInfoHeader format_;
  AviStreamInfo info_;
  std::uint32_t chunkId_ = kFrameChunkId;
  std::int32_t frames_ = 0;
  std::uint32_t superCapacity_ = 0;

  // Where the fixed header parts sit in the file.
  std::uint64_t avihData_ = 0, strhData_ = 0, indexChunk_ = 0, dmlhData_ = 0;

  // The RIFF being written.
  std::uint64_t riffStart_ = 0, moviStart_ = 0, end_ = 0;
  std::vector<FrameEntry> entries_;

  std::vector<SuperEntry> superIndex_;  // one per finished RIFF
  std::uint32_t firstRiffFrames_ = 0;   // once the first RIFF is finished

  // The sound stream, when there is one; its super index has an entry for
  // every one of superIndex_'s.
  std::optional<WaveFormat> sound_;
  AviStreamInfo soundInfo_;
  std::uint64_t soundFrames_ = 0;
  std::uint64_t soundStrhData_ = 0, soundIndexChunk_ = 0;
  std::vector<FrameEntry> soundEntries_;  // of the RIFF being written
  std::vector<SuperEntry> soundSuperIndex_;

  std::chrono::steady_clock::time_point lastCheckpoint_{};
  std::vector<std::uint8_t> staged_;
};

}  // namespace ks
