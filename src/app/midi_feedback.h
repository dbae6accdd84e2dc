#pragma once
// The controller's lamps kept in step with the application (controller_feedback.h): at
// every tick of timer 1 the state OSC reports is read once more and what changed goes to
// the output chosen in the preferences (`midi_feedback_port`), so a change from the
// mouse, a key, MIDI or OSC is on the controller within one tick.
//
// User-interface thread only.
struct App;

// Sends the lamps that changed since the last tick (timer 1).
void App_MidiFeedbackTick(App* app);
// Switches off every lamp lit (before the MIDI ports close).
void App_MidiFeedbackDarken(App* app);
