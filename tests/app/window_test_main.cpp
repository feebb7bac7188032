// The window tests run the real widgets on Qt's offscreen platform, with preferences of their
// own in a folder that goes when they end: never the user's.
#include <gtest/gtest.h>

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QTemporaryDir settingsFolder;
  qputenv("XDG_CONFIG_HOME", settingsFolder.path().toLocal8Bit());
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsFolder.path());
  QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsFolder.path());
  QApplication application(argc, argv);
  QApplication::setOrganizationName(QStringLiteral("Vantrel Software Tests"));
  QApplication::setApplicationName(QStringLiteral("Vantrel Converter Tests"));
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
