// Answers the window's dialogs from a script and records what was asked.
#pragma once

#include <QDialog>
#include <deque>
#include <optional>
#include <utility>
#include <vector>

#include "app/dialogs.h"

class FakeDialogs : public Dialogs {
 public:
  // Each open or save dialog takes the next answer; an unanswered dialog is cancelled.
  std::deque<std::pair<bool, QString>> openAnswers;
  std::deque<std::pair<bool, QString>> saveAnswers;

  // Each "replace it?" question takes the next answer; an unanswered one is answered no.
  std::deque<bool> replaceAnswers;

  std::vector<QString> openPresets;  // the name field's content when each open dialog ran
  std::vector<QString> openFolders;  // the folder each open dialog started in
  std::vector<QString> savePresets;  // the same for the save dialogs
  std::vector<QString> saveFilters;  // the files each save dialog listed first
  // Each "Save the project first?" takes the next answer; an unanswered one is cancelled.
  std::deque<SaveFirst> saveFirstAnswers;
  int saveFirstQuestions = 0;
  std::vector<QString> errorDetails;  // what the boxes with "Details" had behind the button
  int saveDialogs = 0;
  std::vector<QString> replaceQuestions;              // the file each question named
  std::vector<std::pair<QString, QString>> errors;    // caption, message
  std::vector<std::pair<QString, QString>> warnings;  // caption, message
  std::vector<QDialog*> modals;

  void AnswerOpen(const QString& name) { openAnswers.emplace_back(true, name); }
  void CancelOpen() { openAnswers.emplace_back(false, QString()); }
  void AnswerSave(const QString& name) { saveAnswers.emplace_back(true, name); }

  bool ExecuteOpen(QWidget*, QString& fileName, const QString& folder) override {
    openPresets.push_back(fileName);
    openFolders.push_back(folder);
    return Next(openAnswers, fileName);
  }
  bool ExecuteSave(QWidget*, QString& fileName, const QString& filter) override {
    ++saveDialogs;
    savePresets.push_back(fileName);
    saveFilters.push_back(filter);
    return Next(saveAnswers, fileName);
  }
  bool AskReplace(QWidget*, const QString& fileName) override {
    replaceQuestions.push_back(fileName);
    if (replaceAnswers.empty()) return false;
    const bool yes = replaceAnswers.front();
    replaceAnswers.pop_front();
    return yes;
  }
  SaveFirst AskSaveProjectFirst(QWidget*) override {
    ++saveFirstQuestions;
    if (saveFirstAnswers.empty()) return SaveFirst::Cancel;
    const SaveFirst answer = saveFirstAnswers.front();
    saveFirstAnswers.pop_front();
    return answer;
  }
  void ShowError(QWidget*, const QString& caption, const QString& message) override {
    errors.emplace_back(caption, message);
  }
  void ShowErrorWithDetails(QWidget*, const QString& caption, const QString& message,
                            const QString& details) override {
    errors.emplace_back(caption, message);
    errorDetails.push_back(details);
  }
  void ShowWarning(QWidget*, const QString& caption, const QString& message) override {
    warnings.emplace_back(caption, message);
  }
  void ShowModal(QDialog& dialog) override { modals.push_back(&dialog); }
  // Runs the work at once on this thread; the user presses Cancel when it reports
  // `cancelAtPermille` or more, if that is set.
  void RunWithProgress(QWidget*, const QString& label,
                       const std::function<void(const vantrel::SearchControl&)>& work) override {
    progressLabels.push_back(label);
    bool cancelled = false;
    work({[&](int permille) {
            if (cancelAtPermille && permille >= *cancelAtPermille) cancelled = true;
          },
          [&] { return cancelled; }});
  }
  std::vector<QString> progressLabels;  // what each wait showed
  std::optional<int> cancelAtPermille;

 private:
  static bool Next(std::deque<std::pair<bool, QString>>& answers, QString& fileName) {
    if (answers.empty()) return false;
    auto [confirmed, name] = answers.front();
    answers.pop_front();
    if (confirmed) fileName = name;
    return confirmed;
  }
};
