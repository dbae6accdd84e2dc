// Matching and the engine hooks' port writes run on time-critical threads and must not
// allocate: the program's allocator is replaced here by one that counts.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "control/fire_action.h"
#include "control/memory_midi_backend.h"
#include "control/midi_ports.h"
#include "control/trigger_set.h"

namespace {
std::atomic<long> allocations{0};
}  // namespace

void* operator new(std::size_t size) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

struct RunEverything : TransportNow {
  int runs = 0;
  bool ExecuteTransportNow(uint32_t) override { return ++runs, true; }
};

TEST(MatchingAllocations, DispatchKeysAndHookWritesAllocateNothing) {
  TriggerSet set;
  for (int i = 0; i < 1000; ++i) {
    Trigger t = Trigger_Make(TriggerType::ControlChange);
    t.data1.SetInput(i % 128, ValueRange::kSingle);
    t.action = {32771, 0};
    set.Add(TriggerType::ControlChange, t);
    Trigger key = Trigger_Make(TriggerType::KeyboardKey);
    key.data1.SetInput('k', 'k');
    set.Add(TriggerType::KeyboardKey, key);
  }
  MemoryMidiBackend midi;
  const int out = midi.AddDevice("Out", false, true);
  MidiSendSettings settings;
  settings.send_midi_sync = 1;
  settings.metronome_midi_enable = 1;
  MidiPorts_UseBackend(&midi);
  MidiPorts_UseSendSettings(&settings);
  ASSERT_TRUE(OpenMidiPorts());
  RunEverything transport;
  Control_InstallTransportNow(&transport);

  const long before = allocations.load();
  set.DispatchMidi(0, 0, 0xB0, 7, 100);   // 8 of the 1000 match and fire
  set.DispatchMidi(0, 0, 0x90, 60, 100);  // an empty list
  const bool keyMatched = set.MatchKey('k');
  for (int i = 0; i < 100; ++i) {
    SendClock();
    SendMetronomeNote(i % 4 == 0);
  }
  const long after = allocations.load();

  Control_InstallTransportNow(nullptr);
  CloseMidiPorts();
  MidiPorts_UseBackend(nullptr);
  MidiPorts_UseSendSettings(nullptr);
  EXPECT_EQ(after, before);
  EXPECT_TRUE(keyMatched);
  EXPECT_EQ(transport.runs, 8 + 1000);
  EXPECT_EQ(midi.Written(out).size(), 200u);
}

}  // namespace
