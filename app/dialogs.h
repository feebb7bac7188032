// Everything modal goes through this interface, so tests can answer dialogs without
// blocking: the open and save dialogs, the error box and modal windows.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <stdexcept>

#include "session/session.h"

class QDialog;
class QWidget;

// The answers to "Save the project first?".
enum class SaveFirst { Save, Discard, Cancel };

class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // `fileName` comes in as the name field's preset and goes out as the chosen name; an open
  // dialog starts in `folder` when one is given. A save dialog lists the files of `filter`
  // ("C64 programs (*.prg)") first, every file second.
  virtual bool ExecuteOpen(QWidget* parent, QString& fileName, const QString& folder) = 0;
  virtual bool ExecuteSave(QWidget* parent, QString& fileName, const QString& filter) = 0;
  // "<name> already exists. Do you want to replace it?": true only for a yes.
  virtual bool AskReplace(QWidget* parent, const QString& fileName) = 0;
  // "Save the project first?", when paint or a project's changes would be lost.
  virtual SaveFirst AskSaveProjectFirst(QWidget* parent) = 0;
  virtual void ShowError(QWidget* parent, const QString& caption, const QString& message) = 0;
  // The same with more behind a "Details" button: what a program the window started printed.
  virtual void ShowErrorWithDetails(QWidget* parent, const QString& caption, const QString& message,
                                    const QString& details) = 0;
  // Something the user should know that did not stop the action.
  virtual void ShowWarning(QWidget* parent, const QString& caption, const QString& message) = 0;
  virtual void ShowModal(QDialog& dialog) = 0;
  // Runs `work` away from the window's thread while the window waits, showing `label` with the
  // progress `work` reports and a Cancel button that `work` polls; returns when it has ended
  // (a failure inside is thrown again here). The window takes no input meanwhile.
  virtual void RunWithProgress(QWidget* parent, const QString& label,
                               const std::function<void(const vantrel::SearchControl&)>& work) = 0;
};

// The real thing: Qt's file dialogs and message box.
class PlatformDialogs : public Dialogs {
 public:
  bool ExecuteOpen(QWidget* parent, QString& fileName, const QString& folder) override;
  bool ExecuteSave(QWidget* parent, QString& fileName, const QString& filter) override;
  bool AskReplace(QWidget* parent, const QString& fileName) override;
  SaveFirst AskSaveProjectFirst(QWidget* parent) override;
  void ShowError(QWidget* parent, const QString& caption, const QString& message) override;
  void ShowErrorWithDetails(QWidget* parent, const QString& caption, const QString& message,
                            const QString& details) override;
  void ShowWarning(QWidget* parent, const QString& caption, const QString& message) override;
  void ShowModal(QDialog& dialog) override;
  void RunWithProgress(QWidget* parent, const QString& label,
                       const std::function<void(const vantrel::SearchControl&)>& work) override;
};

// The open dialog's filters: the preset of its name field first (the wildcard "*.jpg"), then
// every picture the program reads, then projects, then the files this program saves.
QStringList OpenDialogFilters(const QString& preset);

// The text of the error box: a full stop is added unless the message is empty or its
// last character is "." or sorts before it.
QString WithFullStop(const QString& message);

// The application's title, the caption of every error box.
QString ApplicationTitle();

// A failure in the window's own words (the library's come as VantrelError): the action ends
// and the error box shows the text.
class WindowError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
  explicit WindowError(const QString& text) : std::runtime_error(text.toStdString()) {}
};
