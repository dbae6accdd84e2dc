#pragma once
// A fresh engine for every test, with a scripted message dialog and helpers to drive the
// stream callback with synthetic stereo input.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "engine/audio.h"
#include "support/scripted_dialog.h"

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A fresh engine, as at the start of the test.
  void Reset();

  AudioEngine* engine() const { return Audio_GetEngine(); }
  LoopTrack& track(int slot) const { return Audio_GetEngine()->tracks[slot]; }

  // Creates a loop of exactly `frames` frames (at the engine's sample rate) and fills it
  // with `fill(frame, channel)`.
  int MakeLoop(int frames, int channels, const std::function<float(int, int)>& fill = {});

  // Runs `frames` frames through the callback in pieces of `bufferFrames`, feeding
  // `input(absoluteFrame, channel)`; returns the output, interleaved stereo.
  std::vector<float> Run(long frames, unsigned long bufferFrames = 256,
                         const std::function<float(long, int)>& input = {});

  // Frames run through the callback so far by Run.
  long framesRun = 0;
  ScriptedDialog dialog;
};
