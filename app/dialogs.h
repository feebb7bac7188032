// Everything modal goes through this interface, so tests can answer dialogs without
// blocking: the open and save dialogs, the error box and modal windows.
#pragma once

#include <QString>
#include <QStringList>

class QDialog;
class QWidget;

class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // `fileName` comes in as the name field's preset and goes out as the chosen name; an open
  // dialog starts in `folder` when one is given.
  virtual bool ExecuteOpen(QWidget* parent, QString& fileName, const QString& folder) = 0;
  virtual bool ExecuteSave(QWidget* parent, QString& fileName) = 0;
  // "<name> already exists. Do you want to replace it?": true only for a yes.
  virtual bool AskReplace(QWidget* parent, const QString& fileName) = 0;
  virtual void ShowError(QWidget* parent, const QString& caption, const QString& message) = 0;
  // Something the user should know that did not stop the action.
  virtual void ShowWarning(QWidget* parent, const QString& caption, const QString& message) = 0;
  virtual void ShowModal(QDialog& dialog) = 0;
};

// The real thing: Qt's file dialogs and message box.
class PlatformDialogs : public Dialogs {
 public:
  bool ExecuteOpen(QWidget* parent, QString& fileName, const QString& folder) override;
  bool ExecuteSave(QWidget* parent, QString& fileName) override;
  bool AskReplace(QWidget* parent, const QString& fileName) override;
  void ShowError(QWidget* parent, const QString& caption, const QString& message) override;
  void ShowWarning(QWidget* parent, const QString& caption, const QString& message) override;
  void ShowModal(QDialog& dialog) override;
};

// The open dialog's filters: the preset of its name field first (the wildcard "*.jpg"), then
// every picture the program reads, then projects, then the files this program saves.
QStringList OpenDialogFilters(const QString& preset);

// The text of the error box: a full stop is added unless the message is empty or its
// last character is "." or sorts before it.
QString WithFullStop(const QString& message);

// The application's title, the caption of every error box.
QString ApplicationTitle();
