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

// The standard index chunk of stream `n`: 'ix00', 'ix01'.
constexpr std::uint32_t standardIndexId(std::size_t n) { return fourCC('i', 'x', '0', static_cast<char>('0' + n)); }

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
  s_ = std::exchange(o.s_, closedState(o.s_));
  return *this;
}

// A destructor cannot report; the file is valid with every frame written.
AviWriter::~AviWriter() {
  try {
    static_cast<void>(close());
  } catch (const std::bad_alloc&) {
    // No memory for the indexes: the file keeps its frames without them, and
    // the sink closes it as it goes.
  }
}

AviWriter::State AviWriter::closedState(const State& s) {
  State closed;
  closed.streams[0].info = s.streams[0].info;
  closed.superCapacity = s.superCapacity;
  return closed;
}

void AviWriter::reset() { s_ = closedState(s_); }

std::chrono::steady_clock::time_point AviWriter::now() const {
  return options_.clock ? options_.clock() : std::chrono::steady_clock::now();
}

bool AviWriter::open(std::unique_ptr<FileSink> sink, const BitmapInfoHeader& format, std::uint32_t rate,
                     std::optional<WaveFormat> sound) {
  static_cast<void>(close());  // the previous movie is valid however its close went
  if (!sink || rate == 0 || format.biWidth <= 0 || format.biHeight <= 0) return false;
  if (sound && !isValidPcm(*sound)) return false;
  State next;
  next.format = format;
  next.sound = sound;
  next.streams[0].info = makeStreamInfo(format, rate);
  next.streams[0].chunkId = frameChunkId(format);
  if (sound) {
    next.streams[1].info = makeStreamInfo(*sound);
    next.streams[1].chunkId = kSoundChunkId;
  }

  if (options_.superIndexCapacity != 0) {
    next.superCapacity = options_.superIndexCapacity;
  } else {
    // Enough RIFFs for the largest movie: 2^31 frames or 16384 full RIFFs.
    std::uint64_t perFrame = 8 + padded(format.biSizeImage) + kStandardEntrySize;
    // With sound, about one chunk of a frame's duration goes with each frame.
    if (sound) perFrame += 8 + padded(sound->nAvgBytesPerSec / rate) + kStandardEntrySize;
    const std::uint64_t perRiff = std::clamp<std::uint64_t>(
        options_.riffLimit / perFrame, 1, std::max<std::uint32_t>(options_.maxFramesPerRiff, 1));
    const std::uint64_t riffs = (std::uint64_t{1} << 31) / perRiff + 2;
    next.superCapacity = static_cast<std::uint32_t>(std::min<std::uint64_t>(riffs, kMaxSuperCapacity));
  }

  next.sink = std::move(sink);
  s_ = std::move(next);
  if (!writeFileHeader()) {
    static_cast<void>(s_.sink->close());  // the open fails either way
    reset();
    return false;
  }
  s_.lastCheckpoint = now();
  return true;
}

// ---- header structures -----------------------------------------------------

void AviWriter::writeMainHeader(ByteWriter& w) const {
  const AviStreamInfo& info = s_.streams[0].info;
  const double usPerFrame = 1e6 * info.dwScale / info.dwRate;
  // A frame's size; for a compressed stream, that of its largest chunk so far.
  const std::uint32_t frameBytes = info.dwSuggestedBufferSize;
  const std::uint64_t bytesPerSec =
      std::uint64_t{frameBytes} * info.dwRate / std::max<std::uint32_t>(info.dwScale, 1) +
      (s_.sound ? s_.sound->nAvgBytesPerSec : 0);
  std::uint32_t largestChunk = 0;
  for (const Stream& st : streams()) largestChunk = std::max(largestChunk, st.info.dwSuggestedBufferSize);
  w.u32(static_cast<std::uint32_t>(std::lrint(usPerFrame)));  // dwMicroSecPerFrame
  w.u32(static_cast<std::uint32_t>(std::min<std::uint64_t>(bytesPerSec, 0xFFFFFFFFu)));
  w.u32(0);                                             // dwPaddingGranularity
  w.u32(finishedRiffs() == 0 ? 0 : kAviHasIndex);       // idx1 exists once RIFF 1 is done
  w.u32(framesInFirstRiff());                           // dwTotalFrames
  w.u32(0);                                             // dwInitialFrames
  w.u32(static_cast<std::uint32_t>(streams().size()));  // dwStreams
  w.u32(largestChunk);                                  // dwSuggestedBufferSize
  w.i32(s_.format.biWidth);
  w.i32(s_.format.biHeight);
  w.zeros(16);  // dwReserved
}

void AviWriter::writeStreamHeader(ByteWriter& w, const Stream& stream) {
  auto clamp16 = [](std::int32_t v) {
    return static_cast<std::int16_t>(std::clamp<std::int32_t>(v, -32768, 32767));
  };
  const AviStreamInfo& info = stream.info;
  w.u32(info.fccType);
  w.u32(info.fccHandler);
  w.u32(info.dwFlags);
  w.u16(info.wPriority);
  w.u16(info.wLanguage);
  w.u32(info.dwInitialFrames);
  w.u32(info.dwScale);
  w.u32(info.dwRate);
  w.u32(info.dwStart);
  w.u32(static_cast<std::uint32_t>(stream.length));  // dwLength: every frame (sample frame) so far
  w.u32(info.dwSuggestedBufferSize);
  w.u32(info.dwQuality);
  w.u32(info.dwSampleSize);
  w.i16(clamp16(info.rcFrame.left));
  w.i16(clamp16(info.rcFrame.top));
  w.i16(clamp16(info.rcFrame.right));
  w.i16(clamp16(info.rcFrame.bottom));
}

void AviWriter::writeStreamFormat(ByteWriter& w, const Stream& stream) const {
  if (stream.info.fccType == kStreamTypeAudio) {
    serialize(w, *s_.sound);
  } else {
    serialize(w, s_.format);
  }
}

void AviWriter::writeSuperIndexHeader(ByteWriter& w, const Stream& stream) {
  w.u16(4);  // wLongsPerEntry
  w.u8(0);   // bIndexSubType
  w.u8(kIndexOfIndexes);
  w.u32(static_cast<std::uint32_t>(stream.superIndex.size()));  // nEntriesInUse
  w.u32(stream.chunkId);
  w.zeros(12);  // dwReserved[3]
}

void AviWriter::writeSuperIndexEntry(ByteWriter& w, const SuperEntry& e) {
  w.u64(e.offset);
  w.u32(e.size);
  w.u32(e.duration);
}

void AviWriter::writeOdmlHeader(ByteWriter& w) const {
  w.u32(static_cast<std::uint32_t>(s_.streams[0].length));  // dwTotalFrames of the whole movie
  w.zeros(kDmlhSize - 4);
}

void AviWriter::writeStandardIndex(ByteWriter& w, const Stream& stream) const {
  w.u16(2);  // wLongsPerEntry
  w.u8(0);   // bIndexSubType
  w.u8(kIndexOfChunks);
  w.u32(static_cast<std::uint32_t>(stream.entries.size()));
  w.u32(stream.chunkId);
  w.u64(s_.moviStart + 8);  // qwBaseOffset: the 'movi' tag
  w.u32(0);                 // dwReserved
  for (const IndexEntry& e : stream.entries) {
    w.u32(e.offset + 8);  // points at the data
    w.u32(e.size);
  }
}

// Every stream's chunks in file order; every sound chunk is a key frame.
void AviWriter::writeLegacyIndex(ByteWriter& w) const {
  const std::span<const Stream> all = streams();
  std::array<std::size_t, kMaxStreams> next{};
  for (;;) {
    std::size_t pick = all.size();
    for (std::size_t i = 0; i < all.size(); ++i) {
      if (next[i] == all[i].entries.size()) continue;
      if (pick == all.size() || all[i].entries[next[i]].offset < all[pick].entries[next[pick]].offset) pick = i;
    }
    if (pick == all.size()) return;
    const IndexEntry& e = all[pick].entries[next[pick]++];
    w.u32(all[pick].chunkId);
    w.u32((e.size & kNotKeyFrame) ? 0 : kIndexKeyFrame);
    w.u32(e.offset);
    w.u32(e.size & ~kNotKeyFrame);
  }
}

std::uint32_t AviWriter::Stream::duration() const {
  if (info.dwSampleSize == 0) return static_cast<std::uint32_t>(entries.size());
  std::uint64_t bytes = 0;
  for (const IndexEntry& e : entries) bytes += e.size;
  return static_cast<std::uint32_t>(bytes / info.dwSampleSize);
}

std::uint32_t AviWriter::framesInFirstRiff() const {
  return finishedRiffs() == 0 ? static_cast<std::uint32_t>(s_.streams[0].entries.size()) : s_.firstRiffFrames;
}

// ---- file layout -------------------------------------------------------------

bool AviWriter::writeFileHeader() {
  staged_.clear();
  ChunkStager s(staged_);
  const std::size_t riff = s.beginList(kRiff, fourCC('A', 'V', 'I', ' '));
  const std::size_t hdrl = s.beginList(kList, fourCC('h', 'd', 'r', 'l'));

  std::size_t c = s.begin(fourCC('a', 'v', 'i', 'h'));
  s_.avihData = c + 8;
  writeMainHeader(s.out());
  s.end(c);

  for (Stream& st : streams()) {
    const std::size_t strl = s.beginList(kList, fourCC('s', 't', 'r', 'l'));
    c = s.begin(fourCC('s', 't', 'r', 'h'));
    st.strhData = c + 8;
    writeStreamHeader(s.out(), st);
    s.end(c);
    c = s.begin(fourCC('s', 't', 'r', 'f'));
    writeStreamFormat(s.out(), st);
    s.end(c);
    // Space for the super index; it stays JUNK until the first RIFF is done so
    // that a file cut off before then falls back to scanning the chunks.
    c = s.begin(kJunk);
    st.superIndexChunk = c;
    writeSuperIndexHeader(s.out(), st);
    s.out().zeros(std::size_t{s_.superCapacity} * kSuperEntrySize);
    s.end(c);
    s.end(strl);
  }

  const std::size_t odml = s.beginList(kList, fourCC('o', 'd', 'm', 'l'));
  c = s.begin(fourCC('d', 'm', 'l', 'h'));
  s_.dmlhData = c + 8;
  writeOdmlHeader(s.out());
  s.end(c);
  s.end(odml);
  s.end(hdrl);

  const std::size_t movi = s.beginList(kList, fourCC('m', 'o', 'v', 'i'));
  s.end(movi);
  s.end(riff);

  s_.riffStart = riff;
  s_.moviStart = movi;
  s_.end = staged_.size();
  return s_.sink->seek(0) && s_.sink->write(staged_.data(), staged_.size());
}

// The RIFF being written, were a chunk of `chunkBytes` of `stream` added and
// it finished: its chunks, a standard index per stream, in the first RIFF the
// legacy index.
std::uint64_t AviWriter::riffBytesWith(std::uint64_t chunkBytes, std::size_t stream) const {
  const std::span<const Stream> all = streams();
  std::uint64_t n = s_.end + chunkBytes - s_.riffStart;
  std::uint64_t chunks = 0;
  for (std::size_t i = 0; i < all.size(); ++i) {
    const std::uint64_t here = all[i].entries.size() + (i == stream ? 1 : 0);
    n += 8 + kIndexHeaderSize + kStandardEntrySize * here;
    chunks += here;
  }
  if (finishedRiffs() == 0) n += 8 + kLegacyEntrySize * chunks;
  return n;
}

bool AviWriter::riffHasChunks() const {
  const std::span<const Stream> all = streams();
  return std::any_of(all.begin(), all.end(), [](const Stream& st) { return !st.entries.empty(); });
}

bool AviWriter::needsNextRiff(std::uint64_t chunkBytes, std::size_t stream) const {
  if (!riffHasChunks()) return false;
  if (s_.streams[stream].entries.size() >= options_.maxFramesPerRiff) return true;
  return riffBytesWith(chunkBytes, stream) > options_.riffLimit;
}

bool AviWriter::patch(std::uint64_t offset, const std::vector<std::uint8_t>& bytes) {
  return s_.sink->seek(offset) && s_.sink->write(bytes.data(), bytes.size());
}

bool AviWriter::patch32(std::uint64_t offset, std::uint32_t value) {
  const std::uint8_t b[4] = {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
                             static_cast<std::uint8_t>(value >> 16),
                             static_cast<std::uint8_t>(value >> 24)};
  return s_.sink->seek(offset) && s_.sink->write(b, 4);
}

// The sizes of the RIFF being written, as if it ended after the last frame.
bool AviWriter::patchRiffSizes() {
  const bool ok = patch32(s_.riffStart + kChunkSizeField, static_cast<std::uint32_t>(s_.end - s_.riffStart - 8));
  return patch32(s_.moviStart + kChunkSizeField, static_cast<std::uint32_t>(s_.end - s_.moviStart - 8)) && ok;
}

// Every header field that counts frames or finished RIFFs.
bool AviWriter::patchCounts() {
  staged_.clear();
  ByteWriter w(staged_);
  writeMainHeader(w);
  bool ok = patch(s_.avihData, staged_);

  for (const Stream& st : streams()) {
    staged_.clear();
    writeStreamHeader(w, st);
    ok = patch(st.strhData, staged_) && ok;
    // The movie's frame count in dmlh is the picture's.
    if (&st == &s_.streams[0]) ok = patch32(s_.dmlhData, static_cast<std::uint32_t>(st.length)) && ok;

    staged_.clear();
    w.u32(st.superIndex.empty() ? kJunk : kSuperIndexId);
    w.u32(static_cast<std::uint32_t>(kIndexHeaderSize + s_.superCapacity * kSuperEntrySize));
    writeSuperIndexHeader(w, st);
    ok = patch(st.superIndexChunk, staged_) && ok;
  }
  return ok;
}

bool AviWriter::patchHeaders() {
  const bool ok = patchRiffSizes();
  return patchCounts() && ok;
}

void AviWriter::rollBack() {
  static_cast<void>(s_.sink->truncate(s_.end));  // space back if it can be had; the headers fix the length
  patchHeaders();
}

// Appends the indexes of the RIFF being written and closes its chunks.
// `riffEnd` receives the end of the finished RIFF. Nothing is committed.
bool AviWriter::finishRiff(std::uint64_t& riffEnd) {
  if (finishedRiffs() >= s_.superCapacity) return false;
  const std::span<Stream> all = streams();
  std::array<SuperEntry, kMaxStreams> made{};
  staged_.clear();
  ChunkStager s(staged_);
  for (std::size_t i = 0; i < all.size(); ++i) {
    const std::size_t ix = s.begin(standardIndexId(i));
    writeStandardIndex(s.out(), all[i]);
    s.end(ix);
    made[i] = SuperEntry{s_.end + ix, static_cast<std::uint32_t>(s.size() - ix), all[i].duration()};
  }
  const std::uint64_t moviEnd = s_.end + staged_.size();
  if (finishedRiffs() == 0) {
    const std::size_t idx1 = s.begin(fourCC('i', 'd', 'x', '1'));
    writeLegacyIndex(s.out());
    s.end(idx1);
  }
  riffEnd = s_.end + staged_.size();
  if (!s_.sink->seek(s_.end) || !s_.sink->write(staged_.data(), staged_.size())) return false;
  if (!patch32(s_.moviStart + kChunkSizeField, static_cast<std::uint32_t>(moviEnd - s_.moviStart - 8)) ||
      !patch32(s_.riffStart + kChunkSizeField, static_cast<std::uint32_t>(riffEnd - s_.riffStart - 8)))
    return false;
  const std::uint64_t slot = 8 + kIndexHeaderSize + finishedRiffs() * kSuperEntrySize;
  for (std::size_t i = 0; i < all.size(); ++i) {
    staged_.clear();
    ByteWriter w(staged_);
    writeSuperIndexEntry(w, made[i]);
    if (!patch(all[i].superIndexChunk + slot, staged_)) return false;
  }
  std::size_t listed = 0;
  try {
    for (; listed < all.size(); ++listed) all[listed].superIndex.push_back(made[listed]);
  } catch (const std::bad_alloc&) {
    while (listed > 0) all[--listed].superIndex.pop_back();
    return false;
  }
  return true;
}

bool AviWriter::startNextRiff() {
  const bool wasFirst = finishedRiffs() == 0;
  const auto framesHere = static_cast<std::uint32_t>(s_.streams[0].entries.size());
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
  // Until its header is in the file the new RIFF is not begun, and the
  // super index must not list the finished one as followed by it.
  const auto unlist = [this] {
    for (Stream& st : streams()) st.superIndex.pop_back();
    rollBack();
  };
  bool written = false;
  try {
    written = s_.sink->seek(riffEnd) && s_.sink->write(staged_.data(), staged_.size());
  } catch (...) {
    unlist();
    throw;
  }
  if (!written) {
    unlist();
    return false;
  }
  if (wasFirst) s_.firstRiffFrames = framesHere;
  s_.riffStart = riffEnd + riff;
  s_.moviStart = riffEnd + movi;
  s_.end = riffEnd + staged_.size();
  for (Stream& st : streams()) st.entries.clear();
  patchHeaders();
  return true;
}

// ---- frames --------------------------------------------------------------------

// Appends one chunk of `stream` at the end of the movie and counts it.
// On false nothing has changed, whatever part of it reached the file.
bool AviWriter::appendChunk(std::size_t stream, const void* data, std::uint32_t size, bool keyFrame) {
  const std::uint64_t chunkBytes = 8 + padded(size);
  if (needsNextRiff(chunkBytes, stream)) {
    // A RIFF whose index could not be listed in the super index is never begun.
    if (finishedRiffs() + 2 > s_.superCapacity) return false;
    if (!startNextRiff()) return false;
  }
  if (riffBytesWith(chunkBytes, stream) > kMaxRiffBytes) return false;

  Stream& st = s_.streams[stream];
  try {
    st.entries.push_back(IndexEntry{static_cast<std::uint32_t>(s_.end - (s_.moviStart + 8)),
                                    size | (keyFrame ? 0 : kNotKeyFrame)});
  } catch (const std::bad_alloc&) {
    return false;
  }
  const std::uint32_t id = st.chunkId;
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
    written = s_.sink->seek(s_.end) && s_.sink->write(parts);
  } catch (...) {
    st.entries.pop_back();  // the index lists only chunks in the file, whatever the sink throws
    throw;
  }
  if (!written) {
    st.entries.pop_back();
    static_cast<void>(s_.sink->truncate(s_.end));  // gives back what a partial write took, if it can
    return false;
  }
  s_.end += chunkBytes;
  st.length += st.info.dwSampleSize ? size / st.info.dwSampleSize : 1;
  return true;
}

bool AviWriter::writeFrame(const void* bits, std::uint32_t size, bool keyFrame) {
  if (!s_.sink || (bits == nullptr && size != 0) || size > kMaxFrameBytes) return false;
  if (frameNumber() == std::numeric_limits<std::int32_t>::max()) return false;
  if (!appendChunk(0, bits, size, keyFrame)) return false;
  AviStreamInfo& info = s_.streams[0].info;
  if (isCompressed(s_.format)) info.dwSuggestedBufferSize = std::max(info.dwSuggestedBufferSize, size);
  checkpointIfDue();
  return true;
}

bool AviWriter::writeSound(const void* bytes, std::uint32_t size) {
  if (!s_.sink || !s_.sound || bytes == nullptr || size == 0 || size > kMaxFrameBytes) return false;
  if (size % s_.sound->nBlockAlign != 0) return false;
  if (soundFrames() + size / s_.sound->nBlockAlign > kMaxSoundFrames) return false;
  if (!appendChunk(1, bytes, size, true)) return false;
  AviStreamInfo& info = s_.streams[1].info;
  info.dwSuggestedBufferSize = std::max(info.dwSuggestedBufferSize, size);
  checkpointIfDue();
  return true;
}

// The chunk is in the file whatever becomes of the checkpoint: one that
// fails, or finds no memory, is tried again next time.
void AviWriter::checkpointIfDue() {
  if (now() - s_.lastCheckpoint < options_.checkpointInterval) return;
  try {
    static_cast<void>(checkpoint());
  } catch (const std::bad_alloc&) {
  }
}

bool AviWriter::checkpoint() {
  if (!s_.sink) return false;
  s_.lastCheckpoint = now();
  bool ok = patchHeaders() && s_.sink->flush();
  if (options_.syncAtCheckpoint) ok = s_.sink->sync() && ok;
  return ok;
}

bool AviWriter::close() {
  if (!s_.sink) return true;
  bool ok = true;
  if (finishedRiffs() != 0 && !riffHasChunks()) {
    // An 'AVIX' begun for a chunk whose write then failed: drop it.
    ok = s_.sink->truncate(s_.riffStart);
    ok = patchCounts() && ok;
  } else {
    const bool first = finishedRiffs() == 0;
    std::uint64_t riffEnd = 0;
    if (finishRiff(riffEnd)) {
      if (first) s_.firstRiffFrames = static_cast<std::uint32_t>(s_.streams[0].entries.size());
      ok = patchCounts();
    } else {
      // No room for the indexes: the file keeps every frame without them.
      ok = false;
      rollBack();
    }
  }
  ok = s_.sink->flush() && ok;
  if (options_.syncOnClose) ok = s_.sink->sync() && ok;
  ok = s_.sink->close() && ok;
  reset();
  return ok;
}

}  // namespace ks
