#include "media/avi_writer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <utility>

namespace ks {
namespace {

constexpr std::uint32_t kRiff = fourCC('R', 'I', 'F', 'F');
constexpr std::uint32_t kList = fourCC('L', 'I', 'S', 'T');
constexpr std::uint32_t kJunk = fourCC('J', 'U', 'N', 'K');
constexpr std::uint32_t kSuperIndexId = fourCC('i', 'n', 'd', 'x');
constexpr std::uint32_t kStandardIndexId = fourCC('i', 'x', '0', '0');
constexpr std::uint32_t kSoundStandardIndexId = fourCC('i', 'x', '0', '1');

constexpr std::size_t kMainHeaderSize = 56;
constexpr std::size_t kStreamHeaderSize = 56;
constexpr std::size_t kDmlhSize = 248;
constexpr std::size_t kIndexHeaderSize = 24;  // both OpenDML index kinds
constexpr std::size_t kSuperEntrySize = 16;
constexpr std::size_t kStandardEntrySize = 8;
constexpr std::size_t kLegacyEntrySize = 16;
constexpr std::uint8_t kIndexOfIndexes = 0;
constexpr std::uint8_t kIndexOfChunks = 1;
// Standard index sizes keep bit 31 for "not a key frame".
constexpr std::uint32_t kNotKeyFrame = 0x80000000u;
constexpr std::uint32_t kMaxFrameBytes = 0x7FFFFFF0u;
constexpr std::uint64_t kMaxRiffBytes = 0xFFFFFFFFull;  // 32-bit size field
constexpr std::uint32_t kMaxSuperCapacity = 16384;
constexpr std::uint64_t kMaxSoundFrames = 0xFFFFFFFFull;  // strh dwLength is 32 bits

// Field offsets inside the structures that checkpoints rewrite.
constexpr std::uint64_t kChunkSizeField = 4;

std::uint64_t padded(std::uint64_t n) { return n + (n & 1); }

// Stages chunks in memory: start tag, remember the offset, write, end patches
// the size and pads to even.
class ChunkStager {
 public:
  explicit ChunkStager(std::vector<std::uint8_t>& bytes) : bytes_(bytes), w_(bytes) {}
  ByteWriter& out() { return w_; }
  std::size_t size() const { return bytes_.size(); }

  std::size_t begin(std::uint32_t id) {
    const std::size_t at = bytes_.size();
    w_.u32(id);
    w_.u32(0);
    return at;
  }
  std::size_t beginList(std::uint32_t listId, std::uint32_t type) {
    const std::size_t at = begin(listId);
    w_.u32(type);
    return at;
  }
  void end(std::size_t at) {
    const auto n = static_cast<std::uint32_t>(bytes_.size() - at - 8);
    for (int i = 0; i < 4; ++i) bytes_[at + 4 + i] = static_cast<std::uint8_t>(n >> (8 * i));
    if (n & 1) w_.u8(0);
  }

 private:
  std::vector<std::uint8_t>& bytes_;
  ByteWriter w_;
};

}  // namespace

AviWriter::AviWriter() = default;
AviWriter::AviWriter(AviWriterOptions options) : options_(std::move(options)) {}
AviWriter::AviWriter(AviWriter&& o) noexcept { *this = std::move(o); }

AviWriter& AviWriter::operator=(AviWriter&& o) noexcept {
  if (this == &o) return *this;
  static_cast<void>(close());  // whatever it reports, the old file stays valid
  options_ = std::move(o.options_);
  sink_ = std::move(o.sink_);
  format_ = o.format_;
  info_ = o.info_;
  chunkId_ = o.chunkId_;
  frames_ = std::exchange(o.frames_, 0);
  superCapacity_ = o.superCapacity_;
  avihData_ = o.avihData_;
  strhData_ = o.strhData_;
  indexChunk_ = o.indexChunk_;
  dmlhData_ = o.dmlhData_;
  riffStart_ = o.riffStart_;
  moviStart_ = o.moviStart_;
  end_ = o.end_;
  entries_ = std::move(o.entries_);
  superIndex_ = std::move(o.superIndex_);
  firstRiffFrames_ = o.firstRiffFrames_;
  sound_ = o.sound_;
  soundInfo_ = o.soundInfo_;
  soundFrames_ = o.soundFrames_;
  soundStrhData_ = o.soundStrhData_;
  soundIndexChunk_ = o.soundIndexChunk_;
  soundEntries_ = std::move(o.soundEntries_);
  soundSuperIndex_ = std::move(o.soundSuperIndex_);
  lastCheckpoint_ = o.lastCheckpoint_;
  o.reset();
  return *this;
}

// A destructor cannot report; the file is valid with every frame written.
AviWriter::~AviWriter() { static_cast<void>(close()); }

void AviWriter::reset() {
  sink_.reset();
  frames_ = 0;
  entries_.clear();
  superIndex_.clear();
  firstRiffFrames_ = 0;
  riffStart_ = moviStart_ = end_ = 0;
  sound_.reset();
  soundFrames_ = 0;
  soundEntries_.clear();
  soundSuperIndex_.clear();
}

std::chrono::steady_clock::time_point AviWriter::now() const {
  return options_.clock ? options_.clock() : std::chrono::steady_clock::now();
}

bool AviWriter::open(std::unique_ptr<FileSink> sink, const BitmapInfoHeader& format, std::uint32_t rate,
                     std::optional<WaveFormat> sound) {
  static_cast<void>(close());  // the previous movie is valid however its close went
  if (!sink || rate == 0 || format.biWidth <= 0 || format.biHeight <= 0) return false;
  if (sound && !isValidPcm(*sound)) return false;
  sound_ = sound;
  if (sound) soundInfo_ = makeStreamInfo(*sound);
  format_ = format;
  info_ = makeStreamInfo(format, rate);
  chunkId_ = frameChunkId(format);

  if (options_.superIndexCapacity != 0) {
    superCapacity_ = options_.superIndexCapacity;
  } else {
    // Enough RIFFs for the largest movie: 2^31 frames or 16384 full RIFFs.
    std::uint64_t perFrame = 8 + padded(format.biSizeImage) + kStandardEntrySize;
    // With sound, about one chunk of a frame's duration goes with each frame.
    if (sound) perFrame += 8 + padded(sound->nAvgBytesPerSec / rate) + kStandardEntrySize;
    const std::uint64_t perRiff = std::clamp<std::uint64_t>(
        options_.riffLimit / perFrame, 1, std::max<std::uint32_t>(options_.maxFramesPerRiff, 1));
    const std::uint64_t riffs = (std::uint64_t{1} << 31) / perRiff + 2;
    superCapacity_ = static_cast<std::uint32_t>(std::min<std::uint64_t>(riffs, kMaxSuperCapacity));
  }

  sink_ = std::move(sink);
  frames_ = 0;
  entries_.clear();
  superIndex_.clear();
  firstRiffFrames_ = 0;
  soundFrames_ = 0;
  soundEntries_.clear();
  soundSuperIndex_.clear();
  if (!writeFileHeader()) {
    static_cast<void>(sink_->close());  // the open fails either way
    reset();
    return false;
  }
  lastCheckpoint_ = now();
  return true;
}

// ---- header structures -----------------------------------------------------

void AviWriter::writeMainHeader(ByteWriter& w) const {
  const double usPerFrame = 1e6 * info_.dwScale / info_.dwRate;
  // A frame's size; for a compressed stream, that of its largest chunk so far.
  const std::uint32_t frameBytes = info_.dwSuggestedBufferSize;
  const std::uint64_t bytesPerSec =
      std::uint64_t{frameBytes} * info_.dwRate / std::max<std::uint32_t>(info_.dwScale, 1);
  w.u32(static_cast<std::uint32_t>(std::lrint(usPerFrame)));  // dwMicroSecPerFrame
  const std::uint64_t allBytesPerSec = bytesPerSec + (sound_ ? sound_->nAvgBytesPerSec : 0);
  w.u32(static_cast<std::uint32_t>(std::min<std::uint64_t>(allBytesPerSec, 0xFFFFFFFFu)));
  w.u32(0);                                       // dwPaddingGranularity
  w.u32(superIndex_.empty() ? 0 : kAviHasIndex);  // idx1 exists once RIFF 1 is done
  w.u32(framesInFirstRiff());                     // dwTotalFrames
  w.u32(0);                                       // dwInitialFrames
  w.u32(sound_ ? 2 : 1);                          // dwStreams
  w.u32(sound_ ? std::max(frameBytes, soundInfo_.dwSuggestedBufferSize) : frameBytes);  // dwSuggestedBufferSize
  w.i32(format_.biWidth);
  w.i32(format_.biHeight);
  w.zeros(16);  // dwReserved
}

void AviWriter::writeStreamHeader(ByteWriter& w, const AviStreamInfo& info, std::uint32_t length) {
  auto clamp16 = [](std::int32_t v) {
    return static_cast<std::int16_t>(std::clamp<std::int32_t>(v, -32768, 32767));
  };
  w.u32(info.fccType);
  w.u32(info.fccHandler);
  w.u32(info.dwFlags);
  w.u16(info.wPriority);
  w.u16(info.wLanguage);
  w.u32(info.dwInitialFrames);
  w.u32(info.dwScale);
  w.u32(info.dwRate);
  w.u32(info.dwStart);
  w.u32(length);  // dwLength: every frame (sample frame) so far
  w.u32(info.dwSuggestedBufferSize);
  w.u32(info.dwQuality);
  w.u32(info.dwSampleSize);
  w.i16(clamp16(info.rcFrame.left));
  w.i16(clamp16(info.rcFrame.top));
  w.i16(clamp16(info.rcFrame.right));
  w.i16(clamp16(info.rcFrame.bottom));
}

void AviWriter::writeSuperIndexHeader(ByteWriter& w, std::size_t entries, std::uint32_t chunkId) {
  w.u16(4);  // wLongsPerEntry
  w.u8(0);   // bIndexSubType
  w.u8(kIndexOfIndexes);
  w.u32(static_cast<std::uint32_t>(entries));  // nEntriesInUse
  w.u32(chunkId);
  w.zeros(12);  // dwReserved[3]
}

void AviWriter::writeSuperIndexEntry(ByteWriter& w, const SuperEntry& e) {
  w.u64(e.offset);
  w.u32(e.size);
  w.u32(e.duration);
}

void AviWriter::writeOdmlHeader(ByteWriter& w) const {
  w.u32(static_cast<std::uint32_t>(frames_));  // dwTotalFrames of the whole movie
  w.zeros(kDmlhSize - 4);
}

void AviWriter::writeStandardIndex(ByteWriter& w, const std::vector<FrameEntry>& entries,
                                   std::uint32_t chunkId) const {
  w.u16(2);  // wLongsPerEntry
  w.u8(0);   // bIndexSubType
  w.u8(kIndexOfChunks);
  w.u32(static_cast<std::uint32_t>(entries.size()));
  w.u32(chunkId);
  w.u64(moviStart_ + 8);  // qwBaseOffset: the 'movi' tag
  w.u32(0);               // dwReserved
  for (const FrameEntry& e : entries) {
    w.u32(e.offset + 8);  // points at the data
    w.u32(e.size);
  }
}

// Both streams' chunks in file order; every sound chunk is a key frame.
void AviWriter::writeLegacyIndex(ByteWriter& w) const {
  auto frame = entries_.begin();
  auto sound = soundEntries_.begin();
  while (frame != entries_.end() || sound != soundEntries_.end()) {
    const bool isSound = frame == entries_.end() || (sound != soundEntries_.end() && sound->offset < frame->offset);
    const FrameEntry& e = isSound ? *sound++ : *frame++;
    w.u32(isSound ? kSoundChunkId : chunkId_);
    w.u32((e.size & kNotKeyFrame) ? 0 : kIndexKeyFrame);
    w.u32(e.offset);
    w.u32(e.size & ~kNotKeyFrame);
  }
}

// Sample frames in the RIFF being written.
std::uint32_t AviWriter::soundDuration() const {
  std::uint64_t bytes = 0;
  for (const FrameEntry& e : soundEntries_) bytes += e.size;
  return sound_ ? static_cast<std::uint32_t>(bytes / sound_->nBlockAlign) : 0;
}

std::uint32_t AviWriter::framesInFirstRiff() const {
  return superIndex_.empty() ? static_cast<std::uint32_t>(entries_.size()) : firstRiffFrames_;
}

// ---- file layout -------------------------------------------------------------

bool AviWriter::writeFileHeader() {
  staged_.clear();
  ChunkStager s(staged_);
  const std::size_t riff = s.beginList(kRiff, fourCC('A', 'V', 'I', ' '));
  const std::size_t hdrl = s.beginList(kList, fourCC('h', 'd', 'r', 'l'));

  std::size_t c = s.begin(fourCC('a', 'v', 'i', 'h'));
  avihData_ = c + 8;
  writeMainHeader(s.out());
  s.end(c);

  const std::size_t strl = s.beginList(kList, fourCC('s', 't', 'r', 'l'));
  c = s.begin(fourCC('s', 't', 'r', 'h'));
  strhData_ = c + 8;
  writeStreamHeader(s.out(), info_, 0);
  s.end(c);
  c = s.begin(fourCC('s', 't', 'r', 'f'));
  serialize(s.out(), format_);
  s.end(c);
  // Space for the super index; it stays JUNK until the first RIFF is done so
  // that a file cut off before then falls back to scanning the chunks.
  c = s.begin(kJunk);
  indexChunk_ = c;
  writeSuperIndexHeader(s.out(), 0, chunkId_);
  s.out().zeros(std::size_t{superCapacity_} * kSuperEntrySize);
  s.end(c);
  s.end(strl);

  if (sound_) {
    const std::size_t soundStrl = s.beginList(kList, fourCC('s', 't', 'r', 'l'));
    c = s.begin(fourCC('s', 't', 'r', 'h'));
    soundStrhData_ = c + 8;
    writeStreamHeader(s.out(), soundInfo_, 0);
    s.end(c);
    c = s.begin(fourCC('s', 't', 'r', 'f'));
    serialize(s.out(), *sound_);
    s.end(c);
    c = s.begin(kJunk);  // the sound's super index, as the video's
    soundIndexChunk_ = c;
    writeSuperIndexHeader(s.out(), 0, kSoundChunkId);
    s.out().zeros(std::size_t{superCapacity_} * kSuperEntrySize);
    s.end(c);
    s.end(soundStrl);
  }

  const std::size_t odml = s.beginList(kList, fourCC('o', 'd', 'm', 'l'));
  c = s.begin(fourCC('d', 'm', 'l', 'h'));
  dmlhData_ = c + 8;
  writeOdmlHeader(s.out());
  s.end(c);
  s.end(odml);
  s.end(hdrl);

  const std::size_t movi = s.beginList(kList, fourCC('m', 'o', 'v', 'i'));
  s.end(movi);
  s.end(riff);

  riffStart_ = riff;
  moviStart_ = movi;
  end_ = staged_.size();
  return sink_->seek(0) && sink_->write(staged_.data(), staged_.size());
}

std::uint64_t AviWriter::indexBytes(std::size_t frames, std::size_t soundChunks) const {
  std::uint64_t n = 8 + kIndexHeaderSize + kStandardEntrySize * std::uint64_t{frames};
  if (sound_) n += 8 + kIndexHeaderSize + kStandardEntrySize * std::uint64_t{soundChunks};
  if (superIndex_.empty()) n += 8 + kLegacyEntrySize * (std::uint64_t{frames} + soundChunks);
  return n;
}

// The RIFF being written, were a chunk of `chunkBytes` added and it finished.
std::uint64_t AviWriter::riffBytesWith(std::uint64_t chunkBytes, bool sound) const {
  return end_ + chunkBytes + indexBytes(entries_.size() + (sound ? 0 : 1), soundEntries_.size() + (sound ? 1 : 0)) -
         riffStart_;
}

bool AviWriter::needsNextRiff(std::uint64_t chunkBytes, bool sound) const {
  if (entries_.empty() && soundEntries_.empty()) return false;
  if ((sound ? soundEntries_ : entries_).size() >= options_.maxFramesPerRiff) return true;
  return riffBytesWith(chunkBytes, sound) > options_.riffLimit;
}

bool AviWriter::patch(std::uint64_t offset, const std::vector<std::uint8_t>& bytes) {
  return sink_->seek(offset) && sink_->write(bytes.data(), bytes.size());
}

bool AviWriter::patch32(std::uint64_t offset, std::uint32_t value) {
  const std::uint8_t b[4] = {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
                             static_cast<std::uint8_t>(value >> 16),
                             static_cast<std::uint8_t>(value >> 24)};
  return sink_->seek(offset) && sink_->write(b, 4);
}

// The sizes of the RIFF being written, as if it ended after the last frame.
bool AviWriter::patchRiffSizes() {
  const bool ok = patch32(riffStart_ + kChunkSizeField, static_cast<std::uint32_t>(end_ - riffStart_ - 8));
  return patch32(moviStart_ + kChunkSizeField, static_cast<std::uint32_t>(end_ - moviStart_ - 8)) && ok;
}

// Every header field that counts frames or finished RIFFs.
bool AviWriter::patchCounts() {
  staged_.clear();
  ByteWriter w(staged_);
  writeMainHeader(w);
  bool ok = patch(avihData_, staged_);

  staged_.clear();
  writeStreamHeader(w, info_, static_cast<std::uint32_t>(frames_));
  ok = patch(strhData_, staged_) && ok;

  ok = patch32(dmlhData_, static_cast<std::uint32_t>(frames_)) && ok;

  staged_.clear();
  w.u32(superIndex_.empty() ? kJunk : kSuperIndexId);
  w.u32(static_cast<std::uint32_t>(kIndexHeaderSize + superCapacity_ * kSuperEntrySize));
  writeSuperIndexHeader(w, superIndex_.size(), chunkId_);
  ok = patch(indexChunk_, staged_) && ok;
  if (!sound_) return ok;

  staged_.clear();
  writeStreamHeader(w, soundInfo_, static_cast<std::uint32_t>(soundFrames_));
  ok = patch(soundStrhData_, staged_) && ok;
  staged_.clear();
  w.u32(soundSuperIndex_.empty() ? kJunk : kSuperIndexId);
  w.u32(static_cast<std::uint32_t>(kIndexHeaderSize + superCapacity_ * kSuperEntrySize));
  writeSuperIndexHeader(w, soundSuperIndex_.size(), kSoundChunkId);
  return patch(soundIndexChunk_, staged_) && ok;
}

bool AviWriter::patchHeaders() {
  const bool ok = patchRiffSizes();
  return patchCounts() && ok;
}

void AviWriter::rollBack() {
  static_cast<void>(sink_->truncate(end_));  // space back if it can be had; the headers fix the length
  patchHeaders();
}

// Appends the indexes of the RIFF being written and closes its chunks.
// `riffEnd` receives the end of the finished RIFF. Nothing is committed.
bool AviWriter::finishRiff(std::uint64_t& riffEnd) {
  if (superIndex_.size() >= superCapacity_) return false;
  staged_.clear();
  ChunkStager s(staged_);
  const std::size_t ix = s.begin(kStandardIndexId);
  writeStandardIndex(s.out(), entries_, chunkId_);
  s.end(ix);
  const std::size_t soundIx = s.size();
  if (sound_) {
    const std::size_t at = s.begin(kSoundStandardIndexId);
    writeStandardIndex(s.out(), soundEntries_, kSoundChunkId);
    s.end(at);
  }
  const std::uint64_t moviEnd = end_ + staged_.size();
  if (superIndex_.empty()) {
    const std::size_t idx1 = s.begin(fourCC('i', 'd', 'x', '1'));
    writeLegacyIndex(s.out());
    s.end(idx1);
  }
  riffEnd = end_ + staged_.size();
  const SuperEntry entry{end_, static_cast<std::uint32_t>(soundIx),
                         static_cast<std::uint32_t>(entries_.size())};
  const SuperEntry soundEntry{end_ + soundIx, static_cast<std::uint32_t>(moviEnd - end_ - soundIx),
                              soundDuration()};
  if (!sink_->seek(end_) || !sink_->write(staged_.data(), staged_.size())) return false;
  if (!patch32(moviStart_ + kChunkSizeField, static_cast<std::uint32_t>(moviEnd - moviStart_ - 8)) ||
      !patch32(riffStart_ + kChunkSizeField, static_cast<std::uint32_t>(riffEnd - riffStart_ - 8)))
    return false;
  staged_.clear();
  ByteWriter w(staged_);
  writeSuperIndexEntry(w, entry);
  const std::uint64_t slot = 8 + kIndexHeaderSize + superIndex_.size() * kSuperEntrySize;
  if (!patch(indexChunk_ + slot, staged_)) return false;
  if (sound_) {
    staged_.clear();
    writeSuperIndexEntry(w, soundEntry);
    if (!patch(soundIndexChunk_ + slot, staged_)) return false;
  }
  try {
    superIndex_.push_back(entry);
  } catch (const std::bad_alloc&) {
    return false;
  }
  try {
    if (sound_) soundSuperIndex_.push_back(soundEntry);
  } catch (const std::bad_alloc&) {
    superIndex_.pop_back();
    return false;
  }
  return true;
}

bool AviWriter::startNextRiff() {
  const bool wasFirst = superIndex_.empty();
  const std::uint32_t framesHere = static_cast<std::uint32_t>(entries_.size());
  std::uint64_t riffEnd = 0;
  if (!finishRiff(riffEnd)) {
    rollBack();
    return false;
  }
  staged_.clear();
  ChunkStager s(staged_);
  const std::size_t riff = s.beginList(kRiff, fourCC('A', 'V', 'I', 'X'));
  const std::size_t movi = s.beginList(kList, fourCC('m', 'o', 'v', 'i'));
  s.end(movi);
  s.end(riff);
  if (!sink_->seek(riffEnd) || !sink_->write(staged_.data(), staged_.size())) {
    superIndex_.pop_back();
    if (sound_) soundSuperIndex_.pop_back();
    rollBack();
    return false;
  }
  if (wasFirst) firstRiffFrames_ = framesHere;
  riffStart_ = riffEnd + riff;
  moviStart_ = riffEnd + movi;
  end_ = riffEnd + staged_.size();
  entries_.clear();
  soundEntries_.clear();
  patchHeaders();
  return true;
}

// ---- frames --------------------------------------------------------------------

// Appends one chunk of the video (or sound) stream at the end of the movie.
// On false nothing has changed, whatever part of it reached the file.
bool AviWriter::appendChunk(bool sound, const void* data, std::uint32_t size, bool keyFrame) {
  const std::uint64_t chunkBytes = 8 + padded(size);
  if (needsNextRiff(chunkBytes, sound)) {
    // A RIFF whose index could not be listed in the super index is never begun.
    if (superIndex_.size() + 2 > superCapacity_) return false;
    if (!startNextRiff()) return false;
  }
  if (riffBytesWith(chunkBytes, sound) > kMaxRiffBytes) return false;

  std::vector<FrameEntry>& entries = sound ? soundEntries_ : entries_;
  try {
    entries.push_back(FrameEntry{static_cast<std::uint32_t>(end_ - (moviStart_ + 8)),
                                 size | (keyFrame ? 0 : kNotKeyFrame)});
  } catch (const std::bad_alloc&) {
    return false;
  }
  const std::uint32_t id = sound ? kSoundChunkId : chunkId_;
  const std::uint8_t header[8] = {static_cast<std::uint8_t>(id),
                                  static_cast<std::uint8_t>(id >> 8),
                                  static_cast<std::uint8_t>(id >> 16),
                                  static_cast<std::uint8_t>(id >> 24),
                                  static_cast<std::uint8_t>(size),
                                  static_cast<std::uint8_t>(size >> 8),
                                  static_cast<std::uint8_t>(size >> 16),
                                  static_cast<std::uint8_t>(size >> 24)};
  static constexpr std::uint8_t kPad = 0;
  const ConstBuffer parts[3] = {{header, 8}, {data, size}, {&kPad, size & 1u}};
  bool written = false;
  try {
    written = sink_->seek(end_) && sink_->write(parts);
  } catch (...) {
    entries.pop_back();  // the index lists only chunks in the file, whatever the sink throws
    throw;
  }
  if (!written) {
    entries.pop_back();
    static_cast<void>(sink_->truncate(end_));  // gives back what a partial write took, if it can
    return false;
  }
  end_ += chunkBytes;
  return true;
}

bool AviWriter::writeFrame(const void* bits, std::uint32_t size, bool keyFrame) {
  if (!sink_ || (bits == nullptr && size != 0) || size > kMaxFrameBytes) return false;
  if (frames_ == std::numeric_limits<std::int32_t>::max()) return false;
  if (!appendChunk(false, bits, size, keyFrame)) return false;
  ++frames_;
  if (isCompressed(format_)) info_.dwSuggestedBufferSize = std::max(info_.dwSuggestedBufferSize, size);
  // The frame is in the file; a checkpoint that fails is tried again next time.
  if (now() - lastCheckpoint_ >= options_.checkpointInterval) static_cast<void>(checkpoint());
  return true;
}

bool AviWriter::writeSound(const void* bytes, std::uint32_t size) {
  if (!sink_ || !sound_ || bytes == nullptr || size == 0 || size > kMaxFrameBytes) return false;
  if (size % sound_->nBlockAlign != 0) return false;
  const std::uint32_t blocks = size / sound_->nBlockAlign;
  if (soundFrames_ + blocks > kMaxSoundFrames) return false;
  if (!appendChunk(true, bytes, size, true)) return false;
  soundFrames_ += blocks;
  soundInfo_.dwSuggestedBufferSize = std::max(soundInfo_.dwSuggestedBufferSize, size);
  if (now() - lastCheckpoint_ >= options_.checkpointInterval) static_cast<void>(checkpoint());
  return true;
}

bool AviWriter::checkpoint() {
  if (!sink_) return false;
  lastCheckpoint_ = now();
  bool ok = patchHeaders() && sink_->flush();
  if (options_.syncAtCheckpoint) ok = sink_->sync() && ok;
  return ok;
}

bool AviWriter::close() {
  if (!sink_) return true;
  bool ok = true;
  if (entries_.empty() && soundEntries_.empty() && !superIndex_.empty()) {
    // An 'AVIX' begun for a chunk whose write then failed: drop it.
    ok = sink_->truncate(riffStart_);
    ok = patchCounts() && ok;
  } else {
    const bool first = superIndex_.empty();
    std::uint64_t riffEnd = 0;
    if (finishRiff(riffEnd)) {
      if (first) firstRiffFrames_ = static_cast<std::uint32_t>(entries_.size());
      ok = patchCounts();
    } else {
      // No room for the indexes: the file keeps every frame without them.
      ok = false;
      rollBack();
    }
  }
  ok = sink_->flush() && ok;
  if (options_.syncOnClose) ok = sink_->sync() && ok;
  ok = sink_->close() && ok;
  reset();
  return ok;
}

}  // namespace ks
