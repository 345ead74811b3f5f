// The WASAPI sources, run under Wine with the harness's PulseAudio null sink
// (scripts/wine-gtest --sound): a tone played through waveOut comes back
// from the sink's monitor. The format conversion runs anywhere.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32/sound_convert.h"
#include "platform/win32/wasapi_audio.h"
#include "platform/win32/win32_native.h"
#include "support/watchdog.h"

#include <mmsystem.h>

namespace ks {
namespace {

using win32::SampleLayout;
using win32::SoundConverter;

bool underWine() { return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr; }

constexpr const char* kMonitor = "Monitor of Null Output";

template <typename T>
std::vector<std::uint8_t> bytesOf(std::initializer_list<T> values) {
  std::vector<std::uint8_t> bytes(values.size() * sizeof(T));
  std::memcpy(bytes.data(), values.begin(), bytes.size());
  return bytes;
}

struct ConvertCase {
  const char* what;
  SampleLayout layout;
  std::vector<std::uint8_t> input;  // one frame
  std::int16_t left, right;
};

TEST(SoundConverter, EverySampleFormatBecomesStereo16) {
  const std::int32_t half32 = 0x40000000;
  const ConvertCase cases[] = {
      {"float mono", {48000, 1, 4, true, 0}, bytesOf<float>({0.5f}), 16384, 16384},
      {"float stereo clips", {48000, 2, 4, true, 0}, bytesOf<float>({-2.0f, 1.0f}), -32767, 32767},
      {"int32 stereo", {48000, 2, 4, false, 0}, bytesOf<std::int32_t>({half32, -half32}), 16384, -16384},
      {"packed 24-bit", {48000, 2, 3, false, 0}, {0x00, 0x00, 0x40, 0x00, 0x00, 0xC0}, 16384, -16384},
      {"unsigned 8-bit mono", {48000, 1, 1, false, 0}, {192}, 16384, 16384},
      {"5.1 front left", {48000, 6, 4, true, 0x3F}, bytesOf<float>({1, 0, 0, 0, 0, 0}), 12104, 0},
      {"5.1 centre", {48000, 6, 4, true, 0x3F}, bytesOf<float>({0, 0, 1, 0, 0, 0}), 8559, 8559},
      {"5.1 LFE is dropped", {48000, 6, 4, true, 0x3F}, bytesOf<float>({0, 0, 0, 1, 0, 0}), 0, 0},
      {"double stereo", {48000, 2, 8, true, 0}, bytesOf<double>({0.25, -0.25}), 8192, -8192},
  };
  for (const ConvertCase& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(win32::convertible(c.layout));
    SoundConverter converter(c.layout);
    const SoundConverter::Output out = converter.convert(c.input.data(), 1);
    ASSERT_EQ(out.frames, 1u);
    ASSERT_NE(out.samples, nullptr);
    EXPECT_EQ(out.samples[0], c.left);
    EXPECT_EQ(out.samples[1], c.right);
  }
  EXPECT_FALSE(win32::convertible({48000, 2, 2, true, 0})) << "16-bit float";
  EXPECT_FALSE(win32::convertible({0, 2, 2, false, 0})) << "no rate";
}

TEST(SoundConverter, NativeFormatPassesThroughAndSilenceStaysNull) {
  SoundConverter same({48000, 2, 2, false, 0});
  const std::vector<std::uint8_t> input = bytesOf<std::int16_t>({1, 2, 3, 4});
  EXPECT_EQ(same.convert(input.data(), 2).samples, reinterpret_cast<const std::int16_t*>(input.data()));
  SoundConverter floats({44100, 2, 4, true, 0});
  const SoundConverter::Output silent = floats.convert(nullptr, 441);
  EXPECT_EQ(silent.samples, nullptr);
  EXPECT_NEAR(silent.frames, 480u, 1u);
}

// A sine resampled packet by packet must stay the same sine at the times the
// packets' delays give, across the joins.
TEST(SoundConverter, ResamplesToTheSameSignalAtTheRightTimes) {
  const std::uint32_t rates[] = {44100, 96000, 22050};
  for (std::uint32_t rate : rates) {
    SCOPED_TRACE(rate);
    SoundConverter converter({rate, 1, 4, true, 0});
    const std::uint32_t packet = rate / 100 + 7;  // not a whole number of output frames
    std::uint64_t inputFrames = 0, outputFrames = 0;
    double worst = 0;
    for (int p = 0; p < 50; ++p) {
      std::vector<float> in(packet);
      for (std::uint32_t i = 0; i < packet; ++i) in[i] = 0.5f * std::sin(2 * std::numbers::pi * 440.0 * (inputFrames + i) / rate);
      const auto out = converter.convert(reinterpret_cast<const std::uint8_t*>(in.data()), packet);
      const double start = static_cast<double>(inputFrames) / rate + out.delay;
      for (std::uint32_t k = 0; k < out.frames; ++k) {
        const double want = 0.5 * 32767 * std::sin(2 * std::numbers::pi * 440.0 * (start + k / 48000.0));
        worst = std::max(worst, std::abs(out.samples[2 * k] - want));
      }
      inputFrames += packet;
      outputFrames += out.frames;
    }
    EXPECT_NEAR(static_cast<double>(outputFrames), inputFrames * 48000.0 / rate, 2.0);
    EXPECT_LT(worst, 0.02 * 32767) << "the resampled sine strays from the original";
  }
}

// ---------------------------------------------------------------------------
// Devices

class RecordingSink final : public SoundSink {
 public:
  struct Seen {
    double time, arrived;
    std::uint32_t frames;
    int peak;
    int crossings;  // sign changes of the left channel
  };
  explicit RecordingSink(const Clock& clock) : clock_(clock) {}
  void packet(const SoundPacket& p) override {
    Seen seen{p.time, clock_.now(), p.frames, 0, 0};
    for (std::uint32_t i = 0; p.samples && i < p.frames; ++i) {
      seen.peak = std::max(seen.peak, std::abs(static_cast<int>(p.samples[2 * i])));
      if (i > 0 && (p.samples[2 * i] >= 0) != (p.samples[2 * i - 2] >= 0)) ++seen.crossings;
    }
    std::lock_guard lock(mutex);
    packets.push_back(seen);
  }
  void lost(double, const std::string& reason) override {
    std::lock_guard lock(mutex);
    lostReason = reason;
  }
  std::mutex mutex;
  std::vector<Seen> packets;
  std::string lostReason;

 private:
  const Clock& clock_;
};

// A 1 kHz tone through waveOut on the default output (the null sink).
class Tone {
 public:
  explicit Tone(double seconds) : samples_(static_cast<std::size_t>(seconds * 48000) * 2) {
    for (std::size_t i = 0; i < samples_.size(); ++i)
      samples_[i] = static_cast<std::int16_t>(16000 * std::sin(2 * std::numbers::pi * 1000.0 * static_cast<double>(i / 2) / 48000));
    WAVEFORMATEX format{WAVE_FORMAT_PCM, 2, 48000, 192000, 4, 16, 0};
    opened_ = waveOutOpen(&out_, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL) == MMSYSERR_NOERROR;
    header_.lpData = reinterpret_cast<LPSTR>(samples_.data());
    header_.dwBufferLength = static_cast<DWORD>(samples_.size() * sizeof(std::int16_t));
  }
  bool play() {
    return opened_ && waveOutPrepareHeader(out_, &header_, sizeof header_) == MMSYSERR_NOERROR &&
           waveOutWrite(out_, &header_, sizeof header_) == MMSYSERR_NOERROR;
  }
  ~Tone() {
    if (!opened_) return;
    waveOutReset(out_);
    waveOutUnprepareHeader(out_, &header_, sizeof header_);
    waveOutClose(out_);
  }

 private:
  std::vector<std::int16_t> samples_;
  HWAVEOUT out_ = nullptr;
  WAVEHDR header_{};
  bool opened_ = false;
};

class WasapiDevices : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!underWine()) GTEST_SKIP() << "needs Wine's PulseAudio null sink";
    ASSERT_GT(GetEnvironmentVariableW(L"PULSE_SERVER", nullptr, 0), 0u)
        << "no PulseAudio server: run under scripts/wine-gtest --sound";
  }
  SteadyClock clock;
  WasapiAudioDevices devices{clock};
};

TEST_F(WasapiDevices, ListsAndProbesTheNullSinksMonitor) {
  const std::vector<std::string> names = devices.inputNames();
  EXPECT_NE(std::find(names.begin(), names.end(), kMonitor), names.end()) << "inputs: " << ::testing::PrintToString(names);
  struct Probe {
    const char* what;
    bool systemSound;
    std::string name;
    bool opens;
    const char* reason;
  } const probes[] = {
      {"the monitor", false, kMonitor, true, ""},
      {"a made-up name", false, "Kazoo Array 9000", false, "no recording device is called \"Kazoo Array 9000\""},
      // Wine initialises a loopback client, then refuses its capture service.
      {"system sound (Wine refuses loopback)", true, "", false, "the system cannot record what it plays here"},
  };
  for (const Probe& p : probes) {
    SCOPED_TRACE(p.what);
    std::string reason;
    const bool opened = p.systemSound ? devices.probeSystemSound(reason) : devices.probeInput(p.name, reason);
    EXPECT_EQ(opened, p.opens) << reason;
    EXPECT_EQ(reason, p.reason);
  }
  EXPECT_EQ(devices.input("Kazoo Array 9000"), nullptr);
  RecordingSink sink(clock);
  std::string reason;
  EXPECT_FALSE(devices.systemSound()->start(sink, reason));
  EXPECT_EQ(reason, "the system cannot record what it plays here");
  EXPECT_TRUE(sink.packets.empty());
}

TEST_F(WasapiDevices, MonitorDeliversThePlayedToneOnTheSteadyClock) {
  std::unique_ptr<AudioSource> source = devices.input(kMonitor);
  ASSERT_NE(source, nullptr);
  EXPECT_EQ(source->name(), kMonitor);
  RecordingSink sink(clock);
  Tone tone(3.0);
  std::string reason;
  const double startedAt = clock.now();
  ASSERT_TRUE(source->start(sink, reason)) << reason;
  const double startTook = clock.now() - startedAt;
  ASSERT_TRUE(tone.play());
  {
    test::Watchdog watchdog("waiting for 0.5 s of the tone from the monitor", 30);
    for (;;) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      std::lock_guard lock(sink.mutex);
      std::uint32_t loud = 0;
      for (const auto& p : sink.packets) loud += p.peak > 8000 ? p.frames : 0;
      if (loud >= 24000) break;
      ASSERT_LT(clock.now() - startedAt, 10.0) << "only " << loud << " frames of the tone in 10 s, "
                                               << sink.packets.size() << " packets; lost: " << sink.lostReason;
    }
  }
  const double stopAsked = clock.now();
  {
    test::Watchdog watchdog("AudioSource::stop", 5);
    source->stop();
  }
  const double stopTook = clock.now() - stopAsked;
  std::vector<RecordingSink::Seen> seen;
  {
    std::lock_guard lock(sink.mutex);
    seen = sink.packets;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(sink.packets.size(), seen.size()) << "packets after stop() returned";
  EXPECT_LT(stopTook, 0.5);
  EXPECT_EQ(sink.lostReason, "");

  double lateMost = -1e9, lateLeast = 1e9, jumpMost = 0;
  std::uint64_t loudFrames = 0, crossings = 0, allFrames = 0;
  for (std::size_t i = 0; i < seen.size(); ++i) {
    const double end = seen[i].time + seen[i].frames / 48000.0;
    lateMost = std::max(lateMost, seen[i].arrived - end);
    lateLeast = std::min(lateLeast, seen[i].arrived - end);
    if (i > 0) {
      // Wine fills packets in pairs and stamps both with one reading.
      EXPECT_GE(seen[i].time, seen[i - 1].time) << "packet " << i;
      jumpMost = std::max(jumpMost, std::abs(seen[i].time - (seen[i - 1].time + seen[i - 1].frames / 48000.0)));
    }
    allFrames += seen[i].frames;
    if (seen[i].peak > 8000) {
      loudFrames += seen[i].frames;
      crossings += seen[i].crossings;
    }
  }
  const double spanned = seen.back().time - seen.front().time, played = (allFrames - seen.back().frames) / 48000.0;
  EXPECT_NEAR(spanned, played, 0.02) << "the times do not follow the samples";
  // The end of a packet was captured before it arrived, and not long before.
  EXPECT_GT(lateLeast, -0.005);
  EXPECT_LT(lateMost, 0.050);
  // 1 kHz: two sign changes a millisecond.
  EXPECT_NEAR(static_cast<double>(crossings) / loudFrames * 48, 2.0, 0.2);
  std::printf("wasapi: %zu packets of %u frames, start() took %.1f ms, first packet %.1f ms after it, packet end to arrival %.1f..%.1f ms, "
              "largest gap/overlap between packets %.2f ms, stop took %.1f ms\n",
              seen.size(), seen.front().frames, startTook * 1e3,
              (seen.front().arrived - startedAt - startTook) * 1e3,
              lateLeast * 1e3, lateMost * 1e3, jumpMost * 1e3, stopTook * 1e3);
}

}  // namespace
}  // namespace ks
