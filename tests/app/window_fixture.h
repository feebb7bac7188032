// A fresh main window per test, with scripted dialogs and a log of the progress bar.
#pragma once

#include <gtest/gtest.h>

#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <memory>

#include "app/Overlay.h"
#include "app/Unit2.h"
#include "fake_dialogs.h"

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    form = std::make_unique<TForm1>(dialogs);
    about = std::make_unique<TForm2>();
    form->Form2 = about.get();
    QObject::connect(form->ProgressBar1, &QProgressBar::valueChanged,
                     [this](int value) { progress.push_back(value); });
  }

  // Opens a file through "Open JPEG" as a user would.
  void Open(const QString& fileName) {
    dialogs.AnswerOpen(fileName);
    form->OpenBitmap1->trigger();
  }

  // Conversions run since the log was last cleared: each pass sweeps the bar to 199,
  // one sweep per offset application and three per conversion.
  int FullSweeps() const { return static_cast<int>(std::count(progress.begin(), progress.end(), 199)); }

  static QString Data(const char* name) { return QStringLiteral(VANTREL_TEST_DATA "/") + name; }

  FakeDialogs dialogs;
  std::unique_ptr<TForm1> form;
  std::unique_ptr<TForm2> about;
  std::vector<int> progress;
};
