#include "media/avi_movie_reader.h"

#include <algorithm>
#include <array>
#include <span>

namespace ks {
namespace {

constexpr std::uint32_t kRiff = fourCC('R', 'I', 'F', 'F');
constexpr std::uint32_t kList = fourCC('L', 'I', 'S', 'T');
constexpr std::uint32_t kJunk = fourCC('J', 'U', 'N', 'K');
constexpr std::uint32_t kAviForm = fourCC('A', 'V', 'I', ' ');
constexpr std::uint32_t kAvixForm = fourCC('A', 'V', 'I', 'X');
constexpr std::uint32_t kHdrl = fourCC('h', 'd', 'r', 'l');
constexpr std::uint32_t kStrl = fourCC('s', 't', 'r', 'l');
constexpr std::uint32_t kMovi = fourCC('m', 'o', 'v', 'i');
constexpr std::uint32_t kStrh = fourCC('s', 't', 'r', 'h');
constexpr std::uint32_t kStrf = fourCC('s', 't', 'r', 'f');
constexpr std::uint32_t kIndx = fourCC('i', 'n', 'd', 'x');
constexpr std::uint32_t kIdx1 = fourCC('i', 'd', 'x', '1');
constexpr std::uint32_t kZmbv = fourCC('Z', 'M', 'B', 'V');

// Headers hold the reserved super indexes (16384 entries a stream at most);
// a header list far past that is not one of ours.
constexpr std::uint64_t kMaxHeaderBytes = 16u << 20;
constexpr std::size_t kMinStreamHeader = 48;  // AVISTREAMHEADER without rcFrame
constexpr std::size_t kSuperEntryBytes = 16, kStandardEntryBytes = 8, kLegacyEntryBytes = 16;
constexpr std::size_t kIndexHeaderBytes = 24;
constexpr std::uint32_t kNotKeyFrame = 0x80000000u;
constexpr std::uint32_t kMaxSoundChunk = 16u << 20;  // over a minute of 48 kHz stereo
// Entries are read from the file this many at a time.
constexpr std::size_t kEntriesPerRead = 4096;

std::uint16_t le16(std::span<const std::uint8_t> b, std::size_t at) {
  return at + 2 <= b.size() ? static_cast<std::uint16_t>(b[at] | b[at + 1] << 8) : 0;
}
std::uint32_t le32(std::span<const std::uint8_t> b, std::size_t at) {
  return at + 4 <= b.size() ? std::uint32_t{le16(b, at)} | std::uint32_t{le16(b, at + 2)} << 16 : 0;
}
std::uint64_t le64(std::span<const std::uint8_t> b, std::size_t at) {
  return std::uint64_t{le32(b, at)} | std::uint64_t{le32(b, at + 4)} << 32;
}

std::uint64_t padded(std::uint64_t n) { return n + (n & 1); }

std::uint32_t streamChunkId(int stream, char a, char b) {
  return fourCC(static_cast<char>('0' + stream / 10), static_cast<char>('0' + stream % 10), a, b);
}

// A chunk of an in-memory list: its id, list type (0 for plain chunks) and data.
struct MemoryChunk {
  std::uint32_t id = 0, type = 0;
  std::span<const std::uint8_t> data;
};

// The chunks of a list held in memory; false when one overruns it.
bool memoryChildren(std::span<const std::uint8_t> list, std::vector<MemoryChunk>& out) {
  std::size_t pos = 0;
  while (list.size() - pos >= 8) {
    MemoryChunk c;
    c.id = le32(list, pos);
    const std::uint32_t size = le32(list, pos + 4);
    if (size > list.size() - pos - 8) return false;
    c.data = list.subspan(pos + 8, size);
    if (c.id == kList && size >= 4) {
      c.type = le32(c.data, 0);
      c.data = c.data.subspan(4);
    }
    out.push_back(c);
    pos += 8 + std::size_t{size};
    if (size & 1) ++pos;
    if (pos > list.size()) break;  // the pad byte of the last chunk may be missing
  }
  return true;
}

BitmapInfoHeader bitmapInfo(std::span<const std::uint8_t> b) {
  BitmapInfoHeader h;
  h.biSize = le32(b, 0);
  h.biWidth = static_cast<std::int32_t>(le32(b, 4));
  h.biHeight = static_cast<std::int32_t>(le32(b, 8));
  h.biPlanes = le16(b, 12);
  h.biBitCount = le16(b, 14);
  h.biCompression = le32(b, 16);
  h.biSizeImage = le32(b, 20);
  h.biXPelsPerMeter = static_cast<std::int32_t>(le32(b, 24));
  h.biYPelsPerMeter = static_cast<std::int32_t>(le32(b, 28));
  h.biClrUsed = le32(b, 32);
  h.biClrImportant = le32(b, 36);
  return h;
}

WaveFormat waveFormat(std::span<const std::uint8_t> b) {
  return {le16(b, 0), le16(b, 2), le32(b, 4), le32(b, 8), le16(b, 12), le16(b, 14)};
}

PictureCodec codecOf(const BitmapInfoHeader& f) {
  if (f.biCompression == 0 && f.biBitCount == 24) return PictureCodec::Uncompressed;
  return f.biCompression == kZmbv ? PictureCodec::Zmbv : PictureCodec::Other;
}

}  // namespace

std::string fourCCName(std::uint32_t code) {
  std::string s;
  for (int i = 0; i < 4; ++i) {
    const char c = static_cast<char>(code >> (8 * i));
    s += (c >= 32 && c < 127) ? c : '?';
  }
  return s;
}

// Reads the structure of one file into an AviMovieReader.
class AviStructureReader {
 public:
  explicit AviStructureReader(AviMovieReader& movie) : movie_(movie), source_(*movie.source_) {}

  ReadStatus read() {
    fileSize_ = source_.size();
    if (ReadStatus s = readRiffs(); !s) return s;
    if (ReadStatus s = readHeaders(); !s) return s;
    return readChunkLists();
  }

 private:
  struct Span {
    std::uint64_t start = 0, end = 0;  // of the data
  };
  struct Riff {
    std::uint64_t offset = 0, end = 0;
    std::optional<Span> hdrl, idx1;
    std::optional<Span> movi;       // from its 'movi' tag to where its chunks may go
  };
  struct SuperEntry {
    std::uint64_t offset = 0;
    std::uint32_t size = 0;
  };
  // One strl: what the chunk lists need to know of its stream.
  struct StreamList {
    int number = 0;
    std::uint32_t type = 0;
    std::vector<std::uint8_t> strh, strf;
    std::vector<SuperEntry> superIndex;
    std::vector<std::uint32_t> ids;  // of its data chunks
    std::uint32_t indexId = 0;       // of its standard indexes
  };

  bool readAt(std::uint64_t offset, std::span<std::uint8_t> out) { return source_.read(offset, out); }

  // ---- RIFFs ---------------------------------------------------------------

  ReadStatus readRiffs() {
    std::array<std::uint8_t, 12> h{};
    if (fileSize_ < 12 || !readAt(0, h) || le32(h, 0) != kRiff || le32(h, 8) != kAviForm)
      return ReadFailure{"not an AVI file"};
    std::uint64_t pos = 0;
    for (;;) {
      Riff r;
      r.offset = pos;
      const std::uint64_t statedEnd = pos + 8 + padded(le32(h, 4));
      // The last RIFF of a recording cut off goes on past its stated size:
      // the sizes are brought up to date only now and then.
      const bool another = statedEnd <= fileSize_ - std::min<std::uint64_t>(fileSize_, 12) &&
                           readAt(statedEnd, h) && le32(h, 0) == kRiff && le32(h, 8) == kAvixForm;
      r.end = another ? statedEnd : fileSize_;
      if (ReadStatus s = readRiffChildren(r); !s) return s;
      riffs_.push_back(r);
      if (!another) return kReadOk;
      pos = statedEnd;
    }
  }

  ReadStatus readRiffChildren(Riff& r) {
    std::uint64_t pos = r.offset + 12;
    std::array<std::uint8_t, 12> h{};
    while (pos < r.end && r.end - pos >= 8) {
      // An empty idx1 may end the file with only its 8-byte header.
      const std::size_t headBytes = r.end - pos >= 12 ? 12 : 8;
      h.fill(0);
      if (!readAt(pos, std::span(h).first(headBytes))) return ReadFailure{"the file cannot be read"};
      const std::uint32_t id = le32(h, 0), size = le32(h, 4);
      const std::uint64_t dataEnd = pos + 8 + size;
      if (id == kList && size >= 4 && le32(h, 8) == kHdrl && riffs_.empty()) {
        if (dataEnd > r.end) return damaged("it ends inside its headers");
        r.hdrl = Span{pos + 12, dataEnd};
      } else if (id == kList && size >= 4 && le32(h, 8) == kMovi && !r.movi) {
        // The last RIFF's chunks are scanned to the end of the file.
        r.movi = Span{pos + 8, r.end == fileSize_ ? fileSize_ : std::min(dataEnd, r.end)};
      } else if (id == kIdx1 && dataEnd <= r.end) {
        r.idx1 = Span{pos + 8, dataEnd};
      } else if (id != kJunk && id != kList) {
        break;  // past a 'movi' whose size lags behind its chunks
      }
      pos = dataEnd + (size & 1);
    }
    return kReadOk;
  }

  // ---- headers -------------------------------------------------------------

  ReadStatus readHeaders() {
    const std::optional<Span> hdrl = riffs_.front().hdrl;
    if (!hdrl) return damaged("its headers are missing");
    if (hdrl->end - hdrl->start > kMaxHeaderBytes)
      return damaged("its header list is " + std::to_string(hdrl->end - hdrl->start) + " bytes long");
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(hdrl->end - hdrl->start));
    if (!readAt(hdrl->start, bytes)) return ReadFailure{"the file cannot be read"};
    std::vector<MemoryChunk> children;
    if (!memoryChildren(bytes, children)) return damaged("a header overruns its list");
    int number = 0;
    for (const MemoryChunk& c : children) {
      if (c.id != kList || c.type != kStrl) continue;
      StreamList s;
      s.number = number++;
      if (s.number > 99) break;  // chunk ids have two digits for the stream
      if (ReadStatus st = readStreamList(c.data, s); !st) return st;
      if (s.type == kStreamTypeVideo && !video_) video_ = std::move(s);
      else if (s.type == kStreamTypeAudio && !sound_) sound_ = std::move(s);
    }
    if (!video_) return ReadFailure{"the file has no picture stream"};
    if (ReadStatus s = readPictureFormat(); !s) return s;
    return readSoundFormat();
  }

  ReadStatus readStreamList(std::span<const std::uint8_t> list, StreamList& s) {
    std::vector<MemoryChunk> children;
    if (!memoryChildren(list, children)) return damaged("a stream header overruns its list");
    const MemoryChunk* indx = nullptr;
    for (const MemoryChunk& c : children) {
      if (c.id == kStrh && s.strh.empty()) s.strh.assign(c.data.begin(), c.data.end());
      if (c.id == kStrf && s.strf.empty()) s.strf.assign(c.data.begin(), c.data.end());
      if (c.id == kIndx) indx = &c;
    }
    if (s.strh.size() < kMinStreamHeader) return damaged("a stream header is missing or short");
    s.type = le32(s.strh, 0);
    if (s.type == kStreamTypeVideo)
      s.ids = {streamChunkId(s.number, 'd', 'b'), streamChunkId(s.number, 'd', 'c')};
    else
      s.ids = {streamChunkId(s.number, 'w', 'b')};
    s.indexId = fourCC('i', 'x', static_cast<char>('0' + s.number / 10), static_cast<char>('0' + s.number % 10));
    return indx ? readSuperIndex(indx->data, s) : kReadOk;
  }

  ReadStatus readSuperIndex(std::span<const std::uint8_t> indx, StreamList& s) {
    if (indx.size() < kIndexHeaderBytes || le16(indx, 0) != 4 || indx[3] != 0)
      return damaged("a super index is not in the OpenDML form");
    const std::uint32_t used = le32(indx, 4);
    const std::size_t room = (indx.size() - kIndexHeaderBytes) / kSuperEntryBytes;
    if (used > room)
      return damaged("a super index lists " + std::to_string(used) + " indexes in room for " + std::to_string(room));
    std::uint64_t previousEnd = 0;
    for (std::uint32_t i = 0; i < used; ++i) {
      const std::size_t at = kIndexHeaderBytes + kSuperEntryBytes * i;
      const SuperEntry e{le64(indx, at), le32(indx, at + 8)};
      if (e.offset > fileSize_ || e.size > fileSize_ - e.offset || e.size < 8 + kIndexHeaderBytes)
        return damaged("the index points outside the file");
      if (e.offset < previousEnd) return damaged("the super index lists its indexes out of order");
      previousEnd = e.offset + e.size;
      s.superIndex.push_back(e);
    }
    return kReadOk;
  }

  ReadStatus readPictureFormat() {
    AviPictureStream& p = movie_.picture_;
    p.strh = video_->strh;
    p.strf = video_->strf;
    if (p.strf.size() < kBitmapInfoHeaderSize) return damaged("the picture format is missing or short");
    p.format = bitmapInfo(p.strf);
    p.width = p.format.biWidth;
    p.height = p.format.biHeight;
    if (p.width <= 0 || p.height <= 0)
      return damaged("the picture is " + std::to_string(p.width) + " x " + std::to_string(p.height) + " pixels");
    if (p.width > kMaxReadSide || p.height > kMaxReadSide)
      return ReadFailure{"the picture is " + std::to_string(p.width) + " x " + std::to_string(p.height) +
                         " pixels, larger than the 16384 x 16384 kestrascope reads"};
    p.codec = codecOf(p.format);
    p.scale = le32(p.strh, 20);
    p.rate = le32(p.strh, 24);
    if (p.scale == 0 || p.rate == 0) return damaged("the picture stream has no frame rate");
    return kReadOk;
  }

  ReadStatus readSoundFormat() {
    if (!sound_) return kReadOk;
    AviSoundStream s;
    s.strh = sound_->strh;
    s.strf = sound_->strf;
    if (s.strf.size() < 16) return damaged("the sound format is missing or short");
    s.format = waveFormat(s.strf);
    if (s.format.nChannels == 0 || s.format.nBlockAlign == 0 || s.format.nSamplesPerSec == 0)
      return damaged("the sound format has no channels, samples or block size");
    movie_.sound_ = std::move(s);
    return kReadOk;
  }

  // ---- chunk lists ---------------------------------------------------------

  ReadStatus readChunkLists() {
    std::vector<std::vector<AviChunkRef>> frames(riffs_.size()), sounds(riffs_.size());
    std::vector<bool> framesIndexed(riffs_.size()), soundsIndexed(riffs_.size(), !sound_);
    if (ReadStatus s = readIndexes(*video_, frames, framesIndexed); !s) return s;
    if (sound_)
      if (ReadStatus s = readIndexes(*sound_, sounds, soundsIndexed); !s) return s;
    for (std::size_t r = 0; r < riffs_.size(); ++r) {
      if (framesIndexed[r] && soundsIndexed[r]) continue;
      std::vector<AviChunkRef> scannedFrames, scannedSounds;
      if (ReadStatus s = scanMovi(riffs_[r], scannedFrames, scannedSounds); !s) return s;
      if (!framesIndexed[r]) frames[r] = std::move(scannedFrames);
      if (!soundsIndexed[r]) sounds[r] = std::move(scannedSounds);
      movie_.recovered_ = true;
    }
    for (auto& part : frames) movie_.picture_.frames.insert(movie_.picture_.frames.end(), part.begin(), part.end());
    if (ReadStatus s = checkFrames(); !s) return s;
    for (std::uint32_t id : video_->ids) movie_.chunkIds_.push_back(id);
    if (!sound_) return kReadOk;
    for (auto& part : sounds) movie_.sound_->chunks.insert(movie_.sound_->chunks.end(), part.begin(), part.end());
    movie_.chunkIds_.push_back(sound_->ids.front());
    return checkSound();
  }

  // The stream's chunks of every RIFF its indexes cover.
  ReadStatus readIndexes(const StreamList& s, std::vector<std::vector<AviChunkRef>>& perRiff,
                         std::vector<bool>& indexed) {
    if (s.superIndex.empty()) {
      if (!riffs_.front().idx1) return kReadOk;
      indexed.front() = true;
      return readLegacyIndex(s, perRiff.front());
    }
    std::size_t r = 0;
    for (const SuperEntry& e : s.superIndex) {
      while (r < riffs_.size() && e.offset >= riffs_[r].end) ++r;
      if (r == riffs_.size() || e.offset < riffs_[r].offset) return damaged("the index points outside the movie");
      indexed[r] = true;
      if (ReadStatus st = readStandardIndex(s, e, perRiff[r]); !st) return st;
    }
    return kReadOk;
  }

  // Calls `take` with each `entryBytes` entry of `count` from `offset` on,
  // reading a block of them at a time.
  template <class Take>
  ReadStatus forEachEntry(std::uint64_t offset, std::uint64_t count, std::size_t entryBytes, Take take) {
    std::vector<std::uint8_t> block;
    for (std::uint64_t done = 0; done < count;) {
      const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(count - done, kEntriesPerRead));
      block.resize(n * entryBytes);
      if (!readAt(offset + done * entryBytes, block)) return ReadFailure{"the file cannot be read"};
      for (std::size_t i = 0; i < n; ++i)
        if (ReadStatus s = take(std::span<const std::uint8_t>(block).subspan(i * entryBytes, entryBytes)); !s)
          return s;
      done += n;
    }
    return kReadOk;
  }

  ReadStatus readStandardIndex(const StreamList& s, const SuperEntry& e, std::vector<AviChunkRef>& out) {
    std::array<std::uint8_t, 8 + kIndexHeaderBytes> h{};
    if (!readAt(e.offset, h)) return ReadFailure{"the file cannot be read"};
    const std::uint32_t size = le32(h, 4);
    if (le32(h, 0) != s.indexId) return damaged("the super index points at something that is not an index");
    if (std::uint64_t{size} + 8 > e.size) return damaged("a standard index is larger than the super index says");
    if (size < kIndexHeaderBytes || le16(h, 8) != 2 || h[11] != 1)
      return damaged("a standard index is not in the OpenDML form");
    const std::uint32_t used = le32(h, 12);
    const std::uint32_t room = (size - kIndexHeaderBytes) / kStandardEntryBytes;
    if (used > room)
      return damaged("a standard index lists " + std::to_string(used) + " chunks in room for " + std::to_string(room));
    if (std::find(s.ids.begin(), s.ids.end(), le32(h, 16)) == s.ids.end())
      return damaged("a standard index is not one of its stream's");
    const std::uint64_t base = le64(h, 20);
    if (base > fileSize_) return damaged("the index points outside the file");
    return forEachEntry(e.offset + h.size(), used, kStandardEntryBytes, [&](std::span<const std::uint8_t> entry) {
      const std::uint32_t raw = le32(entry, 4);
      return addChunk(base + le32(entry, 0), raw & ~kNotKeyFrame, (raw & kNotKeyFrame) == 0, out);
    });
  }

  ReadStatus readLegacyIndex(const StreamList& s, std::vector<AviChunkRef>& out) {
    const Span idx1 = *riffs_.front().idx1;
    const std::optional<Span> movi = riffs_.front().movi;
    if (!movi) return damaged("the first RIFF has no 'movi' list");
    const std::uint64_t count = (idx1.end - idx1.start) / kLegacyEntryBytes;
    return forEachEntry(idx1.start, count, kLegacyEntryBytes, [&](std::span<const std::uint8_t> entry) {
      if (std::find(s.ids.begin(), s.ids.end(), le32(entry, 0)) == s.ids.end()) return kReadOk;
      // Offsets count from the 'movi' tag to the chunk's header.
      return addChunk(movi->start + le32(entry, 8) + 8, le32(entry, 12), (le32(entry, 4) & kIndexKeyFrame) != 0, out);
    });
  }

  ReadStatus addChunk(std::uint64_t data, std::uint32_t size, bool key, std::vector<AviChunkRef>& out) {
    if (data < 8 || data > fileSize_ || size > fileSize_ - data) return damaged("the index points outside the file");
    out.push_back({data, size, key});
    return kReadOk;
  }

  // The chunks of a 'movi' list in file order, up to the first one cut short.
  ReadStatus scanMovi(const Riff& r, std::vector<AviChunkRef>& frames, std::vector<AviChunkRef>& sounds) {
    if (!r.movi) return kReadOk;
    std::uint64_t pos = r.movi->start + 4;
    std::array<std::uint8_t, 9> h{};
    while (pos < r.movi->end && r.movi->end - pos >= 8) {
      const std::size_t headBytes = r.movi->end - pos >= 9 ? 9 : 8;
      if (!readAt(pos, std::span(h).first(headBytes))) return ReadFailure{"the file cannot be read"};
      const std::uint32_t id = le32(h, 0), size = le32(h, 4);
      if (size > r.movi->end - pos - 8) break;  // the last chunk, cut short
      const std::uint64_t data = pos + 8;
      if (std::find(video_->ids.begin(), video_->ids.end(), id) != video_->ids.end()) {
        frames.push_back({data, size, scannedKeyFrame(size, h[8])});
      } else if (sound_ && id == sound_->ids.front()) {
        sounds.push_back({data, size, true});
      } else if (id != kJunk && (id & 0xFFFF) != fourCC('i', 'x', 0, 0)) {
        break;  // not a chunk of ours: where the recording's writes ended
      }
      pos = data + padded(size);
    }
    return kReadOk;
  }

  // Without an index, a ZMBV frame says itself whether it is a key frame.
  bool scannedKeyFrame(std::uint32_t size, std::uint8_t firstByte) const {
    switch (movie_.picture_.codec) {
      case PictureCodec::Uncompressed: return true;
      case PictureCodec::Zmbv: return size > 0 && (firstByte & 1) != 0;
      case PictureCodec::Other: return false;
    }
    return false;
  }

  // ---- checks --------------------------------------------------------------

  // Each chunk lies after the one before it: no two share bytes, and there
  // are no more of them than the file has room for.
  static bool inFileOrder(const std::vector<AviChunkRef>& chunks) {
    for (std::size_t i = 1; i < chunks.size(); ++i)
      if (chunks[i].offset < chunks[i - 1].offset + padded(chunks[i - 1].size) + 8) return false;
    return true;
  }

  ReadStatus checkFrames() const {
    const AviPictureStream& p = movie_.picture_;
    const std::uint64_t picture = std::uint64_t{dibStride(p.width)} * static_cast<std::uint32_t>(p.height);
    // Compressed: all the pixels at 4 bytes each and a vector for each, deflated, and some.
    const std::uint64_t most = p.codec == PictureCodec::Uncompressed ? picture : 8 * picture + 65536;
    for (std::size_t i = 0; i < p.frames.size(); ++i) {
      const std::uint32_t size = p.frames[i].size;
      if (p.codec == PictureCodec::Uncompressed && size != 0 && size != picture)
        return damaged("frame " + std::to_string(i) + " is " + std::to_string(size) + " bytes where a picture is " +
                       std::to_string(picture));
      if (size > most)
        return damaged("frame " + std::to_string(i) + " is " + std::to_string(size) + " bytes, more than a " +
                       std::to_string(p.width) + " x " + std::to_string(p.height) + " picture can need");
    }
    if (!inFileOrder(p.frames)) return damaged("the index lists the frames out of order");
    return kReadOk;
  }

  ReadStatus checkSound() const {
    const AviSoundStream& s = *movie_.sound_;
    for (std::size_t i = 0; i < s.chunks.size(); ++i) {
      if (s.chunks[i].size > kMaxSoundChunk)
        return damaged("sound chunk " + std::to_string(i) + " is " + std::to_string(s.chunks[i].size) + " bytes");
      if (s.chunks[i].size % s.format.nBlockAlign != 0)
        return damaged("sound chunk " + std::to_string(i) + " holds part of a sample");
    }
    if (!inFileOrder(s.chunks)) return damaged("the index lists the sound out of order");
    return kReadOk;
  }

  AviMovieReader& movie_;
  ByteSource& source_;
  std::uint64_t fileSize_ = 0;
  std::vector<Riff> riffs_;
  std::optional<StreamList> video_, sound_;
};

ReadResult<AviMovieReader> AviMovieReader::open(std::unique_ptr<ByteSource> source) {
  if (!source) return ReadFailure{"the file cannot be read"};
  AviMovieReader movie;
  movie.source_ = std::move(source);
  AviStructureReader structure(movie);
  if (ReadStatus s = structure.read(); !s) return ReadFailure{s.error()};
  return movie;
}

ReadStatus AviMovieReader::readChunk(const AviChunkRef& chunk, std::vector<std::uint8_t>& out) {
  std::array<std::uint8_t, 8> h{};
  if (chunk.offset < 8 || !source_->read(chunk.offset - 8, h)) return ReadFailure{"the file cannot be read"};
  if (std::find(chunkIds_.begin(), chunkIds_.end(), le32(h, 0)) == chunkIds_.end() || le32(h, 4) != chunk.size)
    return damaged("the index does not point at a chunk of the movie");
  out.resize(chunk.size);
  if (!source_->read(chunk.offset, out)) return ReadFailure{"the file cannot be read"};
  return kReadOk;
}

}  // namespace ks
