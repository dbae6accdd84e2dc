// Reading and writing Preferences.xml and a MIDI control file of 1000 triggers.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/settings/config_files.h"
#include "app/settings/preferences.h"
#include "control/midi_control_file.h"
#include "control/trigger_set.h"
#include "engine/audio.h"
#include "persist/config_directory.h"

namespace {

struct BenchDirectory {
  std::filesystem::path path;
  BenchDirectory() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kestrine-bench-XXXXXX").string();
    if (mkdtemp(pattern.data())) path = pattern;
    Audio_Init();
    ConfigDirectory = path.string();
    ConfigFiles_InitDefaults();
  }
  ~BenchDirectory() {
    Triggers().ClearAll();
    ConfigDirectory.clear();
    Audio_Shutdown();
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
};

void FillTriggers(int count) {
  Triggers().ClearAll();
  for (int i = 0; i < count; ++i) {
    const auto type = static_cast<TriggerType>(i % kTriggerTypeCount);
    Trigger t = Trigger_Make(type);
    t.port.SetInput(i % 4, ValueRange::kSingle);
    t.channel.SetInput(i % 16, ValueRange::kSingle);
    if (type != TriggerType::PitchBend) t.data1.SetInput(32 + i % 90, ValueRange::kSingle);
    t.action.track = i % 9;
    Triggers().Add(type, t);
  }
}

void BM_WritePreferences(benchmark::State& state) {
  BenchDirectory dir;
  for (auto _ : state) benchmark::DoNotOptimize(WritePreferences());
}
BENCHMARK(BM_WritePreferences)->Unit(benchmark::kMicrosecond);

void BM_ReadPreferences(benchmark::State& state) {
  BenchDirectory dir;
  WritePreferences();
  for (auto _ : state) ReadPreferences();
}
BENCHMARK(BM_ReadPreferences)->Unit(benchmark::kMicrosecond);

void BM_WriteMidiControlFile1000(benchmark::State& state) {
  BenchDirectory dir;
  FillTriggers(1000);
  const std::string base = (dir.path / "Default").string();
  for (auto _ : state) benchmark::DoNotOptimize(WriteMidiControlFile(base));
}
BENCHMARK(BM_WriteMidiControlFile1000)->Unit(benchmark::kMicrosecond);

void BM_ReadMidiControlFile1000(benchmark::State& state) {
  BenchDirectory dir;
  FillTriggers(1000);
  const std::string base = (dir.path / "Default").string();
  WriteMidiControlFile(base);
  for (auto _ : state) ReadMidiControlFile(base, true);
  state.counters["triggers"] = Triggers().Count(TriggerType::NoteOn) * kTriggerTypeCount;
}
BENCHMARK(BM_ReadMidiControlFile1000)->Unit(benchmark::kMicrosecond);

}  // namespace
