// Answers the window's dialogs from a script and records what was asked.
#pragma once

#include <QDialog>
#include <deque>
#include <utility>
#include <vector>

#include "app/dialogs.h"

class FakeDialogs : public Dialogs {
 public:
  // Each open or save dialog takes the next answer; an unanswered dialog is cancelled.
  std::deque<std::pair<bool, QString>> openAnswers;
  std::deque<std::pair<bool, QString>> saveAnswers;

  std::vector<QString> openPresets;  // the name field's content when each open dialog ran
  int saveDialogs = 0;
  std::vector<std::pair<QString, QString>> errors;  // caption, message
  std::vector<QDialog*> modals;

  void AnswerOpen(const QString& name) { openAnswers.emplace_back(true, name); }
  void CancelOpen() { openAnswers.emplace_back(false, QString()); }
  void AnswerSave(const QString& name) { saveAnswers.emplace_back(true, name); }

  bool ExecuteOpen(QWidget*, QString& fileName) override {
    openPresets.push_back(fileName);
    return Next(openAnswers, fileName);
  }
  bool ExecuteSave(QWidget*, QString& fileName) override {
    ++saveDialogs;
    return Next(saveAnswers, fileName);
  }
  void ShowError(QWidget*, const QString& caption, const QString& message) override {
    errors.emplace_back(caption, message);
  }
  void ShowModal(QDialog& dialog) override { modals.push_back(&dialog); }

 private:
  static bool Next(std::deque<std::pair<bool, QString>>& answers, QString& fileName) {
    if (answers.empty()) return false;
    auto [confirmed, name] = answers.front();
    answers.pop_front();
    if (confirmed) fileName = name;
    return confirmed;
  }
};
