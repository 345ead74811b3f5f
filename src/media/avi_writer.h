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

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
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

  std::int32_t frameNumber() const { return static_cast<std::int32_t>(s_.streams[0].length); }
  bool isOpen() const { return s_.sink != nullptr; }
  const AviStreamInfo& streamInfo() const { return s_.streams[0].info; }
  bool hasSound() const { return s_.sound.has_value(); }
  // Sample frames (blocks) written so far.
  std::uint64_t soundFrames() const { return hasSound() ? s_.streams[1].length : 0; }
  // RIFF chunks in the file so far (1 until the first 'AVIX').
  int riffCount() const { return static_cast<int>(finishedRiffs()) + 1; }
  std::uint32_t superIndexCapacity() const { return s_.superCapacity; }

 private:
  struct IndexEntry {
    std::uint32_t offset;  // of the chunk header, from the 'movi' tag
    std::uint32_t size;    // as in the standard index: bit 31 set when not a key frame
  };
  struct SuperEntry {
    std::uint64_t offset;    // of the stream's ix## chunk
    std::uint32_t size;      // of that chunk, header included
    std::uint32_t duration;  // frames (sample frames)
  };

  // One stream of the movie: its description, where its headers sit, and
  // its indexes.
  struct Stream {
    AviStreamInfo info;  // fccType tells the kind; dwSampleSize 0: a chunk is one frame
    std::uint32_t chunkId = 0;  // of its data chunks
    std::uint64_t length = 0;   // frames (sample frames) written: strh dwLength
    std::uint64_t strhData = 0, superIndexChunk = 0;  // where its strh data and indx chunk sit
    std::vector<IndexEntry> entries;     // its chunks in the RIFF being written
    std::vector<SuperEntry> superIndex;  // its standard index in each finished RIFF

    // Frames (sample frames) in the RIFF being written.
    std::uint32_t duration() const;
  };
  static constexpr std::size_t kMaxStreams = 2;  // the picture, then the sound

  // Everything a movie being written changes; a closed writer keeps the last
  // movie's picture description and super index size.
  struct State {
    std::unique_ptr<FileSink> sink;
    BitmapInfoHeader format;
    std::optional<WaveFormat> sound;
    std::array<Stream, kMaxStreams> streams;  // the sound's in use when `sound` is
    std::uint32_t superCapacity = 0;

    // Where the movie's own header parts sit in the file.
    std::uint64_t avihData = 0, dmlhData = 0;
    // The RIFF being written.
    std::uint64_t riffStart = 0, moviStart = 0, end = 0;
    std::uint32_t firstRiffFrames = 0;  // once the first RIFF is finished

    std::chrono::steady_clock::time_point lastCheckpoint{};
  };

  std::span<Stream> streams() { return {s_.streams.data(), s_.sound ? 2u : 1u}; }
  std::span<const Stream> streams() const { return {s_.streams.data(), s_.sound ? 2u : 1u}; }
  std::size_t finishedRiffs() const { return s_.streams[0].superIndex.size(); }
  // What a closed (or moved-from) writer keeps of `s`.
  static State closedState(const State& s);

  void writeMainHeader(ByteWriter& w) const;
  static void writeStreamHeader(ByteWriter& w, const Stream& stream);
  void writeStreamFormat(ByteWriter& w, const Stream& stream) const;
  static void writeSuperIndexHeader(ByteWriter& w, const Stream& stream);
  static void writeSuperIndexEntry(ByteWriter& w, const SuperEntry& e);
  void writeOdmlHeader(ByteWriter& w) const;
  void writeStandardIndex(ByteWriter& w, const Stream& stream) const;
  void writeLegacyIndex(ByteWriter& w) const;

  bool writeFileHeader();
  bool finishRiff(std::uint64_t& riffEnd);
  bool startNextRiff();
  void checkpointIfDue();
  bool patchRiffSizes();
  bool patchCounts();
  bool patchHeaders();
  bool patch(std::uint64_t offset, const std::vector<std::uint8_t>& bytes);
  bool patch32(std::uint64_t offset, std::uint32_t value);
  void rollBack();
  bool appendChunk(std::size_t stream, const void* data, std::uint32_t size, bool keyFrame);
  bool riffHasChunks() const;  // of any stream, in the RIFF being written
  bool needsNextRiff(std::uint64_t chunkBytes, std::size_t stream) const;
  std::uint64_t riffBytesWith(std::uint64_t chunkBytes, std::size_t stream) const;
  std::uint32_t framesInFirstRiff() const;
  std::chrono::steady_clock::time_point now() const;
  void reset();

  AviWriterOptions options_;
  State s_;
  std::vector<std::uint8_t> staged_;  // header bytes on their way to the sink; no state
};

}  // namespace ks
