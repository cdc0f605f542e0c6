#pragma once
// One QApplication for the whole test program (Qt allows only one, and widgets need it). Tests of
// the app folder call EnsureQtApplication() before they build a widget.

#include <QApplication>

namespace skelvane::test {

/// The test program's application object, created at the first call and kept to the end.
inline QApplication& EnsureQtApplication() {
  static int argc = 1;
  static char name[] = "app_tests";
  static char* argv[] = {name, nullptr};
  static QApplication* application = new QApplication(argc, argv);
  return *application;
}

}  // namespace skelvane::test
