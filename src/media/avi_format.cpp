#include "media/avi_format.h"

namespace ks {

AviStreamInfo makeStreamInfo(const BitmapInfoHeader& format, std::uint32_t rate) {
  AviStreamInfo s;
  s.fccType = kStreamTypeVideo;
  s.fccHandler = format.biCompression;
  s.dwScale = 1;
  s.dwRate = rate;
  s.dwSuggestedBufferSize = isCompressed(format) ? 0 : format.biSizeImage;
  s.rcFrame = AviRect{0, 0, format.biWidth, format.biHeight};
  return s;
}

AviStreamInfo makeStreamInfo(const WaveFormat& format) {
  AviStreamInfo s;
  s.fccType = kStreamTypeAudio;
  s.dwScale = format.nBlockAlign;
  s.dwRate = format.nAvgBytesPerSec;
  s.dwSampleSize = format.nBlockAlign;
  return s;
}

void serialize(ByteWriter& w, const BitmapInfoHeader& h) {
  w.u32(h.biSize);
  w.i32(h.biWidth);
  w.i32(h.biHeight);
  w.u16(h.biPlanes);
  w.u16(h.biBitCount);
  w.u32(h.biCompression);
  w.u32(h.biSizeImage);
  w.i32(h.biXPelsPerMeter);
  w.i32(h.biYPelsPerMeter);
  w.u32(h.biClrUsed);
  w.u32(h.biClrImportant);
}

void serialize(ByteWriter& w, const WaveFormat& f) {
  w.u16(f.wFormatTag);
  w.u16(f.nChannels);
  w.u32(f.nSamplesPerSec);
  w.u32(f.nAvgBytesPerSec);
  w.u16(f.nBlockAlign);
  w.u16(f.wBitsPerSample);
  w.u16(0);  // cbSize
}

}  // namespace ks
