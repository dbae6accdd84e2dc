#include "app/midi_feedback.h"

#include "app/app.h"
#include "app/settings/preferences.h"
#include "control/midi_ports.h"
#include "control/trigger_set.h"

void App_MidiFeedbackTick(App* app) {
  app->feedback.Update(App_OscState(app), App_Preferences().midi_feedback_port, Triggers(), MidiPorts_Send);
}

void App_MidiFeedbackDarken(App* app) { app->feedback.Darken(MidiPorts_Send); }
