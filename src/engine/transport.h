#pragma once
struct AudioEngine;

// Rewinds every track but the one whose pending cut will rewind it, and restarts the
// metronome and clock counters: what a stop does to positions.
void Transport_RewindAll(AudioEngine* engine);

// The record track: the first slot in use with its record flag (-1: none).
int Transport_RecordTrack(const AudioEngine* engine);

// Ends the pending-cut track's loop at its position (caller holds the engine lock).
void Transport_ApplyPendingCut(AudioEngine* engine);
