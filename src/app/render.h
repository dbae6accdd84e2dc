#pragma once
// Rendering a session to a WAV file without a window or audio device: the session is
// opened as Open Session opens it, played as Play plays it, and the stream callback runs
// as fast as it can with silent input, its output written by the Mix->Disk writer. What a
// render writes over N seconds is what Mix->Disk writes over the same N seconds from the
// same start. User-interface thread only.
#include <string>

struct App;

struct RenderRequest {
  std::string session;  // the .session file
  std::string output;   // the WAV file to write (replaced)
  double seconds = 0;   // how long, when > 0
  int passes = 0;       // else this many passes of the longest recorded loop (at least one)
  unsigned blockFrames = 256;
  bool floatSamples = false;  // 32-bit float samples instead of 16-bit PCM
  int track = 0;              // 1..8: that track alone (the others muted); 0: the whole mix
};

// Renders with `app` (its data initialised, a session store installed, no stream running).
// False, with the reason in *error, when the session could not be opened or the output
// not written.
bool Render_Session(App* app, const RenderRequest& request, std::string* error);

// The sample rate a session's loops were saved at: that of the first recorded track's
// file (0 when no recorded track has a readable file). `app` has the session open.
double Render_LoopFileRate(const App* app);

// The whole command: engine, application and session store brought up and taken down
// around Render_Session, the engine running at the rate of the session's loops. Returns the exit code: 0 written, 1 the session could not be
// opened or the output not written (the reason on stderr).
int App_RenderCommand(const RenderRequest& request);
