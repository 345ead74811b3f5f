#include "platform/win32/wasapi_audio.h"

#include "platform/win32/win32_native.h"

#include <audioclient.h>
#include <avrt.h>
#include <ksmedia.h>
#include <mmdeviceapi.h>
#include <mmsystem.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <new>
#include <utility>

#include "platform/bounded_thread.h"
#include "platform/win32/sound_convert.h"
#include "platform/win32/wide_text.h"
#include "platform/win32/win32_handles.h"

namespace ks {
namespace {

using win32::SampleLayout;
using win32::SoundConverter;

// {a45c254e-df1c-4efd-8020-67d146a850e0}, 14: the name the user knows a
// device by ("Microphone (USB Audio)"); defined here so the program does not
// depend on which property keys the SDK's uuid library holds.
const PROPERTYKEY kFriendlyName = {{0xa45c254e, 0xdf1c, 0x4efd, {0x80, 0x20, 0x67, 0xd1, 0x46, 0xa8, 0x50, 0xe0}}, 14};

// The WAVEFORMATEXTENSIBLE sub-formats, {0000000X-0000-0010-8000-00aa00389b71}
// with X the format tag, for the same reason.
const GUID kSubtypePcm = {0x00000001, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
const GUID kSubtypeFloat = {0x00000003, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

constexpr REFERENCE_TIME kBufferDuration = 2'000'000;  // 200 ms, in 100 ns
// The buffer holds 200 ms: a poll every 10 ms (16 where the system timer is
// coarser) is far from losing any, and costs little processor time.
constexpr DWORD kPollMs = 10;
// A capture call that keeps failing this long, for another cause than a
// device that went away, ends the source.
constexpr double kFailureSpan = 0.5;

template <typename T>
class Com {
 public:
  Com() = default;
  Com(const Com&) = delete;
  Com& operator=(const Com&) = delete;
  ~Com() { reset(); }
  T* operator->() const { return p_; }
  T* get() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  T** put() {
    reset();
    return &p_;
  }
  void** putVoid() { return reinterpret_cast<void**>(put()); }
  void reset() {
    if (p_) p_->Release();
    p_ = nullptr;
  }

 private:
  T* p_ = nullptr;
};

// COM for the life of a scope. A thread that already has COM in another
// mode keeps it (RPC_E_CHANGED_MODE); only what this scope initialised is
// uninitialised.
class ComScope {
 public:
  explicit ComScope(DWORD model) : hr_(CoInitializeEx(nullptr, model)) {}
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;
  ~ComScope() {
    if (SUCCEEDED(hr_)) CoUninitialize();
  }
  bool usable() const { return SUCCEEDED(hr_) || hr_ == RPC_E_CHANGED_MODE; }

 private:
  HRESULT hr_;
};

struct CoTaskMemDeleter {
  void operator()(void* p) const { CoTaskMemFree(p); }
};

enum class Kind { kLoopback, kCapture };

std::string hex(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
  return text;
}

std::string openFailure(HRESULT hr, Kind kind) {
  switch (hr) {
    case AUDCLNT_E_DEVICE_IN_USE: return "the device is in use by another program";
    case AUDCLNT_E_WRONG_ENDPOINT_TYPE:
      return kind == Kind::kLoopback ? "the system cannot record what it plays here" : "the device cannot record";
    case AUDCLNT_E_DEVICE_INVALIDATED: return "the device was unplugged or disabled";
    case AUDCLNT_E_SERVICE_NOT_RUNNING: return "the Windows Audio service is not running";
    case AUDCLNT_E_UNSUPPORTED_FORMAT: return "the device's sound format is not supported";
    case E_ACCESSDENIED: return "Windows does not let this program use the device (see the privacy settings)";
    case E_OUTOFMEMORY: return "there is not enough memory";
    default: return "the device could not be opened (error " + hex(hr) + ")";
  }
}

bool createEnumerator(Com<IMMDeviceEnumerator>& enumerator, std::string& reason) {
  const HRESULT hr = CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL, __uuidof(IMMDeviceEnumerator),
                                      enumerator.putVoid());
  if (FAILED(hr)) reason = "the system's sound devices cannot be listed (error " + hex(hr) + ")";
  return SUCCEEDED(hr);
}

std::string friendlyName(IMMDevice* device) {
  Com<IPropertyStore> store;
  if (FAILED(device->OpenPropertyStore(STGM_READ, store.put()))) return {};
  PROPVARIANT value;
  PropVariantInit(&value);
  std::string name;
  if (SUCCEEDED(store->GetValue(kFriendlyName, &value)) && value.vt == VT_LPWSTR && value.pwszVal)
    name = win32::fromWide(value.pwszVal);
  PropVariantClear(&value);
  return name;
}

struct Endpoint {
  std::wstring id;
  std::string name;
};

// The active capture endpoints, in the system's order; needs COM.
std::vector<Endpoint> captureEndpoints() {
  std::vector<Endpoint> endpoints;
  Com<IMMDeviceEnumerator> enumerator;
  std::string ignored;
  if (!createEnumerator(enumerator, ignored)) return endpoints;
  Com<IMMDeviceCollection> collection;
  if (FAILED(enumerator->EnumAudioEndpoints(eCapture, DEVICE_STATE_ACTIVE, collection.put()))) return endpoints;
  UINT count = 0;
  if (FAILED(collection->GetCount(&count))) return endpoints;
  for (UINT i = 0; i < count; ++i) {
    Com<IMMDevice> device;
    if (FAILED(collection->Item(i, device.put()))) continue;
    LPWSTR id = nullptr;
    if (FAILED(device->GetId(&id)) || !id) continue;
    std::unique_ptr<wchar_t, CoTaskMemDeleter> owned(id);
    endpoints.push_back({std::wstring(id), friendlyName(device.get())});
  }
  return endpoints;
}

bool findCapture(const std::string& name, std::wstring& id) {
  for (Endpoint& e : captureEndpoints()) {
    if (e.name == name) {
      id = std::move(e.id);
      return true;
    }
  }
  return false;
}

bool layoutOf(const WAVEFORMATEX& format, SampleLayout& layout) {
  if (format.nChannels == 0 || format.nBlockAlign % format.nChannels != 0) return false;
  layout.rate = format.nSamplesPerSec;
  layout.channels = format.nChannels;
  layout.containerBytes = static_cast<std::uint16_t>(format.nBlockAlign / format.nChannels);
  layout.channelMask = 0;
  if (format.wFormatTag == WAVE_FORMAT_EXTENSIBLE && format.cbSize >= 22) {
    const auto& ext = reinterpret_cast<const WAVEFORMATEXTENSIBLE&>(format);
    if (IsEqualGUID(ext.SubFormat, kSubtypeFloat)) layout.isFloat = true;
    else if (IsEqualGUID(ext.SubFormat, kSubtypePcm)) layout.isFloat = false;
    else return false;
    layout.channelMask = ext.dwChannelMask;
  } else if (format.wFormatTag == WAVE_FORMAT_IEEE_FLOAT) {
    layout.isFloat = true;
  } else if (format.wFormatTag == WAVE_FORMAT_PCM) {
    layout.isFloat = false;
  } else {
    return false;
  }
  return win32::convertible(layout);
}

// A device opened for capture, not started.
struct OpenDevice {
  Com<IMMDevice> device;
  Com<IAudioClient> client;
  Com<IAudioCaptureClient> capture;
  SampleLayout layout;
};

bool activate(OpenDevice& open, std::string& reason, Kind kind) {
  const HRESULT hr = open.device->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr, open.client.putVoid());
  if (FAILED(hr)) reason = openFailure(hr, kind);
  return SUCCEEDED(hr);
}

// Opens the default output's loopback, or the capture endpoint `id`: the
// client initialised (48 kHz 16-bit stereo where the system converts, the
// mix format otherwise) and its capture service. Needs COM.
bool openDevice(Kind kind, const std::wstring& id, OpenDevice& open, std::string& reason) {
  Com<IMMDeviceEnumerator> enumerator;
  if (!createEnumerator(enumerator, reason)) return false;
  if (kind == Kind::kLoopback) {
    const HRESULT hr = enumerator->GetDefaultAudioEndpoint(eRender, eConsole, open.device.put());
    if (hr == E_NOTFOUND) reason = "there is no output device";
    else if (FAILED(hr)) reason = openFailure(hr, kind);
    if (FAILED(hr)) return false;
  } else {
    DWORD state = 0;
    if (FAILED(enumerator->GetDevice(id.c_str(), open.device.put())) || FAILED(open.device->GetState(&state)) ||
        state != DEVICE_STATE_ACTIVE) {
      reason = "the device is not connected";
      return false;
    }
  }
  if (!activate(open, reason, kind)) return false;

  const DWORD loopback = kind == Kind::kLoopback ? AUDCLNT_STREAMFLAGS_LOOPBACK : 0;
  WAVEFORMATEX wanted{};
  wanted.wFormatTag = WAVE_FORMAT_PCM;
  wanted.nChannels = kSoundChannels;
  wanted.nSamplesPerSec = kSoundRate;
  wanted.wBitsPerSample = kSoundBits;
  wanted.nBlockAlign = kSoundChannels * kSoundBits / 8;
  wanted.nAvgBytesPerSec = kSoundRate * wanted.nBlockAlign;
  HRESULT hr = open.client->Initialize(
      AUDCLNT_SHAREMODE_SHARED, loopback | AUDCLNT_STREAMFLAGS_AUTOCONVERTPCM | AUDCLNT_STREAMFLAGS_SRC_DEFAULT_QUALITY,
      kBufferDuration, 0, &wanted, nullptr);
  if (SUCCEEDED(hr)) {
    open.layout = SampleLayout{};
  } else if (hr == AUDCLNT_E_DEVICE_IN_USE || hr == AUDCLNT_E_DEVICE_INVALIDATED ||
             hr == AUDCLNT_E_SERVICE_NOT_RUNNING || hr == E_ACCESSDENIED) {
    reason = openFailure(hr, kind);
    return false;
  } else {
    // Older systems refuse the conversion flags: open with the mix format,
    // on a fresh client (a failed Initialize may leave the old one unusable).
    WAVEFORMATEX* raw = nullptr;
    hr = open.client->GetMixFormat(&raw);
    if (FAILED(hr) || !raw) {
      reason = openFailure(hr, kind);
      return false;
    }
    std::unique_ptr<WAVEFORMATEX, CoTaskMemDeleter> mix(raw);
    if (!layoutOf(*mix, open.layout)) {
      reason = openFailure(AUDCLNT_E_UNSUPPORTED_FORMAT, kind);
      return false;
    }
    if (!activate(open, reason, kind)) return false;
    hr = open.client->Initialize(AUDCLNT_SHAREMODE_SHARED, loopback, kBufferDuration, 0, mix.get(), nullptr);
    if (FAILED(hr)) {
      reason = openFailure(hr, kind);
      return false;
    }
  }
  hr = open.client->GetService(__uuidof(IAudioCaptureClient), open.capture.putVoid());
  if (FAILED(hr)) {
    reason = openFailure(hr, kind);
    return false;
  }
  return true;
}

bool underWine() {
  return win32::loadProc<void (*)()>(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

// Seconds of `clock` minus seconds of the performance counter, read back to
// back; the closest of a few readings.
double clockOffset(const Clock& clock) {
  LARGE_INTEGER frequency, before, after;
  QueryPerformanceFrequency(&frequency);
  double best = 0, narrowest = -1;
  for (int i = 0; i < 5; ++i) {
    QueryPerformanceCounter(&before);
    const double now = clock.now();
    QueryPerformanceCounter(&after);
    const double span = static_cast<double>(after.QuadPart - before.QuadPart);
    if (narrowest < 0 || span < narrowest) {
      narrowest = span;
      best = now - (static_cast<double>(before.QuadPart) + span / 2) / static_cast<double>(frequency.QuadPart);
    }
  }
  return best;
}

// What a capture thread needs; it may outlive the source when the sound
// system does not answer in time.
struct CaptureRun {
  CaptureRun(Kind k, std::wstring device, const Clock& c, HANDLE stop)
      : kind(k), id(std::move(device)), clock(c), stopEvent(stop) {}
  CaptureRun(const CaptureRun&) = delete;
  CaptureRun& operator=(const CaptureRun&) = delete;
  ~CaptureRun() { CloseHandle(stopEvent); }

  const Kind kind;
  const std::wstring id;
  const Clock& clock;  // the platform's: it lives as long as the program
  const HANDLE stopEvent;
  // Windows stamps a packet with the time of its first frame; Wine with the
  // time the packet was complete, one packet later.
  const bool stampsPacketEnd = underWine();
};

class WasapiSource final : public AudioSource {
 public:
  // How long start() waits for the device to open and stop() for the
  // thread to end; a thread stuck longer in the sound system is left behind
  // and ends on its own.
  static constexpr auto kAnswerBound = std::chrono::seconds(5);

  WasapiSource(Kind kind, std::wstring id, std::string name, const Clock& clock)
      : kind_(kind), id_(std::move(id)), name_(std::move(name)), clock_(clock) {}
  ~WasapiSource() override { stop(); }

  std::string name() const override { return name_; }

  bool start(SoundSink& sink, std::string& reason) override {
    if (thread_.running()) {
      reason = "the sound source is already running";
      return false;
    }
    HANDLE stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!stopEvent) {
      reason = "the sound source cannot be started (error " + hex(HRESULT_FROM_WIN32(GetLastError())) + ")";
      return false;
    }
    auto run = std::make_shared<CaptureRun>(kind_, id_, clock_, stopEvent);
    switch (thread_.start([run, &sink](BoundedThread::Link& link) { openAndCapture(*run, link, sink); },
                          [run] { SetEvent(run->stopEvent); }, reason)) {
      case BoundedThread::Start::Started:
        return true;
      case BoundedThread::Start::Late:
        reason = "the sound system did not open the device within 5 seconds";
        return false;
      case BoundedThread::Start::Refused:
        break;
    }
    return false;
  }

  // Not from the sink's calls: it waits for the capture thread.
  void stop() override { thread_.stop(); }

 private:
  static void openAndCapture(CaptureRun& run, BoundedThread::Link& link, SoundSink& sink) {
    ComScope com(COINIT_MULTITHREADED);
    if (!com.usable()) return link.answer(false, "the sound system cannot be started");
    OpenDevice open;
    std::string reason;
    if (!openDevice(run.kind, run.id, open, reason)) return link.answer(false, reason);
    SoundConverter converter(open.layout);
    DWORD taskIndex = 0;
    HANDLE task = AvSetMmThreadCharacteristicsW(L"Audio", &taskIndex);
    if (!task) SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST);
    const double offset = clockOffset(run.clock);
    const HRESULT hr = open.client->Start();
    if (FAILED(hr)) {
      link.answer(false, openFailure(hr, run.kind));
    } else {
      link.answer(true);
      capture(run, link, sink, open, converter, offset);
      open.client->Stop();
    }
    if (task) AvRevertMmThreadCharacteristics(task);
  }

  // Delivers packets until stopped or the device is lost.
  static void capture(CaptureRun& run, BoundedThread::Link& link, SoundSink& sink, OpenDevice& open,
                      SoundConverter& converter, double offset) {
    double failingSince = -1;
    while (WaitForSingleObject(run.stopEvent, kPollMs) == WAIT_TIMEOUT) {
      HRESULT hr = S_OK;
      for (;;) {
        UINT32 pending = 0;
        hr = open.capture->GetNextPacketSize(&pending);
        if (FAILED(hr) || pending == 0) break;
        BYTE* data = nullptr;
        UINT32 frames = 0;
        DWORD flags = 0;
        UINT64 devicePosition = 0, qpcPosition = 0;
        hr = open.capture->GetBuffer(&data, &frames, &flags, &devicePosition, &qpcPosition);
        if (FAILED(hr) || hr == AUDCLNT_S_BUFFER_EMPTY) break;
        const double duration = static_cast<double>(frames) / open.layout.rate;
        double time = 0;
        if (qpcPosition != 0 && !(flags & AUDCLNT_BUFFERFLAGS_TIMESTAMP_ERROR)) {
          time = static_cast<double>(qpcPosition) * 1e-7 + offset - (run.stampsPacketEnd ? duration : 0);
        } else {
          time = run.clock.now() - duration;
        }
        if (flags & AUDCLNT_BUFFERFLAGS_DATA_DISCONTINUITY) converter.reset();
        bool delivered = true;
        try {
          const SoundConverter::Output out =
              converter.convert((flags & AUDCLNT_BUFFERFLAGS_SILENT) ? nullptr : data, frames);
          if (out.frames > 0)
            delivered = link.deliver([&] { sink.packet(SoundPacket{time + out.delay, out.samples, out.frames}); });
        } catch (const std::bad_alloc&) {
          // Nothing may escape this thread; without memory for its samples
          // the source ends as a lost one does.
          open.capture->ReleaseBuffer(frames);
          link.deliver([&] { sink.lost(run.clock.now(), "there was no memory left for its sound"); });
          return;
        }
        if (!delivered) {
          open.capture->ReleaseBuffer(frames);
          return;
        }
        hr = open.capture->ReleaseBuffer(frames);
        if (FAILED(hr)) break;
      }
      if (SUCCEEDED(hr)) {
        failingSince = -1;
        continue;
      }
      const double now = run.clock.now();
      if (hr == AUDCLNT_E_DEVICE_INVALIDATED || hr == AUDCLNT_E_SERVICE_NOT_RUNNING) {
        link.deliver([&] { sink.lost(now, openFailure(hr, run.kind)); });
        return;
      }
      if (failingSince < 0) failingSince = now;
      if (now - failingSince >= kFailureSpan) {
        link.deliver([&] { sink.lost(now, "the device stopped delivering sound (error " + hex(hr) + ")"); });
        return;
      }
    }
  }

  const Kind kind_;
  const std::wstring id_;
  const std::string name_;
  const Clock& clock_;
  BoundedThread thread_{kAnswerBound};
};

constexpr const char* kSystemSoundName = "System sound";

}  // namespace

std::vector<std::string> WasapiAudioDevices::inputNames() {
  std::vector<std::string> names;
  ComScope com(COINIT_APARTMENTTHREADED);
  if (!com.usable()) return names;
  for (Endpoint& e : captureEndpoints()) names.push_back(std::move(e.name));
  return names;
}

bool WasapiAudioDevices::probeSystemSound(std::string& reason) {
  ComScope com(COINIT_APARTMENTTHREADED);
  if (!com.usable()) {
    reason = "the sound system cannot be started";
    return false;
  }
  OpenDevice open;
  return openDevice(Kind::kLoopback, {}, open, reason);
}

bool WasapiAudioDevices::probeInput(const std::string& name, std::string& reason) {
  ComScope com(COINIT_APARTMENTTHREADED);
  if (!com.usable()) {
    reason = "the sound system cannot be started";
    return false;
  }
  std::wstring id;
  if (!findCapture(name, id)) {
    reason = "no recording device is called \"" + name + "\"";
    return false;
  }
  OpenDevice open;
  return openDevice(Kind::kCapture, id, open, reason);
}

std::unique_ptr<AudioSource> WasapiAudioDevices::systemSound() {
  return std::make_unique<WasapiSource>(Kind::kLoopback, std::wstring{}, kSystemSoundName, clock_);
}

std::unique_ptr<AudioSource> WasapiAudioDevices::input(const std::string& name) {
  ComScope com(COINIT_APARTMENTTHREADED);
  std::wstring id;
  if (!com.usable() || !findCapture(name, id)) return nullptr;
  return std::make_unique<WasapiSource>(Kind::kCapture, std::move(id), name, clock_);
}

}  // namespace ks
