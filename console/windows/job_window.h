// The job editor window ("Corvane 2.0 - Job"): the operator creates and removes jobs,
// edits a job's command (in the field or, one command per line, in the command editor),
// adds and removes job variables and sets each variable's value and Display flag. The window is
// a thin view over JobEditor: before each handler it hands the fields to the editor, afterwards
// it shows the editor's lists, selections and fields. A command or value the file cannot hold is
// refused with a message before the handler runs: the handler then does nothing, the lists show
// what they showed, and the fields keep what was typed.
//
// Lists react to the operator's choice only (activated); ticking Display from code stores
// nothing (the flag is stored with its variable). Every handler shows a failure in a message box;
// a failed save keeps the window open with everything as it was.
#pragma once

#include <string>
#include <vector>

#include "console/core/job_editor.h"
#include "console/core/program_paths.h"
#include "console/windows/editor_ui.h"
#include "console/windows/secondary_window.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace corvane {

class JobWindow : public SecondaryWindow {
  Q_OBJECT
 public:
  // Edits the job file of `paths`; `cipher` (the stored-value cipher) is borrowed.
  JobWindow(QWidget* mainWindow, UiServices& ui, TCipherManager& cipher, const ProgramPaths& paths);
  ~JobWindow() override;

  const JobEditor& Editor() const noexcept { return editor_; }

  // The command editor's OK for `job`: puts `command` into the command field when this window is
  // open and shows `job`; answers whether it did (the command editor is then told it was taken).
  bool takeCommand(const std::string& job, const std::string& command);

  // Event handlers.
  void onJobChosen();
  void onVariableChosen();
  void onNewJob();          // "New" under "Job Name"
  void onRemoveJob();       // "Remove" under "Job Name"
  void onNewVariable();     // "New" under "Job Variables"
  void onRemoveVariable();  // "Remove" under "Job Variables"
  void onEditCommand();     // "..." beside the command: opens the command editor
  void onCloseClicked();    // "Close"

  // The controls (public for the tests that drive the window).
  QGroupBox* jobGroup_ = nullptr;
  QComboBox* jobList_ = nullptr;
  QPushButton* newJobButton_ = nullptr;
  QPushButton* removeJobButton_ = nullptr;
  QLabel* commandLabel_ = nullptr;
  QLineEdit* commandEdit_ = nullptr;
  QPushButton* editCommandButton_ = nullptr;
  QGroupBox* variableGroup_ = nullptr;
  QComboBox* variableList_ = nullptr;
  QPushButton* newVariableButton_ = nullptr;
  QPushButton* removeVariableButton_ = nullptr;
  QCheckBox* displayBox_ = nullptr;
  QLabel* valueLabel_ = nullptr;
  QLineEdit* valueEdit_ = nullptr;
  QPushButton* closeButton_ = nullptr;

 signals:
  // "...": the command editor is to show `lines` (one command a line) as the command of `job`.
  void commandEditRequested(const std::string& job, const std::vector<std::string>& lines);
  // Closing wrote the file back: the jobs it holds, in file order.
  void jobNamesChanged(const std::vector<std::string>& names);

 protected:
  void onShow() override;
  bool onClose() override;

 private:
  void BuildJobGroup();
  void BuildVariableGroup();
  void ConnectHandlers();
  template <typename Step>
  void Handle(Step&& step);
  bool PushFields();
  void ShowLists();
  void ShowState();

  const ProgramPaths& paths_;
  UiEditorDialogs dialogs_;
  JobEditor editor_;
};

}  // namespace corvane
