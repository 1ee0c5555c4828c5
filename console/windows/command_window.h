// The command editor window ("Corvane 2.0 - Command"): the job editor opens it on the
// shown job's command, one command per line; OK hands the edited text, every command followed by
// ";", to the job editor (commandAccepted), Cancel drops it. Both windows stay usable, so the job
// editor takes the text only while it is open on the job the editor was opened on (whatever the
// operator chose there meanwhile); otherwise OK says so and keeps the text for another try.
//
// Creating the window (at start-up, after the main window's first show) also applies the stored
// minimize-to-tray preference to the main window's notification-area icon.
#pragma once

#include <string>
#include <vector>

#include "console/windows/editor_ui.h"
#include "console/windows/secondary_window.h"

class QPlainTextEdit;
class QPushButton;

namespace corvane {

// What OK says when the job editor is closed or shows another job (%1: the job's name).
inline constexpr char kCommandJobNotShown[] =
    "The job editor does not show the job \"%1\". Open the job editor, select \"%1\" there and "
    "press OK again, or press Cancel to drop this command.";

class CommandWindow : public SecondaryWindow {
  Q_OBJECT
 public:
  CommandWindow(QWidget* mainWindow, UiServices& ui);
  ~CommandWindow() override;

  // The job editor's "...": clears the text, shows `lines` in it and presents the window; OK
  // hands the text on as the command of `job`.
  void editCommand(const std::string& job, const std::vector<std::string>& lines);
  // The job editor's answer to commandAccepted: it took the command over.
  void commandTaken();

  // Event handlers.
  void onOk();      // "OK"
  void onCancel();  // "Cancel"

  // The controls (public for the tests that drive the window).
  QPlainTextEdit* commandText_ = nullptr;
  QPushButton* okButton_ = nullptr;
  QPushButton* cancelButton_ = nullptr;

 signals:
  // OK: the edited text as the command of `job`, every command followed by ";".  A receiver that
  // takes it over answers with commandTaken(); otherwise the window says the job has changed.
  void commandAccepted(const std::string& job, const std::string& command);

 protected:
  // Escape answers Cancel.
  void onEscape() override { onCancel(); }

 private:
  std::string job_;
  bool taken_ = false;
};

}  // namespace corvane
