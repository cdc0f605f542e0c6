#pragma once
// One QApplication for the whole test program (Qt allows only one, and widgets need it). Tests of
// the app folder call EnsureQtApplication() before they build a widget; it also points QSettings at a
// temporary folder.

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>

namespace skelvane::test {

/// The test program's application object, created at the first call and kept to the end; every call
/// forgets what the window remembered.
inline QApplication& EnsureQtApplication() {
  static int argc = 1;
  static char name[] = "app_tests";
  static char* argv[] = {name, nullptr};
  static QApplication* application = new QApplication(argc, argv);
  // What the window remembers (QSettings) goes to a folder of this test run, never the user's own;
  // the folder goes when the program ends (a static object, not a leaked one).
  static QTemporaryDir settings;
  static const bool pointed = [] {
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings.path());
    return true;
  }();
  (void)pointed;
  // Each test starts from nothing remembered, as on a first start.
  QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Skelvane"), QStringLiteral("Skelvane")).clear();
  return *application;
}

}  // namespace skelvane::test
