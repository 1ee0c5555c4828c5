// A scripted stand-in for the program's dialogs: the input dialogs are answered from a queue
// (an empty answer is Cancel), a question gets a set answer, and every message, question and
// input dialog preset is recorded for the test to check.
#pragma once

#include <gtest/gtest.h>

#include <QFont>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <deque>
#include <optional>

#include "console/windows/secondary_window.h"

namespace corvane::test {

class ScriptedUi final : public UiServices {
 public:
  // What every question is answered.
  bool confirmAnswer = true;
  // Whether an input dialog with no answer left in the queue fails the test (otherwise it is
  // cancelled).
  bool inputMustBeScripted = true;

  void Message(QWidget*, const QString& text) override { messages.push_back(text); }
  bool Confirm(QWidget*, const QString& text) override {
    questions.push_back(text);
    return confirmAnswer;
  }
  std::optional<QString> InputText(QWidget*, const QString& caption, const QString&,
                                   const QString& preset) override {
    presets.push_back(preset);
    if (answers.empty()) {
      if (inputMustBeScripted) ADD_FAILURE() << "unexpected input dialog " << caption.toStdString();
      return std::nullopt;
    }
    std::optional<QString> answer = answers.front();
    answers.pop_front();
    return answer;
  }
  bool ChooseFont(QWidget*, QFont&) override { return false; }
  bool Open(QWidget*, const QUrl&) override { return true; }

  QStringList messages;
  QStringList questions;
  QStringList presets;
  std::deque<std::optional<QString>> answers;
};

}  // namespace corvane::test
