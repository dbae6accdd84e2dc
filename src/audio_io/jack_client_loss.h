#pragma once
// PortAudio's JACK host API and a JACK server that goes away.
//
// When the server dies (or drops the client), PortAudio 19.6 marks its streams inactive
// but cannot let go of them: stopping or closing such a stream waits up to ten minutes
// for a process callback that never comes, and Pa_Terminate aborts the program on the
// errors the dead client returns. This module stands between PortAudio and libjack (it
// defines the few libjack functions involved, forwarding to the real ones) so that:
// - the loss is reported at once, on libjack's own thread, through a handler;
// - a stop of a stream of the dead client can be woken (JackClientLoss_WakePortAudio);
// - the teardown calls on the dead client report success, so Pa_Terminate completes
//   and a later Pa_Initialize gets a fresh client (a new server brings sound back).

// Called on libjack's thread when PortAudio's JACK client has been shut down by the
// server (it died, or dropped the client). Only atomics may be touched there.
using JackClientLostFn = void (*)();
void JackClientLoss_SetHandler(JackClientLostFn fn);

// True once the client of the current PortAudio instance is lost (safe from any thread).
bool JackClientLoss_Happened();
// Forgets the loss: call after Pa_Terminate, before Pa_Initialize makes a new client.
void JackClientLoss_Reset();

// Runs PortAudio's own shutdown handling again, which wakes a stop waiting for the dead
// client. Only after a loss, and never while a stream of that client is being freed.
void JackClientLoss_WakePortAudio();

// The program's own JACK clients (the MIDI ports and transport client) open and close
// through the same libjack functions. Their calls pass straight through: PortAudio's
// shutdown handler and its loss state are never taken for theirs. UI thread; at most
// four at once.
void JackClientLoss_AddOwnClient(void* client);
void JackClientLoss_RemoveOwnClient(void* client);
