#include "media/mp4_index.h"

#include <algorithm>
#include <array>
#include <bit>
#include <limits>
#include <map>
#include <numeric>
#include <span>

#include "media/avi_movie_reader.h"  // kMaxReadSide

namespace ks {
namespace {

using Bytes = std::span<const std::uint8_t>;

constexpr std::uint32_t code(const char (&s)[5]) {
  return std::uint32_t(std::uint8_t(s[0])) << 24 | std::uint32_t(std::uint8_t(s[1])) << 16 |
         std::uint32_t(std::uint8_t(s[2])) << 8 | std::uint32_t(std::uint8_t(s[3]));
}

constexpr std::uint32_t kFtyp = code("ftyp"), kMoov = code("moov"), kMoof = code("moof");
constexpr std::uint32_t kTrak = code("trak"), kTkhd = code("tkhd"), kMdia = code("mdia");
constexpr std::uint32_t kMdhd = code("mdhd"), kHdlr = code("hdlr"), kMinf = code("minf");
constexpr std::uint32_t kStbl = code("stbl"), kStsd = code("stsd"), kStts = code("stts");
constexpr std::uint32_t kCtts = code("ctts"), kStss = code("stss"), kStsz = code("stsz");
constexpr std::uint32_t kStz2 = code("stz2"), kMvex = code("mvex"), kTrex = code("trex");
constexpr std::uint32_t kTraf = code("traf"), kTfhd = code("tfhd"), kTfdt = code("tfdt");
constexpr std::uint32_t kTrun = code("trun"), kVide = code("vide"), kSoun = code("soun");

// A movie header past this is not one of a recording (a day at 60 fps
// takes some 150 MiB of tables); a fragment's header is far smaller.
constexpr std::uint64_t kMaxMoovBytes = 512u << 20, kMaxMoofBytes = 64u << 20;
// Decode times are kept below this many ticks, so that adding a
// composition offset or a duration cannot overflow.
constexpr std::int64_t kMaxTicks = std::int64_t{1} << 62;
constexpr std::uint32_t kNonSyncSample = 0x00010000;

// tfhd and trun flags.
constexpr std::uint32_t kBaseDataOffset = 0x1, kDescriptionIndex = 0x2, kDefaultDuration = 0x8,
                        kDefaultSize = 0x10, kDefaultFlags = 0x20, kDefaultBaseIsMoof = 0x20000;
constexpr std::uint32_t kDataOffset = 0x1, kFirstSampleFlags = 0x4, kSampleDuration = 0x100,
                        kSampleSize = 0x200, kSampleFlags = 0x400, kSampleCompositionOffset = 0x800;

std::uint16_t be16(Bytes b, std::size_t at) {
  return at <= b.size() && b.size() - at >= 2 ? static_cast<std::uint16_t>(b[at] << 8 | b[at + 1]) : 0;
}
std::uint32_t be32(Bytes b, std::size_t at) {
  return at <= b.size() && b.size() - at >= 4 ? std::uint32_t{be16(b, at)} << 16 | be16(b, at + 2) : 0;
}
std::uint64_t be64(Bytes b, std::size_t at) { return std::uint64_t{be32(b, at)} << 32 | be32(b, at + 4); }
std::uint8_t version(Bytes fullBox) { return fullBox.empty() ? 0 : fullBox[0]; }
std::uint32_t flags(Bytes fullBox) { return be32(fullBox, 0) & 0xFFFFFF; }

std::string boxName(std::uint32_t type) {
  std::string s;
  for (int shift = 24; shift >= 0; shift -= 8) {
    const char c = static_cast<char>(type >> shift);
    s += (c >= 32 && c < 127) ? c : '?';
  }
  return s;
}

struct BoxHeader {
  std::uint32_t type = 0;
  std::uint64_t headerBytes = 8, size = 0;
};

// The header at the start of `h` of a box with `room` bytes left in its
// parent; a size of 0 runs to the parent's end. The size may overrun `room`.
ReadStatus parseHeader(Bytes h, std::uint64_t room, BoxHeader& out) {
  out.type = be32(h, 4);
  const std::uint32_t small = be32(h, 0);
  out.headerBytes = small == 1 ? 16 : 8;
  if (h.size() < out.headerBytes || room < out.headerBytes)
    return damaged("its '" + boxName(out.type) + "' box is cut short");
  out.size = small == 1 ? be64(h, 8) : small == 0 ? room : small;
  if (out.size < out.headerBytes)
    return damaged("its '" + boxName(out.type) + "' box has a size of " + std::to_string(out.size) + " bytes");
  return kReadOk;
}

struct Box {
  std::uint32_t type = 0;
  Bytes body;
};

// The boxes of a box held in memory; a few bytes too few for a box at the
// end are passed over.
ReadStatus children(Bytes list, std::vector<Box>& out) {
  out.clear();
  std::size_t pos = 0;
  while (list.size() - pos >= 8) {
    BoxHeader h;
    const Bytes rest = list.subspan(pos);
    if (ReadStatus s = parseHeader(rest.first(std::min<std::size_t>(rest.size(), 16)), rest.size(), h); !s) return s;
    if (h.size > rest.size()) return damaged("its '" + boxName(h.type) + "' box overruns the box it is in");
    out.push_back({h.type, rest.subspan(h.headerBytes, static_cast<std::size_t>(h.size - h.headerBytes))});
    pos += static_cast<std::size_t>(h.size);
  }
  return kReadOk;
}

const Box* find(const std::vector<Box>& boxes, std::uint32_t type) {
  const auto it = std::find_if(boxes.begin(), boxes.end(), [&](const Box& b) { return b.type == type; });
  return it == boxes.end() ? nullptr : &*it;
}

ReadStatus childrenOf(const Box* box, std::vector<Box>& out) {
  out.clear();
  return box ? children(box->body, out) : kReadOk;
}

// The entries of a table box: `count` (at `countAt`) of `entryBytes` each
// after `headerBytes`, checked to fit in the box.
ReadStatus tableEntries(const Box& box, std::size_t headerBytes, std::size_t countAt, std::size_t entryBytes,
                        std::uint32_t& count) {
  if (box.body.size() < headerBytes) return damaged("its '" + boxName(box.type) + "' table is cut short");
  count = be32(box.body, countAt);
  const std::uint64_t room = (box.body.size() - headerBytes) / entryBytes;
  if (count > room)
    return damaged("its '" + boxName(box.type) + "' table lists " + std::to_string(count) + " entries in room for " +
                   std::to_string(room));
  return kReadOk;
}

// The length of a descriptor in an 'esds' box: up to four bytes of seven bits.
std::size_t descriptorLength(Bytes b, std::size_t& at) {
  std::size_t length = 0;
  for (int i = 0; i < 4 && at < b.size(); ++i) {
    const std::uint8_t byte = b[at++];
    length = length << 7 | (byte & 0x7F);
    if (!(byte & 0x80)) break;
  }
  return length;
}

// The sample rate and channels an AAC track's decoder configuration gives;
// the sample entry's own fields hold a fixed 2 channels for MP4. Leaves them
// as they are when the configuration is missing or says nothing.
void readAacConfig(Bytes esds, std::uint32_t& rate, std::uint16_t& channels) {
  std::size_t at = 4;  // after version and flags
  if (at >= esds.size() || esds[at++] != 0x03) return;  // the elementary stream's descriptor
  descriptorLength(esds, at);
  if (at + 3 > esds.size()) return;
  const std::uint8_t streamFlags = esds[at + 2];
  at += 3;
  if (streamFlags & 0x80) at += 2;
  if ((streamFlags & 0x40) && at < esds.size()) at += 1 + std::size_t{esds[at]};
  if (streamFlags & 0x20) at += 2;
  if (at >= esds.size() || esds[at++] != 0x04) return;  // the decoder's configuration
  descriptorLength(esds, at);
  at += 13;
  if (at >= esds.size() || esds[at++] != 0x05) return;  // what is particular to the decoder
  const std::size_t length = descriptorLength(esds, at);
  if (at > esds.size() || esds.size() - at < std::min<std::size_t>(length, 5) || length < 2) return;
  std::uint64_t bits = 0;  // the first five bytes, the top bits first
  for (std::size_t i = 0; i < 5; ++i) bits = bits << 8 | (i < length && at + i < esds.size() ? esds[at + i] : 0);
  int used = 0;
  const auto take = [&](int n) {
    used += n;
    return static_cast<std::uint32_t>(bits >> (40 - used) & ((1u << n) - 1));
  };
  if (take(5) == 31) take(6);  // an object type past 30
  static constexpr std::uint32_t kRates[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                             22050, 16000, 12000, 11025, 8000,  7350};
  const std::uint32_t rateIndex = take(4);
  const std::uint32_t explicitRate = rateIndex == 15 ? take(24) : 0;
  if (used + 4 > 8 * static_cast<int>(std::min<std::size_t>(length, 5))) return;
  const std::uint32_t layout = take(4);
  if (rateIndex < std::size(kRates)) rate = kRates[rateIndex];
  else if (rateIndex == 15 && explicitRate != 0) rate = explicitRate;
  if (layout >= 1 && layout <= 6) channels = static_cast<std::uint16_t>(layout);
  else if (layout == 7) channels = 8;
}

struct Track {
  std::uint32_t id = 0, handler = 0, timescale = 0, entryType = 0;
  std::int32_t width = 0, height = 0;
  std::uint16_t channels = 0;
  std::uint32_t rate = 0;
  Bytes stbl;
};

ReadStatus readTrack(Bytes trak, Track& t) {
  std::vector<Box> kids, mdia, minf, stbl, entries;
  if (ReadStatus s = children(trak, kids); !s) return s;
  std::int32_t headerWidth = 0, headerHeight = 0;
  if (const Box* tkhd = find(kids, kTkhd)) {
    const bool v1 = version(tkhd->body) == 1;
    t.id = be32(tkhd->body, v1 ? 20 : 12);
    headerWidth = static_cast<std::int32_t>(be32(tkhd->body, v1 ? 88 : 76) >> 16);
    headerHeight = static_cast<std::int32_t>(be32(tkhd->body, v1 ? 92 : 80) >> 16);
  }
  if (ReadStatus s = childrenOf(find(kids, kMdia), mdia); !s) return s;
  if (const Box* mdhd = find(mdia, kMdhd)) t.timescale = be32(mdhd->body, version(mdhd->body) == 1 ? 20 : 12);
  if (const Box* hdlr = find(mdia, kHdlr)) t.handler = be32(hdlr->body, 8);
  if (ReadStatus s = childrenOf(find(mdia, kMinf), minf); !s) return s;
  const Box* stblBox = find(minf, kStbl);
  if (ReadStatus s = childrenOf(stblBox, stbl); !s) return s;
  if (stblBox) t.stbl = stblBox->body;
  const Box* stsd = find(stbl, kStsd);
  if (stsd && stsd->body.size() >= 8) {
    if (ReadStatus s = children(stsd->body.subspan(8), entries); !s) return s;
  }
  if (!entries.empty()) {
    const Bytes e = entries.front().body;  // after 6 reserved bytes and the data reference index
    t.entryType = entries.front().type;
    t.width = be16(e, 24);
    t.height = be16(e, 26);
    t.channels = be16(e, 16);
    t.rate = be32(e, 24) >> 16;  // 16.16 fixed point
    if (t.handler == kSoun && t.entryType == code("mp4a")) {
      // Sound entries of version 1 and 2 have 16 and 36 more bytes before their boxes.
      const std::uint16_t entryVersion = be16(e, 8);
      const std::size_t boxesAt = 28 + (entryVersion == 1 ? 16 : entryVersion == 2 ? 36 : 0);
      std::vector<Box> extensions;
      if (e.size() > boxesAt)
        if (ReadStatus s = children(e.subspan(boxesAt), extensions); !s) return s;
      if (const Box* esds = find(extensions, code("esds"))) readAacConfig(esds->body, t.rate, t.channels);
    }
  }
  if (t.width == 0 || t.height == 0) {
    t.width = headerWidth;
    t.height = headerHeight;
  }
  return kReadOk;
}

// A frame as the index keeps it, in decode order until sorted.
struct Sample {
  std::int64_t pts = 0;
  std::uint32_t duration = 0;
  bool key = true;
};

struct Defaults {
  std::uint32_t duration = 0, size = 0, flags = 0;
};

class Mp4IndexReader {
 public:
  explicit Mp4IndexReader(ByteSource& bytes) : bytes_(bytes) {}

  ReadStatus read(Mp4Index& index) {
    fileSize_ = bytes_.size();
    std::array<std::uint8_t, 16> h{};
    if (fileSize_ < 8 || !bytes_.read(0, std::span(h).first(8)) || be32(h, 4) != kFtyp)
      return ReadFailure{"it is not an MP4 movie"};
    bool haveMoov = false;
    for (std::uint64_t pos = 0; fileSize_ - pos >= 8 && !cutOff_;) {
      const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(fileSize_ - pos, 16));
      h.fill(0);
      if (!bytes_.read(pos, std::span(h).first(n))) return ReadFailure{"the file cannot be read"};
      BoxHeader b;
      if (ReadStatus s = parseHeader(std::span(h).first(n), fileSize_ - pos, b); !s) {
        if (haveMoov && fragmented_ && n < 16) break;  // a header cut short at the very end
        return s;
      }
      if (b.size > fileSize_ - pos) {
        // A fragmented recording killed while writing leaves its last
        // fragment cut short; anything else cut short is damage.
        if (haveMoov && fragmented_) break;
        return damaged("its '" + boxName(b.type) + "' box runs " + std::to_string(b.size - (fileSize_ - pos)) +
                       " bytes past the end of the file");
      }
      if (b.type == kMoov && !haveMoov) {
        if (ReadStatus s = readMoov(pos + b.headerBytes, b.size - b.headerBytes, index); !s) return s;
        haveMoov = true;
      } else if (b.type == kMoof && haveMoov && fragmented_) {
        if (ReadStatus s = readMoof(pos, b.headerBytes, b.size); !s) return s;
      }
      pos += b.size;
    }
    if (!haveMoov) return damaged("it has no movie header ('moov' box); the recording may have been cut off");
    return finish(index);
  }

 private:
  ReadStatus load(std::uint64_t offset, std::uint64_t size, std::uint64_t most, const char* what,
                  std::vector<std::uint8_t>& out) {
    if (size > most) return damaged(std::string(what) + " is " + std::to_string(size) + " bytes long");
    out.resize(static_cast<std::size_t>(size));
    if (!bytes_.read(offset, out)) return ReadFailure{"the file cannot be read"};
    return kReadOk;
  }

  ReadStatus readMoov(std::uint64_t offset, std::uint64_t size, Mp4Index& index) {
    if (ReadStatus s = load(offset, size, kMaxMoovBytes, "its movie header", moov_); !s) return s;
    std::vector<Box> kids, mvex;
    if (ReadStatus s = children(moov_, kids); !s) return s;
    bool havePicture = false;
    for (const Box& b : kids) {
      if (b.type != kTrak) continue;
      Track t;
      if (ReadStatus s = readTrack(b.body, t); !s) return s;
      if (t.handler == kVide && !havePicture) {
        picture_ = t;
        havePicture = true;
      } else if (t.handler == kSoun && !index.hasSound) {
        index.hasSound = true;
        index.soundCodec = boxName(t.entryType);
        index.soundChannels = t.channels;
        index.soundRate = t.rate != 0 ? t.rate : t.timescale;
      }
    }
    if (!havePicture) return ReadFailure{"the movie has no picture track"};
    if (picture_.timescale == 0) return damaged("its picture track has no time scale");
    if (picture_.width <= 0 || picture_.height <= 0) return damaged("its picture has no size");
    if (picture_.width > kMaxReadSide || picture_.height > kMaxReadSide)
      return ReadFailure{"the picture is " + std::to_string(picture_.width) + " x " + std::to_string(picture_.height) +
                         " pixels, larger than the 16384 x 16384 kestrascope reads"};
    index.width = picture_.width;
    index.height = picture_.height;
    index.pictureCodec = boxName(picture_.entryType);
    const Box* mvexBox = find(kids, kMvex);
    fragmented_ = mvexBox != nullptr;
    if (ReadStatus s = childrenOf(mvexBox, mvex); !s) return s;
    for (const Box& b : mvex)
      if (b.type == kTrex) trex_[be32(b.body, 4)] = {be32(b.body, 12), be32(b.body, 16), be32(b.body, 20)};
    return readSampleTables();
  }

  // How many frames the picture's table of sizes holds, checked against the
  // bytes it and the file have.
  ReadStatus sampleCount(const std::vector<Box>& stbl, std::uint32_t& count) const {
    if (const Box* stsz = find(stbl, kStsz)) {
      if (stsz->body.size() < 12) return damaged("its 'stsz' table is cut short");
      const std::uint32_t size = be32(stsz->body, 4);
      if (size == 0) return tableEntries(*stsz, 12, 8, 4, count);
      count = be32(stsz->body, 8);
      if (std::uint64_t{count} * size > fileSize_)
        return damaged("its 'stsz' table lists " + std::to_string(count) + " frames, more than the file holds");
      return kReadOk;
    }
    if (const Box* stz2 = find(stbl, kStz2)) {
      const std::uint8_t bits = stz2->body.size() >= 8 ? stz2->body[7] : 0;
      if (bits != 4 && bits != 8 && bits != 16) return damaged("its 'stz2' table has entries of " + std::to_string(bits) + " bits");
      if (ReadStatus s = tableEntries(*stz2, 12, 8, 1, count); !s) return s;
      if (std::uint64_t{count} * bits > std::uint64_t{stz2->body.size() - 12} * 8)
        return damaged("its 'stz2' table lists more frames than it has room for");
      return kReadOk;
    }
    count = 0;
    return fragmented_ ? kReadOk : damaged("its picture track has no table of frame sizes");
  }

  ReadStatus readSampleTables() {
    std::vector<Box> stbl;
    if (ReadStatus s = children(picture_.stbl, stbl); !s) return s;
    std::uint32_t count = 0, entries = 0;
    if (ReadStatus s = sampleCount(stbl, count); !s) return s;
    samples_.resize(count);
    std::size_t filled = 0;
    if (const Box* stts = find(stbl, kStts)) {
      if (ReadStatus s = tableEntries(*stts, 8, 4, 8, entries); !s) return s;
      for (std::uint32_t e = 0; e < entries && filled < count; ++e) {
        const std::uint32_t run = be32(stts->body, 8 + 8 * std::size_t{e}), delta = be32(stts->body, 12 + 8 * std::size_t{e});
        for (std::uint32_t i = 0; i < run && filled < count; ++i) {
          samples_[filled].pts = nextDts_;
          samples_[filled++].duration = delta;
          if ((nextDts_ += delta) > kMaxTicks) return damaged("its frame times run past what they can count");
        }
      }
    }
    if (filled < count)
      return damaged("its frame durations cover " + std::to_string(filled) + " of its " + std::to_string(count) + " frames");
    if (const Box* ctts = find(stbl, kCtts)) {
      if (ReadStatus s = tableEntries(*ctts, 8, 4, 8, entries); !s) return s;
      const bool signedOffsets = version(ctts->body) == 1;
      filled = 0;
      for (std::uint32_t e = 0; e < entries && filled < count; ++e) {
        const std::uint32_t run = be32(ctts->body, 8 + 8 * std::size_t{e}), raw = be32(ctts->body, 12 + 8 * std::size_t{e});
        const std::int64_t offset = signedOffsets ? std::int64_t{static_cast<std::int32_t>(raw)} : std::int64_t{raw};
        for (std::uint32_t i = 0; i < run && filled < count; ++i) samples_[filled++].pts += offset;
      }
    }
    if (const Box* stss = find(stbl, kStss)) {
      if (ReadStatus s = tableEntries(*stss, 8, 4, 4, entries); !s) return s;
      for (Sample& s : samples_) s.key = false;
      for (std::uint32_t e = 0; e < entries; ++e) {
        const std::uint32_t number = be32(stss->body, 8 + 4 * std::size_t{e});  // from 1
        if (number >= 1 && number <= count) samples_[number - 1].key = true;
      }
    }
    return kReadOk;
  }

  // One fragment: the frames of its picture track's runs whose bytes are in
  // the file. A run whose bytes pass the end of the file ends the movie.
  ReadStatus readMoof(std::uint64_t moofStart, std::uint64_t headerBytes, std::uint64_t size) {
    if (ReadStatus s = load(moofStart + headerBytes, size - headerBytes, kMaxMoofBytes, "a fragment's header", moof_); !s)
      return s;
    std::vector<Box> trafs, kids;
    if (ReadStatus s = children(moof_, trafs); !s) return s;
    std::uint64_t dataEnd = moofStart;  // where the last run's data ended
    bool firstTraf = true;
    for (const Box& traf : trafs) {
      if (traf.type != kTraf) continue;
      if (ReadStatus s = children(traf.body, kids); !s) return s;
      const Box* tfhd = find(kids, kTfhd);
      if (!tfhd) return damaged("a fragment has no track header");
      const std::uint32_t tf = flags(tfhd->body), track = be32(tfhd->body, 4);
      const auto trex = trex_.find(track);
      Defaults d = trex == trex_.end() ? Defaults{} : trex->second;
      std::size_t at = 8;
      std::uint64_t base = (tf & kDefaultBaseIsMoof) || firstTraf ? moofStart : dataEnd;
      if (tf & kBaseDataOffset) base = be64(tfhd->body, at), at += 8;
      if (tf & kDescriptionIndex) at += 4;
      if (tf & kDefaultDuration) d.duration = be32(tfhd->body, at), at += 4;
      if (tf & kDefaultSize) d.size = be32(tfhd->body, at), at += 4;
      if (tf & kDefaultFlags) d.flags = be32(tfhd->body, at), at += 4;
      if (tfhd->body.size() < at) return damaged("a fragment's track header is cut short");
      firstTraf = false;
      const bool picture = track == picture_.id;
      if (const Box* tfdt = find(kids, kTfdt); tfdt && picture) {
        const std::uint64_t t = version(tfdt->body) == 1 ? be64(tfdt->body, 4) : be32(tfdt->body, 4);
        if (t > std::uint64_t{kMaxTicks}) return damaged("its frame times run past what they can count");
        nextDts_ = static_cast<std::int64_t>(t);
      }
      dataEnd = base;
      for (const Box& trun : kids)
        if (trun.type == kTrun)
          if (ReadStatus s = readTrun(trun.body, d, base, picture, dataEnd); !s || cutOff_) return s;
    }
    return kReadOk;
  }

  ReadStatus readTrun(Bytes trun, const Defaults& d, std::uint64_t base, bool picture, std::uint64_t& dataEnd) {
    const std::uint32_t tr = flags(trun);
    const std::uint32_t count = be32(trun, 4);
    std::size_t at = 8;
    if (tr & kDataOffset) {
      if (base > fileSize_) return damaged("a fragment's frames lie outside the file");
      const std::int64_t start = static_cast<std::int64_t>(base) + static_cast<std::int32_t>(be32(trun, at));
      if (start < 0) return damaged("a fragment's frames lie outside the file");
      dataEnd = static_cast<std::uint64_t>(start);
      at += 4;
    }
    std::uint32_t firstFlags = d.flags;
    if (tr & kFirstSampleFlags) firstFlags = be32(trun, at), at += 4;
    if (trun.size() < at) return damaged("a fragment's run of frames is cut short");
    const std::size_t entryBytes = 4 * std::size_t(std::popcount(tr & 0xF00));
    if (entryBytes == 0 ? d.size == 0 : count > (trun.size() - at) / entryBytes)
      return damaged("a fragment's run lists " + std::to_string(count) + " frames it has no room for");
    const bool signedOffsets = version(trun) == 1;
    for (std::uint32_t i = 0; i < count; ++i, at += entryBytes) {
      std::size_t field = at;
      const auto next = [&](std::uint32_t flag, std::uint32_t fallback) {
        if (!(tr & flag)) return fallback;
        field += 4;
        return be32(trun, field - 4);
      };
      const std::uint32_t duration = next(kSampleDuration, d.duration);
      const std::uint32_t size = next(kSampleSize, d.size);
      std::uint32_t sampleFlags = next(kSampleFlags, d.flags);
      if (i == 0 && (tr & kFirstSampleFlags)) sampleFlags = firstFlags;
      const std::uint32_t raw = next(kSampleCompositionOffset, 0);
      if (dataEnd > fileSize_ || size > fileSize_ - dataEnd) {
        cutOff_ = true;  // the rest was never written
        return kReadOk;
      }
      dataEnd += size;
      if (!picture) continue;
      const std::int64_t offset = signedOffsets ? std::int64_t{static_cast<std::int32_t>(raw)} : std::int64_t{raw};
      samples_.push_back({nextDts_ + offset, duration, (sampleFlags & kNonSyncSample) == 0});
      if ((nextDts_ += duration) > kMaxTicks) return damaged("its frame times run past what they can count");
    }
    return kReadOk;
  }

  // Ticks of the picture's time scale in microseconds, rounded to nearest.
  bool toMicros(std::int64_t ticks, std::int64_t& out) const {
    const std::int64_t scale = picture_.timescale, seconds = ticks / scale, rest = ticks % scale;
    if (seconds > std::numeric_limits<std::int64_t>::max() / 1000000 - 1) return false;
    out = seconds * 1000000 + (rest * 1000000 + scale / 2) / scale;
    return true;
  }

  ReadStatus finish(Mp4Index& index) {
    if (samples_.empty()) return ReadFailure{"the movie has no frames"};
    std::vector<std::size_t> order(samples_.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return samples_[a].pts < samples_[b].pts; });
    const std::int64_t first = samples_[order.front()].pts;
    std::vector<std::int64_t> starts;
    starts.reserve(order.size() + 1);
    index.keyFrames.reserve(order.size());
    std::int64_t micros = 0;
    for (const std::size_t i : order) {
      if (!toMicros(samples_[i].pts - first, micros)) return damaged("its frame times run past what they can count");
      starts.push_back(micros);
      index.keyFrames.push_back(samples_[i].key);
    }
    const Sample& last = samples_[order.back()];
    if (!toMicros(last.pts - first + last.duration, micros)) return damaged("its frame times run past what they can count");
    starts.push_back(micros);
    index.times = FrameTimes::fromStarts(std::move(starts));
    return kReadOk;
  }

  ByteSource& bytes_;
  std::uint64_t fileSize_ = 0;
  std::vector<std::uint8_t> moov_, moof_;  // the track's tables point into moov_
  Track picture_;
  bool fragmented_ = false, cutOff_ = false;
  std::map<std::uint32_t, Defaults> trex_;
  std::vector<Sample> samples_;
  std::int64_t nextDts_ = 0;
};

}  // namespace

ReadResult<Mp4Index> readMp4Index(ByteSource& bytes) {
  Mp4Index index;
  Mp4IndexReader reader(bytes);
  if (ReadStatus s = reader.read(index); !s) return ReadFailure{s.error()};
  return index;
}

}  // namespace ks
