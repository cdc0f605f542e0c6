// skelvane: the desktop application. Builds the process-wide display and data objects in their
// fixed order, installs the Qt report sink, chooser and cursors, then runs the main window.
#include <QApplication>
#include <QScreen>

#include <cstdio>
#include <memory>

#include "app/ClientArea.h"
#include "app/CommandLine.h"
#include "app/MainWindow.h"
#include "app/Preferences.h"
#include "app/QtCursorControl.h"
#include "app/QtFileChooser.h"
#include "app/QtReportSink.h"
#include "app/QtUserQuestions.h"
#include "datafile/DataSourceManager.h"
#include "render/GLRenderer.h"
#include "display/ColorTable.h"
#include "display/PlotCanvas.h"
#include "display/PlotCollection.h"
#include "display/ViewState.h"
#include "platform/CursorControl.h"
#include "platform/FileChooser.h"
#include "platform/FrameHeap.h"
#include "platform/TerminationSignals.h"

namespace {

// The first window covers this share of the screen each way, centred.
constexpr double kInitialScreenShare = 0.75;

QStringList ArgumentsOf(int argc, char** argv) {
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  return arguments;
}

// --help and --version need no display, so they are answered before Qt connects to one.
bool AnswersWithoutWindow(int argc, char** argv, int& exitCode) {
  const skelvane::CommandLine::Request request = skelvane::CommandLine::Parse(ArgumentsOf(argc, argv));
  if (request.showHelp) {
    std::fputs(skelvane::CommandLine::HelpText().c_str(), stdout);
    exitCode = 0;
    return true;
  }
  if (request.showVersion) {
    std::fputs(skelvane::CommandLine::VersionText().c_str(), stdout);
    exitCode = 0;
    return true;
  }
  return false;
}

void PlaceOnScreen(QWidget& window) {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  const QRect available = screen->availableGeometry();
  const QSize size(static_cast<int>(available.width() * kInitialScreenShare),
                   static_cast<int>(available.height() * kInitialScreenShare));
  window.resize(size);
  window.move(available.center() - QPoint(size.width() / 2, size.height() / 2));
}

}  // namespace

int main(int argc, char** argv) {
  // A signal that ends the program removes the temporary file of a settings file or bitmap being written.
  skelvane::TerminationSignals::Install();
  skelvane::FrameHeap::KeepFrameBuffers();
  int exitCode = 0;
  if (AnswersWithoutWindow(argc, argv, exitCode)) return exitCode;

  // The program's objects, each made before those that use it; they are destroyed in reverse order
  // when main returns.
  QApplication application(argc, argv);  // takes Qt's own options (-platform, ...) out of argv
  QApplication::setApplicationName(QStringLiteral("Skelvane"));
  QApplication::setApplicationVersion(QStringLiteral("3.01"));
  QApplication::setOrganizationName(QStringLiteral("Skelvane"));
  skelvane::ColorTable colours = skelvane::PlotCanvas::MakePlotColours();
  skelvane::GLRenderer renderer;
  skelvane::DataSourceManager sources;
  skelvane::PlotCollection plots(sources, colours);
  skelvane::ViewState view;
  skelvane::PlotCanvas canvas(view, &renderer, &plots, &sources);

  const skelvane::CommandLine::Request request = skelvane::CommandLine::Parse(QApplication::arguments());
  if (!request.error.empty()) {
    std::fprintf(stderr, "skelvane: %s\n%s", request.error.c_str(), skelvane::CommandLine::HelpText().c_str());
    return 1;
  }

  const skelvane::ReportSink previousSink = skelvane::QtReportSink::Install();
  auto cursor = std::make_shared<skelvane::QtCursorControl>();
  skelvane::CursorControl::Install(cursor);
  skelvane::FileChooser::Install(std::make_shared<skelvane::QtFileChooser>());
  skelvane::UserQuestions::Install(std::make_shared<skelvane::QtUserQuestions>());

  int result = 1;
  {
    skelvane::MainWindow window(canvas, view, plots, sources, renderer);
    window.SetFilesToOpen(request.files);
    if (window.Create() == 0) {
      cursor->SetTarget(window.Client());
      QObject::connect(&window, &skelvane::MainWindow::Closed, &application, &QCoreApplication::quit,
                       Qt::QueuedConnection);
      // Where the user left it last time; the first time centred on the screen.
      if (!window.restoreGeometry(skelvane::Preferences::WindowGeometry())) PlaceOnScreen(window);
      window.show();
      window.raise();
      window.activateWindow();
      window.Client()->setFocus();
      cursor->Show(skelvane::CursorControl::Shape::Arrow);
      result = QApplication::exec();
    }
  }

  skelvane::CursorControl::Install(nullptr);
  skelvane::FileChooser::Install(nullptr);
  skelvane::UserQuestions::Install(nullptr);
  skelvane::SetReportSink(previousSink);
  return result;
}
