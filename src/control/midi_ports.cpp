#include "control/midi_ports.h"

#include <array>
#include <cstdio>
#include <cstring>

#include "control/fire_action.h"
#include "control/midi_clock_in.h"
#include "control/midi_input_watch.h"
#include "control/midi_output.h"
#include "control/trigger_set.h"
#include "engine/message_dialog.h"

namespace {

MidiPortTable table;
std::atomic<MidiBackend*> selectedBackend{nullptr};
// The layer the open streams belong to.
std::atomic<MidiBackend*> openBackend{nullptr};

const MidiSendSettings defaultSettings;
std::atomic<const MidiSendSettings*> sendSettings{&defaultSettings};

std::atomic<uint32_t> beatsSounded{0};
std::atomic<bool> lastBeatAccent{false};
uint32_t beatsTaken = 0;  // user-interface thread
MidiClockIn* clockIn = nullptr;  // user-interface thread

// Wakes the drain of posted commands when a polled input has something to read; the
// drain then runs MidiPoll (MidiPollWoken). Its thread only polls descriptors and calls
// ControlCommands().Wake(): it never touches the table or the MIDI layer.
MidiInputWatch inputWatch;
// User-interface thread: the polled inputs that have no descriptor, by table position.
std::array<bool, kMaxMidiPorts> unwatched{};
bool watchRefused = false;        // user-interface thread: the watcher could not start

constexpr uint32_t kClock = 0xF8;
constexpr uint32_t kStart = 0xFA;
constexpr uint32_t kContinue = 0xFB;
constexpr uint32_t kStop = 0xFC;
constexpr uint32_t kNoteOn = 0x90;

MidiBackend* Backend() {
  MidiBackend* b = selectedBackend.load();
  return b ? b : DefaultMidiBackend();
}

void MarkUnused(MidiPort& port) {
  port.stream.store(nullptr);
  port.deviceIndex = 0;
  port.enabled = false;
  std::strcpy(port.name, "None");
}

void SetName(MidiPort& port, const std::string& name) {
  std::snprintf(port.name, sizeof port.name, "%s", name.c_str());
}

// Opens the devices of one direction into `ports`, in device order, until 16 are open.
template <class Open>
int OpenDirection(MidiBackend* b, MidiPort (&ports)[kMaxMidiPorts], bool input, Open open) {
  int count = 0;
  const int devices = b->CountDevices();
  for (int d = 0; d < devices && count < kMaxMidiPorts; ++d) {
    MidiDeviceInfo info;
    if (!b->GetDeviceInfo(d, &info)) continue;
    if (input ? !info.input : !info.output) continue;
    MidiStream stream = open(d);
    if (!stream) continue;  // left out without a message
    MidiPort& port = ports[count];
    port.stream.store(stream);
    port.deviceIndex = d;
    port.enabled = true;
    SetName(port, info.name);
    ++count;
  }
  for (int i = count; i < kMaxMidiPorts; ++i) MarkUnused(ports[i]);
  return count;
}

enum class From { Audio, Ui };

// Queues one short message for the output at table position `position`, if it is open;
// from the audio side `delayNs` after the callback's buffer starts.
void QueueOutput(int32_t position, uint32_t message, From from, int64_t delayNs = 0) {
  if (position < 0 || position >= kMaxMidiPorts) return;
  if (!table.outputs[position].enabled) return;
  if (from == From::Audio) {
    MidiOutput_QueueFromAudio(position, message, delayNs);
  } else {
    MidiOutput_Queue(position, message);
  }
}

void SendSync(uint32_t message, From from, int64_t delayNs = 0) {
  const MidiSendSettings& s = *sendSettings.load();
  if (!s.send_midi_sync) return;
  QueueOutput(s.midi_sync_port, message, from, delayNs);
}

bool Polled(const MidiPort& port) { return (port.enabled || clockIn) && port.stream.load(); }

void WakeTheDrain() { ControlCommands().Wake(); }

// Watches the descriptors of the inputs MidiPoll reads; called whenever that set changes.
// The clock follower is woken the same way as the triggers: PortMidi stamps an event when
// a poll moves it out of the sequencer, and a poll run on arrival stamps it closer to its
// arrival than one on a 2 ms timer would.
void WatchInputs() {
  std::vector<int> descriptors;
  unwatched.fill(false);
  MidiBackend* b = openBackend.load();
  for (int i = 0; b && i < table.inputCount; ++i) {
    const MidiPort& port = table.inputs[i];
    if (!Polled(port)) continue;
    const int fd = b->InputWakeDescriptor(port.stream.load());
    if (fd < 0) unwatched[i] = true;
    else descriptors.push_back(fd);
  }
  watchRefused = !inputWatch.Watch(std::move(descriptors), &WakeTheDrain);
}

int32_t Clamp(int32_t v, int32_t lo, int32_t hi) { return v < lo ? lo : v > hi ? hi : v; }

void BeatHook(int accent) {
  SendMetronomeNote(accent != 0);
  lastBeatAccent.store(accent != 0, std::memory_order_relaxed);
  beatsSounded.fetch_add(1, std::memory_order_release);
}

}  // namespace

MidiPortTable& MidiPorts() { return table; }

void MidiPorts_UseBackend(MidiBackend* backend) { selectedBackend.store(backend); }

void MidiPorts_UseSendSettings(const MidiSendSettings* settings) {
  sendSettings.store(settings ? settings : &defaultSettings);
}

bool OpenMidiPorts() {
  if (openBackend.load()) CloseMidiPorts();
  MidiBackend* b = Backend();
  std::string error;
  if (!b->Initialize(&error)) {
    AudioEngine* engine = Audio_GetEngine();
    MessageDialog_Show(engine ? engine->messageOwner : nullptr, error,
                       "PortMidi Initialization Error", MB_OK);
    return false;
  }
  openBackend.store(b);

  table.inputCount = OpenDirection(b, table.inputs, true, [&](int d) {
    MidiStream stream = b->OpenInput(d);
    // Whatever arrived before the program was ready is stale: read and discard it.
    if (stream) {
      uint32_t message;
      while (b->Poll(stream) > 0 && b->Read(stream, &message)) {
      }
    }
    return stream;
  });
  table.outputCount = OpenDirection(b, table.outputs, false, [&](int d) { return b->OpenOutput(d); });
  if (table.outputCount > 0) {
    MidiStream streams[kMidiOutputStreams];
    for (int i = 0; i < kMaxMidiPorts; ++i) streams[i] = table.outputs[i].stream.load();
    MidiOutput_Start(b, streams);
  }
  WatchInputs();
  return true;
}

void CloseMidiPorts() {
  MidiBackend* b = openBackend.load();
  if (!b) return;
  // The watcher polls the layer's descriptors, which closing may free: it stops first.
  inputWatch.Stop();
  unwatched.fill(false);
  watchRefused = false;
  // The output thread is the only other thread in the MIDI layer: once it has written
  // what was queued and stopped, every stream may be closed.
  MidiOutput_Stop();
  for (MidiPort& port : table.inputs) {
    if (MidiStream stream = port.stream.exchange(nullptr)) b->Close(stream);
    port.deviceIndex = 0;
    port.enabled = false;
  }
  for (MidiPort& port : table.outputs) {
    port.enabled = false;
    if (MidiStream stream = port.stream.exchange(nullptr)) b->Close(stream);
    port.deviceIndex = 0;
  }
  openBackend.store(nullptr);
  b->Terminate();
}

void MidiPoll() {
  MidiBackend* b = openBackend.load();
  if (!b) return;
  bool readSomething = false;
  for (int i = 0; i < table.inputCount; ++i) {
    MidiPort& port = table.inputs[i];
    if (!Polled(port)) continue;
    const MidiStream stream = port.stream.load();
    uint32_t message;
    MidiEventTime when;
    while (b->Poll(stream) > 0 && b->ReadTimed(stream, &message, &when)) {
      readSomething = true;
      if (clockIn && clockIn->Receive(message, when.timeNs)) continue;
      if (!port.enabled) continue;
      const int status = static_cast<int>(message & 0xFF);
      const int data1 = static_cast<int>((message >> 8) & 0xFF);
      const int data2 = static_cast<int>((message >> 16) & 0xFF);
      DispatchMidi(port.deviceIndex, status & 0x0F, status & 0xF0, data1, data2);
    }
  }
  // Only now: input that arrived during the reads rings again at once.
  inputWatch.Rearm(readSomething);
}

void MidiPollWoken() {
  if (inputWatch.Rang()) MidiPoll();
}

void MidiPorts_UseClockIn(MidiClockIn* follower) {
  clockIn = follower;
  WatchInputs();
}

bool MidiPorts_AnyInputPolled() {
  if (!openBackend.load()) return false;
  for (int i = 0; i < table.inputCount; ++i)
    if (Polled(table.inputs[i])) return true;
  return false;
}

bool MidiPorts_PollingWanted() {
  if (!MidiPorts_AnyInputPolled()) return false;
  if (watchRefused || inputWatch.Lost()) return true;
  // An input without a descriptor that nothing can reach (a JACK port with no connection)
  // is not polled; asked again at every tick, so a connection brings the poll back.
  MidiBackend* b = openBackend.load();
  for (int i = 0; i < table.inputCount; ++i)
    if (unwatched[i] && Polled(table.inputs[i]) && !b->InputSilent(table.inputs[i].stream.load())) return true;
  return false;
}

uint64_t MidiPorts_InputWakes() { return inputWatch.Wakes(); }

void EnableAllInputs() {
  for (int i = 0; i < table.inputCount; ++i) table.inputs[i].enabled = true;
  WatchInputs();
}

void RecomputeEnabledInputs() {
  for (int i = 0; i < table.inputCount; ++i) table.inputs[i].enabled = false;
  TriggerSet& set = Triggers();
  for (int type = 0; type < kMidiTriggerTypeCount; ++type) {
    const TriggerType t = static_cast<TriggerType>(type);
    const int count = set.Count(t);
    for (int k = 0; k < count; ++k) {
      const ValueRange port = set.Get(t, k).port;
      for (int i = 0; i < table.inputCount; ++i) {
        if (port.IsAny() || (port.low <= table.inputs[i].deviceIndex &&
                             table.inputs[i].deviceIndex <= port.high)) {
          table.inputs[i].enabled = true;
        }
      }
    }
  }
  WatchInputs();
}

void SendClock(uint32_t frame) {
  // The tick goes out as far after the others of its buffer as its frame lies.
  const AudioEngine* e = Audio_GetEngine();
  const double rate = e ? e->sampleRate.load() : 48000.0;
  SendSync(kClock, From::Audio, rate > 0 ? static_cast<int64_t>(frame * 1e9 / rate) : 0);
}
void SendStart() { SendSync(kStart, From::Ui); }
void SendContinue() { SendSync(kContinue, From::Ui); }
void SendStop() { SendSync(kStop, From::Ui); }

bool MidiPorts_Send(int32_t position, uint32_t message) {
  if (position < 0 || position >= kMaxMidiPorts || !table.outputs[position].enabled) return false;
  return MidiOutput_Queue(position, message);
}

void SendMetronomeNote(bool accent) {
  const MidiSendSettings& s = *sendSettings.load();
  if (!s.metronome_midi_enable) return;
  // Out-of-range settings are clamped: a channel above 15 or a data byte above 127 would
  // turn the note into some other message on the wire.
  const uint32_t channel = static_cast<uint32_t>(Clamp(s.metronome_midi_channel, 0, 15));
  const int32_t note = accent ? s.metronome_midi_accent_note : s.metronome_midi_beat_note;
  const int32_t velocity = accent ? s.metronome_midi_accent_volume : s.metronome_midi_beat_volume;
  QueueOutput(s.metronome_midi_port,
              MidiMessage(kNoteOn + channel, static_cast<uint32_t>(Clamp(note, 0, 127)),
                          static_cast<uint32_t>(Clamp(velocity, 0, 127))),
              From::Audio);
}

std::vector<std::string> MidiPorts_InputList() {
  std::vector<std::string> list;
  for (int i = 0; i < table.inputCount; ++i) {
    char line[128];
    std::snprintf(line, sizeof line, "Port %d: %s", table.inputs[i].deviceIndex + 1, table.inputs[i].name);
    list.emplace_back(line);
  }
  return list;
}

std::vector<std::string> MidiPorts_OutputNames() {
  std::vector<std::string> names;
  for (const MidiPort& port : table.outputs) names.emplace_back(port.name);
  return names;
}

void MidiHooks_Install() {
  Audio_SetMidiClockCallback(&SendClock);
  Audio_SetBeatCallback(&BeatHook);
  Audio_SetTransportStartCallback([](int fromStart) { fromStart ? SendStart() : SendContinue(); });
}

void MidiHooks_Remove() {
  Audio_SetMidiClockCallback(nullptr);
  Audio_SetBeatCallback(nullptr);
  Audio_SetTransportStartCallback(nullptr);
}

bool MidiHooks_TakeBeat(bool* accent) {
  const uint32_t sounded = beatsSounded.load(std::memory_order_acquire);
  if (sounded == beatsTaken) return false;
  beatsTaken = sounded;
  if (accent) *accent = lastBeatAccent.load(std::memory_order_relaxed);
  return true;
}
