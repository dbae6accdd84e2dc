#pragma once
// The program's command line, in one place: --help, --version and a session file to open
// once the program has started. Read before any window exists, so that --help and
// --version work without a display.
#include <QStringList>
#include <string>

struct CommandLine {
  bool exit = false;    // --help, --version or a usage error: end now with exitCode
  int exitCode = 0;     // 0, or 2 for a usage error (usage on stderr)
  std::string session;  // the session file given, empty for none
};

CommandLine CommandLine_Parse(const QStringList& arguments);
