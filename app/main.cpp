// Start-up: the main window, the About box hidden, then the event loop. A picture named on
// the command line opens once the window is up.
#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QTimer>
#include <exception>

#include "app/Overlay.h"
#include "app/Unit2.h"
#include "app/dialogs.h"
#include "core/error.h"

#ifndef VANTREL_VERSION
#define VANTREL_VERSION "unknown"
#endif

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  application.setApplicationName(ApplicationTitle());
  // Where the preferences live: ~/.config/Vantrel Software/Vantrel Converter.conf.
  application.setOrganizationName(QStringLiteral("Vantrel Software"));
  application.setApplicationVersion(QStringLiteral(VANTREL_VERSION));
  // Ties the window to its menu entry once installed (Wayland goes by this name).
  QGuiApplication::setDesktopFileName(QStringLiteral("vantrel-converter"));

  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral("Turns a photo into a Commodore 64 picture."));
  parser.addHelpOption();
  parser.addVersionOption();
  parser.addPositionalArgument(QStringLiteral("picture"),
                               QStringLiteral("A photo, a saved picture or a project to open, as "
                                              "File > Open JPEG would."),
                               QStringLiteral("[picture]"));
  parser.process(application);
  const QStringList pictures = parser.positionalArguments();

  PlatformDialogs dialogs;
  try {
    TForm1 form(dialogs);
    TForm2 about;
    form.Form2 = &about;
    form.show();
    if (!pictures.isEmpty()) {
      // The open dialog hands over absolute names; the event loop first shows the window,
      // so an error box has it to stand on.
      const QString fileName = QFileInfo(pictures.front()).absoluteFilePath();
      QTimer::singleShot(0, &form, [&form, fileName] { form.OpenGivenFile(fileName); });
    }
    application.exec();
  } catch (...) {
    dialogs.ShowError(
        nullptr, ApplicationTitle(),
        WithFullStop(QString::fromLocal8Bit(vantrel::UserMessage(std::current_exception()))));
  }
  return 0;
}
