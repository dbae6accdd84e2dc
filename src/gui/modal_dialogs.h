#pragma once
// The modal dialogs of the Options menu and the panel, run by the main window's
// DialogHost::Run. User-interface thread only.
#include "app/app_host.h"

class QWidget;
struct App;

// Runs dialog `which` modally over `parent` (QDialog::exec, so timers, MIDI polling and
// learning go on meanwhile) and returns true when it was closed with OK. Select Skin and
// ASIO Control Panel are not among these dialogs: they answer false.
bool Dialogs_Run(QWidget* parent, App* app, ModalDialog which);
