#include "app/render.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <vector>

#include "app/app.h"
#include "app/session/session_store.h"
#include "app/settings/preferences.h"
#include "app/startup.h"
#include "audio_io/mix_disk_writer.h"
#include "audio_io/sound_file.h"
#include "engine/audio.h"
#include "engine/effects_ops.h"
#include "engine/message_dialog.h"
#include "persist/config_directory.h"

namespace fs = std::filesystem;

namespace {

int64_t RenderFrames(const App* app, const RenderRequest& request, double rate) {
  if (request.seconds > 0) return static_cast<int64_t>(request.seconds * rate + 0.5);
  // The longest recorded loop; with none recorded, the longest loop there is.
  int64_t longest = 0, longestRecorded = 0;
  for (const LoopStrip& s : app->tracks.strips) {
    longest = std::max<int64_t>(longest, Audio_GetLoopLength(s.slot));
    if (!s.empty) longestRecorded = std::max<int64_t>(longestRecorded, Audio_GetLoopLength(s.slot));
  }
  return (longestRecorded > 0 ? longestRecorded : longest) * std::max(1, request.passes);
}

// Reports what a message box would have shown, for the error text of the command.
class CollectedMessages final : public MessageDialog {
 public:
  int Show(void*, const std::string& text, const std::string& caption, int kind, const std::string&,
           MessageCheckAction) override {
    if (!all.empty()) all += "\n";
    all += caption + ": " + text;
    return kind == MB_OK ? IDOK : (kind == MB_YESNO ? IDNO : IDCANCEL);
  }
  std::string all;
};

// The track asked for alone: every other one muted, no solo overriding that.
void KeepOnlyTrack(App* app, int track) {
  for (int i = 0; i < static_cast<int>(std::size(app->tracks.strips)); ++i) {
    LoopStrip_SetSolo(&app->tracks, StripIndex{i}, false, false);
    LoopStrip_SetMute(&app->tracks, StripIndex{i}, i != track - 1);
  }
}

// Where the output goes: the Mix->Disk writer for 16-bit files, so that a render is what
// Mix->Disk records; a float file is written from the same output blocks.
class RenderOutput {
 public:
  bool Open(const RenderRequest& request, uint32_t rate) {
    floatSamples_ = request.floatSamples;
    if (floatSamples_) return floatFile_.Open(request.output, 2, static_cast<int>(rate), &reason_);
    writer_ = MixDisk_Writer();
    return writer_ && MixDiskWriter_Open(writer_, request.output.c_str(), rate);
  }
  // Takes one block of the callback's output.
  bool Take(const float* block, unsigned long frames) {
    if (floatSamples_) return floatFile_.Write(block, static_cast<int64_t>(frames));
    return MixDiskWriter_Flush(writer_);
  }
  // The Mix->Disk writer closes itself before a WAV file's sizes would overflow.
  bool Whole() const { return floatSamples_ || writer_->open.load(); }
  bool Close(bool afterError) {
    if (floatSamples_) return floatFile_.Close();
    return MixDiskWriter_Close(writer_, afterError);
  }
  std::string Reason() const {
    const std::string why = floatSamples_ ? (reason_.empty() ? floatFile_.Error() : reason_) : "";
    return why.empty() ? "" : "\n" + why;
  }

 private:
  bool floatSamples_ = false;
  MixDiskWriter* writer_ = nullptr;
  FloatWavWriter floatFile_;
  std::string reason_;
};

}  // namespace

double Render_LoopFileRate(const App* app) {
  for (const LoopStrip& s : app->tracks.strips) {
    if (s.empty) continue;
    const std::string directory = s.directory.empty() ? app->session.directory : s.directory;
    const std::string path = (fs::path(directory) / (s.name + ".wav")).string();
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) continue;
    double rate = 0;
    {
      SoundFile sound;
      std::string reason;
      if (sound.Open(file, &reason)) rate = sound.Info().sampleRate;
    }
    std::fclose(file);
    if (rate > 0) return rate;
  }
  return 0;
}

namespace {

// Opens the session as Open Session does, without questions: no one is there to answer
// them, so the loops load as they are.
bool OpenSession(App* app, const std::string& session, std::string* error) {
  std::error_code ec;
  if (fs::is_regular_file(session, ec)) {
    Preferences& prefs = App_Preferences();
    const Preferences asked = prefs;
    prefs.warn_file_load = 0;
    prefs.warn_sample_rate = 0;
    App_OpenSession(app, fs::absolute(session, ec).string());
    App_WaitForLoads(app);  // no window to keep running: the render waits for every file
    prefs.warn_file_load = asked.warn_file_load;
    prefs.warn_sample_rate = asked.warn_sample_rate;
    if (app->session.named) return true;
  }
  *error = "Couldn't open session file.\n" + session;
  return false;
}

}  // namespace

bool Render_Session(App* app, const RenderRequest& request, std::string* error) {
  if (!OpenSession(app, request.session, error)) return false;
  if (request.track < 0 || request.track > static_cast<int>(std::size(app->tracks.strips))) {
    *error = "There is no track " + std::to_string(request.track) + " to render.";
    return false;
  }
  if (request.track > 0) KeepOnlyTrack(app, request.track);

  AudioEngine* engine = Audio_GetEngine();
  const double rate = engine->sampleRate.load();
  RenderOutput out;
  if (!out.Open(request, static_cast<uint32_t>(rate))) {
    *error = "Unable to write the render to:\n" + request.output + out.Reason();
    return false;
  }
  App_Play(app);
  const int64_t frames = RenderFrames(app, request, rate);
  const unsigned block = std::max(1u, request.blockFrames);
  std::vector<float> input(2 * block, 0.0f), output(2 * block);
  bool written = true;
  for (int64_t done = 0; done < frames && written;) {
    const auto n = static_cast<unsigned long>(std::min<int64_t>(block, frames - done));
    Audio_ProcessStream(engine, input.data(), output.data(), n);
    done += static_cast<int64_t>(n);
    written = out.Take(output.data(), n);
  }
  const bool whole = out.Whole();
  App_Stop(app);
  written = out.Close(!written) && written;
  if (!written) *error = "Unable to write the render to:\n" + request.output + out.Reason();
  else if (!whole) *error = "The render is longer than a WAV file can hold:\n" + request.output;
  return written && whole;
}

namespace {

// One run of the application around `render`: brought up on the engine as it stands,
// taken down after. False when the application data could not be made.
template <typename Render>
bool WithApplication(Render render, std::string* error) {
  App app;
  AppSessionStore store(App_SessionParts(&app));
  app.sessions = &store;
  const bool made = App_InitApplicationData(&app);
  if (made) render(&app);
  else *error = "The loops could not be made.";
  App_Detach(&app);
  // The engine's track slots outlive the application: free them for the next run.
  if (made)
    for (const LoopStrip& strip : app.tracks.strips) Audio_DeleteLoop(strip.slot);
  return made;
}

// Runs the engine and everything rate-dependent in it at `rate` (no stream is running).
void SetEngineRate(double rate) {
  AudioEngine* engine = Audio_GetEngine();
  engine->sampleRate = rate;
  Effects_SetSampleRate(engine, rate);
}

}  // namespace

int App_RenderCommand(const RenderRequest& request) {
  CollectedMessages messages;
  MessageDialog_Install(&messages);
  int code = 1;
  if (Audio_Init()) {
    ConfigDirectory_SetPortable("");
    MixDisk_Attach(Audio_GetEngine());
    std::string error;
    // The session's loops are looked at first, so that they play at the rate they were
    // recorded at rather than at the engine's default.
    double rate = 0;
    const bool opened = WithApplication(
        [&](App* app) {
          if (OpenSession(app, request.session, &error)) rate = Render_LoopFileRate(app);
        },
        &error);
    if (opened && rate > 0 && rate != Audio_GetEngine()->sampleRate.load()) SetEngineRate(rate);
    if (opened && error.empty()) WithApplication([&](App* app) { code = Render_Session(app, request, &error) ? 0 : 1; }, &error);
    if (code != 0) std::fprintf(stderr, "%s\n%s\n", error.c_str(), messages.all.c_str());
    MixDisk_Detach(Audio_GetEngine());
    Audio_Shutdown();
  } else {
    std::fprintf(stderr, "The audio engine could not start.\n%s\n", messages.all.c_str());
  }
  MessageDialog_Install(nullptr);
  return code;
}
