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
  parser.addPositionalArgument(QStringLiteral("session"), QStringLiteral("A session file to open at start-up."),
                               QStringLiteral("[session]"));
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
  const QStringList positional = parser.positionalArguments();
  if (positional.size() > 1) return usageError(QStringLiteral("Only one session file can be opened."));
  if (!positional.isEmpty()) line.session = positional.front().toStdString();
  return line;
}
