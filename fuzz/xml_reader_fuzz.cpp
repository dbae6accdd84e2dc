// Fuzz target for the XML readers: any byte string as SysConfig.xml, Preferences.xml,
// DeviceConfig.xml, a MIDI control file, a session file and a skin file. Every reader must refuse what it cannot
// read with a message and keep running; what it accepts must survive a write and a read
// unchanged (writing what was read twice gives the same bytes).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "app/app.h"
#include "app/session/session_file.h"
#include "app/settings/config_files.h"
#include "app/settings/skin.h"
#include "app/startup.h"
#include "control/midi_control_file.h"
#include "control/trigger_set.h"
#include "engine/audio.h"
#include "engine/message_dialog.h"
#include "persist/config_directory.h"

namespace {

class QuietDialog : public MessageDialog {
 public:
  int Show(void*, const std::string&, const std::string&, int, const std::string&,
           MessageCheckAction) override {
    return IDOK;
  }
};

QuietDialog quiet;
App* app = nullptr;  // the application whose strips and panel a session file sets

void Put(const std::string& name, const uint8_t* data, size_t size) {
  std::ofstream out(ConfigDirectory_File(name), std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

std::string Get(const std::string& name) {
  std::ifstream in(ConfigDirectory_File(name), std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// Reads, writes, reads the written file and writes again: both writes must agree.
template <class Read, class Write>
void RoundTrip(const std::string& file, Read read, Write write) {
  read();
  write();
  const std::string first = Get(file);
  read();
  write();
  if (Get(file) != first) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // tmpfs when there is one: every input is written and renamed several times.
  const std::filesystem::path base =
      std::filesystem::exists("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path();
  std::string pattern = (base / "kestrine-fuzz-XXXXXX").string();
  if (!mkdtemp(pattern.data())) std::abort();
  ConfigDirectory = pattern;
  MessageDialog_Install(&quiet);
  Audio_Init();
  app = new App;
  if (!App_InitApplicationData(app)) std::abort();
  std::filesystem::create_directories(ConfigDirectory_File("Skins/Fuzz"));
  std::atexit([] {
    std::error_code ignored;
    std::filesystem::remove_all(ConfigDirectory, ignored);
  });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ConfigFiles_InitDefaults();
  ConfigFiles_SetDeviceDefaults();
  Triggers().ClearAll();

  Put("SysConfig.xml", data, size);
  RoundTrip("SysConfig.xml", ReadSystemConfiguration, WriteSystemConfiguration);
  Put("Preferences.xml", data, size);
  RoundTrip("Preferences.xml", ReadPreferences, WritePreferences);
  Put("DeviceConfig.xml", data, size);
  RoundTrip("DeviceConfig.xml", ReadDeviceConfiguration, WriteDeviceConfiguration);

  const std::string base = ConfigDirectory_File("Fuzz");
  Put("Fuzz_Midi.xml", data, size);
  RoundTrip("Fuzz_Midi.xml", [&] { ReadMidiControlFile(base, false); },
            [&] { WriteMidiControlFile(base); });

  Put("Fuzz.session", data, size);
  RoundTrip("Fuzz.session", [&] { SessionFile_Load(App_SessionParts(app), base, false); },
            [&] { SessionFile_Save(App_SessionParts(app), base); });

  // A skin is only read: whatever it says, the model stays within its ranges.
  Put("Skins/Fuzz/Fuzz.xml", data, size);
  Skin skin;
  const bool loaded = Skin_Load(&skin, "Fuzz", ConfigDirectory);
  if (skin.numMeterLeds < 0 || skin.numMeterLeds > kSkinMaxMeterLeds || skin.author.size() > kSkinAuthorMax ||
      loaded != Skin_Loaded(skin))
    __builtin_trap();
  return 0;
}
