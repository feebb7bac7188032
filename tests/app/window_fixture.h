// A fresh main window per test, with scripted dialogs and a log of the progress bar.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QTest>
#include <memory>

#include "app/Overlay.h"
#include "app/Unit2.h"
#include "fake_dialogs.h"

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QSettings().clear();  // every test starts from the program's first start
    form = std::make_unique<TForm1>(dialogs);
    about = std::make_unique<TForm2>();
    form->Form2 = about.get();
    QObject::connect(form->ProgressBar1, &QProgressBar::valueChanged,
                     [this](int value) { progress.push_back(value); });
  }

  // A left click on a swatch, delivered as the window system would deliver it.
  static void Click(QWidget* widget) {
    const QPointF at(widget->width() / 2.0, widget->height() / 2.0);
    QMouseEvent press(QEvent::MouseButtonPress, at, widget->mapToGlobal(at), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, at, widget->mapToGlobal(at), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
    QApplication::sendEvent(widget, &release);
  }

  // Opens a file through "Open JPEG" as a user would.
  void Open(const QString& fileName) {
    dialogs.AnswerOpen(fileName);
    form->OpenBitmap1->trigger();
  }

  // Conversions run since the log was last cleared: each pass sweeps the bar to 199,
  // one sweep per offset application and three per conversion.
  int FullSweeps() const {
    return static_cast<int>(std::count(progress.begin(), progress.end(), 199));
  }

  static QString Data(const char* name) { return QStringLiteral(VANTREL_TEST_DATA "/") + name; }

  FakeDialogs dialogs;
  std::unique_ptr<TForm1> form;
  std::unique_ptr<TForm2> about;
  std::vector<int> progress;
};
