#pragma once
// The program's command line, in one place: --help, --version, a session file to open
// once the program has started, --osc-port and --render. Read before any window exists, so that
// everything but opening a session works without a display.
#include <QStringList>
#include <string>

#include "app/render.h"

struct CommandLine {
  bool exit = false;    // --help, --version or a usage error: end now with exitCode
  int exitCode = 0;     // 0, or 2 for a usage error (usage on stderr)
  std::string session;  // the session file given, empty for none
  int oscPort = -1;     // --osc-port N: the OSC server's port for this run (0 off), -1 not given
  int syncSource = -1;  // --sync internal|midi|jack|link: the tempo source for this run, -1 not given
  bool render = false;  // --render SESSION OUT.wav [--seconds N | --passes N]
  RenderRequest renderRequest;
};

CommandLine CommandLine_Parse(const QStringList& arguments);
