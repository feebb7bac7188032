// main() of the benchmarks that drive the real window, on Qt's offscreen platform, with
// preferences of their own in a folder that goes when they end: the window starts as on a
// first start, and the user's preferences stay untouched.
#pragma once

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>

inline int RunWindowBenchmarks(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QTemporaryDir settingsFolder;
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsFolder.path());
  QApplication application(argc, argv);
  QApplication::setOrganizationName(QStringLiteral("Vantrel Software Benchmarks"));
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
