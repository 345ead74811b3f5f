#include "media/file_outputs.h"

#include <optional>

#include "media/gif_writer.h"
#include "media/zmbv_encoder.h"

namespace ks {

namespace {

class AviOutput final : public MovieOutput {
 public:
  AviOutput(const AviWriterOptions& options, bool zmbv, std::uint32_t rate)
      : writer_(options), zmbv_(zmbv), rate_(rate) {}

  bool open(std::unique_ptr<FileSink> sink, const BitmapInfoHeader& frameFormat, bool sound) {
    const BitmapInfoHeader stored = zmbv_ ? zmbvFrameFormat(frameFormat.biWidth, frameFormat.biHeight) : frameFormat;
    return writer_.open(std::move(sink), stored, rate_, sound ? std::optional<WaveFormat>(WaveFormat{}) : std::nullopt);
  }

  std::unique_ptr<FrameEncoder> makeEncoder(const BitmapInfoHeader& frameFormat) override {
    if (!zmbv_) return nullptr;
    ZmbvOptions options;
    options.keyInterval = 2 * rate_;
    return std::make_unique<ZmbvEncoder>(frameFormat.biWidth, frameFormat.biHeight, options);
  }
  bool writeFrame(std::int32_t, std::span<const std::uint8_t> bytes, bool keyFrame) override {
    return writer_.writeFrame(bytes.data(), static_cast<std::uint32_t>(bytes.size()), keyFrame);
  }
  bool writeSound(const std::int16_t* samples, std::uint32_t frames) override {
    return writer_.writeSound(samples, frames * 2 * static_cast<std::uint32_t>(sizeof(std::int16_t)));
  }
  bool checkpoint() override { return writer_.checkpoint(); }
  bool close() override { return writer_.close(); }
  bool hasSound() const override { return writer_.hasSound(); }
  AviStreamInfo streamInfo() const override { return writer_.streamInfo(); }

 private:
  AviWriter writer_;
  bool zmbv_;
  std::uint32_t rate_;
};

class GifOutput final : public MovieOutput {
 public:
  explicit GifOutput(std::uint32_t rate) : rate_(rate) {}

  bool open(std::unique_ptr<FileSink> sink, const BitmapInfoHeader& frameFormat) {
    return gif_.open(std::move(sink), frameFormat.biWidth, frameFormat.biHeight, rate_);
  }

  std::unique_ptr<FrameEncoder> makeEncoder(const BitmapInfoHeader& frameFormat) override {
    return std::make_unique<GifFrameEncoder>(frameFormat.biWidth, frameFormat.biHeight, rate_);
  }
  bool writeFrame(std::int32_t index, std::span<const std::uint8_t> bytes, bool) override {
    return gif_.writeFrame(static_cast<std::uint64_t>(index), bytes);
  }
  bool writeSound(const std::int16_t*, std::uint32_t) override { return false; }
  // Its frames are in the file as soon as they are written.
  bool checkpoint() override { return true; }
  bool close() override { return gif_.close(); }
  bool hasSound() const override { return false; }
  AviStreamInfo streamInfo() const override {
    AviStreamInfo info{};
    info.dwScale = 1;
    info.dwRate = rate_;
    return info;
  }

 private:
  GifWriter gif_;
  std::uint32_t rate_;
};

}  // namespace

std::unique_ptr<MovieOutput> openFileOutput(std::unique_ptr<FileSink> sink, MovieFormat format,
                                            const BitmapInfoHeader& frameFormat, std::uint32_t rate, bool sound,
                                            const AviWriterOptions& options) {
  if (format == MovieFormat::Gif) {
    auto gif = std::make_unique<GifOutput>(rate);
    if (!gif->open(std::move(sink), frameFormat)) return nullptr;
    return gif;
  }
  if (format != MovieFormat::Uncompressed && format != MovieFormat::Zmbv) return nullptr;
  auto avi = std::make_unique<AviOutput>(options, format == MovieFormat::Zmbv, rate);
  if (!avi->open(std::move(sink), frameFormat, sound)) return nullptr;
  return avi;
}

}  // namespace ks
