#include "app/CommandLine.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QFile>

namespace skelvane {
namespace {

constexpr const char* kDescription =
    "Skelvane shows continuously sampled channel (CSC) recordings as a stack of trace plots and\n"
    "extracts spikes from them into spike files. Each FILE is opened at start: a recording as a data\n"
    "source, a spike file in a Spikes panel.";
constexpr const char* kVersionLine = "Skelvane Version 3.01";

struct Parser {
  QCommandLineParser parser;
  QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help and exit.")};
  QCommandLineOption version{{QStringLiteral("v"), QStringLiteral("version")},
                             QStringLiteral("Show the version and exit.")};

  Parser() {
    parser.setApplicationDescription(QString::fromUtf8(kDescription));
    parser.addOption(help);
    parser.addOption(version);
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("A CSC data file or a spike file to open."),
                                 QStringLiteral("[FILE...]"));
  }
};

}  // namespace

CommandLine::Request CommandLine::Parse(const QStringList& arguments) {
  Parser p;
  Request request;
  const bool understood = p.parser.parse(arguments);
  request.showHelp = p.parser.isSet(p.help);
  request.showVersion = p.parser.isSet(p.version);
  if (!understood) request.error = p.parser.errorText().toStdString();
  for (const QString& file : p.parser.positionalArguments()) {
    request.files.push_back(QFile::encodeName(file).toStdString());
  }
  return request;
}

std::string CommandLine::HelpText() {
  Parser p;
  // The usage line names the program as users start it, whatever the binary is called.
  QString text = p.parser.helpText();
  const qsizetype usageEnd = text.indexOf(QLatin1Char('\n'));
  text.replace(0, usageEnd, QStringLiteral("Usage: skelvane [options] [FILE...]"));
  return text.toStdString();
}

std::string CommandLine::VersionText() { return std::string(kVersionLine) + "\n"; }

}  // namespace skelvane
