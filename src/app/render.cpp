#include "app/render.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "app/app.h"
#include "app/session/session_store.h"
#include "app/settings/preferences.h"
#include "app/startup.h"
#include "audio_io/mix_disk_writer.h"
#include "engine/audio.h"
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

}  // namespace

bool Render_Session(App* app, const RenderRequest& request, std::string* error) {
  std::error_code ec;
  if (!fs::is_regular_file(request.session, ec)) {
    *error = "Couldn't open session file.\n" + request.session;
    return false;
  }
  // No one is there to answer a question: the loops load as they are.
  Preferences& prefs = App_Preferences();
  prefs.warn_file_load = 0;
  prefs.warn_sample_rate = 0;
  App_OpenSession(app, fs::absolute(request.session, ec).string());
  App_WaitForLoads(app);  // no window to keep running: the render waits for every file
  if (!app->session.named) {
    *error = "Couldn't open session file.\n" + request.session;
    return false;
  }

  AudioEngine* engine = Audio_GetEngine();
  MixDiskWriter* writer = MixDisk_Writer();
  const double rate = engine->sampleRate.load();
  if (!writer || !MixDiskWriter_Open(writer, request.output.c_str(), static_cast<uint32_t>(rate))) {
    *error = "Unable to write the render to:\n" + request.output;
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
    written = MixDiskWriter_Flush(writer);
  }
  // The writer closes itself before a WAV file's sizes would overflow.
  const bool whole = writer->open.load();
  App_Stop(app);
  written = MixDiskWriter_Close(writer, !written) && written;
  if (!written) *error = "Unable to write the render to:\n" + request.output;
  else if (!whole) *error = "The render is longer than a WAV file can hold:\n" + request.output;
  return written && whole;
}

int App_RenderCommand(const RenderRequest& request) {
  CollectedMessages messages;
  MessageDialog_Install(&messages);
  int code = 1;
  if (Audio_Init()) {
    ConfigDirectory_SetPortable("");
    MixDisk_Attach(Audio_GetEngine());
    {
      App app;
      AppSessionStore store(App_SessionParts(&app));
      app.sessions = &store;
      std::string error;
      if (!App_InitApplicationData(&app)) {
        error = "The loops could not be made.";
      } else if (Render_Session(&app, request, &error)) {
        code = 0;
      }
      if (code != 0) std::fprintf(stderr, "%s\n%s\n", error.c_str(), messages.all.c_str());
      App_Detach(&app);
    }
    MixDisk_Detach(Audio_GetEngine());
    Audio_Shutdown();
  } else {
    std::fprintf(stderr, "The audio engine could not start.\n%s\n", messages.all.c_str());
  }
  MessageDialog_Install(nullptr);
  return code;
}
