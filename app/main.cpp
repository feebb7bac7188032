// Start-up: the main window, the About box hidden, then the event loop.
#include <QApplication>
#include <exception>

#include "app/Overlay.h"
#include "app/Unit2.h"
#include "app/dialogs.h"
#include "core/error.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  application.setApplicationName(ApplicationTitle());
  PlatformDialogs dialogs;
  try {
    TForm1 form(dialogs);
    TForm2 about;
    form.Form2 = &about;
    form.show();
    application.exec();
  } catch (...) {
    dialogs.ShowError(
        nullptr, ApplicationTitle(),
        WithFullStop(QString::fromLocal8Bit(vantrel::UserMessage(std::current_exception()))));
  }
  return 0;
}
