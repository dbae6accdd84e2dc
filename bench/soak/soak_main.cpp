// The soak run (scripts/soak.sh starts the JACK server and runs this): the engine on a
// live duplex stream for a given number of minutes with eight stereo tracks playing, one
// of them overdubbing with feedback, every effect on, live input monitored, the
// metronome on and MIDI clock and metronome notes going out on an in-memory port.
//
// The stream is opened here on JACK's own period (no fixed buffer size), so the engine
// is called once per JACK cycle with exactly the server's period; every call is timed.
// At the end it prints the callback count, the calls PortAudio flagged as over- or
// underflowed, the worst, 99.9th-percentile and mean callback time, and the process's
// resident memory at the start and at the end.
//
// Usage: kestrine_soak MINUTES
#include <portaudio.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

#include "control/midi_backend.h"
#include "control/midi_ports.h"
#include "engine/audio.h"
#include "engine/effects_ops.h"
#include "engine/metronome.h"
#include "every_effect.h"

namespace {

using Clock = std::chrono::steady_clock;

// Callback times in 0.1 µs bins up to 5 ms; the worst is kept exactly.
constexpr int kBins = 50000;
constexpr double kBinNs = 100.0;

struct CallbackStats {
  std::array<uint32_t, kBins> histogram{};
  uint64_t calls = 0;
  uint64_t flagged = 0;  // calls PortAudio marked with an over- or underflow
  uint64_t frames = 0;
  unsigned long minFrames = ~0ul, maxFrames = 0;
  double worstNs = 0.0;
  double totalNs = 0.0;
};

// An in-memory MIDI layer with one output device that counts what it is sent (clock
// ticks apart) without keeping it, so that a long run neither grows nor waits.
class CountingMidiOutput final : public MidiBackend {
 public:
  bool Initialize(std::string*) override { return true; }
  void Terminate() override {}
  int CountDevices() override { return 1; }
  bool GetDeviceInfo(int device, MidiDeviceInfo* info) override {
    if (device != 0) return false;
    info->input = false;
    info->output = true;
    info->name = "Soak clock";
    return true;
  }
  MidiStream OpenInput(int) override { return nullptr; }
  MidiStream OpenOutput(int device) override { return device == 0 ? this : nullptr; }
  int Poll(MidiStream) override { return 0; }
  bool Read(MidiStream, uint32_t*) override { return false; }
  void Write(MidiStream, uint32_t message) override {
    ((message & 0xFF) == 0xF8 ? clocks : others).fetch_add(1, std::memory_order_relaxed);
  }
  void Close(MidiStream) override {}

  std::atomic<uint64_t> clocks{0};
  std::atomic<uint64_t> others{0};
};

AudioEngine* engine = nullptr;
CallbackStats stats;  // written by the audio thread only, read after the stream stops
std::atomic<bool> measuring{false};

int Callback(const void* input, void* output, unsigned long frames, const PaStreamCallbackTimeInfo*,
             PaStreamCallbackFlags flags, void*) {
  const Clock::time_point start = Clock::now();
  Audio_ProcessStream(engine, static_cast<const float*>(input), static_cast<float*>(output), frames);
  const double ns = std::chrono::duration<double, std::nano>(Clock::now() - start).count();
  if (!measuring.load(std::memory_order_relaxed)) return paContinue;
  stats.calls += 1;
  stats.frames += frames;
  stats.minFrames = std::min(stats.minFrames, frames);
  stats.maxFrames = std::max(stats.maxFrames, frames);
  if (flags & (paInputOverflow | paInputUnderflow | paOutputOverflow | paOutputUnderflow)) stats.flagged += 1;
  stats.totalNs += ns;
  if (ns > stats.worstNs) stats.worstNs = ns;
  stats.histogram[static_cast<size_t>(std::min(ns / kBinNs, kBins - 1.0))] += 1;
  return paContinue;
}

double Percentile(double fraction) {
  const auto wanted = static_cast<uint64_t>(std::ceil(fraction * static_cast<double>(stats.calls)));
  uint64_t seen = 0;
  for (int i = 0; i < kBins; ++i) {
    seen += stats.histogram[static_cast<size_t>(i)];
    if (seen >= wanted) return (i + 1) * kBinNs;  // upper edge of the bin
  }
  return stats.worstNs;
}

long ResidentKilobytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  return -1;
}

void BuildScene() {
  for (int i = 1; i < NUM_TRACKS; ++i) {
    const int slot = Audio_CreateLoop(2.0 + 0.25 * i, 0.9, 2, 0);
    if (slot < 0) continue;
    LoopTrack& t = engine->tracks[slot];
    float* buffer = t.pBuffer;
    for (int f = 0; f < t.length; ++f)
      for (int c = 0; c < 2; ++c)
        buffer[2 * f + c] = 0.1f * static_cast<float>(std::sin(0.001 * (i + 1) * f + c));
    Audio_SetTrackPan(slot, i / 9.0);
    Audio_SetTrackVolume(slot, 0.8);
    Audio_SetTrackEffects(slot, 1);
    Audio_SetTrackEffectsMix(slot, 0.5);
  }
  Bench_SwitchOnEveryEffect();
  Audio_SetLatentInput(1);
  Audio_SetLatentInputUseLoopEffectsMix(0);
  Audio_SetLatentInputEffectsMix(0.3);
  Audio_SetMetronomeTime(2.0, 4, true);
  Audio_SetMetronomeCountoff(0);
  Audio_SetMetronomePlayback(1);
  Audio_SetMetronomeRecord(1);
  Audio_SetContinuousMetronome(1);
}

}  // namespace

int main(int argc, char** argv) {
  const double minutes = argc > 1 ? std::atof(argv[1]) : 10.0;
  if (!(minutes > 0.0)) {
    std::fprintf(stderr, "usage: %s MINUTES\n", argv[0]);
    return 2;
  }
  if (!Audio_Init()) return 1;
  engine = Audio_GetEngine();
  BuildScene();

  // MIDI clock and metronome notes out on an in-memory port.
  CountingMidiOutput midi;
  MidiSendSettings sendSettings;
  sendSettings.send_midi_sync = 1;
  sendSettings.metronome_midi_enable = 1;
  MidiPorts_UseBackend(&midi);
  MidiPorts_UseSendSettings(&sendSettings);
  if (!OpenMidiPorts()) return 1;
  MidiHooks_Install();

  if (Pa_Initialize() != paNoError) return 1;
  const PaHostApiIndex jack = Pa_HostApiTypeIdToHostApiIndex(paJACK);
  if (jack < 0) {
    std::fprintf(stderr, "PortAudio finds no JACK host API (is the server running?)\n");
    return 1;
  }
  const PaHostApiInfo* api = Pa_GetHostApiInfo(jack);
  PaStreamParameters in{}, out{};
  in.device = api->defaultInputDevice;
  out.device = api->defaultOutputDevice;
  if (in.device < 0 || out.device < 0) {
    std::fprintf(stderr, "the JACK host API offers no duplex device\n");
    return 1;
  }
  in.channelCount = out.channelCount = 2;
  in.sampleFormat = out.sampleFormat = paFloat32;
  in.suggestedLatency = Pa_GetDeviceInfo(in.device)->defaultLowInputLatency;
  out.suggestedLatency = Pa_GetDeviceInfo(out.device)->defaultLowOutputLatency;
  PaStream* stream = nullptr;
  if (Pa_OpenStream(&stream, &in, &out, 48000.0, paFramesPerBufferUnspecified, paNoFlag, Callback, nullptr) !=
      paNoError) {
    std::fprintf(stderr, "could not open the JACK duplex stream\n");
    return 1;
  }
  engine->latencyFrames = static_cast<int32_t>(Pa_GetStreamInfo(stream)->outputLatency * 48000.0);
  Pa_StartStream(stream);
  Audio_SetCallbackRunning(true);

  Audio_PlayLooping();
  Audio_RecordLooping(3);  // overdub with feedback 0.9 over what track 3 holds

  // A second to settle (first buffers, page faults of the stream's own memory), then the
  // measured run with the user-interface thread's periodic service every 33 ms. The
  // histogram's pages are touched first, or the rare long calls reaching new bins would
  // show up as memory growth.
  std::this_thread::sleep_for(std::chrono::seconds(1));
  for (size_t i = 0; i < stats.histogram.size(); i += 256) reinterpret_cast<volatile uint32_t&>(stats.histogram[i]) = 0;
  const long rssStart = ResidentKilobytes();
  measuring = true;
  const Clock::time_point end = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                                   std::chrono::duration<double>(minutes * 60.0));
  Clock::time_point nextReport = Clock::now() + std::chrono::minutes(1);
  while (Clock::now() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(33));
    Audio_PollChanges();
    bool accent = false;
    MidiHooks_TakeBeat(&accent);
    MidiPoll();
    if (Clock::now() >= nextReport) {
      std::fprintf(stderr, "soak: %ld kB resident, state %d\n", ResidentKilobytes(), Audio_GetTransportState());
      nextReport += std::chrono::minutes(1);
    }
  }
  measuring = false;
  const long rssEnd = ResidentKilobytes();

  Pa_StopStream(stream);
  Audio_SetCallbackRunning(false);
  Pa_CloseStream(stream);
  Pa_Terminate();
  MidiHooks_Remove();
  CloseMidiPorts();
  MidiPorts_UseBackend(nullptr);
  MidiPorts_UseSendSettings(nullptr);
  Audio_StopLooping();
  Audio_Shutdown();

  std::printf("minutes %.2f\n", minutes);
  std::printf("callbacks %llu\n", static_cast<unsigned long long>(stats.calls));
  std::printf("frames_per_callback %lu..%lu\n", stats.minFrames, stats.maxFrames);
  std::printf("portaudio_flagged_callbacks %llu\n", static_cast<unsigned long long>(stats.flagged));
  std::printf("callback_worst_us %.1f\n", stats.worstNs / 1000.0);
  std::printf("callback_p999_us %.1f\n", Percentile(0.999) / 1000.0);
  std::printf("callback_p99_us %.1f\n", Percentile(0.99) / 1000.0);
  std::printf("callback_mean_us %.2f\n", stats.calls ? stats.totalNs / static_cast<double>(stats.calls) / 1000.0 : 0.0);
  std::printf("rss_start_kb %ld\n", rssStart);
  std::printf("rss_end_kb %ld\n", rssEnd);
  std::printf("midi_clock_ticks_sent %llu\n", static_cast<unsigned long long>(midi.clocks.load()));
  std::printf("midi_other_messages_sent %llu\n", static_cast<unsigned long long>(midi.others.load()));
  return 0;
}
