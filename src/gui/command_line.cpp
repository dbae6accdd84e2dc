#include "gui/command_line.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <cstdio>

#include "app/app.h"

namespace {

// The toolkit's own options (the window system, geometry, style) are the toolkit's to
// read: they pass through, with the value those that take one.
const char* const kToolkitOptions[] = {"platform", "platformpluginpath", "platformtheme", "plugin", "display",
                                       "geometry", "style", "stylesheet", "qwindowgeometry", "qwindowicon",
                                       "qwindowtitle", "session", "reverse", "nograb", "dograb", "widgetcount"};
const char* const kToolkitFlags[] = {"reverse", "nograb", "dograb", "widgetcount"};

QStringList WithoutToolkitOptions(const QStringList& arguments) {
  QStringList kept;
  for (int i = 0; i < arguments.size(); ++i) {
    const QString& a = arguments[i];
    bool toolkit = false, flag = false;
    if (i > 0 && a.startsWith('-') && !a.startsWith(QStringLiteral("--"))) {
      const QString name = a.mid(1).section('=', 0, 0);
      for (const char* o : kToolkitOptions) toolkit = toolkit || name == QLatin1String(o);
      for (const char* f : kToolkitFlags) flag = flag || name == QLatin1String(f);
    }
    if (!toolkit) {
      kept << a;
    } else if (!flag && !a.contains('=')) {
      ++i;  // its value
    }
  }
  return kept;
}

}  // namespace

CommandLine CommandLine_Parse(const QStringList& given) {
  const QStringList arguments = WithoutToolkitOptions(given);
  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral("Kestrine, a live audio looper."));
  const QCommandLineOption help = parser.addHelpOption();
  const QCommandLineOption version = parser.addVersionOption();
  const QCommandLineOption render(QStringLiteral("render"),
                                  QStringLiteral("Render <session> to the WAV file given after the options, "
                                                 "without a window or audio device."),
                                  QStringLiteral("session"));
  const QCommandLineOption seconds(QStringLiteral("seconds"), QStringLiteral("Render this many seconds."),
                                   QStringLiteral("N"));
  const QCommandLineOption passes(QStringLiteral("passes"),
                                  QStringLiteral("Render this many passes of the longest loop (default 1)."),
                                  QStringLiteral("N"));
  const QCommandLineOption floatSamples(QStringLiteral("float"),
                                        QStringLiteral("Render 32-bit float samples (default: 16-bit PCM)."));
  const QCommandLineOption mix(QStringLiteral("mix"),
                               QStringLiteral("Render the whole mix (all, the default) or track <N> (1-8) alone."),
                               QStringLiteral("all|N"));
  const QCommandLineOption oscPort(QStringLiteral("osc-port"),
                                   QStringLiteral("Listen for OSC control on UDP port <N> for this run (0: off); "
                                                  "wins over the port in the preferences."),
                                   QStringLiteral("N"));
  const QCommandLineOption sync(QStringLiteral("sync"),
                                QStringLiteral("Follow the tempo of <source> for this run: internal, midi (MIDI "
                                               "clock in), jack (JACK transport) or link (Ableton Link); wins over "
                                               "the source in the preferences."),
                                QStringLiteral("source"));
  parser.addOptions({render, seconds, passes, floatSamples, mix, oscPort, sync});
  parser.addPositionalArgument(QStringLiteral("session"),
                               QStringLiteral("A session file to open at start-up (with --render: the WAV file "
                                              "to write)."),
                               QStringLiteral("[session | out.wav]"));
  CommandLine line;
  // Read before the application object exists, so the program's name is put in here.
  const QString program = arguments.isEmpty() ? QStringLiteral("kestrine") : QFileInfo(arguments.front()).fileName();
  const auto helpText = [&] { return parser.helpText().replace(QStringLiteral("<executable_name>"), program); };
  const auto usageError = [&](const QString& text) {
    std::fprintf(stderr, "%s\n\n%s", qPrintable(text), qPrintable(helpText()));
    line.exit = true;
    line.exitCode = 2;
    return line;
  };
  if (!parser.parse(arguments)) return usageError(parser.errorText());
  if (parser.isSet(help)) {
    std::printf("%s", qPrintable(helpText()));
    line.exit = true;
    return line;
  }
  if (parser.isSet(version)) {
    std::printf("%s %s\n", kAppTitle, kAppVersion);
    line.exit = true;
    return line;
  }
  if (parser.isSet(oscPort)) {
    bool number = false;
    line.oscPort = parser.value(oscPort).toInt(&number);
    if (!number || line.oscPort < 0 || line.oscPort > 65535)
      return usageError(QStringLiteral("--osc-port needs a port number from 0 (off) to 65535."));
  }
  if (parser.isSet(sync)) {
    line.syncSource = SyncSource_FromWord(parser.value(sync).toStdString());
    if (line.syncSource < 0) return usageError(QStringLiteral("--sync needs one of internal, midi, jack or link."));
  }
  const QStringList positional = parser.positionalArguments();
  if (parser.isSet(render)) {
    if (positional.size() != 1) return usageError(QStringLiteral("--render needs one output file."));
    if (parser.isSet(seconds) && parser.isSet(passes))
      return usageError(QStringLiteral("--seconds and --passes cannot be given together."));
    line.render = true;
    line.renderRequest.session = parser.value(render).toStdString();
    line.renderRequest.output = positional.front().toStdString();
    bool number = true;
    if (parser.isSet(seconds)) {
      line.renderRequest.seconds = parser.value(seconds).toDouble(&number);
      if (!number || !(line.renderRequest.seconds > 0) || line.renderRequest.seconds > 21600)
        return usageError(QStringLiteral("--seconds needs a number of seconds up to 21600 (six hours)."));
    }
    if (parser.isSet(passes)) {
      line.renderRequest.passes = parser.value(passes).toInt(&number);
      if (!number || line.renderRequest.passes < 1 || line.renderRequest.passes > 100000)
        return usageError(QStringLiteral("--passes needs a whole number from 1 to 100000."));
    }
    line.renderRequest.floatSamples = parser.isSet(floatSamples);
    if (parser.isSet(mix) && parser.value(mix) != QStringLiteral("all")) {
      line.renderRequest.track = parser.value(mix).toInt(&number);
      if (!number || line.renderRequest.track < 1 || line.renderRequest.track > 8)
        return usageError(QStringLiteral("--mix needs all or a track number from 1 to 8."));
    }
    return line;
  }
  if (parser.isSet(seconds) || parser.isSet(passes) || parser.isSet(floatSamples) || parser.isSet(mix))
    return usageError(QStringLiteral("--seconds, --passes, --float and --mix go with --render."));
  if (positional.size() > 1) return usageError(QStringLiteral("Only one session file can be opened."));
  if (!positional.isEmpty()) line.session = positional.front().toStdString();
  return line;
}
