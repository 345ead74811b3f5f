#include "avi_reader.h"

#include <algorithm>
#include <sstream>

namespace ks::test {
namespace {

constexpr std::uint32_t kRiff = fourCC('R', 'I', 'F', 'F');
constexpr std::uint32_t kList = fourCC('L', 'I', 'S', 'T');

class Bytes {
 public:
  explicit Bytes(std::span<const std::uint8_t> b) : b_(b) {}
  bool has(std::uint64_t at, std::uint64_t n) const { return at <= b_.size() && n <= b_.size() - at; }
  std::uint8_t u8(std::uint64_t at) const { return has(at, 1) ? b_[at] : 0; }
  std::uint16_t u16(std::uint64_t at) const {
    return static_cast<std::uint16_t>(u8(at) | u8(at + 1) << 8);
  }
  std::uint32_t u32(std::uint64_t at) const {
    return static_cast<std::uint32_t>(u16(at)) | static_cast<std::uint32_t>(u16(at + 2)) << 16;
  }
  std::uint64_t u64(std::uint64_t at) const {
    return static_cast<std::uint64_t>(u32(at)) | static_cast<std::uint64_t>(u32(at + 4)) << 32;
  }
  std::uint64_t size() const { return b_.size(); }

 private:
  std::span<const std::uint8_t> b_;
};

std::string at(std::uint64_t offset) {
  std::ostringstream s;
  s << " at " << offset;
  return s.str();
}

void parseChildren(const Bytes& b, AviChunk& parent, std::uint64_t from, std::uint64_t end,
                   std::vector<std::string>& problems) {
  std::uint64_t pos = from;
  while (pos < end) {
    if (end - pos < 8) {
      problems.push_back("stray bytes" + at(pos));
      return;
    }
    AviChunk c;
    c.offset = pos;
    c.id = b.u32(pos);
    c.size = b.u32(pos + 4);
    const std::uint64_t next = pos + 8 + c.size + (c.size & 1);
    if (next > end) {
      problems.push_back(fourCCText(c.id) + " overruns its parent" + at(pos));
      return;
    }
    if (c.id == kList) {
      if (c.size < 4) {
        problems.push_back("LIST without a type" + at(pos));
        return;
      }
      c.type = b.u32(pos + 8);
      parseChildren(b, c, pos + 12, pos + 8 + c.size, problems);
    }
    parent.children.push_back(std::move(c));
    pos = next;
  }
}

MainHeader readMainHeader(const Bytes& b, std::uint64_t p) {
  MainHeader h{};
  h.microSecPerFrame = b.u32(p);
  h.maxBytesPerSec = b.u32(p + 4);
  h.paddingGranularity = b.u32(p + 8);
  h.flags = b.u32(p + 12);
  h.totalFrames = b.u32(p + 16);
  h.initialFrames = b.u32(p + 20);
  h.streams = b.u32(p + 24);
  h.suggestedBufferSize = b.u32(p + 28);
  h.width = static_cast<std::int32_t>(b.u32(p + 32));
  h.height = static_cast<std::int32_t>(b.u32(p + 36));
  for (int i = 0; i < 4; ++i) h.reserved[i] = b.u32(p + 40 + 4 * i);
  return h;
}

StreamHeader readStreamHeader(const Bytes& b, std::uint64_t p) {
  StreamHeader h{};
  h.fccType = b.u32(p);
  h.fccHandler = b.u32(p + 4);
  h.flags = b.u32(p + 8);
  h.priority = b.u16(p + 12);
  h.language = b.u16(p + 14);
  h.initialFrames = b.u32(p + 16);
  h.scale = b.u32(p + 20);
  h.rate = b.u32(p + 24);
  h.start = b.u32(p + 28);
  h.length = b.u32(p + 32);
  h.suggestedBufferSize = b.u32(p + 36);
  h.quality = b.u32(p + 40);
  h.sampleSize = b.u32(p + 44);
  h.left = static_cast<std::int16_t>(b.u16(p + 48));
  h.top = static_cast<std::int16_t>(b.u16(p + 50));
  h.right = static_cast<std::int16_t>(b.u16(p + 52));
  h.bottom = static_cast<std::int16_t>(b.u16(p + 54));
  return h;
}

BitmapInfoHeader readBitmapInfo(const Bytes& b, std::uint64_t p) {
  BitmapInfoHeader h;
  h.biSize = b.u32(p);
  h.biWidth = static_cast<std::int32_t>(b.u32(p + 4));
  h.biHeight = static_cast<std::int32_t>(b.u32(p + 8));
  h.biPlanes = b.u16(p + 12);
  h.biBitCount = b.u16(p + 14);
  h.biCompression = b.u32(p + 16);
  h.biSizeImage = b.u32(p + 20);
  h.biXPelsPerMeter = static_cast<std::int32_t>(b.u32(p + 24));
  h.biYPelsPerMeter = static_cast<std::int32_t>(b.u32(p + 28));
  h.biClrUsed = b.u32(p + 32);
  h.biClrImportant = b.u32(p + 36);
  return h;
}

WaveFormat readWaveFormat(const Bytes& b, std::uint64_t p) {
  return {b.u16(p), b.u16(p + 2), b.u32(p + 4), b.u32(p + 8), b.u16(p + 12), b.u16(p + 14)};
}

StandardIndex readStandardIndex(const Bytes& b, const AviChunk& c, std::vector<std::string>& problems) {
  StandardIndex ix;
  const std::uint64_t p = c.data();
  ix.chunkOffset = c.offset;
  ix.longsPerEntry = b.u16(p);
  ix.subType = b.u8(p + 2);
  ix.type = b.u8(p + 3);
  const std::uint32_t used = b.u32(p + 4);
  ix.chunkId = b.u32(p + 8);
  ix.baseOffset = b.u64(p + 12);
  if (c.size != 24 + 8ull * used) problems.push_back(fourCCText(c.id) + " size/entry mismatch" + at(c.offset));
  for (std::uint32_t i = 0; i < used && 24 + 8ull * i + 8 <= c.size; ++i)
    ix.entries.emplace_back(b.u32(p + 24 + 8ull * i), b.u32(p + 28 + 8ull * i));
  return ix;
}

// The second strl: an 'auds' stream of PCM with its own super index.
void readSoundList(const Bytes& b, const AviChunk& strl, SoundStream& s, std::vector<std::string>& problems) {
  if (const AviChunk* strh = strl.child(fourCC('s', 't', 'r', 'h')); strh && strh->size == 56)
    s.strh = readStreamHeader(b, strh->data());
  else
    problems.push_back("no 56-byte sound strh");
  if (const AviChunk* strf = strl.child(fourCC('s', 't', 'r', 'f')); strf && strf->size >= 16) {
    s.strf = readWaveFormat(b, strf->data());
    s.strfSize = strf->size;
    if (strf->size >= 18 && b.u16(strf->data() + 16) != 0) problems.push_back("WAVEFORMATEX cbSize not 0");
  } else {
    problems.push_back("no sound strf");
  }
  if (s.strf.nBlockAlign == 0) problems.push_back("sound nBlockAlign 0");
  if (const AviChunk* indx = strl.child(fourCC('i', 'n', 'd', 'x'))) {
    s.hasSuperIndex = true;
    const std::uint64_t p = indx->data();
    s.superType = b.u16(p) == 4 && b.u8(p + 2) == 0 ? b.u8(p + 3) : 0xFF;
    s.superChunkId = b.u32(p + 8);
    s.superCapacity = indx->size >= 24 ? (indx->size - 24) / 16 : 0;
    if (b.u32(p + 4) > s.superCapacity) problems.push_back("sound super index overfull");
    for (std::uint32_t i = 0; i < b.u32(p + 4) && i < s.superCapacity; ++i)
      s.superIndex.push_back({b.u64(p + 24 + 16ull * i), b.u32(p + 32 + 16ull * i), b.u32(p + 36 + 16ull * i)});
  }
}

}  // namespace

std::string fourCCText(std::uint32_t v) {
  std::string s;
  for (int i = 0; i < 4; ++i) {
    const char c = static_cast<char>(v >> (8 * i));
    s += (c >= 32 && c < 127) ? c : '?';
  }
  return "'" + s + "'";
}

const AviChunk* AviChunk::child(std::uint32_t wanted, std::uint32_t wantedType) const {
  for (const AviChunk& c : children)
    if (c.id == wanted && (wantedType == 0 || c.type == wantedType)) return &c;
  return nullptr;
}

AviFile parseAvi(std::span<const std::uint8_t> bytes) {
  AviFile f;
  const Bytes b(bytes);
  std::uint64_t pos = 0;
  while (pos < b.size()) {
    if (b.size() - pos < 12 || b.u32(pos) != kRiff) {
      f.problems.push_back("expected RIFF" + at(pos));
      break;
    }
    AviChunk r;
    r.offset = pos;
    r.id = kRiff;
    r.size = b.u32(pos + 4);
    r.type = b.u32(pos + 8);
    const std::uint64_t end = pos + 8 + r.size;
    if (r.size & 1) f.problems.push_back("odd RIFF size" + at(pos));
    if (end > b.size()) {
      f.problems.push_back("RIFF overruns the file" + at(pos));
      break;
    }
    const std::uint32_t want = f.riffs.empty() ? fourCC('A', 'V', 'I', ' ') : fourCC('A', 'V', 'I', 'X');
    if (r.type != want) f.problems.push_back("RIFF form " + fourCCText(r.type) + at(pos));
    parseChildren(b, r, pos + 12, end, f.problems);
    f.riffs.push_back(std::move(r));
    pos = end;
  }
  if (f.riffs.empty()) return f;

  const AviChunk& first = f.riffs[0];
  const AviChunk* hdrl = first.child(kList, fourCC('h', 'd', 'r', 'l'));
  if (!hdrl) {
    f.problems.push_back("no hdrl");
    return f;
  }
  if (const AviChunk* avih = hdrl->child(fourCC('a', 'v', 'i', 'h')); avih && avih->size == 56)
    f.avih = readMainHeader(b, avih->data());
  else
    f.problems.push_back("no 56-byte avih");
  const AviChunk* strl = hdrl->child(kList, fourCC('s', 't', 'r', 'l'));
  if (!strl) {
    f.problems.push_back("no strl");
    return f;
  }
  if (const AviChunk* strh = strl->child(fourCC('s', 't', 'r', 'h')); strh && strh->size == 56)
    f.strh = readStreamHeader(b, strh->data());
  else
    f.problems.push_back("no 56-byte strh");
  if (const AviChunk* strf = strl->child(fourCC('s', 't', 'r', 'f')); strf && strf->size >= 40) {
    f.strf = readBitmapInfo(b, strf->data());
    f.strfSize = strf->size;
  } else {
    f.problems.push_back("no strf");
  }
  if (const AviChunk* indx = strl->child(fourCC('i', 'n', 'd', 'x'))) {
    f.hasSuperIndex = true;
    const std::uint64_t p = indx->data();
    f.superLongsPerEntry = b.u16(p);
    f.superSubType = b.u8(p + 2);
    f.superType = b.u8(p + 3);
    const std::uint32_t used = b.u32(p + 4);
    f.superChunkId = b.u32(p + 8);
    f.superCapacity = indx->size >= 24 ? (indx->size - 24) / 16 : 0;
    if (used > f.superCapacity) f.problems.push_back("super index overfull");
    for (std::uint32_t i = 0; i < used && i < f.superCapacity; ++i) {
      const std::uint64_t e = p + 24 + 16ull * i;
      f.superIndex.push_back({b.u64(e), b.u32(e + 8), b.u32(e + 12)});
    }
  }
  for (const AviChunk& c : hdrl->children) {
    if (c.id != kList || c.type != fourCC('s', 't', 'r', 'l') || &c == strl) continue;
    if (f.hasSound) f.problems.push_back("more than two strl");
    f.hasSound = true;
    readSoundList(b, c, f.sound, f.problems);
  }
  if (const AviChunk* odml = hdrl->child(kList, fourCC('o', 'd', 'm', 'l'))) {
    if (const AviChunk* dmlh = odml->child(fourCC('d', 'm', 'l', 'h')); dmlh && dmlh->size >= 4) {
      f.hasDmlh = true;
      f.dmlhTotalFrames = b.u32(dmlh->data());
    }
  }
  if (const AviChunk* idx1 = first.child(fourCC('i', 'd', 'x', '1'))) {
    f.hasLegacyIndex = true;
    if (idx1->size % 16) f.problems.push_back("idx1 size not a multiple of 16");
    for (std::uint32_t i = 0; i < idx1->size / 16; ++i) {
      const std::uint64_t e = idx1->data() + 16ull * i;
      f.legacyIndex.push_back({b.u32(e), b.u32(e + 4), b.u32(e + 8), b.u32(e + 12)});
    }
  }

  for (std::size_t r = 0; r < f.riffs.size(); ++r) {
    const AviChunk* movi = f.riffs[r].child(kList, fourCC('m', 'o', 'v', 'i'));
    if (!movi) {
      f.problems.push_back("RIFF without movi" + at(f.riffs[r].offset));
      f.framesPerRiff.push_back(0);
      f.sound.chunksPerRiff.push_back(0);
      continue;
    }
    if (r == 0) f.firstMoviTag = movi->offset + 8;
    int n = 0, sounds = 0;
    for (const AviChunk& c : movi->children) {
      if (c.id == kFrameChunkId || c.id == kCompressedFrameChunkId) {
        if (f.frames.empty()) f.frameChunkId = c.id;
        if (c.id != f.frameChunkId) f.problems.push_back("mixed frame chunk ids" + at(c.offset));
        f.frames.push_back({c.offset, c.size, static_cast<int>(r)});
        ++n;
      } else if (c.id == fourCC('i', 'x', '0', '0')) {
        f.standardIndexes.push_back(readStandardIndex(b, c, f.problems));
      } else if (f.hasSound && c.id == kSoundChunkId) {
        f.sound.chunks.push_back({c.offset, c.size, static_cast<int>(r)});
        ++sounds;
      } else if (f.hasSound && c.id == fourCC('i', 'x', '0', '1')) {
        f.sound.standardIndexes.push_back(readStandardIndex(b, c, f.problems));
      } else {
        f.problems.push_back("unexpected chunk " + fourCCText(c.id) + " in movi" + at(c.offset));
      }
    }
    f.framesPerRiff.push_back(n);
    f.sound.chunksPerRiff.push_back(sounds);
  }
  // A movie without frames names its chunks in the super index only.
  if (f.frames.empty() && f.hasSuperIndex) f.frameChunkId = f.superChunkId;
  return f;
}

std::vector<std::string> checkIndexes(const AviFile& f, bool complete,
                                      const std::vector<bool>& keyFrames) {
  std::vector<std::string> p;
  if (f.riffs.empty()) return {"no RIFF"};
  auto expect = [&p](bool ok, const std::string& what) {
    if (!ok) p.push_back(what);
  };
  if (!keyFrames.empty()) expect(keyFrames.size() == f.frames.size(), "key frame list != frames");
  auto isKey = [&keyFrames](std::size_t i) { return keyFrames.empty() || (i < keyFrames.size() && keyFrames[i]); };
  const std::uint32_t id = f.frameChunkId;
  const int firstFrames = f.framesPerRiff.empty() ? 0 : f.framesPerRiff[0];

  expect(f.avih.totalFrames == static_cast<std::uint32_t>(firstFrames),
         "avih dwTotalFrames " + std::to_string(f.avih.totalFrames) + " != frames in RIFF 1 " +
             std::to_string(firstFrames));
  expect(f.strh.length == f.frames.size(), "strh dwLength " + std::to_string(f.strh.length) +
                                               " != frames " + std::to_string(f.frames.size()));
  expect(f.hasDmlh, "no dmlh");
  expect(f.dmlhTotalFrames == f.frames.size(), "dmlh dwTotalFrames " +
                                                   std::to_string(f.dmlhTotalFrames) + " != frames " +
                                                   std::to_string(f.frames.size()));

  expect(f.avih.streams == (f.hasSound ? 2u : 1u), "avih dwStreams " + std::to_string(f.avih.streams));

  // Legacy index: exactly the first RIFF's chunks of both streams in file
  // order, offsets from the 'movi' tag.
  if (f.hasLegacyIndex) {
    expect((f.avih.flags & kAviHasIndex) != 0, "idx1 present but AVIF_HASINDEX clear");
    std::vector<LegacyEntry> want;
    for (std::size_t i = 0; i < static_cast<std::size_t>(firstFrames) && i < f.frames.size(); ++i)
      want.push_back({id, isKey(i) ? kIndexKeyFrame : 0u, static_cast<std::uint32_t>(f.frames[i].offset - f.firstMoviTag),
                      f.frames[i].size});
    for (const Frame& c : f.sound.chunks)
      if (c.riff == 0)
        want.push_back({kSoundChunkId, kIndexKeyFrame, static_cast<std::uint32_t>(c.offset - f.firstMoviTag), c.size});
    std::sort(want.begin(), want.end(), [](const LegacyEntry& a, const LegacyEntry& b) { return a.offset < b.offset; });
    expect(f.legacyIndex.size() == want.size(), "idx1 entry count");
    for (std::size_t i = 0; i < f.legacyIndex.size() && i < want.size(); ++i) {
      const LegacyEntry& e = f.legacyIndex[i];
      expect(e.id == want[i].id, "idx1 id " + std::to_string(i));
      expect(e.flags == want[i].flags, "idx1 flags " + std::to_string(i));
      expect(e.offset == want[i].offset, "idx1 offset " + std::to_string(i));
      expect(e.size == want[i].size, "idx1 size " + std::to_string(i));
    }
  } else {
    expect((f.avih.flags & kAviHasIndex) == 0, "AVIF_HASINDEX without idx1");
    expect(!complete, "no idx1");
  }

  // Standard indexes: one per RIFF, entries pointing at the chunk data.
  std::size_t frameBase = 0;
  for (std::size_t r = 0; r < f.riffs.size(); ++r) {
    const int n = r < f.framesPerRiff.size() ? f.framesPerRiff[r] : 0;
    const StandardIndex* ix = nullptr;
    for (const StandardIndex& s : f.standardIndexes)
      if (s.chunkOffset > f.riffs[r].offset && s.chunkOffset < f.riffs[r].offset + 8 + f.riffs[r].size)
        ix = &s;
    const std::string where = " (RIFF " + std::to_string(r) + ")";
    if (!ix) {
      expect(!complete, "no ix00" + where);
    } else {
      expect(ix->longsPerEntry == 2 && ix->subType == 0 && ix->type == 1, "ix00 header" + where);
      expect(ix->chunkId == id, "ix00 chunk id" + where);
      expect(ix->entries.size() == static_cast<std::size_t>(n), "ix00 entry count" + where);
      for (std::size_t i = 0; i < ix->entries.size() && frameBase + i < f.frames.size(); ++i) {
        const Frame& fr = f.frames[frameBase + i];
        expect(ix->baseOffset + ix->entries[i].first == fr.offset + 8, "ix00 offset" + where);
        expect(ix->entries[i].second == (fr.size | (isKey(frameBase + i) ? 0u : 0x80000000u)),
               "ix00 size/key flag " + std::to_string(frameBase + i) + where);
      }
    }
    frameBase += static_cast<std::size_t>(n);
  }

  // Super index: one entry per RIFF with an ix00, in order.
  if (f.hasSuperIndex) {
    expect(f.superLongsPerEntry == 4 && f.superSubType == 0 && f.superType == 0, "indx header");
    expect(f.superChunkId == id, "indx chunk id");
    expect(f.superIndex.size() == f.standardIndexes.size(), "indx entries != ix00 chunks");
    for (std::size_t i = 0; i < f.superIndex.size() && i < f.standardIndexes.size(); ++i) {
      const StandardIndex& ix = f.standardIndexes[i];
      const SuperIndexEntry& e = f.superIndex[i];
      expect(e.offset == ix.chunkOffset, "indx offset " + std::to_string(i));
      expect(e.size == 8 + 24 + 8 * ix.entries.size(), "indx size " + std::to_string(i));
      expect(e.duration == ix.entries.size(), "indx duration " + std::to_string(i));
    }
  } else {
    expect(!complete, "no indx");
    expect(f.standardIndexes.empty() || f.standardIndexes.size() == 1,
           "several ix00 without a super index");
  }
  if (complete) expect(f.superIndex.size() == f.riffs.size(), "indx entries != RIFFs");
  if (!f.hasSound) return p;

  // Sound: whole blocks, counted in strh; an ix01 per RIFF, listed in its own
  // super index with durations in sample frames.
  const SoundStream& s = f.sound;
  const std::uint32_t block = std::max<std::uint32_t>(s.strf.nBlockAlign, 1);
  std::uint64_t bytes = 0;
  for (const Frame& c : s.chunks) {
    expect(c.size % block == 0 && c.size > 0, "sound chunk of part blocks" + at(c.offset));
    bytes += c.size;
  }
  expect(s.strh.fccType == kStreamTypeAudio, "sound strh fccType");
  expect(s.strh.length == bytes / block, "sound strh dwLength " + std::to_string(s.strh.length) +
                                             " != sample frames " + std::to_string(bytes / block));
  std::size_t base = 0;
  for (std::size_t r = 0; r < f.riffs.size(); ++r) {
    const int n = r < s.chunksPerRiff.size() ? s.chunksPerRiff[r] : 0;
    const StandardIndex* ix = nullptr;
    for (const StandardIndex& x : s.standardIndexes)
      if (x.chunkOffset > f.riffs[r].offset && x.chunkOffset < f.riffs[r].offset + 8 + f.riffs[r].size) ix = &x;
    const std::string where = " (RIFF " + std::to_string(r) + ")";
    if (!ix) {
      expect(!complete, "no ix01" + where);
    } else {
      expect(ix->longsPerEntry == 2 && ix->subType == 0 && ix->type == 1, "ix01 header" + where);
      expect(ix->chunkId == kSoundChunkId, "ix01 chunk id" + where);
      expect(ix->entries.size() == static_cast<std::size_t>(n), "ix01 entry count" + where);
      for (std::size_t i = 0; i < ix->entries.size() && base + i < s.chunks.size(); ++i) {
        expect(ix->baseOffset + ix->entries[i].first == s.chunks[base + i].offset + 8, "ix01 offset" + where);
        expect(ix->entries[i].second == s.chunks[base + i].size, "ix01 size " + std::to_string(base + i) + where);
      }
    }
    base += static_cast<std::size_t>(n);
  }
  if (s.hasSuperIndex) {
    expect(s.superType == 0 && s.superChunkId == kSoundChunkId, "sound indx header");
    expect(s.superIndex.size() == s.standardIndexes.size(), "sound indx entries != ix01 chunks");
    for (std::size_t i = 0; i < s.superIndex.size() && i < s.standardIndexes.size(); ++i) {
      const StandardIndex& ix = s.standardIndexes[i];
      std::uint64_t riffBytes = 0;
      for (const auto& e : ix.entries) riffBytes += e.second;
      expect(s.superIndex[i].offset == ix.chunkOffset, "sound indx offset " + std::to_string(i));
      expect(s.superIndex[i].size == 8 + 24 + 8 * ix.entries.size(), "sound indx size " + std::to_string(i));
      expect(s.superIndex[i].duration == riffBytes / block, "sound indx duration " + std::to_string(i));
    }
  } else {
    expect(!complete, "no sound indx");
  }
  if (complete) expect(s.superIndex.size() == f.riffs.size(), "sound indx entries != RIFFs");
  return p;
}

std::string joined(const std::vector<std::string>& problems) {
  std::string s;
  for (const std::string& p : problems) s += p + "; ";
  return s;
}

}  // namespace ks::test
